#include "editor/main_window_setup.h"

#include "editor/editor.h"
#include "resources/resource.h"
#include "settings/settings.h"

namespace {

// The window and its buttons get their icons drawn for dpi.
void setIcons(int dpi) {
    platform::setWindowIcon("KEYLOOM", dpi);
    platform::setButtonIcon(IDC_COPY_USER_ID, "_COPY", dpi);
    platform::setButtonIcon(IDC_COPY_PASSWORD, "_COPY", dpi);
    platform::setButtonIcon(IDC_COPY_MAIL, "_COPY", dpi);
    platform::setButtonIcon(IDC_OPEN_ADDRESS, "_GO", dpi);
    platform::setButtonIcon(IDC_PASTE_USER_ID, "_PASTE", dpi);
    platform::setButtonIcon(IDC_PASTE_PASSWORD, "_PASTE", dpi);
    platform::setButtonIcon(IDC_PASTE_MAIL, "_PASTE", dpi);
    platform::setButtonIcon(IDC_CREATE_PASSWORD, "_KEY", dpi);
    platform::setButtonIcon(IDC_PASTE_USER_ID_AND_PASSWORD, "_DPASTE", dpi);
}

} // namespace

void setUpMainWindow() {
    editedIndex = -1;
    reserveFieldRoom();
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

void mainWindowDpiChanged(int dpi, const platform::Rect& suggested) {
    // The system's rectangle has the size for the new scale, at a place that
    // does not send the window back to the other screen. The dialog manager
    // rescales the controls and their font itself.
    platform::setMainWindowRect(suggested);
    setIcons(dpi);
}
