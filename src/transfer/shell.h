// Handing addresses, the help file and the maker's links to the shell.
#pragma once

// The selected entry's address, passed whole; nothing when it is empty.
void openAddress();
// KEYLOOM.HTM beside the executable, whatever the current folder, or else
// KEYLOOM.HLP there; nothing when neither exists.
void openHelp();
void openHomePage();
void openSupportMail();
