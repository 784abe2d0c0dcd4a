// Message boxes and window geometry.
#include "platform/platform.h"

#include <windows.h>

namespace platform {

int messageBox(WindowHandle owner, const std::wstring& text, unsigned style) {
    return MessageBoxW(owner, text.c_str(), L"Keyloom", style);
}

bool isMinimized(WindowHandle window) { return IsIconic(window); }

Rect windowRect(WindowHandle window) {
    RECT r{};
    GetWindowRect(window, &r);
    return {r.left, r.top, r.right, r.bottom};
}

} // namespace platform
