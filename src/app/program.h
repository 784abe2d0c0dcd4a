// The life of the program: start-up with the single-instance rule, and the one
// exit sequence through which every way of ending passes.
#pragma once

#include "base/life_cycle.h"
#include "platform/platform.h"
#include "store/file_helpers.h"

#include <functional>
#include <string>

// From the entry point: returns the exit code (-1 when the mutex or the window
// cannot be created, 0 when another instance runs or the user chose to end
// rather than go on: with a folder that cannot be written, without restoring
// an unfinished save, or with a data file that could not be read whole; 1
// after the exit sequence).
int startUp();

// ---- The transitions of the program's life (base/life_cycle.h) ----

// The main window is set up: Starting becomes Running.
void windowOpened();
// The user ends the program (Running only). A question or dialog open now
// is cancelled first, and the exit sequence runs once nothing is under way
// (at once when nothing is): it stores the editor, writes both files,
// releases the entries, empties the clipboard and ends the main window with
// 1. A later request is ignored.
void exitProgram();
// The exit or the lock asked while something was under way, run once the
// last of it has ended (see CommandUnderWay).
void runPendingTransition();
// A lock (Running only, and only while a master password is set): the view
// locked at once, Keyloom's own dialogs closed, and once nothing is under
// way (a question answered, a paste done) the list saved and forgotten:
// Locked. Quietly (Windows locks the session, the PC sleeps) the save asks
// nothing. Asked again while it waits, it runs once.
void lockProgram(bool quietly);
// Reads the list again as the start does, asking the same questions;
// declining one leaves it locked. Opened, the window shows it as before.
void unlockProgram();
// Windows asks whether the session may end (critical: it ends whatever the
// answer): SessionEnding. The list and the settings are saved without a
// question, and nothing is released: the window stays, a question open
// stays, a paste under way stops. False when a file could not be written:
// the end is refused, with the cause given to Windows to show, and the
// program goes back to what it was doing.
bool sessionEndQueried(bool critical);
// The end of the session was cancelled: back to what it was doing.
void sessionEndCancelled();
// The end of the Windows session, after which the system ends the process:
// SessionEnded, and the exit sequence runs to its end without a question,
// writing only what changed since the query's save. Whatever waits in a
// question meanwhile finds the entries released when it goes on.
void sessionEnded();
// One save of a file (attempt: one try with its quiet retries), tried again
// while it fails and the user says so: the question names the file at fault
// and the cause. A backup that could not be kept is told once. While the
// session ends nothing is asked or told: one attempt, which keeps its
// temporary file when the rename fails once the end is for good, for the
// next start to offer. A protection that cannot be given is returned at
// once, for the caller to ask about; so is the failure when the program's
// state changed while the retry question was open.
SaveResult saveWithRetry(const std::function<SaveResult(bool keepTemporary)>& attempt,
                         const std::wstring& backupPath);

// The program as before start-up (Starting): no entries, the default
// settings, nothing written yet. startUp begins with
// it, and so does every unit test.
void resetProgram();
