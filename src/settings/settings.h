// The settings kept in INITIAL.TXT, one signed decimal line each.
#pragma once

#include "store/file_helpers.h"

#include <cstdint>
#include <string>

struct Settings {
    std::int32_t windowLeft; // outer left edge in screen pixels; -999: none saved
    std::int32_t windowTop;  // outer top edge; -999: none saved
    std::int32_t showUserId; // 0: the user ID field shows asterisks
    std::int32_t showPassword;
    std::int32_t passwordLength;
    std::int32_t useDigits;
    std::int32_t useLowercase;
    std::int32_t useUppercase;
    // 0: copied text stays on the clipboard; otherwise the seconds after
    // which it is taken off again.
    std::int32_t clipboardSeconds;
    // While a master password is set: 0, or the minutes without input
    // anywhere on the PC after which Keyloom locks; and 1 to lock when
    // Windows locks the session, switches the user or goes to sleep.
    std::int32_t lockIdleMinutes;
    std::int32_t lockOnSessionLock;
};

constexpr Settings defaultSettings = {-999, -999, 1, 1, 8, 1, 1, 0, 0, 0, 1};

// The range the options dialog keeps the clipboard's seconds in.
constexpr int shortestClipboardSeconds = 5;
constexpr int longestClipboardSeconds = 600;
// And the idle minutes.
constexpr int shortestLockMinutes = 1;
constexpr int longestLockMinutes = 1440;

// The program's settings for this run.
extern Settings settings;

std::wstring settingsFilePath();

// Reads INITIAL.TXT, or a complete temporary file that a save left newer than
// it (which then takes its place). Without a readable file every value is its
// default; a file with fewer lines supplies the defaults for the missing ones
// (a file of eight, as older versions write it, keeps the clipboard's text;
// one of nine locks at the session's lock and never when idle).
void loadSettings();

// Takes the main window's corner unless it is minimized, and saves INITIAL.TXT
// once (see saveFile) unless it holds those bytes already.
SaveResult saveSettings(bool keepTemporary);

// The bytes of INITIAL.TXT for s.
std::string formatSettingsFile(const Settings& s);
// Settings from the bytes of INITIAL.TXT, defaults for the lines it lacks;
// complete tells whether it had the first eight lines as this program writes
// them (the ninth and later are additions). Clipboard seconds and idle
// minutes that the options dialog would not give are brought into its
// range, none or fewer being off; the session's lock is on unless 0.
Settings parseSettingsFile(const char* data, std::size_t size, bool* complete = nullptr);

// Whether a saved corner is used at start-up: saved, not negative, and on the
// primary screen (screenWidth by screenHeight pixels).
bool isUsableWindowPosition(std::int32_t left, std::int32_t top, int screenWidth, int screenHeight);
