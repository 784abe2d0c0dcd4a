// Shift-JIS text cut on character boundaries, and the text rules of a record.
#pragma once

#include "base/secure_string.h"

#include <cstddef>
#include <string>
#include <string_view>

// The longest prefix of text[0, length) that is at most room bytes and does
// not end inside a double-byte character. Inline, since the reader asks for
// every line and nearly every one fits; cutLength walks the others.
std::size_t cutLength(const char* text, std::size_t room);
inline std::size_t fittingLength(const char* text, std::size_t length, std::size_t room) {
    return length <= room ? length : cutLength(text, room);
}

// The two text rules of a record, for text that comes from outside (a paste
// into the editor, a list built in memory): a short field holds no CR, and in
// the memo every CR is followed by LF.
void dropCarriageReturns(SecureString& text);
// Gives every lone CR of the memo its LF, cutting the memo to room bytes:
// never a CR without LF, never half a double-byte character.
void keepMemoLineBreaks(SecureString& memo, std::size_t room);

// Bytes [from, to) of a text.
struct TextStretch {
    std::size_t from, to;
};
// What to cut from a field's text of more than limit bytes after an input
// that ended at caret: the input's own last characters, as few whole ones as
// make it fit (a CR LF counts as one). When the characters before the caret
// are not enough, the text's tail instead.
TextStretch overflowingInput(std::string_view text, std::size_t caret, std::size_t limit);
