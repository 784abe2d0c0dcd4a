#include "store/sync.h"

#include "platform/platform.h"
#include "store/file_helpers.h"

#include <algorithm>
#include <new>
#include <unordered_map>

using platform::FileError;

namespace {

// The temporary file this session kept in place of a save, and its bytes'
// hash: a later save that keeps the same bytes writes nothing, and one that
// puts the list in place removes it.
std::wstring keptPath;
bool keptHashed = false;
platform::Sha256Digest keptHash{};

void dropKept() {
    if (!keptPath.empty())
        platform::deleteFile(keptPath);
    keptPath.clear();
    keptHashed = false;
}

void rememberKept(const std::wstring& path, const FileSeen& bytes) {
    if (path != keptPath)
        dropKept();
    keptPath = path;
    keptHashed = bytes.hashed;
    keptHash = bytes.hash;
}

FileSeen hashOf(std::string_view bytes) {
    FileSeen seen;
    seen.hashed = platform::sha256(bytes, seen.hash);
    return seen;
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
    return n >= 5 && 2 * n > dataFileBase.list.count();
}

// Keeps bytes as a temporary file of PASSWORD.TXT, in place of any this
// session kept before.
SaveResult keep(std::string_view bytes, const MergingRules& rules, std::wstring& path) {
    const FileSeen seen = hashOf(bytes);
    if (seen.hashed && keptHashed && seen.hash == keptHash && platform::fileExists(keptPath)) {
        path = keptPath;
        return {};
    }
    SaveResult result =
        writeTemporaryFile(dataFilePath(), bytes, dataSaveRules(false, rules.protect), path);
    if (result.error == FileError::None)
        rememberKept(path, seen);
    return result;
}

MergingSave saveLocked(const EntryList& ours, const SecureString& bytes,
                       const MergingRules& rules) {
    MergingSave out;
    const std::wstring path = dataFilePath();
    auto keepOurs = [&](KeptBecause because, FileError why) {
        out.result = keep(bytes, rules, out.kept);
        out.outcome = out.result.error == FileError::None ? Saved::Kept : Saved::Failed;
        out.because = because;
        out.why = why;
    };
    EntryList merged;
    for (int round = 0;; ++round) {
        EntryList theirs;
        FileSeen seen;
        FileError why = FileError::None;
        DataFileState state = DataFileState::Missing;
        QuietAttempts()([&] {
            state = readDataFile(path, theirs, &why, nullptr, &seen);
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
        out.merged = state != DataFileState::Missing && !unchangedSinceBase(seen);
        if (out.merged && state == DataFileState::Damaged) {
            keepOurs(KeptBecause::Damaged, FileError::None);
            return out;
        }
        SecureString mergedBytes;
        if (out.merged) {
            try {
                merged = mergeEntries(dataFileBase.list, ours, theirs, out.report,
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
        const SecureString& toWrite = out.merged ? mergedBytes : bytes;
        FileSeen written = hashOf(toWrite);
        const bool newBase = !out.merged || rules.takeIn;
        if (state != DataFileState::Missing && sameFile(written, seen)) {
            // Rewriting the same bytes is what makes sync clients report
            // conflicts.
            if (newBase)
                setDataFileBase(list, seen);
            out.outcome = Saved::AlreadyThere;
            break;
        }
        std::wstring temporary;
        out.result = writeTemporaryFile(path, toWrite,
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
            rememberKept(temporary, written);
            out.kept = temporary;
            out.outcome = Saved::Kept;
            out.because = KeptBecause::Changing;
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

bool lockDataFile(bool sessionEnd) {
    const std::wstring path = dataLockPath();
    const unsigned start = platform::tickCount();
    unsigned since = start;
    platform::FileStamp seen = platform::fileStamp(path);
    for (;;) {
        switch (platform::takeLockFile(path)) {
        case platform::LockFile::Taken: return true;
        case platform::LockFile::Failed: return false;
        case platform::LockFile::Exists: break;
        }
        const unsigned now = platform::tickCount();
        if (sessionEnd && now - start >= 2000)
            return false;
        // Every save makes a new lock: one that has not changed for a minute
        // is not a save under way.
        platform::FileStamp stamp = platform::fileStamp(path);
        if (stamp != seen) {
            seen = stamp;
            since = now;
        } else if (now - since >= 60000) {
            platform::deleteFile(path);
            return platform::takeLockFile(path) == platform::LockFile::Taken;
        }
        platform::sleep(100);
    }
}

void unlockDataFile() { platform::releaseLockFile(); }

MergingSave saveMerging(const EntryList& ours, const MergingRules& rules) {
    SecureString bytes = formatDataFile(ours);
    // Nothing changed since the base, here nor (by its size and time) in the
    // file: nothing to lock, read or write. So the end of the session after
    // its query saved.
    const FileSeen& base = dataFileBase.seen;
    if (base.hashed && platform::fileStamp(dataFilePath()) == base.stamp &&
        sameFile(hashOf(bytes), base)) {
        MergingSave out;
        out.outcome = Saved::AlreadyThere;
        return out;
    }
    const bool locked = lockDataFile(rules.sessionEnd);
    MergingSave out = saveLocked(ours, bytes, rules);
    if (locked)
        unlockDataFile();
    return out;
}

bool dataFileTouched() { return platform::fileStamp(dataFilePath()) != dataFileBase.seen.stamp; }

TakeIn takeInDataFile(const EntryList& ours, EntryList& merged, MergeReport& report) {
    EntryList theirs;
    FileSeen seen;
    DataFileState state = readDataFile(dataFilePath(), theirs, nullptr, nullptr, &seen);
    if (state != DataFileState::Read && state != DataFileState::Damaged)
        return TakeIn::Left;
    if (unchangedSinceBase(seen)) {
        dataFileBase.seen = seen;
        return TakeIn::Refreshed;
    }
    if (state == DataFileState::Damaged)
        return TakeIn::Left;
    try {
        merged = mergeEntries(dataFileBase.list, ours, theirs, report);
        if (manyDeletions(report))
            return TakeIn::Left;
        setDataFileBase(theirs, seen);
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

bool entriesLacking(const std::wstring& path, const EntryList& list, EntryList& lacking) {
    EntryList copy;
    if (readDataFile(path, copy) != DataFileState::Read)
        return false;
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
    return true;
}

FileError setAside(const std::wstring& path, const wchar_t* suffix) {
    std::wstring to = path + suffix;
    for (int n = 2; platform::fileExists(to); ++n)
        to = path + L"." + std::to_wstring(n) + suffix;
    return platform::moveFileOver(path, to);
}

void forgetKeptFile() {
    keptPath.clear();
    keptHashed = false;
}
