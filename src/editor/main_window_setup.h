// The main window's set-up: its first state when it is created, and its
// icons drawn for the scale of its screen.
#pragma once

#include "platform/platform.h"

// WM_INITDIALOG: the list, the saved position, the masking and the first
// entry.
void setUpMainWindow();
// The window has moved to a screen of another scale (WM_DPICHANGED): it takes
// the place and size the system suggests, and icons drawn for the new DPI.
void mainWindowDpiChanged(int dpi, const platform::Rect& suggested);
