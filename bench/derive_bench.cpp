// The master password's cost over CNG under Wine: deriving the key at the
// iterations of a new file, and protecting and opening 2 MB (the size of
// 10,000 entries) with the key held. Figures only.
#include "store/protected_file.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

double milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

} // namespace

int main() {
    ProtectionSalt salt{};
    ProtectionKey key;
    for (int run = 0; run < 3; ++run) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        bool derived = deriveProtectionKey("correct horse", salt, defaultIterations, key);
        QueryPerformanceCounter(&end);
        std::printf("derive at %u iterations: %s, %.0f ms\n", defaultIterations,
                    derived ? "ok" : "FAILED", milliseconds(start, end));
    }
    std::string plain(2000000, 'x'), file;
    SecureString opened;
    LARGE_INTEGER start, middle, end;
    QueryPerformanceCounter(&start);
    bool saved = protectBytes(plain, key, file);
    QueryPerformanceCounter(&middle);
    bool read = openProtected(readProtectedFile(file), key, opened) == OpenResult::Opened;
    QueryPerformanceCounter(&end);
    std::printf("protect 2 MB: %s, %.1f ms; open: %s, %.1f ms\n", saved ? "ok" : "FAILED",
                milliseconds(start, middle), read ? "ok" : "FAILED", milliseconds(middle, end));
    return saved && read ? 0 : 1;
}
