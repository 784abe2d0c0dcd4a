#include "store/text.h"

#include "platform/platform.h"
#include "base/secure_string.h"

#include <algorithm>
#include <cstring>

std::size_t cutLength(const char* text, std::size_t room) {
    // Walk whole characters from the start: only that way is a lead byte
    // told apart from a trail byte.
    std::size_t end = 0;
    while (end < room) {
        std::size_t width = platform::isLeadByte(static_cast<unsigned char>(text[end])) ? 2 : 1;
        if (end + width > room)
            break;
        end += width;
    }
    return end;
}

void dropCarriageReturns(SecureString& text) {
    text.resize(std::remove(text.begin(), text.end(), '\r') - text.begin());
}

void keepMemoLineBreaks(SecureString& memo, std::size_t room) {
    SecureString text;
    text.reserve(memo.size() + memo.size() / 2);
    for (std::size_t i = 0; i < memo.size(); ++i) {
        text += memo[i];
        if (memo[i] == '\r' && (i + 1 == memo.size() || memo[i + 1] != '\n'))
            text += '\n';
    }
    std::size_t keep = fittingLength(text.data(), text.size(), room);
    if (keep > 0 && text[keep - 1] == '\r')
        --keep;
    text.resize(keep);
    memo.swap(text);
}

TextStretch overflowingInput(std::string_view text, std::size_t caret, std::size_t limit) {
    std::size_t excess = text.size() - limit;
    if (caret >= excess) {
        // The last character start at or before caret - excess.
        std::size_t from = 0;
        for (std::size_t i = 0; i <= caret - excess;) {
            from = i;
            bool lineBreak = text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
            i += lineBreak || platform::isLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
        }
        return {from, caret};
    }
    return {fittingLength(text.data(), text.size(), limit), text.size()};
}
