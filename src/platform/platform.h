// What Keyloom's logic needs from the system, named for what it is used for.
//
// Two implementations exist and the linker picks one: win32/ over the Win32
// interface (the program), and tests/unit/support/ in memory (the unit tests).
// Nothing outside those two folders includes <windows.h>.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Window handles are the system's own; the logic only passes them on.
struct HWND__;
using WindowHandle = HWND__*;

namespace platform {

// ---- Text in the system's ANSI code page ----

// True when c is the first byte of a double-byte character.
bool isLeadByte(unsigned char c);

// ANSI text (entry data, paths) as a wide string for the message texts.
std::wstring ansiToWide(const std::string& text);
// The program's own texts in the ANSI code page, for the places where they
// become entry data.
std::string wideToAnsi(const std::wstring& text);

// ---- Files ----

// The full path of the running executable, however long it is.
std::string modulePath();

enum class FileRead { Read, Missing, Unreadable };

// Reads a whole file into bytes. Missing only when the file does not exist;
// any other failure (locked, no permission, a folder in its place) is Unreadable
// and leaves bytes empty.
FileRead readWholeFile(const std::string& path, std::string& bytes);

// Puts bytes in place as the file at path in one step: written to a temporary
// file beside it, every write checked and flushed, then swapped in. The
// previous file becomes backupPath when that is not empty. On failure the old
// file is untouched and no temporary file is left behind.
bool replaceFile(const std::string& path, std::string_view bytes,
                 const std::string& backupPath);

// ---- Message boxes ----

// Styles and answers as the system defines them.
namespace mb {
constexpr unsigned ok = 0x0;
constexpr unsigned yesNo = 0x4;
constexpr unsigned iconError = 0x10;
constexpr unsigned iconWarning = 0x30;
constexpr unsigned iconInformation = 0x40;
constexpr unsigned defaultSecond = 0x100;
constexpr int answerYes = 6;
constexpr int answerNo = 7;
} // namespace mb

// A message box with the caption "Keyloom"; owner may be null. Returns the
// answer.
int messageBox(WindowHandle owner, const std::wstring& text, unsigned style);

// ---- Windows ----

struct Rect {
    int left, top, right, bottom;
};

bool isMinimized(WindowHandle window);
// The outer rectangle in screen pixels.
Rect windowRect(WindowHandle window);

} // namespace platform
