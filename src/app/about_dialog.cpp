#include "app/about_dialog.h"

#include "editor/dialog_placement.h"
#include "editor/messages.h"
#include "platform/platform.h"
#include "resources/resource.h"
#include "transfer/shell.h"

namespace {

void setUp(WindowHandle dialog, void*) {
    placeOverMainWindow(dialog);
    platform::setCaption(dialog, formatMessage(L"%s のバージョン情報", {L"Keyloom"}));
}

bool command(WindowHandle dialog, int id, int notification, void*) {
    switch (id) {
    case platform::notify::ok:
    case platform::notify::cancel: platform::endDialog(dialog, 1); return true;
    // A single click on a line does nothing: only a double click opens it.
    case IDC_HOME_PAGE_LINE:
        if (notification != platform::notify::staticDoubleClick)
            return false;
        openHomePage();
        return true;
    case IDC_SUPPORT_MAIL_LINE:
        if (notification != platform::notify::staticDoubleClick)
            return false;
        openSupportMail();
        return true;
    }
    return false;
}

} // namespace

void runAboutDialog() { platform::runDialog(platform::Dialog::About, {setUp, command}); }
