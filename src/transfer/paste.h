// Typing fields into the application whose window lies below Keyloom's.
#pragma once

#include "platform/platform.h"

// The first window below the main window that is visible, enabled and not a
// pop-up; null when there is none.
WindowHandle findTargetWindow();
// Ctrl+V and Tab, each key event followed by a 50 ms pause in which only what
// other programs send us is served. False when the exit sequence began during
// a pause: the keys still down are released at once, and the caller stops
// without touching the entries again.
bool sendPasteKeys();
bool sendTabKey();

// Pastes whatever the clipboard holds into the window below.
void pasteIntoTarget();
// The user ID, piece by piece with a Tab between the hyphen-separated pieces.
// False when nothing was sent (no entry selected, no target, or the target
// refused to come to the front), or when the program began to exit meanwhile.
bool pasteUserId();
// The user ID in pieces, a Tab, then the password.
void pasteUserIdAndPassword();
// Copy the password or the mail address, then paste it.
void pastePasswordCommand();
void pasteMailCommand();

// True while a paste sequence runs: only the exit may interrupt it.
bool pasteRunning();
