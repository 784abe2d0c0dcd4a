// The main window's first state, when it is created (WM_INITDIALOG).
#include "app/main_window.h"
#include "app/scale.h"
#include "editor/editor.h"
#include "resources/resource.h"
#include "settings/settings.h"

void windowSetUp() {
    editedIndex = -1;

    setIcons(platform::mainWindowDpi());
    fillList();

    if (isUsableWindowPosition(settings.windowLeft, settings.windowTop, platform::screenWidth(),
                               platform::screenHeight()))
        platform::moveMainWindow(settings.windowLeft, settings.windowTop);

    platform::checkCommand(IDM_HIDE_USER_ID, settings.showUserId == 0);
    platform::checkCommand(IDM_HIDE_PASSWORD, settings.showPassword == 0);
    applyMasking();
    enableEditing(false);
    platform::selectItem(0);
    showSelection();
    // The dialog manager then gives the focus to the list, the first control.
}
