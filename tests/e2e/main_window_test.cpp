// The main window under Wine: keyloom.exe started in a folder of its own,
// worked from outside, and its files read back byte by byte.
#include "support/keyloom_driver.h"

#include <gtest/gtest.h>

#include <string>

using e2e::Keyloom;

namespace {

const std::string emptyList = "KEYLOOM1\r\n0\r\n";

std::string threeEntries() {
    return e2e::sjis("KEYLOOM1\r\n3\r\n銀行\r\n1234-5678\r\npw1\r\nhttps://bank.example/\r\n"
                     "me@bank.example\r\n2\r\n暗証番号は別\r\n\r\n"
                     "Mail\r\nuser\r\npw2\r\n\r\n\r\n1\r\n\r\n"
                     "Shop\r\n\r\n\r\n\r\n\r\n1\r\n\r\n");
}

// The entries of threeEntries(), to build expected files from.
const e2e::Entry bank{
    "銀行", "1234-5678", "pw1", "https://bank.example/", "me@bank.example", "暗証番号は別\r\n"};
const e2e::Entry mail{"Mail", "user", "pw2"};
const e2e::Entry shop{"Shop"};

const std::vector<std::string> threeTitles{e2e::sjis("銀行"), "Mail", "Shop"};

RECT windowRect(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

// Sends the delete command as its menu item does; the question that
// follows, or null when none appears.
HWND deleteQuestion(Keyloom& k) {
    k.command(104, false);
    return k.messageBox();
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

    EXPECT_EQ(k.exitByMenu(), 1u);
    EXPECT_EQ(e2e::readFile(k.dataFile()), emptyList);
    EXPECT_EQ(e2e::readFile(k.settingsFile()), e2e::settingsFile(r.left, r.top));
    EXPECT_FALSE(e2e::fileExists(k.dataFile() + ".tmp"));
}

TEST(MainWindow, EndedWhileMinimizedKeepsTheDefaultCorner) {
    Keyloom k(e2e::freshFolder("minimized"));
    ASSERT_TRUE(k.start());
    ShowWindow(k.window, SW_MINIMIZE);
    ASSERT_EVENTUALLY(IsIconic(k.window));
    PostMessageW(k.window, WM_COMMAND, 2, 0);
    EXPECT_EQ(k.waitForExit(), 1u);
    EXPECT_EQ(e2e::readFile(k.settingsFile()), e2e::settingsFile(-999, -999));
}

TEST(MainWindow, ThreeEntriesOpenOnTheFirst) {
    Keyloom k(e2e::freshFolder("three"), threeEntries());
    ASSERT_TRUE(k.start());
    EXPECT_EQ(k.items(), (std::vector<std::string>{e2e::sjis("銀行"), "Mail", "Shop"}));
    EXPECT_EQ(k.selection(), 0);
    EXPECT_EQ(k.text(202), "1234-5678");
    EXPECT_EQ(k.text(206), e2e::sjis("暗証番号は別\r\n"));
    for (int id : {201, 202, 203, 204, 205, 206, 208, 209, 210, 211, 212, 213, 214, 215, 219})
        EXPECT_TRUE(k.enabled(id)) << "control " << id;
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    EXPECT_EVENTUALLY(GetGUIThreadInfo(k.process.dwThreadId, &info) &&
                      info.hwndFocus == k.control(200));

    EXPECT_EQ(k.exitByMenu(), 1u);
    EXPECT_EQ(e2e::readFile(k.dataFile()), threeEntries());
}

TEST(MainWindow, NewEntryTypedByKeyboardIsSaved) {
    Keyloom k(e2e::freshFolder("new"), threeEntries());
    ASSERT_TRUE(k.start());
    k.focus(200);
    k.key('N', true);
    ASSERT_EVENTUALLY(k.items().size() == 4);
    EXPECT_EQ(k.items()[3], e2e::sjis("新しいアイテム - 4"));
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
    EXPECT_EQ(saved,
              threeEntries().replace(10, 1, "4") + "New\r\nme\r\nsecret\r\n\r\n\r\n1\r\n\r\n");
}

TEST(MainWindow, DeleteAsksAndRemovesTheMiddleTheLastAndTheOnlyEntry) {
    Keyloom k(e2e::freshFolder("delete"), threeEntries());
    ASSERT_TRUE(k.start());
    k.select(1);
    k.paste(202, "not yet stored");

    // No keeps everything, the unsaved edit included.
    HWND box = deleteQuestion(k);
    ASSERT_TRUE(box) << "no delete question";
    EXPECT_EQ(e2e::fromSjis(k.messageText(box)), "Mailを削除してもよろしいですか？");
    EXPECT_EQ(GetWindow(box, GW_OWNER), k.window);
    k.answer(box, IDNO);
    EXPECT_EQ(k.items(), threeTitles);
    EXPECT_EQ(k.selection(), 1);
    EXPECT_EQ(k.text(202), "not yet stored");

    // Enter answers No too: it is the default button.
    box = deleteQuestion(k);
    ASSERT_TRUE(box) << "no delete question";
    SetForegroundWindow(box);
    k.key(VK_RETURN);
    ASSERT_EVENTUALLY(!IsWindow(box));
    k.command(0); // a round trip: the answer has been handled
    EXPECT_EQ(k.items(), threeTitles);

    // Yes on the middle entry shows the one that followed it.
    box = deleteQuestion(k);
    ASSERT_TRUE(box) << "no delete question";
    k.answer(box, IDYES);
    EXPECT_EQ(k.items(), (std::vector<std::string>{e2e::sjis("銀行"), "Shop"}));
    EXPECT_EQ(k.selection(), 1);
    EXPECT_EQ(k.text(201), "Shop");
    EXPECT_EQ(k.text(202), "");

    // Yes on the last entry shows the new last one.
    box = deleteQuestion(k);
    ASSERT_TRUE(box) << "no delete question";
    EXPECT_EQ(e2e::fromSjis(k.messageText(box)), "Shopを削除してもよろしいですか？");
    k.answer(box, IDYES);
    EXPECT_EQ(k.items(), (std::vector<std::string>{e2e::sjis("銀行")}));
    EXPECT_EQ(k.selection(), 0);
    EXPECT_EQ(k.text(202), "1234-5678");

    // Yes on the only entry leaves an empty, disabled editor.
    box = deleteQuestion(k);
    ASSERT_TRUE(box) << "no delete question";
    EXPECT_EQ(e2e::fromSjis(k.messageText(box)), "銀行を削除してもよろしいですか？");
    k.answer(box, IDYES);
    EXPECT_TRUE(k.items().empty());
    EXPECT_EQ(k.selection(), -1);
    for (int id : {201, 202, 203, 204, 205, 206}) {
        EXPECT_EQ(k.text(id), "") << "field " << id;
        EXPECT_FALSE(k.enabled(id)) << "field " << id;
    }

    EXPECT_EQ(k.exitByMenu(), 1u);
    EXPECT_EQ(e2e::readFile(k.dataFile()), emptyList);
}

TEST(MainWindow, DeleteQuestionHoldsTheWholeLongestTitle) {
    Keyloom k(e2e::freshFolder("longtitle"));
    std::string title; // 1023 bytes in code page 932
    for (int i = 0; i < 511; ++i)
        title += "あ";
    title += "x";
    ASSERT_EQ(e2e::sjis(title).size(), 1023u);
    e2e::writeFile(k.dataFile(), e2e::dataFile({{title}}));
    ASSERT_TRUE(k.start());
    HWND box = deleteQuestion(k);
    ASSERT_TRUE(box) << "no delete question";
    EXPECT_EQ(e2e::fromSjis(k.messageText(box)), title + "を削除してもよろしいですか？");
    k.answer(box, IDNO);
    EXPECT_EQ(k.exitByMenu(), 1u);
    EXPECT_EQ(e2e::readFile(k.dataFile()), e2e::dataFile({{title}}));
}

TEST(MainWindow, MovesCarryTheUnsavedEditsAndStopAtTheEnds) {
    Keyloom k(e2e::freshFolder("move"), threeEntries());
    ASSERT_TRUE(k.start());
    k.select(1);
    k.paste(202, "moved-user");
    k.focus(200);
    k.key(VK_UP, true);
    ASSERT_EVENTUALLY(k.items() == (std::vector<std::string>{"Mail", e2e::sjis("銀行"), "Shop"}));
    EXPECT_EQ(k.selection(), 0);
    EXPECT_EQ(k.text(202), "moved-user");

    // At the top Ctrl+Up does nothing; Down alone moves the selection only.
    k.key(VK_UP, true);
    k.key(VK_DOWN);
    ASSERT_EVENTUALLY(k.selection() == 1);
    EXPECT_EQ(k.items(), (std::vector<std::string>{"Mail", e2e::sjis("銀行"), "Shop"}));
    EXPECT_EQ(k.text(202), "1234-5678");
    k.key(VK_UP);
    ASSERT_EVENTUALLY(k.selection() == 0);
    EXPECT_EQ(k.text(202), "moved-user");

    k.paste(203, "moved-password");
    k.key(VK_DOWN, true);
    k.key(VK_DOWN, true);
    ASSERT_EVENTUALLY(k.items() == (std::vector<std::string>{e2e::sjis("銀行"), "Shop", "Mail"}));
    EXPECT_EQ(k.selection(), 2);
    EXPECT_EQ(k.text(202), "moved-user");
    EXPECT_EQ(k.text(203), "moved-password");

    // At the bottom Ctrl+Down does nothing.
    k.key(VK_DOWN, true);
    k.key(VK_UP);
    ASSERT_EVENTUALLY(k.selection() == 1);
    EXPECT_EQ(k.items(), (std::vector<std::string>{e2e::sjis("銀行"), "Shop", "Mail"}));

    k.key(VK_ESCAPE);
    EXPECT_EQ(k.waitForExit(), 1u);
    e2e::Entry moved = mail;
    moved.userId = "moved-user";
    moved.password = "moved-password";
    EXPECT_EQ(e2e::readFile(k.dataFile()), e2e::dataFile({bank, shop, moved}));
}

TEST(MainWindow, RevertRestoresTheFileAndDropsTheEditor) {
    Keyloom k(e2e::freshFolder("revert"), threeEntries());
    ASSERT_TRUE(k.start());
    k.select(1);
    k.paste(201, "Renamed");
    k.paste(202, "typed");
    k.command(103);
    ASSERT_EQ(k.items().size(), 4u);
    k.select(0);
    HWND box = deleteQuestion(k);
    ASSERT_TRUE(box) << "no delete question";
    k.answer(box, IDYES);
    ASSERT_EQ(k.items(),
              (std::vector<std::string>{"Renamed", "Shop", e2e::sjis("新しいアイテム - 4")}));

    // From the menu: the list as read at start-up, the selected index kept,
    // and no question.
    k.select(1);
    k.paste(203, "dropped");
    k.command(127);
    EXPECT_EQ(k.items(), threeTitles);
    EXPECT_EQ(k.selection(), 1);
    EXPECT_EQ(k.text(201), "Mail");
    EXPECT_EQ(k.text(202), "user");
    EXPECT_EQ(k.text(203), "pw2");
    EXPECT_EQ(e2e::popupMenuOf(k.process.dwProcessId), nullptr);
    EXPECT_EQ(k.messageBox(0), nullptr);

    // Ctrl+Z on the list, with the new entry selected: its index is gone
    // after the revert, so nothing is selected and the editor is empty.
    k.paste(202, "dropped too");
    k.command(103);
    k.focus(200);
    k.key('Z', true);
    ASSERT_EVENTUALLY(k.items() == threeTitles);
    EXPECT_EQ(k.selection(), -1);
    EXPECT_EQ(k.text(201), "");
    EXPECT_FALSE(k.enabled(201));
    k.select(1);
    EXPECT_EQ(k.text(202), "user");

    EXPECT_EQ(k.exitByMenu(), 1u);
    EXPECT_EQ(e2e::readFile(k.dataFile()), threeEntries());
}

TEST(MainWindow, MaskingComesFromTheSettingsAndTheViewMenu) {
    Keyloom k(e2e::freshFolder("mask"), threeEntries());
    e2e::writeFile(k.settingsFile(), e2e::settingsFile(-999, -999, 0, 1));
    ASSERT_TRUE(k.start());
    EXPECT_EQ(k.maskOf(202), L'*');
    EXPECT_EQ(k.maskOf(203), 0);

    k.command(122); // show the user ID
    k.command(123); // hide the password
    EXPECT_EQ(k.maskOf(202), 0);
    EXPECT_EQ(k.maskOf(203), L'*');
    // The masked field still holds, and saves, the clear text; another
    // entry is masked too.
    k.select(1);
    k.paste(203, "clear");
    k.select(0);
    EXPECT_EQ(k.maskOf(203), L'*');
    k.select(1);
    EXPECT_EQ(k.text(203), "clear");

    RECT r = windowRect(k.window);
    EXPECT_EQ(k.exitByMenu(), 1u);
    EXPECT_EQ(e2e::readFile(k.settingsFile()), e2e::settingsFile(r.left, r.top, 1, 0));
    e2e::Entry changed = mail;
    changed.password = "clear";
    EXPECT_EQ(e2e::readFile(k.dataFile()), e2e::dataFile({bank, changed, shop}));
}

TEST(MainWindow, SavedCornerIsUsedOnlyWhenItLiesOnTheScreen) {
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    struct Case {
        long left, top;
        bool used;
    } cases[] = {{100, 50, true},     {0, 0, true},      {width - 1, height - 1, true},
                 {-1, 50, false},     {50, -1, false},   {width, 50, false},
                 {50, height, false}, {-999, 50, false}, {50, -999, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.left) + ", " + std::to_string(c.top));
        Keyloom k(e2e::freshFolder("corner"));
        e2e::writeFile(k.settingsFile(), e2e::settingsFile(c.left, c.top));
        ASSERT_TRUE(k.start());
        RECT r = windowRect(k.window);
        if (c.used) {
            EXPECT_EQ(r.left, c.left);
            EXPECT_EQ(r.top, c.top);
        } else {
            EXPECT_NEAR((r.left + r.right) / 2, width / 2, 2);
            EXPECT_NEAR((r.top + r.bottom) / 2, height / 2, 2);
        }
        EXPECT_EQ(k.exitByMenu(), 1u);
        EXPECT_EQ(e2e::readFile(k.settingsFile()), e2e::settingsFile(r.left, r.top));
    }

    // Moved during the run: the new corner is saved.
    Keyloom k(e2e::freshFolder("moved"));
    ASSERT_TRUE(k.start());
    SetWindowPos(k.window, nullptr, 200, 120, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ASSERT_EVENTUALLY(windowRect(k.window).left == 200);
    EXPECT_EQ(k.exitByMenu(), 1u);
    EXPECT_EQ(e2e::readFile(k.settingsFile()), e2e::settingsFile(200, 120));
}

TEST(MainWindow, RightButtonAndAppsKeyOpenThePopupMenu) {
    Keyloom k(e2e::freshFolder("popup"), threeEntries());
    ASSERT_TRUE(k.start());
    k.focus(200);

    // The press selects and shows the item; the release opens the menu
    // where the pointer is.
    POINT at = k.itemCentre(2);
    k.rightClick(at);
    ASSERT_EVENTUALLY(k.selection() == 2);
    EXPECT_EQ(k.text(201), "Shop");
    HWND menu = k.popupMenu();
    ASSERT_TRUE(menu) << "no pop-up menu after the right button";
    EXPECT_EQ(windowRect(menu).left, at.x);
    EXPECT_EQ(windowRect(menu).top, at.y);
    k.key(VK_ESCAPE);
    ASSERT_EVENTUALLY(!IsWindowVisible(menu));
    // Esc closed the menu only, and chose nothing.
    k.command(0);
    EXPECT_TRUE(k.running());
    EXPECT_EQ(k.items(), threeTitles);

    // The Apps key opens it at the list's corner; its items are commands.
    k.focus(200);
    k.key(VK_APPS);
    menu = k.popupMenu();
    ASSERT_TRUE(menu) << "no pop-up menu after the Apps key";
    RECT list = windowRect(k.control(200));
    EXPECT_EQ(windowRect(menu).left, list.left);
    EXPECT_EQ(windowRect(menu).top, list.top);
    k.key('N'); // "新しいアイテムの作成(&N)"
    ASSERT_EVENTUALLY(k.items().size() == 4);
    EXPECT_EQ(k.selection(), 3);

    EXPECT_EQ(k.exitByMenu(), 1u);
}

TEST(MainWindow, FieldsKeepTheirOwnKeysWhileTheListAsks) {
    Keyloom k(e2e::freshFolder("keys"), threeEntries());
    ASSERT_TRUE(k.start());

    // In the title: Del deletes a character, Enter does nothing (the key
    // typed after it arrives in the field, and the window still runs).
    k.focus(201);
    k.key(VK_HOME);
    k.key(VK_DELETE);
    ASSERT_EVENTUALLY(k.text(201) == e2e::sjis("行"));
    EXPECT_EQ(k.items()[0], e2e::sjis("行"));
    k.key(VK_RETURN);
    k.key(VK_END);
    k.key('X');
    ASSERT_EVENTUALLY(k.text(201) == e2e::sjis("行x"));
    EXPECT_TRUE(k.running());
    EXPECT_EQ(k.messageBox(0), nullptr);
    EXPECT_EQ(k.items(), (std::vector<std::string>{e2e::sjis("行x"), "Mail", "Shop"}));

    // On the list, Del asks.
    k.focus(200);
    k.key(VK_DELETE);
    HWND box = k.messageBox();
    ASSERT_TRUE(box) << "Del on the list did not ask";
    EXPECT_EQ(e2e::fromSjis(k.messageText(box)), "行xを削除してもよろしいですか？");
    k.answer(box, IDNO);

    k.key(VK_ESCAPE);
    EXPECT_EQ(k.waitForExit(), 1u);
    e2e::Entry renamed = bank;
    renamed.title = "行x";
    EXPECT_EQ(e2e::readFile(k.dataFile()), e2e::dataFile({renamed, mail, shop}));
}

TEST(MainWindow, ListKeepsItsSizeAndSpaceIsTheCommandsAlone) {
    Keyloom k(e2e::freshFolder("list"), e2e::dataFile({{"Bank"}, {" spaced"}, {"Mail"}}));
    ASSERT_TRUE(k.start());
    RECT before = windowRect(k.control(200));
    // The widest title grows past the list's width and shrinks back, again
    // and again: the horizontal scroll bar comes and goes.
    for (int round = 0; round < 3; ++round) {
        k.type(201, std::string(40, 'W'));
        k.type(201, std::string(40, '\b'));
    }
    RECT after = windowRect(k.control(200));
    EXPECT_EQ(after.bottom - after.top, before.bottom - before.top);

    // Space opens the address (none here) and is not also a search for an
    // entry beginning with a space: Down then moves on from the first entry.
    k.focus(200);
    k.key(VK_SPACE);
    k.key(VK_DOWN);
    ASSERT_EVENTUALLY(k.selection() != 0);
    EXPECT_EQ(k.selection(), 1);
    EXPECT_EQ(k.exitByMenu(), 1u);
}

TEST(MainWindow, TabSkipsTheButtonsAndFieldsKeepCtrlKeys) {
    Keyloom k(e2e::freshFolder("tab"), threeEntries());
    ASSERT_TRUE(k.start());
    k.focus(200);
    for (int id : {201, 202, 203, 204, 205, 206}) {
        k.key(VK_TAB);
        EXPECT_EVENTUALLY(k.focused() == k.control(id)) << "Tab did not reach field " << id;
    }

    // In a field Ctrl+N creates nothing and Ctrl+Z is the field's own undo.
    k.focus(202);
    k.key(VK_END);
    k.key('Q');
    ASSERT_EVENTUALLY(k.text(202) == "1234-5678q");
    k.key('N', true);
    k.key('Z', true);
    ASSERT_EVENTUALLY(k.text(202) == "1234-5678");
    EXPECT_EQ(k.items(), threeTitles);
    EXPECT_EQ(k.selection(), 0);

    k.key(VK_ESCAPE);
    EXPECT_EQ(k.waitForExit(), 1u);
    EXPECT_EQ(e2e::readFile(k.dataFile()), threeEntries());
}

TEST(MainWindow, CloseBoxAndAltF4EndThroughTheExitSequence) {
    for (bool altF4 : {false, true}) {
        SCOPED_TRACE(altF4 ? "Alt+F4" : "close box");
        Keyloom k(e2e::freshFolder("close"), threeEntries());
        ASSERT_TRUE(k.start());
        k.select(2);
        k.paste(205, "shop@example.jp");
        RECT r = windowRect(k.window);
        if (altF4) {
            k.focus(200);
            k.key(VK_F4, false, true);
        } else {
            PostMessageW(k.window, WM_SYSCOMMAND, SC_CLOSE, 0);
        }
        EXPECT_EQ(k.waitForExit(), 1u);
        e2e::Entry edited = shop;
        edited.mail = "shop@example.jp";
        EXPECT_EQ(e2e::readFile(k.dataFile()), e2e::dataFile({bank, mail, edited}));
        EXPECT_EQ(e2e::readFile(k.settingsFile()), e2e::settingsFile(r.left, r.top));
    }
}

} // namespace
