// Keeping step with other PCs that share PASSWORD.TXT: the save that takes
// their changes in, with the questions it needs; the same when the window
// becomes active; the one message that tells what was taken in; and the
// other copies of the file, offered at start-up.
#pragma once

#include "platform/platform.h"
#include "store/sync.h"

// Saves entryList (see saveMerging) and shows what the save took in from
// another PC, telling it once (held back while the session ends). Asks,
// with the lock released, whether to delete what another PC deleted when
// that is much (at the end of the session they are kept), what to do when
// PASSWORD.TXT's protection cannot be given, for the master password of a
// PASSWORD.TXT protected elsewhere, and whether to write clear text over a
// plain one while the session holds a key (at the end of the session the
// list is kept instead). Returns why the list could not be saved: None when
// it was, or when it went to a kept temporary file instead (kept says which,
// after the user was told). chosen: the master password as just set,
// changed or turned off here, which the save writes whole or not at all
// (kept then, nothing told); last: what the last try came to.
platform::FileError saveEntries(bool* kept = nullptr, const MasterKey* chosen = nullptr,
                                MergingSave* last = nullptr);
// Why a list went to a kept temporary file (or, for a change of the master
// password, nowhere), as the message opens.
std::wstring keptReason(const MergingSave& saved);

// The window became the active one, or the end of the session was
// cancelled: at the message loop's next turn (mainWindowPosted), what the
// session end's save took in is told, and what another PC saved is taken
// in and shown. Not while a command, question, paste or the exit is under
// way: then the next activation does it.
void mainWindowActivated();
void tellHeldBack();
// Tells news at the message loop's next turn, not inside what runs now.
void tellLater(const std::wstring& news);
void mainWindowPosted();

// At start-up, after loading: each other copy of PASSWORD.TXT that holds
// entries it lacks is offered, to add them, leave it, or set it aside. One
// protected with a key not held asks for its password first, and is left
// as it is when the user declines.
void offerStrayFiles();
// Once the master password protects PASSWORD.TXT, at once: the clear files
// that only repeat the list (PASSWORD.BAK, its temporary file, ".merged"
// copies) are wiped, and PASSWORD.BAK becomes a copy of the protected file
// (never a second name of it: a program writing PASSWORD.TXT in place would
// change the backup too). Returns the names of those that could not be
// wiped, one a line.
std::wstring wipeClearLeftovers();
// Then each clear copy beside it that holds entries of its own is offered:
// to add them (the copy is wiped), to protect it where it is, or to leave it
// readable. What stays readable, readable among it, is named at the end.
void offerClearCopies(std::wstring readable);

// The last of the exit: the entries and the base are wiped and released,
// and no save runs after.
void releaseEntryList();
// As before start-up.
void resetSync();
