// The entry list's own keys and right button. Everything not handled here
// goes on to the list control itself.
#include "app/main_window.h"
#include "editor/editor.h"
#include "resources/resource.h"

namespace {

// Virtual-key codes.
constexpr int keyReturn = 0x0D;
constexpr int keySpace = 0x20;
constexpr int keyUp = 0x26;
constexpr int keyDown = 0x28;
constexpr int keyDelete = 0x2E;
constexpr int keyN = 0x4E;
constexpr int keyZ = 0x5A;
constexpr int keyApps = 0x5D;
constexpr int keyF2 = 0x71;

constexpr int selectionChanged = 1; // LBN_SELCHANGE

} // namespace

bool listKeyDown(int key, bool ctrl) {
    switch (key) {
    case keyApps: {
        platform::Point corner = platform::listScreenCorner();
        platform::showPopupMenu(corner.x, corner.y);
        return true;
    }
    case keyReturn:
    case keySpace: platform::sendCommand(IDM_OPEN_ADDRESS); return true;
    case keyDelete: platform::sendCommand(IDM_DELETE); return true;
    case keyF2: renameCommand(); return true;
    case keyUp:
        if (!ctrl)
            return false;
        moveUpCommand();
        return true;
    case keyDown:
        if (!ctrl)
            return false;
        moveDownCommand();
        return true;
    case keyN:
        if (!ctrl)
            return false;
        platform::sendCommand(IDM_NEW);
        return true;
    case keyZ:
        if (!ctrl)
            return false;
        platform::sendCommand(IDM_REVERT);
        return true;
    default: return false;
    }
}

bool listRightButtonDown(int x, int y) {
    platform::ItemAtPoint item = platform::listItemFromPoint(x, y);
    if (item.outside)
        return false;
    // As if the user had selected it: the editor follows.
    platform::selectItem(item.index);
    platform::sendCommand(IDC_LIST, selectionChanged);
    return true;
}

bool listRightButtonUp(int x, int y) {
    platform::Point at = platform::listToScreen(x, y);
    platform::showPopupMenu(at.x, at.y);
    return true;
}
