#include "store/data_file.h"

#include "platform/platform.h"
#include "store/file_helpers.h"
#include "store/text.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace {

// Appends to a memo being read, and stops for good once something did not fit.
struct MemoBuilder {
    char text[fieldLimit(Field::memo)];
    std::size_t used = 0;
    bool cut = false;

    ~MemoBuilder() { clear(); }
    void clear() {
        secureWipe(text, used);
        used = 0;
        cut = false;
    }
    void append(std::string_view line) {
        if (cut)
            return;
        std::size_t n = fittingLength(line.data(), line.size(), sizeof text - used);
        std::memcpy(text + used, line.data(), n);
        used += n;
        cut = n < line.size();
    }
    // CR LF goes in whole or not at all: never a CR without its LF.
    void appendLineBreak() {
        if (!cut && used + 2 > sizeof text)
            cut = true;
        append("\r\n");
    }
};

// Reads one record's lines as views into the file's bytes. The memo is one
// too where the file holds it as it is (its lines all end in CR LF and fit);
// otherwise its lines are joined in memo. Returns false when the file ends
// inside the record, with the fields read so far.
bool readRecord(LineReader& in, std::string_view (&fields)[fieldCount], MemoBuilder& memo) {
    for (int i = 0; i < fieldCount - 1; ++i)
        if (!readLine(in, fields[i], fieldLimit(Field(i))))
            return false;

    std::int32_t lineCount;
    if (!readIntLine(in, lineCount))
        return false;
    // A count of 0 or less still means one line. Read once to see whether
    // the memo stands in the file as it is.
    LineReader whole = in;
    whole.repaired = false;
    std::string_view line;
    bool complete = true;
    for (std::int32_t i = 0; complete && (i < lineCount || i == 0); ++i)
        complete = readLine(whole, line, fieldLimit(Field::memo));
    const std::size_t size = whole.next - in.next - 2; // without the last CR LF
    if (complete && !whole.repaired && size <= fieldLimit(Field::memo)) {
        fields[fieldCount - 1] = std::string_view(in.next, size);
        in.next = whole.next;
        return true;
    }
    complete = true;
    for (std::int32_t i = 0; i < lineCount || i == 0; ++i) {
        if (!readLine(in, line, fieldLimit(Field::memo))) {
            complete = false;
            break;
        }
        if (i > 0)
            memo.appendLineBreak();
        memo.append(line);
    }
    if (memo.cut)
        in.repaired = true;
    fields[fieldCount - 1] = std::string_view(memo.text, memo.used);
    return complete;
}

// Whether a whole entry follows: five lines, a line of digits that counts at
// least one memo line, and that many lines. Reads a copy of the reader.
bool wholeEntryFollows(LineReader in) {
    std::string_view line;
    for (int i = 0; i < fieldCount - 1; ++i)
        if (!readLine(in, line, fieldLimit(Field(i))))
            return false;
    if (!readLine(in, line, 255) || line.empty() ||
        line.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    std::int32_t lineCount;
    LineReader count(line.data(), line.size());
    readIntLine(count, lineCount);
    if (lineCount < 1)
        return false;
    for (std::int32_t i = 0; i < lineCount; ++i)
        if (!readLine(in, line, fieldLimit(Field::memo)))
            return false;
    return true;
}

void appendShortField(SecureString& out, std::string_view field) {
    if (field.find('\r') == std::string_view::npos) {
        out += field;
    } else {
        for (char c : field)
            if (c != '\r')
                out += c;
    }
    out += "\r\n";
}

// A memo as the file holds it: every CR with its LF.
void appendMemo(SecureString& out, std::string_view memo) {
    SecureString mended;
    for (std::size_t at = 0; (at = memo.find('\r', at)) != std::string_view::npos; ++at) {
        if (at + 1 == memo.size() || memo[at + 1] != '\n') {
            mended.assign(memo.data(), memo.size());
            keepMemoLineBreaks(mended, fieldLimit(Field::memo));
            memo = mended;
            break;
        }
    }
    out += std::to_string(std::count(memo.begin(), memo.end(), '\r') + 1).c_str();
    out += "\r\n";
    out += memo;
    out += "\r\n";
}

} // namespace

MasterKey heldKey;
MasterKey upgradeKey;

namespace {

void wipeKey(MasterKey& key) {
    secureWipe(key.key.cipherKey.bytes.data(), key.key.cipherKey.bytes.size());
    secureWipe(key.key.checkKey.bytes.data(), key.key.checkKey.bytes.size());
    key = MasterKey();
}

} // namespace

bool sameKey(const MasterKey& a, const MasterKey& b) {
    if (!a.set || !b.set)
        return a.set == b.set;
    return a.key.salt == b.key.salt && a.key.iterations == b.key.iterations &&
           a.key.cipherKey.bytes == b.key.cipherKey.bytes &&
           a.key.checkKey.bytes == b.key.checkKey.bytes;
}

void adoptKey(const MasterKey& key) {
    if (sameKey(key, heldKey))
        return;
    heldKey = key;
    wipeKey(upgradeKey);
}

void forgetKeys() {
    wipeKey(heldKey);
    wipeKey(upgradeKey);
}

bool sealBytes(SecureString& bytes, const MasterKey& key) {
    if (!key.set)
        return true;
    std::string sealed;
    if (!protectBytes(bytes, key.key, sealed))
        return false;
    bytes.assign(sealed);
    return true;
}

std::wstring dataFilePath() { return programDirectory() + L"\\PASSWORD.TXT"; }
std::wstring dataBackupPath() { return programDirectory() + L"\\PASSWORD.BAK"; }

namespace {

void hashBytes(const std::string& bytes, FileSeen& seen) {
    seen.hashed = platform::sha256(bytes, seen.hash);
}

} // namespace

FileSeen seeDataFile() {
    FileSeen seen;
    const std::wstring path = dataFilePath();
    seen.stamp = platform::fileStamp(path);
    std::string bytes;
    if (platform::readWholeFile(path, bytes) == platform::FileError::None)
        hashBytes(bytes, seen);
    secureWipe(bytes.data(), bytes.size());
    return seen;
}

DataFileBase dataFileBase;

void setDataFileBase(const EntryList& list, const FileSeen& seen) {
    // First: memory running out leaves the base as it was.
    std::vector<EntryDigest> digests = entryDigests(list);
    releaseDataFileBase();
    dataFileBase.entries.swap(digests);
    dataFileBase.seen = seen;
}

void releaseDataFileBase() {
    // Wiped as the entries are: a fast digest checks guesses of their fields.
    std::vector<EntryDigest>& digests = dataFileBase.entries;
    if (!digests.empty())
        secureWipe(digests.data(), digests.size() * sizeof(EntryDigest));
    std::vector<EntryDigest>().swap(digests);
}

bool unchangedSinceBase(const FileSeen& now) {
    const FileSeen& then = dataFileBase.seen;
    if (then.hashed && now.hashed)
        return then.hash == now.hash;
    return then.stamp == now.stamp;
}

SecureString formatDataFile(const EntryList& list) {
    // Room for it all at once: the fields, and their line ends and counts.
    std::size_t size = 32;
    for (const EntryRecord& record : list.records)
        for (int i = 0; i < fieldCount; ++i)
            size += record.get(Field(i)).size() + 16;
    SecureString out;
    out.reserve(size);
    out = "KEYLOOM1\r\n";
    out += std::to_string(list.count()).c_str();
    out += "\r\n";
    for (const EntryRecord& record : list.records) {
        for (int i = 0; i < fieldCount - 1; ++i)
            appendShortField(out, record.get(Field(i)));
        appendMemo(out, record.memo());
    }
    return out;
}

bool parseDataFile(const char* data, std::size_t size, EntryList& list, int* beyondCount) {
    LineReader in(data, size);
    std::string_view header;
    bool intact = readLine(in, header, 1023);

    std::int32_t count;
    intact = readIntLine(in, count) && intact;
    if (count < 0) {
        count = 0;
        intact = false;
    }
    // Room for the records the file can hold (each takes at least seven lines
    // of at least one byte), never for what its count merely announces.
    list.records.reserve(list.records.size() +
                         std::min<std::size_t>(count, (in.end - in.next) / 7));
    // Entries after the announced ones (added by hand, or by a tool that did
    // not raise the count) are read too, and make the file damaged, so that
    // the user hears of them; only line ends or an end-of-file mark may
    // follow unread, and nothing that is not a whole entry is taken.
    int beyond = 0;
    MemoBuilder memo;
    for (std::int32_t i = 0; i < count || wholeEntryFollows(in); ++i) {
        if (in.atEnd()) {
            intact = false;
            break;
        }
        if (i >= count)
            ++beyond;
        // A record cut off keeps the fields read so far.
        std::string_view fields[fieldCount];
        memo.clear();
        bool complete = readRecord(in, fields, memo);
        list.records.emplace_back(fields);
        if (!complete) {
            intact = false;
            break;
        }
    }
    if (beyondCount)
        *beyondCount = beyond;
    return intact && !in.repaired && beyond == 0;
}

SaveRules dataSaveRules(bool keepBackup, bool protect) {
    // The list's protection: PASSWORD.TXT's, or while it is missing (a
    // backup put back failed) the backup's.
    std::wstring protectionOf;
    if (protect)
        protectionOf = platform::fileExists(dataFilePath()) ? dataFilePath() : dataBackupPath();
    return {keepBackup ? dataBackupPath() : L"", keptTemporary, protectionOf};
}

SaveResult saveDataFile(std::string_view bytes, bool keepBackup, bool protect, bool keepTemporary) {
    return saveFile(dataFilePath(), bytes, dataSaveRules(keepBackup, protect), keepTemporary);
}

namespace {

// The file's bytes, or why there are none.
DataFileState readBytes(const std::wstring& path, std::string& bytes, platform::FileError* why,
                        FileSeen& seen) {
    seen = FileSeen();
    seen.stamp = platform::fileStamp(path);
    platform::FileError error = platform::readWholeFile(path, bytes);
    if (why)
        *why = error;
    switch (error) {
    case platform::FileError::None: hashBytes(bytes, seen); return DataFileState::Read;
    case platform::FileError::NotFound: return DataFileState::Missing;
    case platform::FileError::TooLarge: return DataFileState::TooLarge;
    default: return DataFileState::Unreadable;
    }
}

// A protected file's header, into seen.
DataFileState readHeader(const ProtectedFile& file, FileSeen& seen) {
    seen.isProtected = true;
    seen.damaged = file.damaged;
    seen.salt = file.salt;
    seen.iterations = file.iterations;
    if (file.damaged == ProtectedPart::None)
        return DataFileState::NeedsPassword;
    seen.opened = file.damaged == ProtectedPart::Body || file.damaged == ProtectedPart::Tag
                      ? OpenResult::DamagedBody
                      : OpenResult::DamagedHeader;
    return DataFileState::ProtectionDamaged;
}

// Opens a protected file's bytes with key into plain: Read, or why not;
// mended, when its line ends or a byte order mark differ from the format.
DataFileState openSealed(std::string_view bytes, const MasterKey& key, FileSeen& seen,
                         SecureString& plain, platform::FileError* why, bool& mended) {
    const ProtectedFile file = readProtectedFile(bytes);
    mended = file.mended;
    DataFileState state = readHeader(file, seen);
    if (state != DataFileState::NeedsPassword)
        return state;
    // Another salt or count of iterations is another key: nothing to try.
    seen.opened = OpenResult::WrongPassword;
    if (!key.set || key.key.salt != file.salt || key.key.iterations != file.iterations)
        return DataFileState::NeedsPassword;
    switch (seen.opened = openProtected(file, key.key, plain)) {
    case OpenResult::Opened:
    case OpenResult::OpenedCheckDamaged: seen.key = key; return DataFileState::Read;
    case OpenResult::WrongPassword: return DataFileState::NeedsPassword;
    case OpenResult::DamagedHeader: seen.damaged = ProtectedPart::Check; break;
    case OpenResult::DamagedBody: seen.damaged = ProtectedPart::Body; break;
    case OpenResult::Failed:
        if (why)
            *why = platform::FileError::Other;
        return DataFileState::Unreadable;
    }
    return DataFileState::ProtectionDamaged;
}

} // namespace

DataFileState readDataFile(const std::wstring& path, EntryList& list, platform::FileError* why,
                           int* beyondCount, FileSeen* seen, const MasterKey& key) {
    std::string bytes;
    FileSeen local;
    FileSeen& look = seen ? *seen : local;
    DataFileState state = readBytes(path, bytes, why, look);
    if (state == DataFileState::Missing)
        releaseEntries(list);
    if (state != DataFileState::Read)
        return state;

    SecureString opened;
    std::string_view plain = bytes;
    bool mended = false;
    if (isProtectedFile(bytes)) {
        state = openSealed(bytes, key, look, opened, why, mended);
        if (state != DataFileState::Read)
            return state;
        plain = opened;
    }
    EntryList loaded;
    bool intact;
    try {
        intact = parseDataFile(plain.data(), plain.size(), loaded, beyondCount);
    } catch (const std::bad_alloc&) {
        // More records than memory: refuse the file rather than lose its tail.
        secureWipe(bytes.data(), bytes.size());
        if (why)
            *why = platform::FileError::TooLarge;
        return DataFileState::TooLarge;
    }
    // A check line that did not fit, or line ends changed since, are not
    // written again as they are: what the file holds counts as unknown, so
    // the next save writes it as the format says.
    look.contentKnown = look.hashed && look.opened == OpenResult::Opened && !mended;
    look.content = look.hash;
    if (look.isProtected)
        look.contentKnown = look.contentKnown && platform::sha256(plain, look.content);
    secureWipe(bytes.data(), bytes.size());
    releaseEntries(list);
    list.records.swap(loaded.records);
    return intact ? DataFileState::Read : DataFileState::Damaged;
}

DataFileState peekDataFile(const std::wstring& path, FileSeen& seen, platform::FileError* why) {
    std::string bytes;
    DataFileState state = readBytes(path, bytes, why, seen);
    if (state == DataFileState::Read && isProtectedFile(bytes))
        state = readHeader(readProtectedFile(bytes), seen);
    secureWipe(bytes.data(), bytes.size());
    return state;
}

DataFileState loadDataFile(platform::FileError* why, int* beyondCount) {
    FileSeen seen;
    DataFileState state = readDataFile(dataFilePath(), entryList, why, beyondCount, &seen);
    if (state == DataFileState::Read || state == DataFileState::Damaged ||
        state == DataFileState::Missing)
        setDataFileBase(entryList, seen);
    return state;
}

void revertEntries(EntryList& readAgain, const FileSeen& seen) {
    setDataFileBase(readAgain, seen);
    releaseEntries(entryList);
    entryList.records.swap(readAgain.records);
}

Recovery findRecovery(const std::vector<std::wstring>& passedOver) {
    const std::wstring path = dataFilePath();
    Recovery found;
    // Every temporary file written after PASSWORD.TXT (any, when it is
    // missing), and without PASSWORD.TXT the backup too. One that cannot be
    // read now is named whenever it was written.
    const long long since = platform::fileTime(path);
    found.missing = since < 0;
    std::vector<std::wstring> candidates;
    for (int n = 1; n <= temporaryNames; ++n)
        candidates.push_back(temporaryPath(path, n));
    if (found.missing)
        candidates.push_back(dataBackupPath());
    long long newest = -1;
    for (const std::wstring& candidate : candidates) {
        if (!platform::fileExists(candidate) ||
            std::find(passedOver.begin(), passedOver.end(), candidate) != passedOver.end())
            continue; // nothing, a folder of that name, or one left as it is
        EntryList list;
        platform::FileError why;
        FileSeen seen;
        DataFileState state = readDataFile(candidate, list, &why, nullptr, &seen);
        if (state == DataFileState::Unreadable || state == DataFileState::TooLarge) {
            found.unreadable.push_back({candidate, why});
            continue;
        }
        // A temporary file only when it reads without damage; a damaged
        // backup only when nothing complete is there. One that only its
        // password opens counts as complete until it is opened.
        const bool locked = state == DataFileState::NeedsPassword;
        bool complete = state == DataFileState::Read || locked;
        if (state == DataFileState::Missing || state == DataFileState::ProtectionDamaged ||
            (!complete && candidate != dataBackupPath()))
            continue;
        long long time = platform::fileTime(candidate);
        if (time < since ||
            (!found.path.empty() &&
             (found.complete > complete || (found.complete == complete && newest >= time))))
            continue;
        found.path = candidate;
        found.complete = complete;
        found.count = list.count();
        found.locked = locked;
        found.seen = seen;
        newest = time;
    }
    return found;
}

bool keptTemporary(const std::wstring& temporary) {
    if (!platform::fileExists(temporary))
        return false;
    EntryList list;
    DataFileState state = readDataFile(temporary, list);
    return state != DataFileState::Damaged && state != DataFileState::ProtectionDamaged;
}
