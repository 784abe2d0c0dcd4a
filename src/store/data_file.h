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

#include "store/entry_list.h"
#include "store/wipe.h"

#include <cstddef>
#include <string>

enum class DataFileState {
    Missing,    // no file: the list is empty, as on a first start
    Unreadable, // the file exists but cannot be read: the list is unchanged
    Damaged,    // read as far as it could be; see parseDataFile
    Read,
};

std::wstring dataFilePath();
// Where a save keeps the previous PASSWORD.TXT.
std::wstring dataBackupPath();

// The file's bytes for a list. A CR in a short field is dropped and a CR in
// the memo without LF becomes CR LF, within the memo's 8191 bytes, so that
// reading the bytes back gives exactly what was written.
SecureString formatDataFile(const EntryList& list);

// Appends the records in data to list. Never reads past data nor allocates for
// a count that the records do not bear out. Returns false when the file had to
// be mended to be read: cut short (the records read so far are kept, a record
// cut off with its fields read so far), a line too long for its field (cut), a
// CR without LF, a last line without CR, a negative count (0) or a number out
// of the 32-bit range (saturated).
bool parseDataFile(const char* data, std::size_t size, EntryList& list);

// Writes entryList to PASSWORD.TXT, keeping the previous file as PASSWORD.BAK.
// Returns false when the user gave up after the retry question.
bool saveDataFile();

// Builds entryList from PASSWORD.TXT. An unreadable file leaves it unchanged.
DataFileState loadDataFile();

// Drops every change of this run by reading PASSWORD.TXT again.
DataFileState revertEntries();
