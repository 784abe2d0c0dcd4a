// The command table: every menu item, button and list notification of the
// main window, routed to its operation.
#pragma once

// Whether command id may run now. Every input of the main window goes by
// it: a command that may not run is dropped.
bool commandAllowed(int id);

// Returns false for an identifier (or notification) the table does not hold,
// which then gets the default dialog processing.
bool dispatchCommand(int id, int notification);

// The entry list's own keys and right button (down or up), by the same
// checks: true when consumed.
bool listKey(int key, bool ctrl);
bool listRightButton(int x, int y, bool down);
// F1: the help page, while the program runs.
void helpRequested();

// While one lives, a command or a question of the program is under way: a
// message box closing gives the window its activation back in the middle of
// it, and what the activation does waits until then. An exit asked meanwhile
// runs when the last one ends.
struct CommandUnderWay {
    CommandUnderWay();
    ~CommandUnderWay();
    CommandUnderWay(const CommandUnderWay&) = delete;
    CommandUnderWay& operator=(const CommandUnderWay&) = delete;
};
bool commandUnderWay();
