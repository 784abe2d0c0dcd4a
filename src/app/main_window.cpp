#include "app/main_window.h"

#include "platform/platform.h"
#include "resources/resource.h"

namespace {

const int entryFields[] = {IDC_TITLE, IDC_USER_ID, IDC_PASSWORD, IDC_ADDRESS, IDC_MAIL, IDC_MEMO};

// Their menu items, and the buttons that carry the same commands.
const int entryCommands[] = {
    IDM_DELETE,          IDM_RENAME,        IDM_MOVE_UP,       IDM_MOVE_DOWN,
    IDM_COPY_USER_ID,    IDM_COPY_PASSWORD, IDM_COPY_MAIL,     IDM_PASTE_USER_ID,
    IDM_PASTE_PASSWORD,  IDM_PASTE_MAIL,    IDM_OPEN_ADDRESS,  IDM_PASTE_USER_ID_AND_PASSWORD,
    IDM_CREATE_PASSWORD, IDM_HIDE_USER_ID,  IDM_HIDE_PASSWORD,
};

} // namespace

void enableEditing(bool enable) {
    for (int id : entryFields)
        platform::enableControl(id, enable);
    for (int id : entryCommands)
        platform::enableCommand(id, enable);
}
