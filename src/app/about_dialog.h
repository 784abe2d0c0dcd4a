// The AboutDialog: the version and the maker's two links, which a double
// click opens.
#pragma once

// Command 102.
void runAboutDialog();
