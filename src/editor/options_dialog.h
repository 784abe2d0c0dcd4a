// The OptionsDialog: the password length and the kinds of characters of the
// generator's settings, how long copied text stays on the clipboard, and
// when Keyloom locks by itself.
#pragma once

#include <string>

// Command 107.
void runOptionsDialog();

constexpr int shortestPasswordSetting = 1;
constexpr int longestPasswordSetting = 1000;
// The seconds the dialog offers while the clipboard is not cleared.
constexpr int suggestedClipboardSeconds = 30;
// And the idle minutes while it does not lock when idle.
constexpr int suggestedLockMinutes = 10;

// The number that a number field's text stands for, within lowest to
// highest: empty or unreadable text stands for lowest, any number above
// highest (however many digits it has) for highest.
int numberFieldValue(const std::string& text, int lowest, int highest);
// Whether the field may keep text as it is: it reads as a number from lowest
// to highest. Otherwise it is corrected to numberFieldValue(text) once the
// user is done with it (the length field: at once).
bool isNumberFieldInRange(const std::string& text, int lowest, int highest);
