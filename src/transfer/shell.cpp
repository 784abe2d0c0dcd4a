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
    if (!storeFields(sel))
        return;
    // A copy: the shell may serve messages that end the program meanwhile.
    std::wstring address = platform::sjisToWide(entryList.records[sel].address);
    if (!address.empty())
        platform::openWithShell(address);
}

void openHelp() {
    // Built to its full length: a deep program folder gets its help file too.
    platform::openWithShell(programDirectory() + L"\\KEYLOOM.HLP");
}

void openHomePage() { platform::openWithShell(platform::sjisToWide(homePageUrl)); }
void openSupportMail() { platform::openWithShell(platform::sjisToWide(supportMailUrl)); }
