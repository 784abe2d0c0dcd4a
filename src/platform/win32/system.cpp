// Code page, message boxes and window geometry.
#include "platform/platform.h"

#include <windows.h>

namespace platform {

bool isLeadByte(unsigned char c) {
    return IsDBCSLeadByte(c);
}

std::wstring ansiToWide(const std::string& text) {
    if (text.empty())
        return {};
    int length =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(length, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}

std::string wideToAnsi(const std::wstring& text) {
    if (text.empty())
        return {};
    int length = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                     0, nullptr, nullptr);
    std::string ansi(length, '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &ansi[0], length,
                        nullptr, nullptr);
    return ansi;
}

int messageBox(WindowHandle owner, const std::wstring& text, unsigned style) {
    return MessageBoxW(owner, text.c_str(), L"Keyloom", style);
}

bool isMinimized(WindowHandle window) {
    return IsIconic(window);
}

Rect windowRect(WindowHandle window) {
    RECT r{};
    GetWindowRect(window, &r);
    return {r.left, r.top, r.right, r.bottom};
}

} // namespace platform
