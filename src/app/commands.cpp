#include "app/commands.h"

#include "app/about_dialog.h"
#include "app/exchange.h"
#include "app/lock.h"
#include "app/master_password_dialog.h"
#include "app/program.h"
#include "editor/editor.h"
#include "editor/find.h"
#include "editor/options_dialog.h"
#include "generator/generator.h"
#include "resources/resource.h"
#include "transfer/clipboard.h"
#include "transfer/paste.h"
#include "transfer/shell.h"

namespace {
int commandsUnderWay = 0;
}

CommandUnderWay::CommandUnderWay() { ++commandsUnderWay; }
CommandUnderWay::~CommandUnderWay() {
    if (--commandsUnderWay == 0)
        runPendingTransition();
}
bool commandUnderWay() { return commandsUnderWay > 0; }

bool commandAllowed(int id) {
    const bool exit = id == platform::notify::cancel || id == IDM_EXIT;
    switch (life()) {
    // While a paste types into another program only the exit may run: any
    // other command would change the clipboard or the focus under it. The
    // same while a notice waits in the middle of an operation.
    case Life::Running: return !(pasteRunning() || commandsHeld()) || exit;
    // The unlock, once at a time.
    case Life::Locked: return allowedWhileLocked(id) && (!commandUnderWay() || exit);
    case Life::LockAsked:
    case Life::Locking: return exit;
    // Ending, or ended: nothing may start that touches the entries.
    default: return false;
    }
}

// While no command may run (a paste types, a notice waits in the middle of
// an operation, the exit has begun) the list takes no input at all: a key
// typed ahead that moved its selection would leave the editor on another
// entry than the list.
bool listKey(int key, bool ctrl) {
    CommandUnderWay running;
    return !commandAllowed(IDC_LIST) || listKeyDown(key, ctrl);
}

bool listRightButton(int x, int y, bool down) {
    CommandUnderWay running;
    if (!commandAllowed(IDC_LIST))
        return true;
    return down ? listRightButtonDown(x, y) : listRightButtonUp(x, y);
}

void helpRequested() {
    if (life() == Life::Running || life() == Life::Locked)
        openHelp();
}

bool dispatchCommand(int id, int notification) {
    if (!commandAllowed(id))
        return true;
    CommandUnderWay running;

    switch (id) {
    case platform::notify::cancel: exitProgram(); break;
    case IDM_EXIT: exitProgram(); break;
    case IDM_HELP: openHelp(); break;
    case IDM_ABOUT: runAboutDialog(); break;
    case IDM_NEW: newEntryCommand(); break;
    case IDM_DELETE: deleteEntryCommand(); break;
    case IDM_MOVE_UP: moveUpCommand(); break;
    case IDM_MOVE_DOWN: moveDownCommand(); break;
    case IDM_OPTIONS:
        runOptionsDialog();
        clipboardOptionsSet();
        break;
    case IDM_COPY_USER_ID:
    case IDC_COPY_USER_ID: copyField(IDC_COPY_USER_ID); break;
    case IDM_COPY_PASSWORD:
    case IDC_COPY_PASSWORD: copyField(IDC_COPY_PASSWORD); break;
    case IDM_COPY_MAIL:
    case IDC_COPY_MAIL: copyField(IDC_COPY_MAIL); break;
    case IDM_PASTE_USER_ID:
    case IDC_PASTE_USER_ID: pasteUserId(); break;
    case IDM_PASTE_PASSWORD:
    case IDC_PASTE_PASSWORD: pastePasswordCommand(); break;
    case IDM_PASTE_MAIL:
    case IDC_PASTE_MAIL: pasteMailCommand(); break;
    case IDM_OPEN_ADDRESS:
    case IDC_OPEN_ADDRESS: openAddress(); break;
    case IDM_PASTE_USER_ID_AND_PASSWORD:
    case IDC_PASTE_USER_ID_AND_PASSWORD: pasteUserIdAndPassword(); break;
    case IDM_HIDE_USER_ID: toggleMasking(IDM_HIDE_USER_ID); break;
    case IDM_HIDE_PASSWORD: toggleMasking(IDM_HIDE_PASSWORD); break;
    case IDM_RENAME: renameCommand(); break;
    case IDM_HOME_PAGE: openHomePage(); break;
    case IDM_SUPPORT_MAIL: openSupportMail(); break;
    case IDM_REVERT: revertCommand(); break;
    case IDM_IMPORT: importCommand(); break;
    case IDM_EXPORT: exportCommand(); break;
    case IDM_MASTER_PASSWORD: masterPasswordCommand(); break;
    case IDM_LOCK: lockCommand(); break;
    case IDM_UNLOCK:
    case IDC_UNLOCK: unlockCommand(); break;
    case IDM_FIND: findCommand(); break;
    case IDM_FIND_NEXT: findNextCommand(); break;
    case IDM_CREATE_PASSWORD:
    case IDC_CREATE_PASSWORD: createPassword(); break;
    case IDC_LIST:
        if (notification == platform::notify::listSelectionChanged)
            showSelection();
        else if (notification == platform::notify::listDoubleClick)
            openAddress();
        else
            return false;
        break;
    case IDC_TITLE:
    case IDC_USER_ID:
    case IDC_PASSWORD:
    case IDC_ADDRESS:
    case IDC_MAIL:
    case IDC_MEMO:
        if (notification != platform::notify::editChange)
            return false;
        onFieldChanged(id);
        break;
    default: return false;
    }
    return true;
}
