// Where the program is in its life, for every layer to read. Only the
// life-cycle code (app/program.cpp) changes it, by the transitions named
// there. Every message box and dialog runs a nested message loop in which
// the state can change: code that resumes after one looks at it again
// before it touches the entries or writes a file.
//
//   state          commands          questions and notices     files written
//   Starting       none: no window   yes                       a recovery the
//                  yet                                         user chose
//   Running        all               yes                       saves of commands
//   SessionEnding  none              none: Windows may end     the query's save,
//                                    the program under a box;  without a question
//                                    those open stay
//   ExitAsked      none              those open are closed     none: the exit
//                                    as declined; no new one   saves once they are
//   Exiting        none              the exit's own            the exit's saves
//   SessionEnded   none              none                      the exit's saves,
//                                                              without a question
//   Released       none              none                      none: the entries
//                                                              are gone
//   LockAsked      none (a paste     those open stay, in       none: the lock
//                  goes on)          front of the locked       saves once they
//                                    view; dialogs closed      are answered
//   Locking        none              the lock's save's, but    the lock's save
//                                    not when Windows locks
//   Locked         unlock, exit,     the unlock's              the unlock's
//                  help, about                                 recovery; at the
//                                                              end INITIAL.TXT
#pragma once

enum class Life {
    Starting,
    Running,
    SessionEnding,
    ExitAsked,
    Exiting,
    SessionEnded,
    Released,
    LockAsked,
    Locking,
    Locked,
};

Life life();

// Whether a question or notice may open now (see the table).
bool mayAsk();

// The exit or the end of the session has begun: what is under way (a paste,
// a wait for the clipboard) stops.
inline bool stopping() {
    const Life now = life();
    return now == Life::SessionEnding || now == Life::ExitAsked || now == Life::Exiting ||
           now == Life::SessionEnded || now == Life::Released;
}

// The list is read at start-up and again at an unlock: the reading goes on
// after a question only while this holds (the exit or the end of the
// session may have come in it).
inline bool stillReading() {
    const Life now = life();
    return now == Life::Starting || now == Life::Locked;
}
