// The lock: the master password guards the open window too. A lock saves the
// list and forgets it, with everything that showed it; the unlock reads it
// again as the start does. The life-cycle code (app/program.cpp) decides
// when; this is what the window shows and forgets meanwhile.
#pragma once

// "ロック(&L)", Ctrl+L on the list: locks, asking what a save asks.
void lockCommand();
// "ロックを解除(&U)...", its button (Enter), or a second start while locked.
void unlockCommand();
// Windows locked the session, disconnected it, or the PC is about to sleep:
// locks when the options say so, asking nothing.
void sessionLocked();

// The main window is set up: Windows is asked to tell it of the session's
// locks, and the lock's timer starts.
void startLockWatch();
// The lock's timer ran out, every 15 s: locks as the menu does once no
// input has come anywhere on the PC for the idle minutes of the options
// (with a master password set), and asks Windows again once a minute to
// tell of the session's locks while it has not agreed yet.
void lockTimerElapsed();
// Nothing asked of Windows yet: the program as before start-up.
void resetLockWatch();

// Whether command id may run while locked: the unlock, the exit, the help
// items and the about box.
bool allowedWhileLocked(int id);

// The locked view, at once: the list and every field and button hidden, and
// every command but those allowed while locked grayed.
void showLocked();
// What showed the list goes: the clipboard if it still holds Keyloom's text,
// every field's text written over where its control keeps it, the list
// control emptied, and the search text.
void forgetView();
// The window as before the lock, on the entry at selection's place (the
// first when the list is shorter now).
void showUnlocked(int selection);
