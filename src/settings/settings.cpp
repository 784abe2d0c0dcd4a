#include "settings/settings.h"

#include "platform/platform.h"
#include "store/file_helpers.h"

#include <algorithm>

Settings settings = defaultSettings;

std::wstring settingsFilePath() { return programDirectory() + L"\\INITIAL.TXT"; }

// The order of the lines in INITIAL.TXT.
static constexpr std::int32_t Settings::*fileOrder[] = {
    &Settings::windowLeft,      &Settings::windowTop,         &Settings::showUserId,
    &Settings::showPassword,    &Settings::passwordLength,    &Settings::useDigits,
    &Settings::useLowercase,    &Settings::useUppercase,      &Settings::clipboardSeconds,
    &Settings::lockIdleMinutes, &Settings::lockOnSessionLock,
};
// Older versions write eight lines, and read no more.
constexpr int requiredLines = 8;

std::string formatSettingsFile(const Settings& s) {
    std::string out;
    for (auto field : fileOrder)
        out += std::to_string(s.*field) + "\r\n";
    return out;
}

Settings parseSettingsFile(const char* data, std::size_t size, bool* complete) {
    Settings s = defaultSettings;
    LineReader in(data, size);
    int lines = 0;
    for (auto field : fileOrder) {
        std::int32_t value;
        if (readIntLine(in, value)) {
            s.*field = value;
            ++lines;
        }
    }
    // A hand-edited number would make a timer of no time, or of years.
    auto clampOrOff = [](std::int32_t value, int lowest, int highest) {
        return value > 0 ? std::clamp<std::int32_t>(value, lowest, highest) : 0;
    };
    s.clipboardSeconds =
        clampOrOff(s.clipboardSeconds, shortestClipboardSeconds, longestClipboardSeconds);
    s.lockIdleMinutes = clampOrOff(s.lockIdleMinutes, shortestLockMinutes, longestLockMinutes);
    s.lockOnSessionLock = s.lockOnSessionLock != 0 ? 1 : 0;
    if (complete)
        *complete = lines >= requiredLines && !in.repaired;
    return s;
}

namespace {

bool completeSettingsFile(const std::wstring& path) {
    std::string bytes;
    bool complete = false;
    if (platform::readWholeFile(path, bytes) == platform::FileError::None)
        parseSettingsFile(bytes.data(), bytes.size(), &complete);
    return complete;
}

} // namespace

void loadSettings() {
    std::wstring path = settingsFilePath();
    // A save that did not finish left the settings in a temporary file: they
    // are put in place without a word, so that nothing the user hid shows.
    std::wstring newer = newerTemporary(path, completeSettingsFile);
    if (!newer.empty() && swapIn(newer, path, L"").error != platform::FileError::None)
        path = newer;
    std::string bytes;
    if (platform::readWholeFile(path, bytes) == platform::FileError::None)
        settings = parseSettingsFile(bytes.data(), bytes.size());
    else
        settings = defaultSettings;
}

SaveResult saveSettings(bool keepTemporary) {
    if (!platform::isMainWindowMinimized()) {
        platform::Rect r = platform::mainWindowRect();
        settings.windowLeft = r.left;
        settings.windowTop = r.top;
    }
    std::string bytes = formatSettingsFile(settings);
    // Rewriting the same bytes is what makes sync clients report conflicts.
    std::string now;
    if (platform::readWholeFile(settingsFilePath(), now) == platform::FileError::None &&
        now == bytes)
        return {};
    return saveFile(settingsFilePath(), bytes, {}, keepTemporary);
}

bool isUsableWindowPosition(std::int32_t left, std::int32_t top, int screenWidth,
                            int screenHeight) {
    return left != -999 && top != -999 && left < screenWidth && top < screenHeight && left >= 0 &&
           top >= 0;
}
