// Any bytes as INITIAL.TXT: read without harm, and written back they read the same.
#include "settings/settings.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Settings s = parseSettingsFile(reinterpret_cast<const char*>(data), size);
    std::string written = formatSettingsFile(s);
    Settings again = parseSettingsFile(written.data(), written.size());
    if (formatSettingsFile(again) != written)
        std::abort();
    return 0;
}
