// The dialog that asks for a protected file's master password
// ("KEYLOOMPASSWORD"), and the test of what was typed: the key is derived
// under the wait cursor, and a wrong password is told and asked again.
#pragma once

#include "store/data_file.h"

#include <string>

struct PasswordRequest {
    std::wstring path;   // the file
    std::wstring prompt; // why it is asked, naming the file
    // Placed over the main window; at start-up, before it is there, the
    // dialog is centred on the screen.
    bool overMainWindow = true;
};

enum class Unlock {
    Opened,   // key opens the file
    Declined, // キャンセル
    Damaged,  // damaged where nothing can be read: seen names the part
    Failed,   // cannot be read now, or no key could be derived
};

// Asks for the master password of the protected data file that seen
// describes (as its reading left it: NeedsPassword), until it opens or the
// user declines. Opened: key is the file's key and seen the file as it
// opened; with upgrade given, a file with fewer iterations than today's
// gets the same password's key for today's count and a new salt there.
Unlock askForPassword(const PasswordRequest& request, FileSeen& seen, MasterKey& key,
                      MasterKey* upgrade = nullptr);

// Tells that a master password typed does not open what it should, or holds
// a character that no password can (a lone surrogate).
void tellWrongPassword(const wchar_t* what);
