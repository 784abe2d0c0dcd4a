// Any bytes as a protected PASSWORD.TXT: the reader never reads out of
// bounds, lets no iteration count past the limit, and what opens under the
// key protects and opens again the same. The seed is a file under this key.
#include "store/protected_file.h"

#include <cstdint>
#include <cstdlib>

static void check(bool condition) {
    if (!condition)
        std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const ProtectionKey key = [] {
        ProtectionKey k;
        check(deriveProtectionKey("fuzz", ProtectionSalt{}, 1, k));
        return k;
    }();
    ProtectedFile file =
        readProtectedFile(std::string_view(reinterpret_cast<const char*>(data), size));
    check(file.damaged != ProtectedPart::None ||
          (file.iterations >= 1 && file.iterations <= iterationLimit));
    SecureString plain;
    OpenResult result = openProtected(file, key, plain);
    check(file.damaged == ProtectedPart::None || result == OpenResult::DamagedHeader ||
          result == OpenResult::DamagedBody);
    if (result == OpenResult::Opened || result == OpenResult::OpenedCheckDamaged) {
        std::string again;
        check(protectBytes(plain, key, again));
        SecureString back;
        check(openProtected(readProtectedFile(again), key, back) == OpenResult::Opened);
        check(back == plain);
    }
    return 0;
}
