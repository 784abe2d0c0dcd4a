// The system's cryptographic random source.
#include "platform/platform.h"

#include <windows.h>

#include <string>

namespace {

using BCryptGenRandomFunction = LONG(WINAPI*)(void* algorithm, unsigned char* buffer, ULONG size,
                                              ULONG flags);
using RtlGenRandomFunction = BOOLEAN(WINAPI*)(void* buffer, ULONG size);
constexpr ULONG useSystemPreferredRng = 0x2; // BCRYPT_USE_SYSTEM_PREFERRED_RNG

// Loaded by full path from the system folder, so that no DLL of the same name
// beside the program can stand in for the random source.
FARPROC systemFunction(const wchar_t* library, const char* name) {
    wchar_t folder[MAX_PATH];
    UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return nullptr;
    HMODULE module = LoadLibraryW((std::wstring(folder, length) + L"\\" + library).c_str());
    return module ? GetProcAddress(module, name) : nullptr;
}

template <class Function> Function functionFrom(const wchar_t* library, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(systemFunction(library, name)));
}

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
