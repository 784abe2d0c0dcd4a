#include "store/file_helpers.h"

#include "platform/platform.h"
#include "store/text.h"

#include <cstring>

std::wstring programDirectory() {
    std::wstring path = platform::modulePath();
    std::size_t cut = path.rfind(L'\\');
    path.resize(cut == std::wstring::npos ? 0 : cut);
    return path;
}

bool readLine(LineReader& in, std::string_view& line, std::size_t limit) {
    line = {};
    if (in.atEnd())
        return false;
    const char* start = in.next;
    const char* cr = static_cast<const char*>(std::memchr(start, '\r', in.end - start));
    std::size_t length = (cr ? cr : in.end) - start;
    line = std::string_view(start, fittingLength(start, length, limit));
    if (line.size() < length)
        in.repaired = true;

    if (!cr) {
        in.repaired = true; // the last line has no CR
        in.next = in.end;
    } else if (cr + 1 < in.end && cr[1] == '\n') {
        in.next = cr + 2;
    } else {
        in.repaired = true; // a CR without LF ends the line and keeps the next byte
        in.next = cr + 1;
    }
    return true;
}

bool readIntLine(LineReader& in, std::int32_t& value) {
    std::string_view line;
    value = 0;
    if (!readLine(in, line, 255))
        return false;

    const char *p = line.data(), *end = p + line.size();
    while (p < end && (*p == ' ' || (*p >= '\t' && *p <= '\r')))
        ++p;
    bool negative = p < end && *p == '-';
    if (p < end && (*p == '-' || *p == '+'))
        ++p;
    std::int64_t magnitude = 0;
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        magnitude = magnitude * 10 + (*p - '0');
        if (magnitude > limit) {
            magnitude = limit;
            in.repaired = true;
            while (p + 1 < end && p[1] >= '0' && p[1] <= '9')
                ++p;
        }
    }
    value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
    return true;
}

namespace {

using platform::FileError;

// Writes bytes to the first temporary name that takes them; temporary names
// it. A name that is taken (a folder, a file held, read-only or kept) sends
// it on to the next at once: the quiet attempts are for the file itself.
FileError writeTemporary(const std::wstring& path, std::string_view bytes, const SaveRules& rules,
                         const platform::FileProtection& protection, std::wstring& temporary) {
    FileError first = FileError::None;
    for (int n = 1; n <= temporaryNames; ++n) {
        temporary = temporaryPath(path, n);
        if (rules.kept && rules.kept(temporary))
            continue;
        FileError error = platform::writeFile(temporary, bytes, protection);
        if (error == FileError::None)
            return error;
        if (first == FileError::None)
            first = error;
        if (error != FileError::Folder && error != FileError::InUse && error != FileError::Denied)
            break;
    }
    temporary = temporaryPath(path, 1);
    return first == FileError::None ? FileError::Other : first;
}

} // namespace

std::wstring temporaryPath(const std::wstring& path, int n) {
    return path + L".tmp" + (n > 1 ? std::to_wstring(n) : L"");
}

namespace {

// The old backup stays until a whole new one replaces it: made by make under
// a temporary name of the backup's own, then moved over it.
template <class Make>
FileError replaceBackup(const std::wstring& backupPath, QuietAttempts& retried, Make make) {
    std::wstring newBackup = backupPath + L".tmp";
    FileError error = retried([&] { return make(newBackup); });
    if (error == FileError::None)
        error = retried([&] { return platform::moveFileOver(newBackup, backupPath); });
    // Under Wine a move between two names of one file (a backup an older
    // version linked to the file it kept) does nothing: the name goes.
    platform::deleteFile(newBackup);
    return error;
}

} // namespace

FileError keepAsBackup(const std::wstring& path, const std::wstring& backupPath,
                       QuietAttempts& retried) {
    return replaceBackup(backupPath, retried, [&](const std::wstring& newBackup) {
        return platform::linkOrCopyFile(path, newBackup);
    });
}

FileError copyAsBackup(const std::wstring& path, const std::wstring& backupPath,
                       QuietAttempts& retried) {
    return replaceBackup(backupPath, retried, [&](const std::wstring& newBackup) {
        std::string bytes;
        FileError error = platform::readWholeFile(path, bytes);
        platform::FileProtection protection;
        if (error == FileError::None)
            error = platform::readProtection(path, protection);
        if (error == FileError::None)
            error = platform::writeFile(newBackup, bytes, protection);
        secureWipe(bytes.data(), bytes.size());
        return error;
    });
}

SaveResult swapIn(const std::wstring& temporary, const std::wstring& path,
                  const std::wstring& backupPath) {
    QuietAttempts retried;
    SaveResult result;
    // The old file stays in place until the new one replaces it.
    if (!backupPath.empty() && platform::fileTime(path) >= 0)
        result.backupError = keepAsBackup(path, backupPath, retried);
    result.error = retried([&] { return platform::moveFileOver(temporary, path); });
    if (result.error != FileError::None)
        result.failed = path;
    return result;
}

SaveResult writeTemporaryFile(const std::wstring& path, std::string_view bytes,
                              const SaveRules& rules, std::wstring& temporary) {
    SaveResult result;
    // No copy of the text ever exists under weaker protection than the file
    // it replaces: the new file is made with that protection, or not at all.
    platform::FileProtection protection;
    if (!rules.protectionOf.empty()) {
        FileError read = platform::readProtection(rules.protectionOf, protection);
        if (read != FileError::None && read != FileError::NotFound) {
            result.error = FileError::Protection;
            result.failed = rules.protectionOf;
            return result;
        }
    }
    result.error = writeTemporary(path, bytes, rules, protection, temporary);
    if (result.error != FileError::None)
        result.failed = temporary;
    return result;
}

SaveResult saveFile(const std::wstring& path, std::string_view bytes, const SaveRules& rules,
                    bool keepTemporary) {
    std::wstring temporary;
    SaveResult result = writeTemporaryFile(path, bytes, rules, temporary);
    if (result.error != FileError::None)
        return result;
    result = swapIn(temporary, path, rules.backupPath);
    if (result.error != FileError::None && !keepTemporary)
        platform::deleteFile(temporary);
    return result;
}

std::wstring newerTemporary(const std::wstring& path,
                            bool (*complete)(const std::wstring& temporary)) {
    std::wstring newest;
    long long newestTime = platform::fileTime(path);
    for (int n = 1; n <= temporaryNames; ++n) {
        std::wstring temporary = temporaryPath(path, n);
        long long time = platform::fileTime(temporary);
        if (time > newestTime && complete(temporary)) {
            newest = temporary;
            newestTime = time;
        }
    }
    return newest;
}
