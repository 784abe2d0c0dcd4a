// What the data file and the settings file share: where they live, how their
// lines are read, and how they are saved. Nothing here asks the user: a save
// reports what happened, and the program above asks.
#pragma once

#include "platform/platform.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The folder of the running executable, without a trailing backslash.
std::wstring programDirectory();

// Reads lines out of a file's bytes. A line ends at CR, and the LF after it is
// passed over. Whatever the reader had to mend on the way (a line cut to its
// field's limit, a CR without LF, a last line without CR, a number out of range) sets
// repaired: the file is not as this program writes it.
struct LineReader {
    const char* next;
    const char* end;
    bool repaired = false;

    LineReader(const char* data, std::size_t size) : next(data), end(data + size) {}
    bool atEnd() const { return next == end; }
};

// Reads one line, as a view into the file's bytes, of at most limit bytes:
// a longer one is cut without splitting a double-byte character and the rest
// skipped. Returns false, with line empty, when no line is left.
bool readLine(LineReader& in, std::string_view& line, std::size_t limit);

// Reads one line of at most 255 bytes as a decimal integer, the way atoi does
// (leading white space, a sign, digits up to the first non-digit; 0 without
// digits), saturated to the 32-bit range. Returns false, with value 0, when no
// line is left.
bool readIntLine(LineReader& in, std::int32_t& value);

// ---- Saving ----

// A file another program holds (a virus scanner, the search indexer, a sync
// client) is usually free again a moment later: about a second of quiet
// attempts in all, shared by the steps of one save, before anyone is asked.
struct QuietAttempts {
    int pausesLeft = 10;

    template <class Attempt> platform::FileError operator()(Attempt attempt) {
        for (;;) {
            platform::FileError error = attempt();
            bool held = error == platform::FileError::InUse || error == platform::FileError::Denied;
            if (!held || pausesLeft == 0)
                return error;
            --pausesLeft;
            platform::sleep(100);
        }
    }
};

// The temporary names a save of path writes to before the swap: path.tmp,
// and path.tmp2 to path.tmp9 while the ones before are taken (a folder of
// that name, a file another program holds, or one the save must keep).
constexpr int temporaryNames = 9;
std::wstring temporaryPath(const std::wstring& path, int n);

// What a save of one file keeps: the previous file as backupPath (none when
// empty); the files at the temporary names that kept() names (an unfinished
// save the user has not decided on yet), which it never writes over; and the
// protection of the file protectionOf (when it exists; none when empty),
// which every new file is made with.
struct SaveRules {
    std::wstring backupPath;
    bool (*kept)(const std::wstring& temporary) = nullptr;
    std::wstring protectionOf{};
};

struct SaveResult {
    platform::FileError error = platform::FileError::None; // why the save failed
    std::wstring failed;                                   // the file at fault
    // The save went through, but the previous file could not be kept as the
    // backup, for this reason.
    platform::FileError backupError = platform::FileError::None;
};

// One save of bytes as the file at path: written to a free temporary name,
// the old file kept as the backup (a failure there never stops the save),
// then the temporary file renamed over path, so that there is a file at path
// at every moment. Each step is tried again for about a second while another
// program holds a file. When the rename fails the temporary file is removed,
// or kept when keepTemporary: the end of the session leaves it complete for
// the next start to offer.
SaveResult saveFile(const std::wstring& path, std::string_view bytes, const SaveRules& rules,
                    bool keepTemporary);

// The first steps of a save: bytes written to a free temporary name of path
// (temporary names it), made with the protection the rules give.
SaveResult writeTemporaryFile(const std::wstring& path, std::string_view bytes,
                              const SaveRules& rules, std::wstring& temporary);

// Keeps the file at path as backupPath, replacing the backup there only
// with a whole new one: a second name of the file, for a file that is
// replaced next (a save's swap).
platform::FileError keepAsBackup(const std::wstring& path, const std::wstring& backupPath,
                                 QuietAttempts& retried);
// The same as a copy: a file of its own, for a file that stays where it is,
// so that a program writing one in place never changes the other.
platform::FileError copyAsBackup(const std::wstring& path, const std::wstring& backupPath,
                                 QuietAttempts& retried);

// The last steps of a save: the old file kept as backupPath (unless empty),
// then temporary renamed over path. temporary is never removed.
SaveResult swapIn(const std::wstring& temporary, const std::wstring& path,
                  const std::wstring& backupPath);

// The newest temporary file of path that complete() accepts and that was
// written after path (any, when path is missing); empty when there is none.
std::wstring newerTemporary(const std::wstring& path,
                            bool (*complete)(const std::wstring& temporary));
