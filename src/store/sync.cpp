#include "store/sync.h"

#include "platform/platform.h"
#include "store/file_helpers.h"
#include "store/kept_base.h"

#include <algorithm>
#include <new>
#include <unordered_map>

using platform::FileError;

namespace {

// The temporary file this session kept in place of a save, and what it
// holds: a later save that keeps the same list under the same key writes
// nothing, and one that puts the list in place removes it.
std::wstring keptPath;
FileSeen keptSeen;

void dropKept() {
    // A clear list is not left in the free space once the list is protected.
    if (!keptPath.empty() && heldKey.set && !keptSeen.key.set)
        platform::wipeFile(keptPath);
    else if (!keptPath.empty())
        platform::deleteFile(keptPath);
    if (!keptPath.empty())
        removeKeptBase(keptPath);
    keptPath.clear();
    keptSeen = {};
}

void rememberKept(const std::wstring& path, const FileSeen& written) {
    if (path != keptPath)
        dropKept();
    keptPath = path;
    keptSeen = written;
}

// What a file written from plain with key holds.
FileSeen holding(const SecureString& plain, const MasterKey& key) {
    FileSeen seen;
    seen.contentKnown = platform::sha256(plain, seen.content);
    seen.isProtected = key.set;
    seen.key = key;
    return seen;
}

// Whether there holds what written would: the same plain bytes under the
// same key (a new nonce alone is no reason to write).
bool holdsAlready(const FileSeen& there, const FileSeen& written) {
    return there.contentKnown && written.contentKnown && there.content == written.content &&
           sameKey(there.key, written.key);
}

// plain as it goes to the disk with key: itself, or sealed into room; null
// when the system could not protect it.
const SecureString* onDisk(const SecureString& plain, const MasterKey& key, SecureString& room) {
    if (!key.set)
        return &plain;
    room = plain;
    return sealBytes(room, key) ? &room : nullptr;
}

// Two looks at a file that found the same bytes (or, where they could not be
// read, the same size and time).
bool sameFile(const FileSeen& a, const FileSeen& b) {
    if (a.hashed && b.hashed)
        return a.hash == b.hash;
    return a.hashed == b.hashed && a.stamp == b.stamp;
}

// Whether another PC's deletions are too many to apply without asking.
bool manyDeletions(const MergeReport& report) {
    const int n = report.theirDeletions;
    return n >= 5 && 2 * n > int(dataFileBase.entries.size());
}

// The key a save writes with when nothing else is decided.
const MasterKey& writingKey() { return upgradeKey.set ? upgradeKey : heldKey; }

// What was written with key is on the disk now: the key is the session's,
// and an upgrade waiting is done or dropped.
void commitKey(const MasterKey& key) {
    MasterKey written = key; // key may be one of the two forgotten here
    forgetKeys();
    heldKey = written;
}

// Keeps plain as a temporary file of PASSWORD.TXT, protected with the held
// key, in place of any this session kept before.
SaveResult keep(const SecureString& plain, const MergingRules& rules, std::wstring& path) {
    const FileSeen seen = holding(plain, heldKey);
    if (holdsAlready(keptSeen, seen) && platform::fileExists(keptPath)) {
        path = keptPath;
        return {};
    }
    SecureString room;
    const SecureString* bytes = onDisk(plain, heldKey, room);
    if (!bytes)
        return {FileError::Other, dataFilePath()};
    SaveResult result =
        writeTemporaryFile(dataFilePath(), *bytes, dataSaveRules(false, rules.protect), path);
    if (result.error == FileError::None) {
        rememberKept(path, seen);
        // Without it, putting the list back could not tell what changed since.
        writeKeptBase(path, dataFileBase.seen, dataFileBase.entries, heldKey);
    }
    return result;
}

MergingSave saveLocked(const EntryList& ours, const SecureString& bytes,
                       const MergingRules& rules) {
    MergingSave out;
    const std::wstring path = dataFilePath();
    const MasterKey& readWith = rules.theirs ? *rules.theirs : heldKey;
    auto keepOurs = [&](KeptBecause because, FileError why) {
        out.because = because;
        out.why = why;
        out.outcome = Saved::Kept;
        if (!rules.mayKeep)
            return;
        out.result = keep(bytes, rules, out.kept);
        if (out.result.error != FileError::None)
            out.outcome = Saved::Failed;
    };
    EntryList merged;
    for (int round = 0;; ++round) {
        EntryList theirs;
        FileSeen& seen = out.theirs;
        FileError why = FileError::None;
        DataFileState state = DataFileState::Missing;
        QuietAttempts()([&] {
            state = readDataFile(path, theirs, &why, nullptr, &seen, readWith);
            return state == DataFileState::Unreadable ? why : FileError::None;
        });
        if (state == DataFileState::Unreadable && why == FileError::InUse && !rules.keepTemporary) {
            // Held by another program: asked about as a file that cannot be
            // written is.
            out.result = {why, path};
            return out;
        }
        if (state == DataFileState::Unreadable || state == DataFileState::TooLarge) {
            keepOurs(KeptBecause::Unreadable, why);
            return out;
        }
        const bool changed = state != DataFileState::Missing && !unchangedSinceBase(seen);
        // Protected elsewhere with another key: never written over unopened.
        if (state == DataFileState::NeedsPassword && changed) {
            if (rules.declined)
                keepOurs(KeptBecause::Locked, FileError::None);
            else
                out.outcome = Saved::NeedsPassword;
            return out;
        }
        // A file that cannot be merged is written over only when it is the
        // base: the user went on past it (from PASSWORD.BAK, say).
        if (changed &&
            (state == DataFileState::Damaged || state == DataFileState::ProtectionDamaged)) {
            keepOurs(KeptBecause::Damaged, FileError::None);
            return out;
        }
        out.merged = changed;
        // No clear text over a plain file without the user's word.
        const bool plainThere =
            (state == DataFileState::Read || state == DataFileState::Damaged) && !seen.isProtected;
        if (plainThere && heldKey.set && !rules.chosen && !rules.clearTextAgreed) {
            if (rules.declined)
                keepOurs(KeptBecause::Unprotected, FileError::None);
            else
                out.outcome = Saved::Unprotected;
            return out;
        }
        const MasterKey plainFile;
        const MasterKey& key = rules.chosen                          ? *rules.chosen
                               : plainThere && rules.clearTextAgreed ? plainFile
                               : rules.theirs                        ? *rules.theirs
                                                                     : writingKey();
        // Nor over a protected one (a session gone on from a plain backup).
        if (seen.isProtected && !key.set && !rules.chosen && !rules.clearTextAgreed) {
            if (rules.declined)
                keepOurs(KeptBecause::Unprotected, FileError::None);
            else
                out.outcome = Saved::Unprotected;
            return out;
        }
        out.protectionOverridden =
            rules.chosen && changed && !sameKey(seen.key, dataFileBase.seen.key);
        SecureString mergedBytes;
        if (out.merged) {
            try {
                merged = mergeEntries(dataFileBase.entries, ours, theirs, out.report,
                                      rules.applyTheirDeletions);
                mergedBytes = formatDataFile(merged);
            } catch (const std::bad_alloc&) {
                out.result = {FileError::TooLarge, path};
                return out;
            }
            if (!rules.deletionsDecided && manyDeletions(out.report)) {
                out.outcome = Saved::ManyDeletions;
                return out;
            }
        }
        const EntryList& list = out.merged ? merged : ours;
        const SecureString& plain = out.merged ? mergedBytes : bytes;
        FileSeen written = holding(plain, key);
        const bool newBase = !out.merged || rules.takeIn;
        if (state != DataFileState::Missing && holdsAlready(seen, written)) {
            // Rewriting the same bytes is what makes sync clients report
            // conflicts.
            if (newBase)
                setDataFileBase(list, seen);
            commitKey(key);
            out.outcome = Saved::AlreadyThere;
            break;
        }
        SecureString room;
        const SecureString* toWrite = onDisk(plain, key, room);
        if (!toWrite) {
            out.result = {FileError::Other, path};
            return out;
        }
        written.hashed = platform::sha256(*toWrite, written.hash);
        std::wstring temporary;
        out.result = writeTemporaryFile(path, *toWrite,
                                        dataSaveRules(rules.keepBackup, rules.protect), temporary);
        if (out.result.error != FileError::None)
            return out;
        // A PC that saved meanwhile without the lock (an older Keyloom, or
        // one whose lock a cloud folder carries late) is merged again.
        if (!sameFile(seeDataFile(), seen)) {
            if (round < 3) {
                platform::deleteFile(temporary);
                continue;
            }
            out.outcome = Saved::Kept;
            out.because = KeptBecause::Changing;
            if (!rules.mayKeep) {
                platform::deleteFile(temporary);
                return out;
            }
            rememberKept(temporary, written);
            // Merged with what the file held at the last look: that is its base.
            writeKeptBase(temporary, seen, entryDigests(theirs), key);
            out.kept = temporary;
            return out;
        }
        out.result = swapIn(temporary, path, rules.keepBackup ? dataBackupPath() : L"");
        if (out.result.error != FileError::None) {
            if (rules.keepTemporary)
                rememberKept(temporary, written);
            else
                platform::deleteFile(temporary);
            return out;
        }
        written.stamp = platform::fileStamp(path);
        if (newBase)
            setDataFileBase(list, written);
        commitKey(key);
        out.outcome = Saved::Written;
        break;
    }
    dropKept(); // what it held is saved now
    if (out.merged)
        out.list.records.swap(merged.records);
    return out;
}

// ASCII letters in upper case: file names compare so on Windows.
std::wstring upperCase(std::wstring name) {
    for (wchar_t& c : name)
        if (c >= L'a' && c <= L'z')
            c = c - L'a' + L'A';
    return name;
}

} // namespace

std::wstring dataLockPath() { return dataFilePath() + L".lock"; }

bool lockDataFile() {
    const std::wstring path = dataLockPath();
    platform::LockFile lock = platform::takeLockFile(path);
    if (lock != platform::LockFile::Exists)
        return lock == platform::LockFile::Taken;
    // A sync client that delivers the lock again gives it a new time: only
    // this PC's clock counts.
    platform::showWaitCursor(true);
    const unsigned start = platform::tickCount();
    while (lock == platform::LockFile::Exists && platform::tickCount() - start < 2000) {
        platform::sleep(100);
        lock = platform::takeLockFile(path);
    }
    if (lock == platform::LockFile::Exists) {
        platform::deleteFile(path);
        lock = platform::takeLockFile(path);
    }
    platform::showWaitCursor(false);
    return lock == platform::LockFile::Taken;
}

void unlockDataFile() { platform::releaseLockFile(); }

MergingSave saveMerging(const EntryList& ours, const MergingRules& rules) {
    SecureString bytes = formatDataFile(ours);
    // Nothing changed since the base, here nor (by its size and time) in the
    // file, nor in the key: nothing to lock, read or write. So the end of
    // the session after its query saved.
    const FileSeen& base = dataFileBase.seen;
    if (!rules.theirs && platform::fileStamp(dataFilePath()) == base.stamp &&
        holdsAlready(base, holding(bytes, rules.chosen ? *rules.chosen : writingKey()))) {
        MergingSave out;
        out.outcome = Saved::AlreadyThere;
        return out;
    }
    const bool locked = lockDataFile();
    MergingSave out = saveLocked(ours, bytes, rules);
    if (locked)
        unlockDataFile();
    return out;
}

bool dataFileTouched() { return platform::fileStamp(dataFilePath()) != dataFileBase.seen.stamp; }

TakeIn takeInDataFile(const EntryList& ours, EntryList& merged, MergeReport& report, FileSeen& seen,
                      const MasterKey& key) {
    EntryList theirs;
    DataFileState state = readDataFile(dataFilePath(), theirs, nullptr, nullptr, &seen, key);
    if (state == DataFileState::NeedsPassword)
        return TakeIn::Locked;
    if (state != DataFileState::Read && state != DataFileState::Damaged)
        return TakeIn::Left;
    if (unchangedSinceBase(seen)) {
        dataFileBase.seen = seen;
        return TakeIn::Refreshed;
    }
    if (state == DataFileState::Damaged)
        return TakeIn::Left;
    try {
        merged = mergeEntries(dataFileBase.entries, ours, theirs, report);
        if (manyDeletions(report))
            return TakeIn::Left;
        setDataFileBase(theirs, seen);
        if (seen.isProtected)
            adoptKey(seen.key);
    } catch (const std::bad_alloc&) {
        return TakeIn::Left;
    }
    return TakeIn::Merged;
}

std::vector<std::wstring> strayDataFiles() {
    const std::wstring folder = programDirectory(), path = dataFilePath();
    std::vector<std::wstring> found;
    const long long since = platform::fileTime(path);
    for (int n = 1; n <= temporaryNames && since >= 0; ++n) {
        const std::wstring temporary = temporaryPath(path, n);
        const long long time = platform::fileTime(temporary);
        if (time >= 0 && time < since)
            found.push_back(temporary);
    }
    std::vector<std::wstring> names = platform::filesInFolder(folder);
    std::sort(names.begin(), names.end());
    for (const std::wstring& name : names) {
        const std::wstring upper = upperCase(name);
        if (upper.size() > 12 && upper.compare(0, 8, L"PASSWORD") == 0 &&
            upper.compare(upper.size() - 4, 4, L".TXT") == 0)
            found.push_back(folder + L"\\" + name);
    }
    return found;
}

DataFileState entriesLacking(const std::wstring& path, const EntryList& list, EntryList& lacking,
                             FileSeen* seen, const MasterKey& key, platform::FileError* why) {
    EntryList copy;
    DataFileState state = readDataFile(path, copy, why, nullptr, seen, key);
    if (state != DataFileState::Read && state != DataFileState::Damaged)
        return state;
    std::unordered_multimap<std::size_t, int> unmatched;
    for (int i = 0; i < list.count(); ++i)
        unmatched.emplace(entryHash(list.records[i]), i);
    releaseEntries(lacking);
    for (EntryRecord& record : copy.records) {
        auto range = unmatched.equal_range(entryHash(record));
        auto it = range.first;
        while (it != range.second && !sameEntry(list.records[it->second], record))
            ++it;
        if (it != range.second)
            unmatched.erase(it);
        else
            lacking.records.push_back(std::move(record));
    }
    return state;
}

FileError setAside(const std::wstring& path, const wchar_t* suffix) {
    removeKeptBase(path);
    std::wstring to = path + suffix;
    for (int n = 2; platform::fileExists(to); ++n)
        to = path + L"." + std::to_wstring(n) + suffix;
    return platform::moveFileOver(path, to);
}

void forgetKeptFile() {
    keptPath.clear();
    keptSeen = {};
}

SaveResult keepEntries(const EntryList& list, std::wstring& path) {
    return keep(formatDataFile(list), MergingRules(), path);
}

std::vector<std::wstring> clearLeftovers() {
    const std::wstring folder = programDirectory();
    std::vector<std::wstring> candidates{dataBackupPath(), dataBackupPath() + L".tmp"};
    std::vector<std::wstring> names = platform::filesInFolder(folder);
    std::sort(names.begin(), names.end());
    for (const std::wstring& name : names) {
        const std::wstring upper = upperCase(name);
        if (upper.compare(0, 8, L"PASSWORD") == 0 && upper.size() > 15 &&
            upper.compare(upper.size() - 7, 7, L".MERGED") == 0)
            candidates.push_back(folder + L"\\" + name);
    }
    std::vector<std::wstring> clear;
    for (const std::wstring& path : candidates) {
        FileSeen seen;
        if (peekDataFile(path, seen) == DataFileState::Read)
            clear.push_back(path);
    }
    return clear;
}

FileError protectInPlace(const std::wstring& path, const MasterKey& from) {
    std::string bytes;
    FileError error = platform::readWholeFile(path, bytes);
    SecureString sealed(bytes);
    secureWipe(bytes.data(), bytes.size());
    if (error != FileError::None)
        return error;
    if (isProtectedFile(sealed)) {
        const ProtectedFile file = readProtectedFile(sealed);
        SecureString plain;
        const bool fits = from.set && file.damaged == ProtectedPart::None &&
                          file.salt == from.key.salt && file.iterations == from.key.iterations;
        const OpenResult opened =
            fits ? openProtected(file, from.key, plain) : OpenResult::WrongPassword;
        if (opened != OpenResult::Opened && opened != OpenResult::OpenedCheckDamaged)
            return FileError::Other;
        sealed = std::move(plain);
    }
    if (!sealBytes(sealed, heldKey))
        return FileError::Other;
    // The protected copy first: at no moment is there neither.
    platform::FileProtection protection;
    platform::readProtection(path, protection);
    const std::wstring copy = temporaryPath(path, 1);
    error = platform::writeFile(copy, sealed, protection);
    if (error == FileError::None)
        error = platform::wipeFile(path);
    if (error == FileError::None)
        return platform::moveFileOver(copy, path);
    platform::deleteFile(copy);
    return error;
}
