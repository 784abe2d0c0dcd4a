// Typing fields into the application whose window lies below Keyloom's.
//
// Each piece goes on the clipboard as text made only when asked for, then
// Ctrl+V; the target's own read of it (and nobody else's) moves the sequence
// on, so that a slow target gets each piece, and a target that never reads,
// closes or loses the front stops the paste with a word to the user.
#pragma once

#include "platform/platform.h"

// The window the user sees below Keyloom's: the first visible, enabled
// window that is not a pop-up, or the active pop-up of an application
// (a modal dialog over its disabled owner). Tool windows, windows of no size
// and windows on other virtual desktops are passed over; null when none.
WindowHandle findTargetWindow();

// Types text into the window below. False when nothing was typed (no window
// below, or the paste stopped: the user has been told why).
bool pasteIntoTarget(const char* text);
// The user ID, piece by piece with a Tab between the hyphen-separated pieces.
bool pasteUserId();
// The user ID in pieces, a Tab, then the password.
void pasteUserIdAndPassword();
// Copy the password or the mail address, then paste it.
void pastePasswordCommand();
void pasteMailCommand();

// True while a paste sequence runs: only the exit may interrupt it.
bool pasteRunning();
// The end of the session is asked about: a paste under way stops as at an
// exit.
void stopPaste();

// The clipboard owner's side, called by the main window: a program asks for
// the text on offer, and another program took the clipboard.
void clipboardTextRequested();
void clipboardTakenByOther();
