// The OptionsDialog: the password length and the kinds of characters of the
// generator's settings.
#pragma once

#include <string>

// Command 107.
void runOptionsDialog();

constexpr int shortestPasswordSetting = 1;
constexpr int longestPasswordSetting = 1000;

// The length that the length field's text stands for, within 1 to 1000:
// empty or unreadable text stands for 1, any number above 1000 (however many
// digits it has) for 1000.
int lengthFieldValue(const std::string& text);
// Whether the field may keep text as it is: it reads as a number from 1 to
// 1000. Otherwise it is corrected to lengthFieldValue(text) at once.
bool isLengthFieldInRange(const std::string& text);
