// The options and about dialogs, owned by the main window. Their dialog
// procedures (in the platform) hand every message to the functions below.
#pragma once

#include "platform/platform.h"

#include <string>

// Command 107 and command 102.
void runOptionsDialog();
void runAboutDialog();

// Where a dialog goes over the main window, in the main window's client
// coordinates, from the two outer rectangles: centred across, a third of the
// free height down. Signed and truncated toward zero, like the division.
platform::Point placementOverMainWindow(const platform::Rect& main, const platform::Rect& dialog);
// Moves a dialog that is being initialised to that place on the screen.
void placeOverMainWindow(WindowHandle dialog);

constexpr int shortestPasswordSetting = 1;
constexpr int longestPasswordSetting = 1000;

// The length that the length field's text stands for, within 1 to 1000:
// empty or unreadable text stands for 1, any number above 1000 (however many
// digits it has) for 1000.
int lengthFieldValue(const std::string& text);
// Whether the field may keep text as it is: it reads as a number from 1 to
// 1000. Otherwise it is corrected to lengthFieldValue(text) at once.
bool isLengthFieldInRange(const std::string& text);

// The OptionsDialog: WM_INITDIALOG, and WM_COMMAND (true when handled).
void optionsDialogInit(WindowHandle dialog);
bool optionsDialogCommand(WindowHandle dialog, int id, int notification);

// The AboutDialog: WM_INITDIALOG, and WM_COMMAND (true when handled).
void aboutDialogInit(WindowHandle dialog);
bool aboutDialogCommand(WindowHandle dialog, int id, int notification);
