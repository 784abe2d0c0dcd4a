// The entry list (control 200) and the field editor (controls 201-206), kept
// in step with entryList.
#pragma once

#include "platform/platform.h"
#include "store/entry_list.h"

// The record whose fields the editor shows, or -1. When the list has a
// selection it is that index; without one the fields are empty and disabled.
extern int editedIndex;

// Writes the fields the user changed since they were shown back into record
// index (nothing for -1); the others keep their bytes. Characters the data
// file cannot hold are stored as "?", the field then shows what was stored,
// and the user is told. Returns false once the exit sequence has begun
// (the end of the session may arrive while the user reads that): the caller
// then leaves the entries alone.
bool storeFields(int index);
// True while Keyloom's notice about such characters is open: only the exit
// may run then.
bool commandsHeld();
// Enables the fields and the commands on an entry (their menu items and
// buttons), or disables and grays them.
void enableEditing(bool enable);
// Each field's control gets room for the most its limit lets it hold, so
// that a lock can write over all it keeps (platform::reserveField).
void reserveFieldRoom();
// The lock's command is there while a master password is set.
void enableLockCommand();
// Stores the edited record and shows the selected one.
void showSelection();
// A field's text changed (EN_CHANGE): input beyond the field's limit in
// Shift-JIS bytes is refused at once with a beep, and the title goes on to
// onTitleChanged. Text Keyloom put there itself is left alone.
void onFieldChanged(int id);
// The title goes into its record and its list item on every change.
void onTitleChanged();
// Shows every record's title, in order, with nothing selected.
void fillList();
// Puts list (another PC's changes taken in) in entryList's place and shows
// it, on the entry the user was on, or on its place when it is gone. The
// editor's texts must be stored before.
void replaceEntries(EntryList& list);
// The list scrolls horizontally over its widest title.
void updateHorizontalExtent();

void newEntryCommand();
void deleteEntryCommand();
void moveUpCommand();
void moveDownCommand();
void renameCommand();
void revertCommand();
// 122 or 123: hide or show the user ID or the password.
void toggleMasking(int id);
void applyMasking();

// The list's own keys and right button, once the command table lets them
// through: true when the message is consumed.
bool listKeyDown(int key, bool ctrl);
bool listRightButtonDown(int x, int y);
bool listRightButtonUp(int x, int y);
