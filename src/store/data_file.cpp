#include "store/data_file.h"

#include "platform/platform.h"
#include "store/file_helpers.h"
#include "store/text.h"

#include <algorithm>
#include <cstring>
#include <new>

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

DataFileState loadDataFile() {
    std::string bytes;
    switch (platform::readWholeFile(dataFilePath(), bytes)) {
    case platform::FileRead::Missing: releaseEntries(entryList); return DataFileState::Missing;
    case platform::FileRead::Unreadable: return DataFileState::Unreadable;
    case platform::FileRead::Read: break;
    }

    EntryList loaded;
    bool intact;
    try {
        intact = parseDataFile(bytes.data(), bytes.size(), loaded);
    } catch (const std::bad_alloc&) {
        // More records than memory: refuse the file rather than lose its tail.
        secureWipe(bytes.data(), bytes.size());
        return DataFileState::Unreadable;
    }
    secureWipe(bytes.data(), bytes.size());
    releaseEntries(entryList);
    entryList.records.swap(loaded.records);
    return intact ? DataFileState::Read : DataFileState::Damaged;
}

DataFileState revertEntries() { return loadDataFile(); }
