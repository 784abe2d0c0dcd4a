// The one place where entry bytes (code page 932) and the screen's Unicode
// meet. The system's own code page is never used for entry data: on a
// Western or UTF-8 Windows it would turn Japanese text into question marks.
#include "platform/platform.h"

#include <windows.h>

namespace {

constexpr UINT shiftJis = 932;

} // namespace

namespace platform {

bool isLeadByte(unsigned char c) { return IsDBCSLeadByteEx(shiftJis, c); }

std::wstring sjisToWide(std::string_view text) {
    if (text.empty())
        return {};
    int length =
        MultiByteToWideChar(shiftJis, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(length, L'\0');
    MultiByteToWideChar(shiftJis, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}

std::string wideToSjis(std::wstring_view text, std::wstring* lost) {
    if (text.empty())
        return {};
    // No best fit: a look-alike (a plain "a" for "ä") would silently become
    // another password; "?" is at least visible.
    auto convert = [](std::wstring_view part, std::string* out) {
        BOOL usedDefault = FALSE;
        int length =
            WideCharToMultiByte(shiftJis, WC_NO_BEST_FIT_CHARS, part.data(),
                                static_cast<int>(part.size()), nullptr, 0, "?", &usedDefault);
        if (out) {
            out->resize(length);
            WideCharToMultiByte(shiftJis, WC_NO_BEST_FIT_CHARS, part.data(),
                                static_cast<int>(part.size()), &(*out)[0], length, "?", nullptr);
        }
        return usedDefault != FALSE;
    };
    std::string bytes;
    if (convert(text, &bytes) && lost) {
        // Which characters those were, each once; a surrogate pair is one.
        for (std::size_t i = 0; i < text.size();) {
            std::size_t width = IS_HIGH_SURROGATE(text[i]) && i + 1 < text.size() ? 2 : 1;
            std::wstring_view c = text.substr(i, width);
            if (convert(c, nullptr) && lost->find(c) == std::wstring::npos)
                lost->append(c);
            i += width;
        }
    }
    return bytes;
}

std::size_t sjisLength(std::wstring_view text) {
    if (text.empty())
        return 0;
    return static_cast<std::size_t>(WideCharToMultiByte(shiftJis, WC_NO_BEST_FIT_CHARS, text.data(),
                                                        static_cast<int>(text.size()), nullptr, 0,
                                                        "?", nullptr));
}

} // namespace platform
