#include "app/handlers.h"

#include "app/commands.h"
#include "app/program.h"
#include "app/sync.h"
#include "editor/main_window_setup.h"
#include "transfer/clipboard.h"
#include "transfer/paste.h"

platform::MainWindowHandlers mainWindowHandlers() {
    platform::MainWindowHandlers on;
    on.setUp = [] {
        windowOpened();
        setUpMainWindow();
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
    on.timerElapsed = clipboardTimerElapsed;
    return on;
}
