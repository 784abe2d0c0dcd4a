// Message boxes, the wait cursor and window geometry.
#include "platform/platform.h"
#include "platform/win32/main_window.h"

#include <windows.h>

namespace platform {

int messageBox(const std::wstring& text, unsigned style) {
    return MessageBoxW(topmostWindow(), text.c_str(), L"Keyloom", style);
}

void showWaitCursor(bool waiting) {
    static HCURSOR before = nullptr;
    if (waiting)
        before = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    else
        SetCursor(before ? before : LoadCursorA(nullptr, IDC_ARROW));
}

Rect windowRect(WindowHandle window) {
    RECT r{};
    GetWindowRect(window, &r);
    return {r.left, r.top, r.right, r.bottom};
}

} // namespace platform
