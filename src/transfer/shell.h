// Handing addresses, the help file and the maker's links to the shell.
#pragma once

// The selected entry's address, passed whole; nothing when it is empty.
void openAddress();
// KEYLOOM.HLP beside the executable, whatever the current folder.
void openHelp();
void openHomePage();
void openSupportMail();
