// Keeping step with other PCs that share PASSWORD.TXT: the save that takes
// their changes in, with the questions it needs; the same when the window
// becomes active; the one message that tells what was taken in; and the
// other copies of the file, offered at start-up.
#pragma once

#include "platform/platform.h"

// Saves entryList (see saveMerging) and shows what the save took in from
// another PC, telling it once (held back while the session ends). Asks,
// with the lock released, whether to delete what another PC deleted when
// that is much (at the end of the session they are kept), and what to do
// when PASSWORD.TXT's protection cannot be given. Returns why the list could
// not be saved: None when it was, or when it went to a kept temporary file
// instead (kept says which, after the user was told).
platform::FileError saveEntries(bool* kept = nullptr);

// The main window is there from now on to show a list that a save took in.
void setWindowShown();
// The window became the active one, or the end of the session was
// cancelled: at the message loop's next turn (mainWindowPosted), what the
// session end's save took in is told, and what another PC saved is taken
// in and shown. Not while a command, question, paste or the exit is under
// way: then the next activation does it.
void mainWindowActivated();
void tellHeldBack();
void mainWindowPosted();

// At start-up, after loading: each other copy of PASSWORD.TXT that holds
// entries it lacks is offered, to add them, leave it, or set it aside.
void offerStrayFiles();

// The last of the exit: the entries and the base are wiped and released,
// and no save runs after.
void releaseEntryList();
// As before start-up.
void resetSync();
