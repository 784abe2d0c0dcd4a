// CSV files as browsers and password managers write them: the encoding of
// their bytes, their rows of fields (RFC 4180), and fields written back.
#pragma once

#include "base/secure_string.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// ---- Encodings ----

enum class TextEncoding { Utf8WithMark, Utf16Le, Utf16Be, Utf8, ShiftJis };

// The encoding of a text file's bytes, told in this order: a UTF-8 byte
// order mark, a UTF-16 one (LE or BE), bytes that are all valid UTF-8, else
// code page 932. No other guess: a wrong one garbles the text unseen.
TextEncoding detectEncoding(std::string_view bytes);
// The bytes as text, without their mark. What is no character of the
// encoding becomes U+FFFD (in code page 932, what the platform makes of it).
std::wstring decodeText(std::string_view bytes, TextEncoding encoding);
// Appends text as UTF-8; half of a surrogate pair becomes U+FFFD.
void appendUtf8(SecureString& out, std::wstring_view text);

// Overwrites the text before it is released: CSV files hold passwords.
void wipeText(std::wstring& text);

// ---- Reading ----

// The rows of a CSV text, the header first. The fields' text lies in one
// buffer, unquoted in place, each field followed by a NUL (the text holds
// none); the buffer is wiped when the table goes.
class CsvTable {
  public:
    struct Row {
        std::size_t start; // where its first field begins in the buffer
        int line;          // the text's line it begins on, from 1
    };
    std::vector<Row> rows;
    wchar_t separator = L',';

    CsvTable() = default;
    CsvTable(const CsvTable&) = delete;
    CsvTable& operator=(const CsvTable&) = delete;
    ~CsvTable() { wipeText(text); }

    // The fields of rows[row], as views into the table.
    void fieldsOf(std::size_t row, std::vector<std::wstring_view>& fields) const;

  private:
    friend bool readCsv(std::wstring text, CsvTable& table, int& unclosedLine);
    std::wstring text;
    std::size_t used = 0;
};

// Reads text, which holds no NUL, as RFC 4180 does: a field in double quotes
// may hold separators, line breaks and doubled quotes; a quote inside an
// unquoted field and text after a closing quote stay as they are. Lines end
// with CR LF, LF or CR, the last one with or without; lines of nothing but
// spaces and tabs are skipped. The separator is a comma, or a tab when the
// first line holds tabs and no comma. False when a quoted field is never
// closed, with the line it begins on: the table is empty then.
bool readCsv(std::wstring text, CsvTable& table, int& unclosedLine);

// ---- Writing ----

// Appends one row as UTF-8: every field in quotes, its quotes doubled, its
// line breaks kept, and the row ended with CR LF.
void appendCsvRow(SecureString& out, const std::wstring* fields, std::size_t count);
