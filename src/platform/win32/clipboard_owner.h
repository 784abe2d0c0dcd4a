// The messages the system sends the clipboard's owner, the main window:
// answered in transfer.cpp, where the clipboard is written.
#pragma once

#include "platform/platform.h"

#include <windows.h>

// WM_RENDERFORMAT, WM_RENDERALLFORMATS and WM_DESTROYCLIPBOARD, handed to the
// main window's handlers where the program has a say; false for any other
// message.
bool answerClipboardOwnerMessage(UINT message, WPARAM format,
                                 const platform::MainWindowHandlers& handlers);
