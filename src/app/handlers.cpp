#include "app/handlers.h"

#include "app/commands.h"
#include "app/lock.h"
#include "app/program.h"
#include "app/sync.h"
#include "editor/editor.h"
#include "editor/main_window_setup.h"
#include "resources/resource.h"
#include "transfer/clipboard.h"
#include "transfer/paste.h"

platform::MainWindowHandlers mainWindowHandlers() {
    platform::MainWindowHandlers on;
    on.setUp = [] {
        windowOpened();
        setUpMainWindow();
        enableLockCommand();
        startLockWatch();
    };
    on.command = dispatchCommand;
    on.listKey = listKey;
    on.listRightButton = listRightButton;
    on.dpiChanged = mainWindowDpiChanged;
    on.help = helpRequested;
    on.sessionEndQueried = sessionEndQueried;
    on.sessionEnded = [](bool ending) { ending ? sessionEnded() : sessionEndCancelled(); };
    on.clipboardTextRequested = clipboardTextRequested;
    on.clipboardTaken = clipboardTakenByOther;
    on.activated = mainWindowActivated;
    on.posted = mainWindowPosted;
    on.sessionLocked = sessionLocked;
    // A second start while locked: the password prompt, as the button.
    on.broughtBack = [] { dispatchCommand(IDM_UNLOCK, 0); };
    on.timerElapsed = [](platform::Timer timer) {
        switch (timer) {
        case platform::Timer::Forget: clipboardTimerElapsed(); break;
        case platform::Timer::Lock: lockTimerElapsed(); break;
        }
    };
    return on;
}
