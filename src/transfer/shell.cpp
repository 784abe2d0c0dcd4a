#include "transfer/shell.h"

#include "editor/editor.h"
#include "platform/platform.h"
#include "store/entry_list.h"
#include "store/file_helpers.h"
#include "transfer/links.h"

#include <string>

void openAddress() {
    int sel = platform::selectedIndex();
    if (sel < 0 || sel >= entryList.count())
        return;
    // What the editor shows is what opens, stored or not.
    storeFields(sel);
    // A copy: the shell may serve messages that end the program meanwhile.
    std::string address = entryList.records[sel].address;
    if (!address.empty())
        platform::openWithShell(address.c_str());
}

void openHelp() {
    // Built to its full length: a deep program folder gets its help file too.
    std::string path = programDirectory() + "\\KEYLOOM.HLP";
    platform::openWithShell(path.c_str());
}

void openHomePage() { platform::openWithShell(homePageUrl); }
void openSupportMail() { platform::openWithShell(supportMailUrl); }
