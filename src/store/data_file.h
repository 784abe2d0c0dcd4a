// PASSWORD.TXT: the entry list between runs.
//
//   KEYLOOM1            header line, not examined when read
//   count               number of records
//   title, userId, password, address, mail
//   memoLineCount       CR bytes in the memo plus 1
//   memo lines          the memo followed by CR LF
//
// Every line ends in CR LF; text is Shift-JIS (code page 932), written as stored.
// Behind a master password the file holds these bytes protected (see
// protected_file.h): they are opened below the reader and sealed below the
// writer, and every rule of the plain file applies inside.
#pragma once

#include "base/secure_string.h"
#include "platform/platform.h"
#include "store/entry_list.h"
#include "store/file_helpers.h"
#include "store/protected_file.h"

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

// ---- The master password ----

// The key of a protected data file; not set: a plain file.
struct MasterKey {
    bool set = false;
    ProtectionKey key;
};
// Both plain, or the same key (salt, iterations and the keys themselves).
bool sameKey(const MasterKey& a, const MasterKey& b);
// The session's key: PASSWORD.TXT is read with it, and every file written
// beside it is protected with it (not set: plain). Wiped at exit.
extern MasterKey heldKey;
// The held key again with today's iterations and a new salt, derived at
// start while the password was at hand, for a file protected with fewer:
// the next save writes with it, and it becomes the held key. Not set: none.
extern MasterKey upgradeKey;
// A key the user typed for PASSWORD.TXT, protected elsewhere since, becomes
// the session's; an upgrade made for the old salt is dropped.
void adoptKey(const MasterKey& key);
// Wipes both keys.
void forgetKeys();
// The bytes of a data file as they go to the disk: protected with key when
// it is set (false when the system could not), else left as they are.
bool sealBytes(SecureString& bytes, const MasterKey& key);

enum class DataFileState {
    Missing,    // no file: the list is empty, as on a first start
    Unreadable, // the file exists but cannot be read: the list is unchanged
    TooLarge,   // more than memory holds: the list is unchanged
    Damaged,    // read as far as it could be; see parseDataFile
    Read,
    // Protected, and the key given does not open it: the list is unchanged,
    // and the file as seen tells the salt and iterations a key is derived with.
    NeedsPassword,
    // Protected, and damaged where nothing can be read: the file as seen names
    // the part. The list is unchanged.
    ProtectionDamaged,
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
    // A protected file: its salt and iterations, the first part found
    // damaged, and what the key given made of it.
    bool isProtected = false;
    ProtectionSalt salt{};
    unsigned iterations = 0;
    ProtectedPart damaged = ProtectedPart::None;
    OpenResult opened = OpenResult::Opened;
    // What it holds, when it opened soundly (plain, or with a check line
    // that fits): the hash of the plain bytes, and the key (not set: plain).
    bool contentKnown = false;
    platform::Sha256Digest content{};
    MasterKey key;
};
// PASSWORD.TXT as it is now.
FileSeen seeDataFile();

// PASSWORD.TXT as this session last read or wrote it, the base that another
// PC's changes are told from: the list as read at start and on revert (also
// from a damaged or a recovered file) or as last saved, and the file as seen
// then. Of the list, one digest per entry is enough (see merge.h).
struct DataFileBase {
    std::vector<EntryDigest> entries;
    FileSeen seen;
};
extern DataFileBase dataFileBase;
void setDataFileBase(const EntryList& list, const FileSeen& seen);
// Wipes and frees the entries' digests; the file as seen stays.
void releaseDataFileBase();
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

// Reads the data file at path into list, which it replaces when it reads
// (also in part, and when it is missing); why tells the cause of
// Unreadable, beyondCount the entries after the count's (see
// parseDataFile), seen the file as read. A protected file opens with key
// when it has key's salt and iterations; a key is never derived here.
DataFileState readDataFile(const std::wstring& path, EntryList& list,
                           platform::FileError* why = nullptr, int* beyondCount = nullptr,
                           FileSeen* seen = nullptr, const MasterKey& key = heldKey);
// Whether the data file at path is protected, without opening it:
// NeedsPassword (a sound header, in seen), ProtectionDamaged, Read for a
// plain one (not parsed), or why it is missing or cannot be read.
DataFileState peekDataFile(const std::wstring& path, FileSeen& seen,
                           platform::FileError* why = nullptr);
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
// missing, PASSWORD.BAK (damaged, when nothing complete is there). A
// protected one that the held key does not open is offered too: its
// password is asked for then.
struct Recovery {
    bool missing = false; // PASSWORD.TXT is not there
    std::wstring path;    // empty: nothing to offer
    int count = 0;
    bool complete = true;
    bool locked = false; // protected otherwise: seen tells how, count is unknown
    FileSeen seen;
    // Files that might be offered but cannot be read now, and why.
    std::vector<std::pair<std::wstring, platform::FileError>> unreadable;
};
// Files in passedOver (the user declined their password) are not offered.
Recovery findRecovery(const std::vector<std::wstring>& passedOver = {});
// Whether a temporary file of PASSWORD.TXT is one to offer (or one that
// cannot be read now, so might be): a save passes its name over.
bool keptTemporary(const std::wstring& temporary);
