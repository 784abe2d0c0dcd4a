// What is enabled while an entry is selected.
#pragma once

// Enables the entry fields, buttons and menu items (in both menus), or
// disables and grays them.
void enableEditing(bool enable);
