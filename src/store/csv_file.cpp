#include "store/csv_file.h"

#include "platform/platform.h"

#include <algorithm>

namespace {

constexpr char32_t replacement = 0xFFFD;

// One code point as the system's wide text: UTF-16 where wchar_t has two
// bytes (Windows), else the code point itself.
void appendCodePoint(std::wstring& out, char32_t c) {
    if (sizeof(wchar_t) == 2 && c >= 0x10000) {
        c -= 0x10000;
        out += static_cast<wchar_t>(0xD800 + (c >> 10));
        out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
    } else {
        out += static_cast<wchar_t>(c);
    }
}

// Decodes UTF-8 into out (none: only checks), each sequence that is not
// UTF-8 as U+FFFD; false when there was one. Overlong forms, surrogates and
// code points past U+10FFFF are not UTF-8.
bool decodeUtf8(std::string_view bytes, std::wstring* out) {
    bool valid = true;
    for (std::size_t i = 0, n = bytes.size(); i < n;) {
        unsigned char lead = bytes[i];
        if (lead < 0x80) {
            if (out)
                *out += static_cast<wchar_t>(lead);
            ++i;
            continue;
        }
        int more = lead >= 0xC2 && lead <= 0xDF   ? 1
                   : lead >= 0xE0 && lead <= 0xEF ? 2
                   : lead >= 0xF0 && lead <= 0xF4 ? 3
                                                  : 0;
        char32_t c = lead & (0x3F >> more);
        // The second byte's range is what rules the bad forms out.
        unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
        unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
        std::size_t next = i + 1;
        bool whole = more > 0;
        for (int k = 0; whole && k < more; ++k, ++next) {
            unsigned char b = next < n ? bytes[next] : 0;
            whole = b >= (k == 0 ? low : 0x80) && b <= (k == 0 ? high : 0xBF);
            c = c << 6 | (b & 0x3F);
        }
        if (!whole) {
            valid = false;
            if (!out)
                return false;
            // The byte that broke the sequence starts the next one.
            next = std::max(i + 1, next - 1);
            c = replacement;
        }
        if (out)
            appendCodePoint(*out, c);
        i = next;
    }
    return valid;
}

std::wstring decodeUtf16(std::string_view bytes, bool bigEndian) {
    auto unit = [&](std::size_t i) -> char32_t {
        unsigned char a = bytes[i], b = bytes[i + 1];
        return bigEndian ? a << 8 | b : b << 8 | a;
    };
    auto isLow = [](char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; };
    std::wstring out;
    out.reserve(bytes.size() / 2 + 1);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        char32_t c = unit(i);
        if (c >= 0xD800 && c <= 0xDBFF && i + 3 < bytes.size() && isLow(unit(i + 2))) {
            c = 0x10000 + ((c - 0xD800) << 10) + (unit(i + 2) - 0xDC00);
            i += 2;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = replacement;
        }
        appendCodePoint(out, c);
    }
    if (bytes.size() % 2)
        appendCodePoint(out, replacement);
    return out;
}

bool startsWith(std::string_view bytes, std::string_view mark) {
    return bytes.substr(0, mark.size()) == mark;
}

const std::string_view utf8Mark = "\xEF\xBB\xBF", utf16LeMark = "\xFF\xFE",
                       utf16BeMark = "\xFE\xFF";

void appendCodePointUtf8(SecureString& out, char32_t c) {
    char bytes[4];
    std::size_t n;
    if (c < 0x80) {
        bytes[0] = static_cast<char>(c);
        n = 1;
    } else if (c < 0x800) {
        bytes[0] = static_cast<char>(0xC0 | c >> 6);
        n = 2;
    } else if (c < 0x10000) {
        bytes[0] = static_cast<char>(0xE0 | c >> 12);
        n = 3;
    } else {
        bytes[0] = static_cast<char>(0xF0 | c >> 18);
        n = 4;
    }
    for (std::size_t k = 1; k < n; ++k)
        bytes[k] = static_cast<char>(0x80 | (c >> 6 * (n - 1 - k) & 0x3F));
    out.append({bytes, n});
}

bool isLineEnd(wchar_t c) { return c == L'\r' || c == L'\n'; }

// Where the line from at ends when it holds nothing but spaces and tabs; npos
// when it holds more.
std::size_t blankLineEnd(const std::wstring& text, std::size_t at) {
    std::size_t end = text.find_first_not_of(L" \t", at);
    if (end == std::wstring::npos)
        return text.size();
    return isLineEnd(text[end]) ? end : std::wstring::npos;
}

// Passes over the line end at at (CR LF counts as one) and counts it.
std::size_t passLineEnd(const std::wstring& text, std::size_t at, int& line) {
    ++line;
    return at + (text[at] == L'\r' && at + 1 < text.size() && text[at + 1] == L'\n' ? 2 : 1);
}

wchar_t separatorOf(const std::wstring& text) {
    std::size_t start = 0, end;
    int line = 0;
    while ((end = blankLineEnd(text, start)) != std::wstring::npos && end < text.size())
        start = passLineEnd(text, end, line);
    std::wstring_view first(text.data() + start, text.size() - start);
    first = first.substr(0, first.find_first_of(L"\r\n"));
    bool tabs = first.find(L'\t') != std::wstring_view::npos;
    return tabs && first.find(L',') == std::wstring_view::npos ? L'\t' : L',';
}

} // namespace

TextEncoding detectEncoding(std::string_view bytes) {
    if (startsWith(bytes, utf8Mark))
        return TextEncoding::Utf8WithMark;
    if (startsWith(bytes, utf16LeMark))
        return TextEncoding::Utf16Le;
    if (startsWith(bytes, utf16BeMark))
        return TextEncoding::Utf16Be;
    return decodeUtf8(bytes, nullptr) ? TextEncoding::Utf8 : TextEncoding::ShiftJis;
}

std::wstring decodeText(std::string_view bytes, TextEncoding encoding) {
    std::wstring text;
    switch (encoding) {
    case TextEncoding::Utf8WithMark: bytes.remove_prefix(utf8Mark.size()); [[fallthrough]];
    case TextEncoding::Utf8:
        // Room for it all at once: a reallocation would leave a copy unwiped.
        text.reserve(bytes.size() + 1);
        decodeUtf8(bytes, &text);
        return text;
    case TextEncoding::Utf16Le: return decodeUtf16(bytes.substr(utf16LeMark.size()), false);
    case TextEncoding::Utf16Be: return decodeUtf16(bytes.substr(utf16BeMark.size()), true);
    case TextEncoding::ShiftJis: return platform::sjisToWide(bytes);
    }
    return text;
}

void appendUtf8(SecureString& out, std::wstring_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = static_cast<char32_t>(text[i]);
        if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDFFF) {
            char32_t low = i + 1 < text.size() ? static_cast<char32_t>(text[i + 1]) : 0;
            if (c <= 0xDBFF && low >= 0xDC00 && low <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            } else {
                c = replacement;
            }
        }
        appendCodePointUtf8(out, c);
    }
}

void wipeText(std::wstring& text) { secureWipe(text.data(), text.size() * sizeof(wchar_t)); }

void CsvTable::fieldsOf(std::size_t row, std::vector<std::wstring_view>& fields) const {
    fields.clear();
    std::size_t end = row + 1 < rows.size() ? rows[row + 1].start : used;
    for (std::size_t at = rows[row].start; at < end;) {
        std::size_t stop = text.find(L'\0', at);
        fields.emplace_back(text.data() + at, stop - at);
        at = stop + 1;
    }
}

bool readCsv(std::wstring text, CsvTable& table, int& unclosedLine) {
    table.rows.clear();
    wipeText(table.text);
    table.text.clear();
    table.used = 0;
    if (!text.empty() && !isLineEnd(text.back())) {
        // A line end of its own gives the last field's NUL its room.
        std::wstring ended;
        ended.reserve(text.size() + 1);
        ended.append(text).push_back(L'\n');
        wipeText(text);
        text.swap(ended);
    }
    table.separator = separatorOf(text);
    const wchar_t separator = table.separator;
    // Fields are unquoted in place: what is written (w) never passes what
    // was read (r), as every field gives up its separator, line end or
    // quotes for its NUL.
    const std::size_t n = text.size();
    std::size_t r = 0, w = 0;
    int line = 1;
    while (r < n) {
        if (std::size_t blank = blankLineEnd(text, r); blank != std::wstring::npos) {
            r = blank < n ? passLineEnd(text, blank, line) : n;
            continue;
        }
        table.rows.push_back({w, line});
        for (;;) {
            if (text[r] == L'"') {
                int opened = line;
                for (++r;; ++r) {
                    if (r == n) {
                        unclosedLine = opened;
                        table.rows.clear();
                        wipeText(text);
                        return false;
                    }
                    wchar_t c = text[r];
                    if (c == L'"' && (r + 1 == n || text[r + 1] != L'"'))
                        break;
                    if (c == L'"')
                        ++r; // a doubled quote stands for one
                    else if (c == L'\n' || (c == L'\r' && (r + 1 == n || text[r + 1] != L'\n')))
                        ++line;
                    text[w++] = c;
                }
                ++r;
            }
            while (r < n && text[r] != separator && !isLineEnd(text[r]))
                text[w++] = text[r++];
            // Read what ends the field before its NUL may land on it.
            bool rowEnds = r == n || isLineEnd(text[r]);
            std::size_t next = !rowEnds ? r + 1 : r < n ? passLineEnd(text, r, line) : n;
            text[w++] = L'\0';
            r = next;
            if (rowEnds)
                break;
        }
    }
    table.text.swap(text);
    table.used = w;
    wipeText(text);
    return true;
}

void appendCsvRow(SecureString& out, const std::wstring* fields, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        out += i == 0 ? "\"" : ",\"";
        std::wstring_view field = fields[i];
        for (std::size_t quote; (quote = field.find(L'"')) != std::wstring_view::npos;) {
            appendUtf8(out, field.substr(0, quote + 1));
            out += '"';
            field.remove_prefix(quote + 1);
        }
        appendUtf8(out, field);
        out += '"';
    }
    out += "\r\n";
}
