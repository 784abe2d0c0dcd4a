// keyloom.exe's entry point: the program's start-up, which runs the main
// window with the program's handlers.
#include "app/program.h"

// WinMain as the C runtime of mingw-w64 calls it, declared without
// <windows.h>, which only the platform includes. 64-bit builds only: there
// WINAPI is no calling convention of its own, HINSTANCE is HINSTANCE__* and
// LPSTR is char*.
struct HINSTANCE__;
extern "C" int WinMain(HINSTANCE__*, HINSTANCE__*, char*, int) { return startUp(); }
