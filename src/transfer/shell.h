// Handing addresses, the help file and the maker's links to the shell.
#pragma once

void openAddress();
void openHelp();
void openHomePage();
void openSupportMail();
