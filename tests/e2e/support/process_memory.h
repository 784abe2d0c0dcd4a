// Copies of a text in another program's memory. Under Wine each Windows
// process is a Linux one, whose readable regions /proc/<pid>/maps lists and
// /proc/<pid>/mem gives; Wine shows Linux's root as the drive Z:.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace e2e {

// One line of /proc/<pid>/maps.
struct MemoryRegion {
    std::uint64_t start = 0, end = 0;
    std::string permissions; // "rw-p"
    std::string name;        // the mapped file, "[heap]", or "" for anonymous memory
};

struct MemoryCopy {
    std::uint64_t address;
    std::string encoding; // which of the byte strings looked for
    MemoryRegion region;
    // The mapped file that the region lies in or right after: anonymous
    // memory that a library allocated from lies after its own mappings.
    std::string module;
};

// The Linux process id of the running Windows program started from path (its
// Windows command line holds it); 0 when none is found.
int linuxProcessOf(const std::string& path);

// Every copy of each byte string (by encoding name) in the readable memory
// of Linux process pid; an error message instead when it cannot be read.
std::vector<MemoryCopy> findInMemory(int pid,
                                     const std::vector<std::pair<std::string, std::string>>& bytes,
                                     std::string* error);

// The text as UTF-16LE bytes and as code page 932 bytes, the two forms a
// Windows program holds it in.
std::vector<std::pair<std::string, std::string>> windowsForms(const std::string& utf8);

} // namespace e2e
