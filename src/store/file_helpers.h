// What the data file and the settings file share: where they live, how their
// lines are read, and how they are written with the retry question.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The folder of the running executable, without a trailing backslash.
std::wstring programDirectory();

// Reads lines out of a file's bytes. A line ends at CR, and the LF after it is
// passed over. Whatever the reader had to mend on the way (a line cut to its
// buffer, a CR without LF, a last line without CR, a number out of range) sets
// repaired: the file is not as this program writes it.
struct LineReader {
    const char* next;
    const char* end;
    bool repaired = false;

    LineReader(const char* data, std::size_t size) : next(data), end(data + size) {}
    bool atEnd() const { return next == end; }
};

// Reads one line into buffer (size bytes), cut to fit without splitting a
// double-byte character; the rest of a long line is skipped. Returns false,
// with buffer empty, when no line is left.
bool readLine(LineReader& in, char* buffer, std::size_t size);

// Reads one line of at most 255 bytes as a decimal integer, the way atoi does
// (leading white space, a sign, digits up to the first non-digit; 0 without
// digits), saturated to the 32-bit range. Returns false, with value 0, when no
// line is left.
bool readIntLine(LineReader& in, std::int32_t& value);

// Writes bytes as the file at path in one step, keeping the previous file as
// backupPath unless that is empty. When it fails the user is asked whether to
// retry, with the file's full path; Yes tries the whole write again. Returns
// false when the user gives up; the file is then unchanged.
bool saveFileWithRetry(const std::wstring& path, std::string_view bytes,
                       const std::wstring& backupPath);
