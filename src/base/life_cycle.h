// Where the program is in its life, for every layer to read. Only the
// life-cycle code (app/program.cpp) changes it, by the transitions named
// there. Every message box and dialog runs a nested message loop in which
// the state can change: code that resumes after one looks at it again
// before it touches the entries or writes a file.
//
//   state          commands        questions and notices      files written
//   Starting       none: no        yes                        a recovery the user
//                  window yet                                 chose
//   Running        all             yes                        saves of commands
//   SessionEnding  none            none: Windows may end      the query's save,
//                                  the program under a box;   without a question
//                                  those open stay
//   ExitAsked      none            those open are cancelled,  none: the exit
//                                  no new one                 saves, once they are
//   Exiting        none            the exit's own             the exit's saves
//   SessionEnded   none            none                       the exit's saves,
//                                                             without a question
//   Released       none            none                       none: the entries
//                                                             are gone
#pragma once

enum class Life { Starting, Running, SessionEnding, ExitAsked, Exiting, SessionEnded, Released };

Life life();

// Whether a question or notice may open now (see the table).
inline bool mayAsk() {
    const Life now = life();
    return now == Life::Starting || now == Life::Running || now == Life::Exiting;
}
