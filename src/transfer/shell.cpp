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
    std::wstring address = platform::sjisToWide(entryList.records[sel].address());
    if (!address.empty())
        platform::openWithShell(address);
}

void openHelp() {
    // The page Keyloom ships first: today's Windows no longer shows WinHelp
    // files, but a user may still keep one of their own beside the program.
    for (const wchar_t* name : {L"\\KEYLOOM.HTM", L"\\KEYLOOM.HLP"}) {
        std::wstring path = programDirectory() + name;
        if (platform::fileExists(path)) {
            platform::openWithShell(path);
            return;
        }
    }
}

void openHomePage() { platform::openWithShell(platform::sjisToWide(homePageUrl)); }
void openSupportMail() { platform::openWithShell(platform::sjisToWide(supportMailUrl)); }
