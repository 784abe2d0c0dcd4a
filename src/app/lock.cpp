#include "app/lock.h"

#include "app/program.h"
#include "editor/editor.h"
#include "editor/find.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "store/data_file.h"
#include "transfer/clipboard.h"

namespace {

// The commands that work on the list as a whole; those on an entry are the
// editor's (enableEditing).
const int listCommands[] = {IDM_NEW,    IDM_REVERT, IDM_FIND,           IDM_OPTIONS,
                            IDM_IMPORT, IDM_EXPORT, IDM_MASTER_PASSWORD};

const int fields[] = {IDC_TITLE, IDC_USER_ID, IDC_PASSWORD, IDC_ADDRESS, IDC_MAIL, IDC_MEMO};

} // namespace

void lockCommand() { lockProgram(false); }

void unlockCommand() { unlockProgram(); }

void sessionLocked() {
    if (settings.lockOnSessionLock)
        lockProgram(true);
}

bool allowedWhileLocked(int id) {
    switch (id) {
    case IDM_UNLOCK:
    case IDC_UNLOCK:
    case IDM_EXIT:
    case platform::notify::cancel:
    case IDM_HELP:
    case IDM_HOME_PAGE:
    case IDM_SUPPORT_MAIL:
    case IDM_ABOUT: return true;
    }
    return false;
}

void showLocked() {
    platform::showLockedView(true);
    enableEditing(false);
    for (int id : listCommands)
        platform::enableCommand(id, false);
}

void forgetView() {
    forgetOwnText();
    for (int id : fields)
        platform::wipeField(id);
    platform::removeAllItems();
    editedIndex = -1;
    resetFind();
}

void showUnlocked(int selection) {
    for (int id : listCommands)
        platform::enableCommand(id, true);
    enableLockCommand();
    fillList();
    platform::selectItem(entryList.count() == 0          ? -1
                         : selection < entryList.count() ? selection
                                                         : 0);
    showSelection();
    applyMasking();
    platform::showLockedView(false);
}
