// Keyloom's windows, for the platform's other files: the main window owns the
// clipboard and every shell call and holds up the end of the session; the
// topmost window owns message boxes and dialogs.
#pragma once

#include <windows.h>

// Null until the main window is created, and again once it has ended.
extern HWND mainWindow;
// The dialog opened last that is still open, else the main window, else null.
HWND topmostWindow();
// Keyloom's dialogs that are open, the last opened last: its own, and the
// common dialogs, which their hook adds and removes.
void dialogOpened(HWND dialog);
void dialogClosed(HWND dialog);
