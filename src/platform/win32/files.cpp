// Files: reading whole, writing with every step checked and the protection
// given, renaming over.
#include "platform/win32/main_window.h"
#include "platform/platform.h"

#include <windows.h>

#include <aclapi.h>

#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

namespace {

// The lock this process holds (takeLockFile), or none.
HANDLE lockFile = INVALID_HANDLE_VALUE;

bool isFolder(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// What the error of the last call on path means to the user. Access denied
// is what another program's open handle gives a rename over the file, too:
// an open for writing that meets a sharing violation tells the two apart.
platform::FileError lastError(const std::wstring& path) {
    using platform::FileError;
    switch (DWORD error = GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return FileError::NotFound;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case 1175: // ERROR_UNABLE_TO_REMOVE_REPLACED
    case 1176: // ERROR_UNABLE_TO_MOVE_REPLACEMENT
    case 1177: // ERROR_UNABLE_TO_MOVE_REPLACEMENT_2
        return FileError::InUse;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return FileError::DiskFull;
    case ERROR_WRITE_PROTECT: return FileError::Denied;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return FileError::TooLarge;
    case ERROR_ACCESS_DENIED: {
        if (isFolder(path))
            return FileError::Folder;
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            CloseHandle(file);
            return FileError::InUse; // writable, so it was held for the moment
        }
        return GetLastError() == ERROR_SHARING_VIOLATION ? FileError::InUse : FileError::Denied;
    }
    default: (void)error; return FileError::Other;
    }
}

// The access rules set on the file itself, as a descriptor for a new file:
// the inherited ones come from the folder by themselves, and the protected
// flag (no rules from the folder at all) stays as it is. Empty when the file
// has none of its own.
bool ownAccessRules(PSECURITY_DESCRIPTOR descriptor, PACL dacl, std::string& rules) {
    rules.clear();
    ACL_SIZE_INFORMATION size{};
    if (!dacl) // no list at all: the folder's rules are the stricter
        return true;
    if (!GetAclInformation(dacl, &size, sizeof size, AclSizeInformation))
        return false;
    std::vector<DWORD> own((size.AclBytesInUse + 3) / 4);
    PACL ownList = reinterpret_cast<PACL>(own.data());
    if (!InitializeAcl(ownList, static_cast<DWORD>(own.size() * 4), dacl->AclRevision))
        return false;
    bool any = false;
    for (DWORD i = 0; i < size.AceCount; ++i) {
        ACE_HEADER* ace = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&ace)))
            return false;
        if (ace->AceFlags & INHERITED_ACE)
            continue;
        if (!AddAce(ownList, dacl->AclRevision, MAXDWORD, ace, ace->AceSize))
            return false;
        any = true;
    }
    if (!any)
        return true;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    SECURITY_DESCRIPTOR absolute;
    if (!GetSecurityDescriptorControl(descriptor, &control, &revision) ||
        !InitializeSecurityDescriptor(&absolute, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&absolute, TRUE, ownList, FALSE) ||
        !SetSecurityDescriptorControl(&absolute, SE_DACL_PROTECTED, control & SE_DACL_PROTECTED))
        return false;
    DWORD length = 0;
    MakeSelfRelativeSD(&absolute, nullptr, &length);
    rules.resize(length);
    return MakeSelfRelativeSD(&absolute, &rules[0], &length);
}

} // namespace

namespace platform {

FileError readProtection(const std::wstring& path, FileProtection& protection) {
    protection = {};
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return lastError(path);
    protection.encrypted = (attributes & FILE_ATTRIBUTE_ENCRYPTED) != 0;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD error = GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                        nullptr, nullptr, &dacl, nullptr, &descriptor);
    if (error != ERROR_SUCCESS)
        return FileError::Protection;
    bool read = ownAccessRules(descriptor, dacl, protection.accessRules);
    LocalFree(descriptor);
    return read ? FileError::None : FileError::Protection;
}

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

FileError readWholeFile(const std::wstring& path, std::string& bytes) {
    bytes.clear();
    if (isFolder(path))
        return FileError::Folder;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return lastError(path);

    // Far beyond any list a person keeps; refusing it is safer than running
    // out of memory half-way.
    constexpr std::int64_t largest = std::int64_t(1) << 30;
    FileError result = FileError::None;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size)) {
        result = lastError(path);
    } else if (size.QuadPart > largest) {
        result = FileError::TooLarge;
    } else {
        try {
            bytes.resize(static_cast<std::size_t>(size.QuadPart));
        } catch (const std::bad_alloc&) {
            result = FileError::TooLarge;
        }
        for (std::size_t done = 0; result == FileError::None && done < bytes.size();) {
            DWORD got = 0;
            if (!ReadFile(file, &bytes[done], static_cast<DWORD>(bytes.size() - done), &got,
                          nullptr))
                result = lastError(path);
            else if (got == 0)
                result = FileError::Other; // shorter than it said
            done += got;
        }
    }
    CloseHandle(file);
    if (result != FileError::None) {
        SecureZeroMemory(&bytes[0], bytes.size());
        bytes.clear();
    }
    return result;
}

FileError writeFile(const std::wstring& path, std::string_view bytes,
                    const FileProtection& protection) {
    if (isFolder(path))
        return FileError::Folder;
    // Always a new file: one written over keeps its own protection, not the
    // one given. The creator may write it whatever its rules say.
    if (!DeleteFileW(path.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
        return lastError(path);
    bool protect = !protection.accessRules.empty() || protection.encrypted;
    SECURITY_ATTRIBUTES rules{sizeof rules, const_cast<char*>(protection.accessRules.data()),
                              FALSE};
    HANDLE file = CreateFileW(
        path.c_str(), GENERIC_WRITE, 0, protection.accessRules.empty() ? nullptr : &rules,
        CREATE_NEW, protection.encrypted ? FILE_ATTRIBUTE_ENCRYPTED : FILE_ATTRIBUTE_NORMAL,
        nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        FileError error = lastError(path);
        if (!protect)
            return error;
        // Whether the protection is at fault: an empty file made without it
        // holds nothing to expose.
        HANDLE plain = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_FLAG_DELETE_ON_CLOSE, nullptr);
        if (plain == INVALID_HANDLE_VALUE)
            return error;
        CloseHandle(plain);
        return FileError::Protection;
    }
    BY_HANDLE_FILE_INFORMATION information{};
    if (protection.encrypted && (!GetFileInformationByHandle(file, &information) ||
                                 !(information.dwFileAttributes & FILE_ATTRIBUTE_ENCRYPTED))) {
        CloseHandle(file);
        DeleteFileW(path.c_str());
        return FileError::Protection;
    }
    FileError result = FileError::None;
    for (std::size_t done = 0; result == FileError::None && done < bytes.size();) {
        DWORD wrote = 0;
        if (!WriteFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &wrote,
                       nullptr) ||
            wrote == 0)
            result = lastError(path);
        done += wrote;
    }
    if (result == FileError::None && !FlushFileBuffers(file))
        result = lastError(path);
    if (!CloseHandle(file) && result == FileError::None)
        result = lastError(path);
    if (result != FileError::None)
        DeleteFileW(path.c_str());
    return result;
}

FileError linkOrCopyFile(const std::wstring& from, const std::wstring& to) {
    if (isFolder(to))
        return FileError::Folder;
    // A second name of a file that another program holds could be neither
    // moved nor removed: it would be left behind.
    HANDLE probe =
        CreateFileW(from.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (probe != INVALID_HANDLE_VALUE)
        CloseHandle(probe);
    else if (GetLastError() == ERROR_SHARING_VIOLATION)
        return FileError::InUse;
    // A link never replaces a file: what an earlier attempt left goes first.
    if (!DeleteFileW(to.c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND)
        return lastError(to);
    if (CreateHardLinkW(to.c_str(), from.c_str(), nullptr))
        return FileError::None;
    // FAT and exFAT have no hard links, nor has a file at its limit of them.
    FileProtection protection;
    FileError error = readProtection(from, protection);
    std::string bytes;
    if (error == FileError::None)
        error = readWholeFile(from, bytes);
    if (error == FileError::None)
        error = writeFile(to, bytes, protection);
    SecureZeroMemory(&bytes[0], bytes.size());
    return error;
}

FileError moveFileOver(const std::wstring& from, const std::wstring& to) {
    // Never a folder in the file's place: MoveFileEx would refuse anyway,
    // but the user is told why.
    if (isFolder(to))
        return FileError::Folder;
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? FileError::None
               : lastError(to);
}

void deleteFile(const std::wstring& path) { DeleteFileW(path.c_str()); }

FileError wipeFile(const std::wstring& path) {
    if (isFolder(path))
        return FileError::Folder;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_WRITE_THROUGH, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return lastError(path);
    FileError result = FileError::None;
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(file, &information)) {
        result = lastError(path);
    } else if (information.nNumberOfLinks == 1) {
        // Written over in place: the same blocks, not new ones.
        const std::int64_t size =
            (static_cast<std::int64_t>(information.nFileSizeHigh) << 32) | information.nFileSizeLow;
        const std::vector<char> zeros(64 * 1024);
        for (std::int64_t done = 0; result == FileError::None && done < size;) {
            DWORD chunk = static_cast<DWORD>(std::min<std::int64_t>(zeros.size(), size - done));
            DWORD wrote = 0;
            if (!WriteFile(file, zeros.data(), chunk, &wrote, nullptr) || wrote == 0)
                result = lastError(path);
            done += wrote;
        }
        if (result == FileError::None && !FlushFileBuffers(file))
            result = lastError(path);
    }
    CloseHandle(file);
    // Kept when it could not be overwritten whole: the user is told its name.
    if (result == FileError::None && !DeleteFileW(path.c_str()))
        result = lastError(path);
    return result;
}

long long fileTime(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<long long>(data.ftLastWriteTime.dwHighDateTime) << 32) |
           data.ftLastWriteTime.dwLowDateTime;
}

FileStamp fileStamp(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return {};
    return {(static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow,
            (static_cast<long long>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                data.ftLastWriteTime.dwLowDateTime};
}

std::vector<std::wstring> filesInFolder(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

LockFile takeLockFile(const std::wstring& path) {
    // No sharing, so that nobody else opens it either; deleted on close, so
    // that a crash or a power cut of this process leaves none behind.
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        lockFile = file;
        return LockFile::Taken;
    }
    switch (GetLastError()) {
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
    case ERROR_SHARING_VIOLATION: return LockFile::Exists;
    case ERROR_ACCESS_DENIED: {
        // Also what a lock that its holder is deleting gives; a read-only
        // folder or a folder of that name gives it for good.
        DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return GetLastError() == ERROR_FILE_NOT_FOUND ? LockFile::Failed : LockFile::Exists;
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? LockFile::Failed : LockFile::Exists;
    }
    default: return LockFile::Failed;
    }
}

void releaseLockFile() {
    if (lockFile != INVALID_HANDLE_VALUE)
        CloseHandle(lockFile);
    lockFile = INVALID_HANDLE_VALUE;
}

FileError checkFolderWritable(const std::wstring& folder) {
    std::wstring probe = folder + L"\\~keyloom-" + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        FileError error = lastError(probe);
        return error == FileError::NotFound ? FileError::Denied : error;
    }
    CloseHandle(file);
    return FileError::None;
}

void sleep(int ms) { Sleep(ms); }

bool blockShutdown(const std::wstring& reason) {
    return ShutdownBlockReasonCreate(mainWindow, reason.c_str());
}

void unblockShutdown() { ShutdownBlockReasonDestroy(mainWindow); }

} // namespace platform
