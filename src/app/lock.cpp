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

// The idle time is looked at every 15 s; Windows is asked again every
// minute to tell of the session's locks while it has not agreed yet (the
// service that tells it may still be starting).
constexpr int idleCheck = 15 * 1000;   // ms
constexpr unsigned minute = 60 * 1000; // ms

bool sessionWatched = false;
unsigned watchTried = 0; // the tick count of the last try

void watchSession() {
    watchTried = platform::tickCount();
    sessionWatched = platform::watchSessionChanges();
}

} // namespace

void startLockWatch() {
    watchSession();
    platform::startTimer(platform::Timer::Lock, idleCheck);
}

void lockTimerElapsed() {
    if (!sessionWatched && platform::tickCount() - watchTried >= minute)
        watchSession();
    // The last input before the clock: read the other way round, an input
    // in between would make the idle time wrap to weeks. Unsigned, the
    // difference is right across the tick count's wrap at 49.7 days.
    const unsigned lastInput = platform::lastInputTick();
    const unsigned idle = platform::tickCount() - lastInput;
    if (settings.lockIdleMinutes > 0 &&
        idle >= static_cast<unsigned>(settings.lockIdleMinutes) * minute)
        lockCommand();
    platform::startTimer(platform::Timer::Lock, idleCheck);
}

void resetLockWatch() {
    sessionWatched = false;
    watchTried = 0;
}

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
    fillList();
    platform::selectItem(entryList.count() == 0          ? -1
                         : selection < entryList.count() ? selection
                                                         : 0);
    showSelection();
    applyMasking();
    platform::showLockedView(false);
    // The menu item is the lock's again only now.
    enableLockCommand();
}
