// The life of the program: start-up with the single-instance rule, and the one
// exit sequence through which every way of ending passes.
#pragma once

#include "base/life_cycle.h"
#include "platform/platform.h"

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
// Set once the session ends for good: a file that cannot be put in place
// then stays as a complete temporary file for the next start to offer.
bool sessionEndConfirmed();

// The program as before start-up: no exit begun, no session ending, no
// entries, the default settings, nothing written yet. startUp begins with
// it, and so does every unit test.
void resetProgram();
