// Where the program is in its life, for every layer to read. Only the
// life-cycle code (app/program.cpp) changes it.
#pragma once

// True once the exit sequence has begun: from then on nothing may touch the
// entries, which are released.
bool exitStarted();
// True once Windows asks whether the session may end, until that is
// cancelled: nothing is asked or shown meanwhile, since the system may end
// the program under any box.
bool sessionEnding();
