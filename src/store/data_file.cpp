#include "store/data_file.h"

#include "platform/platform.h"
#include "store/file_helpers.h"
#include "store/text.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr std::size_t memoRoom = sizeof(EntryRecord::memo) - 1;

void appendShortField(SecureString& out, const char* field) {
    for (const char* p = field; p < field + 1023 && *p; ++p)
        if (*p != '\r')
            out += *p;
    out += "\r\n";
}

// Appends to a memo being read, and stops for good once something did not fit.
struct MemoBuilder {
    char* memo;
    std::size_t used = 0;
    bool cut = false;

    void append(const char* text, std::size_t length) {
        if (cut)
            return;
        std::size_t n = fittingLength(text, length, memoRoom - used);
        std::memcpy(memo + used, text, n);
        used += n;
        memo[used] = '\0';
        cut = n < length;
    }
    // CR LF goes in whole or not at all: never a CR without its LF.
    void appendLineBreak() {
        if (!cut && used + 2 > memoRoom)
            cut = true;
        append("\r\n", 2);
    }
};

// Returns false when the file ends inside the record.
bool readRecord(LineReader& in, EntryRecord& record) {
    for (char* field : {record.title, record.userId, record.password, record.address, record.mail})
        if (!readLine(in, field, 1024))
            return false;

    std::int32_t lineCount;
    if (!readIntLine(in, lineCount))
        return false;
    // A count of 0 or less still means one line.
    char line[8192];
    std::size_t longest = 0; // what the line buffer held, to be wiped
    MemoBuilder memo{record.memo};
    bool complete = true;
    for (std::int32_t i = 0; i < lineCount || i == 0; ++i) {
        if (!readLine(in, line, sizeof line)) {
            complete = false;
            break;
        }
        if (i > 0)
            memo.appendLineBreak();
        std::size_t length = std::strlen(line);
        memo.append(line, length);
        longest = std::max(longest, length);
    }
    secureWipe(line, longest);
    if (memo.cut)
        in.repaired = true;
    return complete;
}

} // namespace

std::wstring dataFilePath() { return programDirectory() + L"\\PASSWORD.TXT"; }
std::wstring dataBackupPath() { return programDirectory() + L"\\PASSWORD.BAK"; }

SecureString formatDataFile(const EntryList& list) {
    SecureString out = "KEYLOOM1\r\n";
    out += std::to_string(list.count()).c_str();
    out += "\r\n";
    char memo[sizeof(EntryRecord::memo)];
    for (const EntryRecord& record : list.records) {
        for (const char* field :
             {record.title, record.userId, record.password, record.address, record.mail})
            appendShortField(out, field);
        std::memcpy(memo, record.memo, sizeof memo);
        keepMemoLineBreaks(memo, sizeof memo);
        std::size_t lines = 1;
        for (const char* c = memo; *c; ++c)
            lines += *c == '\r';
        out += std::to_string(lines).c_str();
        out += "\r\n";
        out += memo;
        out += "\r\n";
    }
    secureWipe(memo, sizeof memo);
    return out;
}

bool parseDataFile(const char* data, std::size_t size, EntryList& list) {
    LineReader in(data, size);
    char header[1024];
    bool intact = readLine(in, header, sizeof header);

    std::int32_t count;
    intact = readIntLine(in, count) && intact;
    if (count < 0) {
        count = 0;
        intact = false;
    }
    // Room for the records the file can hold (each takes at least seven lines),
    // never for what its count merely announces.
    std::size_t lines = 0;
    for (const char* p = in.next; (p = static_cast<const char*>(std::memchr(p, '\r', in.end - p)));
         ++p)
        ++lines;
    list.records.reserve(list.records.size() + std::min<std::size_t>(count, lines / 7));
    for (std::int32_t i = 0; i < count; ++i) {
        if (in.atEnd() || !readRecord(in, list.records.emplace_back())) {
            intact = false;
            break;
        }
    }
    return intact && !in.repaired;
}

bool saveDataFile() {
    SecureString bytes = formatDataFile(entryList);
    return saveFileWithRetry(dataFilePath(), bytes, dataBackupPath());
}

DataFileState readDataFile(const std::wstring& path, EntryList& list, platform::FileError* why) {
    std::string bytes;
    platform::FileError error = platform::readWholeFile(path, bytes);
    if (why)
        *why = error;
    switch (error) {
    case platform::FileError::None: break;
    case platform::FileError::NotFound: releaseEntries(list); return DataFileState::Missing;
    case platform::FileError::TooLarge: return DataFileState::TooLarge;
    default: return DataFileState::Unreadable;
    }

    EntryList loaded;
    bool intact;
    try {
        intact = parseDataFile(bytes.data(), bytes.size(), loaded);
    } catch (const std::bad_alloc&) {
        // More records than memory: refuse the file rather than lose its tail.
        secureWipe(bytes.data(), bytes.size());
        if (why)
            *why = platform::FileError::TooLarge;
        return DataFileState::TooLarge;
    }
    secureWipe(bytes.data(), bytes.size());
    releaseEntries(list);
    list.records.swap(loaded.records);
    return intact ? DataFileState::Read : DataFileState::Damaged;
}

DataFileState loadDataFile(platform::FileError* why) {
    return readDataFile(dataFilePath(), entryList, why);
}

void revertEntries(EntryList& readAgain) {
    releaseEntries(entryList);
    entryList.records.swap(readAgain.records);
}

namespace {

bool completeDataFile(const std::wstring& path) {
    EntryList list;
    return readDataFile(path, list) == DataFileState::Read;
}

} // namespace

Recovery findRecovery() {
    const std::wstring path = dataFilePath();
    Recovery found;
    found.path = newerTemporary(path, completeDataFile);
    bool missing = platform::fileTime(path) < 0;
    if (!missing && found.path.empty())
        return found;
    // Without PASSWORD.TXT the backup counts too, and the newer one wins;
    // when nothing is complete, what can be read of the newest.
    std::vector<std::wstring> others;
    if (missing) {
        others.push_back(dataBackupPath());
        for (int n = 1; n <= temporaryNames; ++n)
            others.push_back(temporaryPath(path, n));
    }
    long long newest = found.path.empty() ? -1 : platform::fileTime(found.path);
    for (bool complete : {true, false}) {
        for (const std::wstring& other : others) {
            long long time = platform::fileTime(other);
            EntryList list;
            DataFileState state =
                time > newest ? readDataFile(other, list) : DataFileState::Missing;
            if (state == DataFileState::Read || (!complete && state == DataFileState::Damaged)) {
                found.path = other;
                newest = time;
            }
        }
        if (!found.path.empty())
            break;
    }
    if (!found.path.empty()) {
        EntryList list;
        found.complete = readDataFile(found.path, list) == DataFileState::Read;
        found.count = list.count();
    }
    return found;
}

bool restoreDataFile(const Recovery& recovery) {
    // A temporary file is renamed into place, as the save it was part of
    // would have done: never written again, so never lost half-way.
    if (recovery.path != dataBackupPath())
        return swapInWithRetry(recovery.path, dataFilePath(), dataBackupPath());
    // The backup stays what it is: a copy of it is saved. PASSWORD.TXT is
    // missing, so there is nothing to keep as the backup.
    std::string bytes;
    if (platform::readWholeFile(recovery.path, bytes) != platform::FileError::None)
        return false;
    bool restored = saveFileWithRetry(dataFilePath(), bytes, L"");
    secureWipe(bytes.data(), bytes.size());
    return restored;
}
