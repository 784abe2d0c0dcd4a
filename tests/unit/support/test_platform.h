// The in-memory platform of the unit tests: a Japanese system (code page 932)
// with files in a map, scripted message-box answers and a fake main window.
#pragma once

#include "platform/platform.h"

#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace fake {

struct MessageBoxCall {
    WindowHandle owner;
    std::wstring text;
    unsigned style;
};

// Files by full path. A path in unreadable exists but cannot be read; a path
// in failingWrites refuses that many replaceFile calls before one succeeds.
extern std::map<std::string, std::string> files;
extern std::set<std::string> unreadable;
extern std::map<std::string, int> failingWrites;
extern int replaceCalls;

extern std::string modulePath;

// Every message box shown, and the answers to give, first to last; when the
// answers run out the box is answered No.
extern std::vector<MessageBoxCall> messageBoxes;
extern std::deque<int> answers;

extern bool minimized;
extern platform::Rect windowRect;

// Everything back to the state of a fresh start in C:\Keyloom.
void reset();

// Shift-JIS bytes for UTF-8 text, for writing test data readably.
std::string sjis(const std::string& utf8);

} // namespace fake
