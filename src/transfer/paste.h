// Typing fields into the application whose window lies below Keyloom's.
#pragma once

// The user ID, piece by piece with a Tab between the hyphen-separated pieces.
bool pasteUserId();
// The user ID in pieces, a Tab, then the password.
void pasteUserIdAndPassword();
// Pastes whatever the clipboard holds into the window below.
void pasteIntoTarget();
// Copy the password or the mail address, then paste it.
void pastePasswordCommand();
void pasteMailCommand();
