#include "shell_recording.h"

#include "keyloom_driver.h"

#include <gtest/gtest.h>

namespace e2e {

void setRegistryText(HKEY root, const char* key, const char* name, const std::string& value) {
    HKEY k;
    ASSERT_EQ(RegCreateKeyExA(root, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &k, nullptr),
              ERROR_SUCCESS)
        << key;
    RegSetValueExA(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   DWORD(value.size() + 1));
    RegCloseKey(k);
}

void recordBrowserAndMailer() {
    DeleteFileA(SHELL_CALLS);
    setRegistryText(HKEY_CURRENT_USER, "Software\\Wine\\WineBrowser", "Browsers", SHELL_SCRIPT);
    setRegistryText(HKEY_CURRENT_USER, "Software\\Wine\\WineBrowser", "Mailers", SHELL_SCRIPT);
}

std::vector<std::string> shellCalls(std::size_t n) {
    std::vector<std::string> lines;
    waitFor([&] {
        lines.clear();
        std::string all = readFile(SHELL_CALLS);
        for (std::size_t at = 0, end; (end = all.find('\n', at)) != std::string::npos; at = end + 1)
            lines.push_back(all.substr(at, end - at));
        return lines.size() >= n;
    });
    return lines;
}

} // namespace e2e
