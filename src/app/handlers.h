// The program's handlers of the main window: what the platform calls when
// something happens to it. keyloom.exe and the unit tests run the window with
// this one table.
#pragma once

#include "platform/platform.h"

platform::MainWindowHandlers mainWindowHandlers();
