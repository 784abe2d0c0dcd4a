#include "app/main_window.h"

#include "resources/resource.h"

WindowHandle mainWindow = nullptr;
MenuHandle mainMenu = nullptr;
MenuHandle popupMenu = nullptr;

namespace {

const int entryControls[] = {
    IDC_TITLE,         IDC_USER_ID,         IDC_PASSWORD,       IDC_ADDRESS,
    IDC_MAIL,          IDC_MEMO,            IDC_COPY_USER_ID,   IDC_COPY_PASSWORD,
    IDC_OPEN_ADDRESS,  IDC_COPY_MAIL,       IDC_PASTE_USER_ID,  IDC_PASTE_PASSWORD,
    IDC_CREATE_PASSWORD, IDC_PASTE_MAIL,    IDC_PASTE_USER_ID_AND_PASSWORD,
};

const int entryMenuItems[] = {
    IDM_DELETE,        IDM_RENAME,          IDM_MOVE_UP,        IDM_MOVE_DOWN,
    IDM_COPY_USER_ID,  IDM_COPY_PASSWORD,   IDM_COPY_MAIL,      IDM_PASTE_USER_ID,
    IDM_PASTE_PASSWORD, IDM_PASTE_MAIL,     IDM_OPEN_ADDRESS,   IDM_PASTE_USER_ID_AND_PASSWORD,
    IDM_CREATE_PASSWORD, IDM_HIDE_USER_ID,  IDM_HIDE_PASSWORD,
};

} // namespace

void enableEditing(bool enable) {
    for (int id : entryControls)
        platform::enableControl(id, enable);
    // Each item wherever it stands: an item a menu lacks is left alone there.
    for (int id : entryMenuItems) {
        platform::enableMenuItem(mainMenu, id, enable);
        platform::enableMenuItem(popupMenu, id, enable);
    }
}
