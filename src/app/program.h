// The life of the program: start-up with the single-instance rule, and the one
// exit sequence through which every way of ending passes.
#pragma once

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
// The end of the Windows session, after which the system ends the process:
// runs the exit sequence without a question, or, when it is under way already
// and waits in a retry question, runs that step again the quiet way and then
// the steps after it.
void sessionEnded();
// Set once the exit sequence has begun: from then on no command may touch the
// entries, which are released.
extern bool exitStarted;
// Set once the Windows session is ending: from then on nothing is asked or
// shown, since the system ends the program under any box.
extern bool sessionEnding;
