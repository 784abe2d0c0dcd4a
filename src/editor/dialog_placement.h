// Where the secondary dialogs open: over the main window.
#pragma once

#include "platform/platform.h"

// Where a dialog goes over the main window, in the main window's client
// coordinates, from the two outer rectangles: centred across, a third of the
// free height down. Signed and truncated toward zero, like the division.
platform::Point placementOverMainWindow(const platform::Rect& main, const platform::Rect& dialog);
// Moves a dialog that is being set up to that place on the screen.
void placeOverMainWindow(WindowHandle dialog);
