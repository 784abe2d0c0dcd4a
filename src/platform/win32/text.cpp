// The one place where entry bytes (code page 932) and the screen's Unicode
// meet. The system's own code page is never used for entry data: on a
// Western or UTF-8 Windows it would turn Japanese text into question marks.
#include "platform/platform.h"

#include <windows.h>

namespace {

constexpr UINT shiftJis = 932;

// Case, width and the kind of kana folded away by Windows' own mapping for
// Japanese text, whatever the system's language: full width (which also
// makes a half-width katakana and its sound mark one character), katakana,
// lower case. FindNLSStringEx with NORM_IGNORECASE | NORM_IGNOREWIDTH |
// NORM_IGNOREKANATYPE means the same, but under Wine 8 it takes 23 s for
// 10,000 entries and matches no half-width katakana with a sound mark; the
// mapping and a plain search take 60 ms.
std::wstring fold(const std::wstring& text) {
    constexpr DWORD flags = LCMAP_FULLWIDTH | LCMAP_KATAKANA | LCMAP_LOWERCASE;
    if (text.empty())
        return {};
    int size = static_cast<int>(text.size());
    int length = LCMapStringEx(L"ja-JP", flags, text.data(), size, nullptr, 0, nullptr, nullptr, 0);
    std::wstring folded(length, L'\0');
    LCMapStringEx(L"ja-JP", flags, text.data(), size, &folded[0], length, nullptr, nullptr, 0);
    return folded;
}

void wipe(std::wstring& text) { SecureZeroMemory(&text[0], text.size() * sizeof(wchar_t)); }

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

SearchText searchText(std::string_view text) { return {fold(sjisToWide(text))}; }

bool containsText(std::string_view field, const SearchText& text) {
    if (text.folded.empty())
        return true;
    // A memo may hold the answers to security questions: nothing of it stays.
    std::wstring wide = sjisToWide(field);
    std::wstring folded = fold(wide);
    bool found = folded.find(text.folded) != std::wstring::npos;
    wipe(wide);
    wipe(folded);
    return found;
}

} // namespace platform
