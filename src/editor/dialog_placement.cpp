#include "editor/dialog_placement.h"

platform::Point placementOverMainWindow(const platform::Rect& main, const platform::Rect& dialog) {
    int x = ((main.right - main.left) - (dialog.right - dialog.left)) / 2;
    int y = ((main.bottom - main.top) - (dialog.bottom - dialog.top)) / 3;
    return {x, y};
}

void placeOverMainWindow(WindowHandle dialog) {
    platform::Point at = platform::mainWindowClientToScreen(
        placementOverMainWindow(platform::mainWindowRect(), platform::windowRect(dialog)));
    // Not kept on the screen: the dialog follows the main window wherever it is.
    platform::moveWindow(dialog, at.x, at.y);
}
