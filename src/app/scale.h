// The main window at the scale of its screen.
#pragma once

#include "platform/platform.h"

// Gives the window and its buttons their icons drawn for dpi.
void setIcons(int dpi);
// The window has moved to a screen of another scale (WM_DPICHANGED): it takes
// the place and size the system suggests, and icons drawn for the new DPI.
void dpiChanged(int dpi, const platform::Rect& suggested);
