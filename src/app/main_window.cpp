#include "app/main_window.h"

WindowHandle mainWindow = nullptr;
