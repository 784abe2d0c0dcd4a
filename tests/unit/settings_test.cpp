#include "app/program.h"
#include "settings/settings.h"
#include "support/keyloom_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

const std::wstring path = L"C:\\Keyloom\\INITIAL.TXT";

bool operator==(const Settings& a, const Settings& b) {
    return formatSettingsFile(a) == formatSettingsFile(b);
}

class SettingsTest : public KeyloomTest {};

TEST_F(SettingsTest, DefaultsWithoutAReadableFile) {
    settings.passwordLength = 99;
    loadSettings();
    EXPECT_TRUE(settings == defaultSettings);

    fake::files[path] = "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n";
    fake::failing[path] = platform::FileError::Denied;
    loadSettings();
    EXPECT_TRUE(settings == defaultSettings);
    EXPECT_TRUE(fake::messageBoxes.empty());
}

TEST_F(SettingsTest, FileSuppliesItsValuesAndDefaultsForMissingLines) {
    fake::files[path] = "100\r\n50\r\n0\r\n1\r\n12\r\n0\r\n1\r\n1\r\n9\r\n7\r\n0\r\n";
    loadSettings();
    EXPECT_TRUE(settings == (Settings{100, 50, 0, 1, 12, 0, 1, 1, 9, 7, 0}));

    // Values are taken unchanged, without a range check; the eight lines an
    // older version wrote leave the clipboard alone, and lock at Windows'
    // lock only.
    fake::files[path] = "-5\r\n-999\r\n7\r\n-1\r\n5000\r\n0\r\n0\r\n0\r\n";
    loadSettings();
    EXPECT_TRUE(settings == (Settings{-5, -999, 7, -1, 5000, 0, 0, 0, 0, 0, 1}));

    fake::files[path] = "10\r\n20\r\n0";
    loadSettings();
    EXPECT_TRUE(settings == (Settings{10, 20, 0, 1, 8, 1, 1, 0, 0, 0, 1}));

    fake::files[path] = "";
    loadSettings();
    EXPECT_TRUE(settings == defaultSettings);
}

TEST_F(SettingsTest, SecondsAndMinutesAreBroughtIntoTheDialogsRange) {
    const std::string eight = "-999\r\n-999\r\n1\r\n1\r\n8\r\n1\r\n1\r\n0\r\n";
    for (auto [line, seconds] : {std::pair{"1", 5}, {"601", 600}, {"-30", 0}}) {
        std::string file = eight + line + "\r\n";
        Settings read = parseSettingsFile(file.data(), file.size());
        EXPECT_EQ(read.clipboardSeconds, seconds) << line;
    }
    for (auto [lines, minutes, onLock] :
         {std::tuple{"0\r\n1441\r\n7\r\n", 1440, 1}, {"0\r\n-2\r\n0\r\n", 0, 0}}) {
        std::string file = eight + lines;
        Settings read = parseSettingsFile(file.data(), file.size());
        EXPECT_EQ(read.lockIdleMinutes, minutes) << lines;
        EXPECT_EQ(read.lockOnSessionLock, onLock) << lines;
    }
}

TEST_F(SettingsTest, SaveWritesElevenLinesWithTheWindowCorner) {
    EXPECT_EQ(formatSettingsFile(defaultSettings),
              "-999\r\n-999\r\n1\r\n1\r\n8\r\n1\r\n1\r\n0\r\n0\r\n0\r\n1\r\n");

    fake::windowRect = {100, 50, 740, 530};
    settings.clipboardSeconds = 30;
    EXPECT_EQ(saveSettings(false).error, platform::FileError::None);
    EXPECT_EQ(fake::files[path], "100\r\n50\r\n1\r\n1\r\n8\r\n1\r\n1\r\n0\r\n30\r\n0\r\n1\r\n");

    // Minimized: the corner read at start-up stays.
    settings = defaultSettings;
    fake::minimized = true;
    fake::windowRect = {-32000, -32000, -31840, -31970};
    EXPECT_EQ(saveSettings(false).error, platform::FileError::None);
    EXPECT_EQ(fake::files[path], "-999\r\n-999\r\n1\r\n1\r\n8\r\n1\r\n1\r\n0\r\n0\r\n0\r\n1\r\n");
    EXPECT_FALSE(fake::files.count(L"C:\\Keyloom\\INITIAL.BAK"));
}

TEST_F(SettingsTest, FailedSaveAsksAndNoLeavesTheFile) {
    fake::files[path] = "old";
    fake::failing[path] = platform::FileError::Denied;
    // The exit asks; the settings themselves ask nothing.
    auto save = [](bool keep) { return saveSettings(keep); };
    EXPECT_NE(saveWithRetry(save, L"").error, platform::FileError::None);
    ASSERT_EQ(fake::messageBoxes.size(), 1u);
    EXPECT_TRUE(told(L"C:\\Keyloom\\INITIAL.TXT"));
    EXPECT_EQ(fake::files[path], "old");
}

TEST_F(SettingsTest, SavedCornerIsUsedOnlyOnThePrimaryScreen) {
    EXPECT_FALSE(isUsableWindowPosition(-999, -999, 1024, 768));
    EXPECT_FALSE(isUsableWindowPosition(100, -999, 1024, 768));
    EXPECT_TRUE(isUsableWindowPosition(0, 0, 1024, 768));
    EXPECT_TRUE(isUsableWindowPosition(1023, 767, 1024, 768));
    EXPECT_FALSE(isUsableWindowPosition(1024, 0, 1024, 768));
    EXPECT_FALSE(isUsableWindowPosition(0, 768, 1024, 768));
    EXPECT_FALSE(isUsableWindowPosition(-5, 10, 1024, 768));
    EXPECT_FALSE(isUsableWindowPosition(10, -1, 1024, 768));
    EXPECT_FALSE(isUsableWindowPosition(-2147483647 - 1, 0, 1024, 768));
}

} // namespace
