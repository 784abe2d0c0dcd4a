// Putting text on the clipboard, and taking it off at exit.
#pragma once

// Puts text (Shift-JIS) on the clipboard as Unicode and ANSI text; 1 when it
// is there (and forgotten later, see below), 0 when not.
// While another program holds the clipboard open it is tried again for up to
// 100 ms, serving what other programs send meanwhile; text must stay valid
// through that, so pass a copy of a record's field, never the field itself.
int copyTextToClipboard(const char* text);
// Copies the selected entry's user ID (without hyphens), password or mail,
// named by its copy button: 208, 209 or 211. -1 when no entry is selected.
int copyField(int field);
// Empties the clipboard, waiting for it the same way; false when another
// program kept it.
bool clearClipboard();
// The same, but only while it still holds what Keyloom put there last.
bool forgetOwnText();

// Keyloom has just left text on the clipboard: that is what forgetOwnText
// takes off. With the option on it is taken off again after the set
// seconds, unless the clipboard has changed by then; a later call starts the
// wait over.
void forgetClipboardLater();
// The options were set: with the option off, a wait under way ends, and
// what was copied before stays.
void clipboardOptionsSet();
// The forgetting timer ran out: the clipboard is emptied if it still
// holds what Keyloom left there.
void clipboardTimerElapsed();
