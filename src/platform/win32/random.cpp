// The system's cryptographic random source.
#include "platform/platform.h"
#include "platform/win32/system_library.h"

#include <windows.h>

namespace {

using BCryptGenRandomFunction = LONG(WINAPI*)(void* algorithm, unsigned char* buffer, ULONG size,
                                              ULONG flags);
using RtlGenRandomFunction = BOOLEAN(WINAPI*)(void* buffer, ULONG size);
constexpr ULONG useSystemPreferredRng = 0x2; // BCRYPT_USE_SYSTEM_PREFERRED_RNG

} // namespace

namespace platform {

bool randomBytes(void* buffer, std::size_t size) {
    // BCryptGenRandom where the system has it; RtlGenRandom (exported as
    // SystemFunction036) where it is missing or refuses the system's RNG.
    static const auto bcryptGenRandom =
        functionFrom<BCryptGenRandomFunction>(L"bcrypt.dll", "BCryptGenRandom");
    static const auto rtlGenRandom =
        functionFrom<RtlGenRandomFunction>(L"advapi32.dll", "SystemFunction036");
    unsigned char* bytes = static_cast<unsigned char*>(buffer);
    while (size > 0) {
        ULONG chunk = size > 0x10000000 ? 0x10000000 : static_cast<ULONG>(size);
        bool filled = (bcryptGenRandom &&
                       bcryptGenRandom(nullptr, bytes, chunk, useSystemPreferredRng) >= 0) ||
                      (rtlGenRandom && rtlGenRandom(bytes, chunk));
        if (!filled)
            return false;
        bytes += chunk;
        size -= chunk;
    }
    return true;
}

} // namespace platform
