// Putting text on the clipboard.
#pragma once

// Puts text on the clipboard as plain text; 1 when it is there, 0 when not.
int copyTextToClipboard(const char* text);
// Copies the selected entry's user ID (without hyphens), password or mail,
// named by its copy button: 208, 209 or 211. -1 when no entry is selected.
int copyField(int field);
