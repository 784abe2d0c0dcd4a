// The entry list's own keys and right button. Everything not handled here
// goes on to the list control itself. Each reaches its effect as a command,
// through the checks of the command table.
#include "editor/editor.h"
#include "resources/resource.h"

bool listKeyDown(int key, bool ctrl) {
    switch (key) {
    case platform::key::apps: {
        platform::Point corner = platform::listScreenCorner();
        platform::showPopupMenu(corner.x, corner.y);
        return true;
    }
    case platform::key::enter:
    case platform::key::space: platform::sendCommand(IDM_OPEN_ADDRESS); return true;
    case platform::key::del: platform::sendCommand(IDM_DELETE); return true;
    case platform::key::f2: platform::sendCommand(IDM_RENAME); return true;
    case platform::key::up:
        if (!ctrl)
            return false;
        platform::sendCommand(IDM_MOVE_UP);
        return true;
    case platform::key::down:
        if (!ctrl)
            return false;
        platform::sendCommand(IDM_MOVE_DOWN);
        return true;
    case platform::key::n:
        if (!ctrl)
            return false;
        platform::sendCommand(IDM_NEW);
        return true;
    case platform::key::z:
        if (!ctrl)
            return false;
        platform::sendCommand(IDM_REVERT);
        return true;
    case platform::key::f:
        if (!ctrl)
            return false;
        platform::sendCommand(IDM_FIND);
        return true;
    case platform::key::f3: platform::sendCommand(IDM_FIND_NEXT); return true;
    case platform::key::l:
        if (!ctrl)
            return false;
        platform::sendCommand(IDM_LOCK);
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
    platform::sendCommand(IDC_LIST, platform::notify::listSelectionChanged);
    return true;
}

bool listRightButtonUp(int x, int y) {
    platform::Point at = platform::listToScreen(x, y);
    platform::showPopupMenu(at.x, at.y);
    return true;
}
