// The main window's program-wide handles.
#pragma once

#include "platform/platform.h"

// MainDialog itself: the owner of every message box, of the clipboard and of
// every shell call. Null until the window is set up.
extern WindowHandle mainWindow;
