// The main window's program-wide handles, and what is enabled while an entry
// is selected.
#pragma once

#include "platform/platform.h"

// MainDialog itself: the owner of every message box, of the clipboard and of
// every shell call. Null until the window is set up.
extern WindowHandle mainWindow;
// Its menu bar ("KEYLOOM") and the list's pop-up menu (submenu 0 of "POPMENU").
extern MenuHandle mainMenu;
extern MenuHandle popupMenu;

// Enables the entry fields, buttons and menu items (in both menus), or
// disables and grays them.
void enableEditing(bool enable);
