// Files: reading whole, and replacing in one step.
#include "platform/platform.h"

#include <windows.h>

#include <cstdint>
#include <vector>

namespace platform {

std::wstring modulePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length < buffer.size())
            return std::wstring(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

bool fileExists(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

FileRead readWholeFile(const std::wstring& path, std::string& bytes) {
    bytes.clear();
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_NOT_FOUND ? FileRead::Missing : FileRead::Unreadable;

    // Far beyond any list a person keeps; refusing it is safer than running
    // out of memory half-way.
    constexpr std::int64_t largest = std::int64_t(1) << 30;
    LARGE_INTEGER size;
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart <= largest;
    if (ok) {
        bytes.resize(static_cast<std::size_t>(size.QuadPart));
        std::size_t done = 0;
        while (ok && done < bytes.size()) {
            DWORD got = 0;
            ok = ReadFile(file, &bytes[done], static_cast<DWORD>(bytes.size() - done), &got,
                          nullptr) &&
                 got > 0;
            done += got;
        }
    }
    CloseHandle(file);
    if (!ok) {
        SecureZeroMemory(&bytes[0], bytes.size());
        bytes.clear();
        return FileRead::Unreadable;
    }
    return FileRead::Read;
}

static bool writeNewFile(const std::wstring& path, std::string_view bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < bytes.size()) {
        DWORD wrote = 0;
        ok = WriteFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &wrote,
                       nullptr) &&
             wrote > 0;
        done += wrote;
    }
    ok = ok && FlushFileBuffers(file);
    return CloseHandle(file) && ok;
}

static bool exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool replaceFile(const std::wstring& path, std::string_view bytes, const std::wstring& backupPath) {
    // Only a file is ever replaced, never a folder standing in its place.
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;

    const std::wstring temporary = path + L".tmp";
    if (!writeNewFile(temporary, bytes)) {
        DeleteFileW(temporary.c_str());
        return false;
    }

    bool ok;
    if (!exists(path)) {
        ok = MoveFileExW(temporary.c_str(), path.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    } else {
        // ReplaceFile can fail after it has moved the old file aside; with a
        // backup name of our own the old file can always be put back.
        const std::wstring backup = backupPath.empty() ? path + L".old" : backupPath;
        ok = ReplaceFileW(path.c_str(), temporary.c_str(), backup.c_str(),
                          REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr);
        if (!ok && !exists(path) && exists(backup))
            MoveFileExW(backup.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH);
        if (ok && backupPath.empty())
            DeleteFileW(backup.c_str());
    }
    if (!ok)
        DeleteFileW(temporary.c_str());
    return ok;
}

} // namespace platform
