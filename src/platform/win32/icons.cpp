// Icons at the sizes each screen's scale asks for, and the window's DPI.
#include "platform/win32/main_window.h"
#include "platform/platform.h"

#include <windows.h>

#include <map>
#include <string>
#include <utility>

namespace {

HINSTANCE instance() { return GetModuleHandleW(nullptr); }

// Functions that Windows 10 (1607) and later have. They are looked up when
// first needed, so that keyloom.exe still starts on older systems, which have
// one DPI for every screen.
template <typename Function> Function systemFunction(const wchar_t* module, const char* name) {
    HMODULE handle = GetModuleHandleW(module);
    return handle
               ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(handle, name)))
               : nullptr;
}

int metricForDpi(int index, int dpi) {
    using Function = int(WINAPI*)(int, UINT);
    static const Function forDpi =
        systemFunction<Function>(L"user32.dll", "GetSystemMetricsForDpi");
    return forDpi ? forDpi(index, dpi) : GetSystemMetrics(index);
}

// The icon resource name drawn at size pixels, loaded once and kept for the
// life of the process.
HICON iconAt(const char* name, int size) {
    static std::map<std::pair<std::string, int>, HICON> icons;
    HICON& icon = icons[{name, size}];
    if (icon)
        return icon;
    // A size without a drawing of its own is made from the next larger one:
    // scaled down it stays sharp, where LoadImage would blow up a smaller one.
    using Function = HRESULT(WINAPI*)(HINSTANCE, PCWSTR, int, int, HICON*);
    static const Function scaleDown =
        systemFunction<Function>(L"comctl32.dll", "LoadIconWithScaleDown");
    std::wstring resource(name, name + std::char_traits<char>::length(name)); // ASCII names
    if (!scaleDown || FAILED(scaleDown(instance(), resource.c_str(), size, size, &icon)))
        icon = static_cast<HICON>(
            LoadImageW(instance(), resource.c_str(), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
    return icon;
}

} // namespace

namespace platform {

int mainWindowDpi() {
    using Function = UINT(WINAPI*)(HWND);
    static const Function forWindow = systemFunction<Function>(L"user32.dll", "GetDpiForWindow");
    if (forWindow)
        return static_cast<int>(forWindow(mainWindow));
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

void setWindowIcon(const char* iconName, int dpi) {
    HICON large = iconAt(iconName, metricForDpi(SM_CXICON, dpi));
    HICON small = iconAt(iconName, metricForDpi(SM_CXSMICON, dpi));
    SendMessageW(mainWindow, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large));
    SendMessageW(mainWindow, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
}

void setButtonIcon(int buttonId, const char* iconName, int dpi) {
    HICON icon = iconAt(iconName, metricForDpi(SM_CXSMICON, dpi));
    SendMessageW(GetDlgItem(mainWindow, buttonId), BM_SETIMAGE, IMAGE_ICON,
                 reinterpret_cast<LPARAM>(icon));
}

} // namespace platform
