// The main window under Wine: keyloom.exe started in a folder of its own,
// worked from outside, and its files read back byte by byte.
#include "support/keyloom_driver.h"

#include <gtest/gtest.h>

#include <string>

using e2e::Keyloom;

namespace {

const std::string emptyList = "KEYLOOM1\r\n0\r\n";

std::string threeEntries() {
    return e2e::ansi("KEYLOOM1\r\n3\r\n銀行\r\n1234-5678\r\npw1\r\nhttps://bank.example/\r\n"
                     "me@bank.example\r\n2\r\n暗証番号は別\r\n\r\n"
                     "Mail\r\nuser\r\npw2\r\n\r\n\r\n1\r\n\r\n"
                     "Shop\r\n\r\n\r\n\r\n\r\n1\r\n\r\n");
}

RECT windowRect(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

TEST(MainWindow, FirstStartInAnEmptyFolder) {
    Keyloom k(e2e::freshFolder("first"));
    ASSERT_TRUE(k.start()) << "the main window did not appear";
    EXPECT_EQ(e2e::windowText(k.window), "Keyloom");
    EXPECT_TRUE(k.items().empty());
    for (int id : {201, 202, 203, 204, 205, 206, 208, 209, 210, 211, 212, 213, 214, 215, 219})
        EXPECT_FALSE(k.enabled(id)) << "control " << id;
    EXPECT_TRUE(k.enabled(200));

    // Centred on the screen.
    RECT r = windowRect(k.window);
    int screenWidth = GetSystemMetrics(SM_CXSCREEN), screenHeight = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_NEAR((r.left + r.right) / 2, screenWidth / 2, 2);
    EXPECT_NEAR((r.top + r.bottom) / 2, screenHeight / 2, 2);

    k.command(100, false);
    EXPECT_EQ(k.waitForExit(), 1u);
    EXPECT_EQ(e2e::readFile(k.dataFile()), emptyList);
    EXPECT_EQ(e2e::readFile(k.settingsFile()), std::to_string(r.left) + "\r\n" +
                                                   std::to_string(r.top) +
                                                   "\r\n1\r\n1\r\n8\r\n1\r\n1\r\n0\r\n");
    EXPECT_FALSE(e2e::fileExists(k.dataFile() + ".tmp"));
}

TEST(MainWindow, EndedWhileMinimizedKeepsTheDefaultCorner) {
    Keyloom k(e2e::freshFolder("minimized"));
    ASSERT_TRUE(k.start());
    ShowWindow(k.window, SW_MINIMIZE);
    ASSERT_EVENTUALLY(IsIconic(k.window));
    PostMessageW(k.window, WM_COMMAND, 2, 0);
    EXPECT_EQ(k.waitForExit(), 1u);
    EXPECT_EQ(e2e::readFile(k.settingsFile()), "-999\r\n-999\r\n1\r\n1\r\n8\r\n1\r\n1\r\n0\r\n");
}

TEST(MainWindow, ThreeEntriesOpenOnTheFirst) {
    Keyloom k(e2e::freshFolder("three"));
    e2e::writeFile(k.dataFile(), threeEntries());
    ASSERT_TRUE(k.start());
    EXPECT_EQ(k.items(), (std::vector<std::string>{e2e::ansi("銀行"), "Mail", "Shop"}));
    EXPECT_EQ(k.selection(), 0);
    EXPECT_EQ(k.text(202), "1234-5678");
    EXPECT_EQ(k.text(206), e2e::ansi("暗証番号は別\r\n"));
    EXPECT_TRUE(k.enabled(201));
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    EXPECT_EVENTUALLY(GetGUIThreadInfo(k.process.dwThreadId, &info) &&
                      info.hwndFocus == k.control(200));

    k.command(100, false);
    EXPECT_EQ(k.waitForExit(), 1u);
    EXPECT_EQ(e2e::readFile(k.dataFile()), threeEntries());
}

TEST(MainWindow, NewEntryTypedByKeyboardIsSaved) {
    Keyloom k(e2e::freshFolder("new"));
    e2e::writeFile(k.dataFile(), threeEntries());
    ASSERT_TRUE(k.start());
    k.focus(200);
    k.key('N', true);
    ASSERT_EVENTUALLY(k.items().size() == 4);
    EXPECT_EQ(k.items()[3], e2e::ansi("新しいアイテム - 4"));
    EXPECT_EQ(k.selection(), 3);
    // The whole title is selected in the title field: typing replaces it,
    // and the list item follows every keystroke.
    k.type(201, "N");
    EXPECT_EQ(k.items()[3], "N");
    k.type(201, "ew");
    EXPECT_EQ(k.items()[3], "New");
    k.type(202, "me");
    k.select(0);
    EXPECT_EQ(k.text(202), "1234-5678");
    k.select(3);
    EXPECT_EQ(k.text(202), "me");
    k.type(203, "secret");

    k.focus(203);
    k.key(VK_ESCAPE);
    EXPECT_EQ(k.waitForExit(), 1u);
    std::string saved = e2e::readFile(k.dataFile());
    EXPECT_EQ(saved, threeEntries().replace(10, 1, "4") + "New\r\nme\r\nsecret\r\n\r\n\r\n1\r\n\r\n");
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
