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

// Stores the editor, writes both files, releases the entries, empties the
// clipboard and ends the main window with 1. Runs once: a later request while
// it is under way (or after) is ignored.
void exitProgram();
// Windows asks whether the session may end (critical: it ends whatever the
// answer). The list and the settings are saved the quiet way, without
// beginning the exit: nothing released, the window stays. A paste under way
// stops; a question open stays. False when a file could not be written: the
// end is refused, with the cause given to Windows to show.
bool sessionEndQueried(bool critical);
// The end of the session was cancelled: Keyloom runs on as before it.
void sessionEndCancelled();
// The end of the Windows session, after which the system ends the process:
// runs the exit sequence without a question (writing only what changed since
// the query's save), or, when it is under way already and waits in a retry
// question, runs that step again the quiet way and then the steps after it.
void sessionEnded();
// One save of a file (attempt: one try with its quiet retries), tried again
// while it fails and the user says so: the question names the file at fault
// and the cause. A backup that could not be kept is told once. While the
// session ends nothing is asked or told: one attempt, which keeps its
// temporary file when the rename fails once the end is for good, for the
// next start to offer. A protection that cannot be given is returned at
// once, for the caller to ask about.
SaveResult saveWithRetry(const std::function<SaveResult(bool keepTemporary)>& attempt,
                         const std::wstring& backupPath);

// The program as before start-up: no exit begun, no session ending, no
// entries, the default settings, nothing written yet. startUp begins with
// it, and so does every unit test.
void resetProgram();
