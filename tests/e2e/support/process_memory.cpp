#include "process_memory.h"

#include "keyloom_driver.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <sstream>

namespace e2e {

namespace {

// A file of Linux's /proc through Z:.
HANDLE openProc(const std::string& linuxPath) {
    std::string path = "Z:" + linuxPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING, 0, nullptr);
}

// The whole of such a file: its size reads as 0.
std::string readProc(const std::string& linuxPath) {
    HANDLE file = openProc(linuxPath);
    if (file == INVALID_HANDLE_VALUE)
        return "";
    std::string text;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
        text.append(chunk, got);
    CloseHandle(file);
    return text;
}

std::vector<MemoryRegion> regionsOf(int pid) {
    std::vector<MemoryRegion> regions;
    std::istringstream maps(readProc("/proc/" + std::to_string(pid) + "/maps"));
    std::string line;
    while (std::getline(maps, line)) {
        std::istringstream fields(line);
        std::string range, offset, device, inode;
        MemoryRegion r;
        fields >> range >> r.permissions >> offset >> device >> inode;
        std::getline(fields >> std::ws, r.name);
        const std::size_t dash = range.find('-');
        r.start = std::stoull(range.substr(0, dash), nullptr, 16);
        r.end = std::stoull(range.substr(dash + 1), nullptr, 16);
        regions.push_back(r);
    }
    return regions;
}

} // namespace

int linuxProcessOf(const std::string& path) {
    // The program's own file is mapped into it: its folder's name, which is
    // new for every test, and the file's.
    std::string tail = path.substr(path.find_last_of('\\', path.find_last_of('\\') - 1));
    std::replace(tail.begin(), tail.end(), '\\', '/');
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(L"Z:\\proc\\*", &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    int pid = 0;
    do {
        const int candidate = _wtoi(found.cFileName);
        if (candidate > 0 &&
            readProc("/proc/" + std::to_string(candidate) + "/maps").find(tail + "\n") !=
                std::string::npos)
            pid = candidate;
    } while (!pid && FindNextFileW(search, &found));
    FindClose(search);
    return pid;
}

std::vector<MemoryCopy> findInMemory(int pid,
                                     const std::vector<std::pair<std::string, std::string>>& bytes,
                                     std::string* error) {
    std::vector<MemoryCopy> copies;
    HANDLE memory = openProc("/proc/" + std::to_string(pid) + "/mem");
    if (memory == INVALID_HANDLE_VALUE) {
        *error = "/proc/" + std::to_string(pid) + "/mem cannot be opened: error " +
                 std::to_string(GetLastError());
        return copies;
    }
    std::size_t longest = 0;
    for (const auto& form : bytes)
        longest = std::max(longest, form.second.size());
    const std::vector<MemoryRegion> regions = regionsOf(pid);
    std::string module;
    std::size_t readRegions = 0;
    for (const MemoryRegion& region : regions) {
        if (!region.name.empty() && region.name[0] == '/')
            module = region.name;
        if (region.permissions[0] != 'r')
            continue;
        // Read in pieces that overlap by a copy's length less one, so that
        // none is cut in two.
        constexpr std::uint64_t piece = 1 << 20;
        std::string buffer;
        bool readable = true;
        for (std::uint64_t at = region.start; at < region.end && readable; at += piece) {
            const std::uint64_t size = std::min<std::uint64_t>(piece + longest, region.end - at);
            buffer.resize(size);
            OVERLAPPED where{};
            where.Offset = static_cast<DWORD>(at);
            where.OffsetHigh = static_cast<DWORD>(at >> 32);
            DWORD got = 0;
            // Some regions cannot be read at all ([vvar]): passed over.
            readable =
                ReadFile(memory, &buffer[0], static_cast<DWORD>(size), &got, &where) && got == size;
            if (!readable)
                break;
            for (const auto& [encoding, text] : bytes)
                for (std::size_t i = buffer.find(text); i != std::string::npos && i < piece;
                     i = buffer.find(text, i + 1))
                    copies.push_back({at + i, encoding, region, module});
        }
        readRegions += readable;
    }
    CloseHandle(memory);
    if (readRegions == 0)
        *error = "no region of process " + std::to_string(pid) + " could be read";
    return copies;
}

std::vector<std::pair<std::string, std::string>> windowsForms(const std::string& utf8) {
    const std::wstring text = wide(utf8);
    return {{"UTF-16LE", std::string(reinterpret_cast<const char*>(text.data()),
                                     text.size() * sizeof(wchar_t))},
            {"code page 932", sjis(utf8)}};
}

} // namespace e2e
