// PASSWORD.TXT: the entry list between runs.
//
//   KEYLOOM1            header line, not examined when read
//   count               number of records
//   title, userId, password, address, mail
//   memoLineCount       CR bytes in the memo plus 1
//   memo lines          the memo followed by CR LF
//
// Every line ends in CR LF; text is Shift-JIS (code page 932), written as stored.
#pragma once

#include "base/secure_string.h"
#include "platform/platform.h"
#include "store/entry_list.h"
#include "store/file_helpers.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

enum class DataFileState {
    Missing,    // no file: the list is empty, as on a first start
    Unreadable, // the file exists but cannot be read: the list is unchanged
    TooLarge,   // more than memory holds: the list is unchanged
    Damaged,    // read as far as it could be; see parseDataFile
    Read,
};

std::wstring dataFilePath();
// Where a save keeps the previous PASSWORD.TXT.
std::wstring dataBackupPath();

// What a file was when it was read: its size and time and, when its bytes
// could be read (hashed), their hash.
struct FileSeen {
    platform::FileStamp stamp;
    bool hashed = false;
    platform::Sha256Digest hash{};
};
// PASSWORD.TXT as it is now.
FileSeen seeDataFile();

// PASSWORD.TXT as this session last read or wrote it, the base that another
// PC's changes are told from: the list as read at start and on revert (also
// from a damaged or a recovered file) or as last saved, and the file as seen
// then.
struct DataFileBase {
    EntryList list;
    FileSeen seen;
};
extern DataFileBase dataFileBase;
void setDataFileBase(const EntryList& list, const FileSeen& seen);
// Whether PASSWORD.TXT, seen now, holds the bytes of the base: the same hash,
// or where a hash is missing, the same size and time.
bool unchangedSinceBase(const FileSeen& now);

// The file's bytes for a list. A CR in a short field is dropped and a CR in
// the memo without LF becomes CR LF, within the memo's 8191 bytes, so that
// reading the bytes back gives exactly what was written.
SecureString formatDataFile(const EntryList& list);

// Appends the records in data to list. Never reads past data nor allocates for
// a count that the records do not bear out. Returns false when the file had to
// be mended to be read: cut short (the records read so far are kept, a record
// cut off with its fields read so far), a line too long for its field (cut), a
// CR without LF, a last line without CR, a negative count (0) or a number out
// of the 32-bit range (saturated); or when whole entries follow the count's,
// which are read too and counted in beyondCount.
bool parseDataFile(const char* data, std::size_t size, EntryList& list, int* beyondCount = nullptr);

// How PASSWORD.TXT is saved: the previous file kept as PASSWORD.BAK when
// keepBackup, and unless not protect, every new file made with the
// protection of PASSWORD.TXT (of PASSWORD.BAK while it is missing). A kept
// temporary file is never written over.
SaveRules dataSaveRules(bool keepBackup, bool protect);
// One save (see saveFile) of bytes (a list as formatDataFile makes it) as
// PASSWORD.TXT, keeping the previous file as PASSWORD.BAK when keepBackup.
// Unless not protect, the new file is made with the protection of
// PASSWORD.TXT (of PASSWORD.BAK while it is missing). A kept temporary file
// is never written over; keepTemporary keeps this save's own when the rename
// fails.
SaveResult saveDataFile(std::string_view bytes, bool keepBackup = true, bool protect = true,
                        bool keepTemporary = false);

// Reads the data file at path into list, which it replaces unless the file
// is unreadable or too large; why tells the cause of Unreadable, beyondCount
// the entries after the count's (see parseDataFile), seen the file as read.
DataFileState readDataFile(const std::wstring& path, EntryList& list,
                           platform::FileError* why = nullptr, int* beyondCount = nullptr,
                           FileSeen* seen = nullptr);
// Builds entryList from PASSWORD.TXT, and takes it as the base unless the
// file cannot be read.
DataFileState loadDataFile(platform::FileError* why = nullptr, int* beyondCount = nullptr);

// Drops every change of this run: the entries become those read again from
// PASSWORD.TXT (as seen then) into readAgain, and the base.
void revertEntries(EntryList& readAgain, const FileSeen& seen);

// A save that did not finish (a crash, a power cut, a session that ended
// while another program held PASSWORD.TXT) leaves PASSWORD.TXT missing or a
// complete temporary file beside it, which stays until the user restores or
// discards it: no save writes over it meanwhile. What can be offered then:
// the newest complete one of the temporary files written after PASSWORD.TXT
// (any, when it is missing; an older one is another PC's save's past, whose
// entries are offered to be added instead), and, when PASSWORD.TXT is
// missing, PASSWORD.BAK (damaged, when nothing complete is there).
struct Recovery {
    bool missing = false; // PASSWORD.TXT is not there
    std::wstring path;    // empty: nothing to offer
    int count = 0;
    bool complete = true;
    // Files that might be offered but cannot be read now, and why.
    std::vector<std::pair<std::wstring, platform::FileError>> unreadable;
};
Recovery findRecovery();
// Whether a temporary file of PASSWORD.TXT is one to offer (or one that
// cannot be read now, so might be): a save passes its name over.
bool keptTemporary(const std::wstring& temporary);
