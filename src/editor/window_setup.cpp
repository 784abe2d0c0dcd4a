// The main window's first state, when it is created (WM_INITDIALOG).
#include "app/main_window.h"
#include "editor/editor.h"
#include "resources/resource.h"
#include "settings/settings.h"

void windowSetUp(WindowHandle window) {
    mainWindow = window;
    mainMenu = platform::menuOf(window);
    editedIndex = -1;

    platform::setWindowIcon("KEYLOOM");
    platform::setButtonIcon(IDC_COPY_USER_ID, "_COPY");
    platform::setButtonIcon(IDC_COPY_PASSWORD, "_COPY");
    platform::setButtonIcon(IDC_COPY_MAIL, "_COPY");
    platform::setButtonIcon(IDC_OPEN_ADDRESS, "_GO");
    platform::setButtonIcon(IDC_PASTE_USER_ID, "_PASTE");
    platform::setButtonIcon(IDC_PASTE_PASSWORD, "_PASTE");
    platform::setButtonIcon(IDC_PASTE_MAIL, "_PASTE");
    platform::setButtonIcon(IDC_CREATE_PASSWORD, "_KEY");
    platform::setButtonIcon(IDC_PASTE_USER_ID_AND_PASSWORD, "_DPASTE");

    platform::subclassList();
    fillList();
    // Before enableEditing, which grays items in both menus.
    popupMenu = platform::loadPopupMenu();

    if (isUsableWindowPosition(settings.windowLeft, settings.windowTop, platform::screenWidth(),
                               platform::screenHeight()))
        platform::moveWindow(mainWindow, settings.windowLeft, settings.windowTop);

    platform::checkMenuItem(mainMenu, IDM_HIDE_USER_ID, settings.showUserId == 0);
    platform::checkMenuItem(mainMenu, IDM_HIDE_PASSWORD, settings.showPassword == 0);
    applyMasking();
    enableEditing(false);
    platform::selectItem(0);
    showSelection();
    // The dialog manager then gives the focus to the list, the first control.
}
