// PASSWORD.TXT shared by several PCs (a USB stick, a network share, a cloud
// folder). A save takes in what another PC saved since the base (see
// dataFileBase) instead of writing over it, under a lock that keeps two saves
// from interleaving; a running session can take it in as well; and the copies
// a sync client leaves beside the file are found. Nothing here asks or
// tells: each step reports, and the program above asks.
#pragma once

#include "platform/platform.h"
#include "store/data_file.h"
#include "store/file_helpers.h"
#include "store/merge.h"

#include <string>
#include <vector>

// ---- The lock ----

// PASSWORD.TXT.lock, held while a save reads, merges and replaces PASSWORD.TXT.
std::wstring dataLockPath();
// Takes the lock. A save takes milliseconds: another's is waited for 2 s at
// most (the wait cursor on), counted by this PC's clock from the first look,
// never by the file's time. One still there then was left behind (by a PC
// cut off from a share, or brought by a sync client) and is deleted and
// taken. Where it cannot be deleted (held open on a share), or no lock can
// be made at all (a read-only folder), the save goes on without it: the
// look at PASSWORD.TXT just before the swap still catches a save under way.
// True when taken.
bool lockDataFile();
void unlockDataFile();

// ---- Saving ----

// What the caller decided for one save.
struct MergingRules {
    // Entries another PC deleted are deleted here too. Until decided, a save
    // that would delete more than half of the base's entries (and at least
    // five) that way stops before it writes, for the user to decide.
    bool applyTheirDeletions = true;
    bool deletionsDecided = false;
    bool keepBackup = true; // see dataSaveRules
    bool protect = true;
    // A temporary file whose swap fails is kept (see saveFile), and so is
    // the list when PASSWORD.TXT is held from being read.
    bool keepTemporary = false;
    // False while the caller's list cannot change (a command waits in a
    // question about one of its entries): a merge is written all the same,
    // but the base stays, so that a later save takes the other PC's changes
    // in again.
    bool takeIn = true;

    // The master password. Files are read with the held key, or with their
    // own when the user typed it (theirs); the save writes with the key
    // chosen here (set, changed or turned off in this session: it stands
    // over whatever protection the file has), else with theirs (the file was
    // protected elsewhere since), else with the held key or its upgrade.
    const MasterKey* chosen = nullptr;
    const MasterKey* theirs = nullptr;
    // A session holding a key writes clear text over a plain PASSWORD.TXT
    // only when the user agreed to.
    bool clearTextAgreed = false;
    // The user declined to open PASSWORD.TXT or to write it in clear (or
    // cannot be asked: the session ends): the list goes to a kept temporary
    // file instead.
    bool declined = false;
    // False: where the list would go to a kept temporary file, nothing is
    // written at all (a change of protection is written whole or not).
    bool mayKeep = true;
};

enum class Saved {
    Written,
    AlreadyThere,  // PASSWORD.TXT held these bytes: nothing written, not even the backup
    Failed,        // result says why and which file
    ManyDeletions, // stopped before writing (see MergingRules): report tells how many
    // PASSWORD.TXT left alone (see KeptBecause); the list went to kept, or
    // nowhere when the rules did not allow it (kept is empty then)
    Kept,
    // Stopped before writing, for the user to decide: PASSWORD.TXT is
    // protected with a key not held (theirs tells its salt and iterations),
    // or plain while the session holds one, or protected while it holds
    // none (theirs tells which).
    NeedsPassword,
    Unprotected,
};
enum class KeptBecause {
    Unreadable, // why says why
    Damaged,
    Changing,    // changed again at every look before the swap
    Locked,      // protected with a key not held
    Unprotected, // plain while the session holds a key, or protected while it holds none
};

struct MergingSave {
    Saved outcome = Saved::Failed;
    SaveResult result;
    // What another PC saved was taken in: list is what PASSWORD.TXT holds
    // now, to take the place of the list the save was given.
    bool merged = false;
    MergeReport report;
    EntryList list;
    KeptBecause because = KeptBecause::Unreadable;
    platform::FileError why = platform::FileError::None;
    std::wstring kept; // a temporary file of PASSWORD.TXT, for the next start to offer
    FileSeen theirs;   // PASSWORD.TXT as last read
    // The protection chosen here was written over another PC's change of it.
    bool protectionOverridden = false;
};

// Saves ours as PASSWORD.TXT, and what is written becomes the base. Under the
// lock the file is looked at again: missing or unchanged since the base, it
// gets ours; changed, ours merged with it (see mergeEntries). One that cannot
// be read, or reads as damaged, is neither merged into nor written over: ours
// goes to a kept temporary file instead. Bytes equal to the file's are not
// written. Just before the swap the file is looked at once more, and a change
// there is merged again, three times at most; then the temporary file is
// kept. A temporary file kept earlier in the session goes once the list is
// saved. What was written, with its key, becomes the base and the held key.
MergingSave saveMerging(const EntryList& ours, const MergingRules& rules);

// ---- While the session runs ----

// Whether PASSWORD.TXT's size or time differ from the base's: one look at the
// file, nothing read.
bool dataFileTouched();

enum class TakeIn {
    Merged,    // merged holds ours with the file's changes, and the file is the base
    Refreshed, // the same bytes with a new time: the base has that time
    Left,      // missing, unreadable, damaged, or deleting much: for the save and its questions
    Locked,    // protected with a key not held: seen tells its salt and iterations
};
// Takes what another PC saved into ours, writing nothing. With a key the
// user typed for the file (key), a file it opens makes it the held key.
TakeIn takeInDataFile(const EntryList& ours, EntryList& merged, MergeReport& report, FileSeen& seen,
                      const MasterKey& key = heldKey);

// ---- Other copies beside PASSWORD.TXT ----

// Files whose entries PASSWORD.TXT may lack, by name: temporary files of
// saves that another save has made older than PASSWORD.TXT, and the copies a
// sync client makes when two PCs changed the file at once ("PASSWORD (1).TXT",
// "PASSWORD-PC.TXT": every name beginning with "PASSWORD" and ending in ".TXT",
// in any case, but PASSWORD.TXT itself).
std::vector<std::wstring> strayDataFiles();
// The entries of the data file at path that list lacks (each of list's
// entries answers for one equal entry), in the file's order, when it reads
// with key (Read, or Damaged: of what could be read); otherwise why not,
// seen telling how it is protected.
DataFileState entriesLacking(const std::wstring& path, const EntryList& list, EntryList& lacking,
                             FileSeen* seen = nullptr, const MasterKey& key = heldKey,
                             platform::FileError* why = nullptr);
// Renames the file with suffix (".merged", ".ignored") appended, or with a
// number before it where that name is taken.
platform::FileError setAside(const std::wstring& path, const wchar_t* suffix);

// Forgets the temporary file this run kept, as before start-up.
void forgetKeptFile();
// Keeps list as a temporary file of PASSWORD.TXT protected with the held
// key, as a save that cannot replace PASSWORD.TXT does, for the next start
// to offer; path names it.
SaveResult keepEntries(const EntryList& list, std::wstring& path);

// ---- Once the master password protects PASSWORD.TXT ----

// The files beside PASSWORD.TXT that hold the list in clear and only repeat
// it: PASSWORD.BAK, the backup's temporary file and the ".merged" copies.
std::vector<std::wstring> clearLeftovers();
// Protects the data file at path with the held key where it is: the
// protected copy is written beside it, the old one wiped, and the copy
// renamed into its place. One protected already is opened with from (the
// key before a change of the master password) first; Other when it does
// not open so.
platform::FileError protectInPlace(const std::wstring& path, const MasterKey& from = MasterKey());
