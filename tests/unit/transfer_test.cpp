// Copy, paste and shell over the fake platform: the exact order of clipboard
// writes, key events and pauses, the window that receives them, and what
// happens when the program is ended in the middle of a paste.
#include "app/commands.h"
#include "app/main_window.h"
#include "app/program.h"
#include "editor/editor.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "store/data_file.h"
#include "support/keyloom_fixture.h"
#include "support/records.h"
#include "support/test_platform.h"
#include "transfer/clipboard.h"
#include "transfer/paste.h"
#include "transfer/shell.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

using fake::record;
using fake::transferLog;
using fake::view;
using Log = std::vector<std::string>;

const Log ctrlV = {"Ctrl down", "pause 50", "V down",  "pause 50",
                   "V up",      "pause 50", "Ctrl up", "pause 50"};
const Log tab = {"Tab down", "pause 50", "Tab up", "pause 50"};
// The target comes to the front and settles there before the first key.
const Log front = {"front form", "pause 50"};

Log clip(const std::string& text) { return {"clipboard " + text}; }

Log steps(std::initializer_list<Log> parts) {
    Log all;
    for (const Log& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// What typing the user ID's pieces sends, once the target is in front.
Log pieces(std::initializer_list<std::string> texts) {
    Log all;
    for (const std::string& text : texts) {
        if (!all.empty())
            all = steps({all, tab});
        all = steps({all, clip(text), ctrlV});
    }
    return all;
}

class TransferTest : public KeyloomTest {
  protected:
    // The window opened over these records on the first one, with a login
    // form below it and another program's text on the clipboard.
    void open(std::initializer_list<EntryRecord> records) {
        KeyloomTest::open(records);
        fake::windowsBelow = {{"form"}};
        fake::clipboard = "other";
        transferLog.clear();
    }

    void select(int index) {
        KeyloomTest::select(index);
        transferLog.clear();
    }
};

TEST_F(TransferTest, PasteUserIdAndPasswordTypesEachPieceThenThePassword) {
    for (int command : {IDM_PASTE_USER_ID_AND_PASSWORD, IDC_PASTE_USER_ID_AND_PASSWORD}) {
        SetUp();
        open({record("Bank", "AB-CD-EF", "pw")});
        dispatchCommand(command, 0);
        EXPECT_EQ(transferLog, steps({front, pieces({"AB", "CD", "EF"}), tab, clip("pw"), ctrlV}))
            << command;
        EXPECT_EQ(fake::clipboard, "pw");
        EXPECT_STREQ(entryList.records[0].userId, "AB-CD-EF"); // cut in a copy only
        EXPECT_FALSE(pasteRunning());
    }
    for (int command : {IDM_PASTE_USER_ID, IDC_PASTE_USER_ID}) {
        SetUp();
        open({record("Bank", "AB-CD-EF", "pw")});
        dispatchCommand(command, 0);
        EXPECT_EQ(transferLog, steps({front, pieces({"AB", "CD", "EF"})})) << command;
        EXPECT_EQ(fake::clipboard, "EF");
    }
}

TEST_F(TransferTest, OnlyTheAsciiHyphenSplitsTheUserId) {
    const std::string fullWidth = fake::sjis("AB－CD―EF");
    struct Case {
        std::string userId;
        std::vector<std::string> pieces;
    };
    const Case cases[] = {
        {"", {""}},
        {"-AB", {"", "AB"}},
        {"AB-", {"AB", ""}},
        {"A--B", {"A", "", "B"}},
        {fullWidth, {fullWidth}},
        {fullWidth + "-" + fake::sjis("日本"), {fullWidth, fake::sjis("日本")}},
    };
    for (const Case& c : cases) {
        SetUp();
        open({record("Bank", c.userId, "p-w")});
        EXPECT_TRUE(pasteUserId());
        Log expected = front;
        for (std::size_t i = 0; i < c.pieces.size(); ++i)
            expected = steps({expected, i ? tab : Log{}, clip(c.pieces[i]), ctrlV});
        EXPECT_EQ(transferLog, expected) << c.userId;
        // k hyphens: (k + 1) * 200 ms + k * 100 ms of pauses, after the 50 ms
        // in which the target settles in front.
        int k = static_cast<int>(c.pieces.size()) - 1;
        EXPECT_EQ(fake::pauses * 50, 50 + (k + 1) * 200 + k * 100) << c.userId;
    }
}

TEST_F(TransferTest, PasswordAndMailArePastedWholeAfterTheCopy) {
    open({record("Bank", "AB-CD", "p-w", "", "me-1@b.example")});
    dispatchCommand(IDC_PASTE_PASSWORD, 0);
    EXPECT_EQ(transferLog, steps({clip("p-w"), front, ctrlV}));
    transferLog.clear();
    dispatchCommand(IDM_PASTE_MAIL, 0);
    EXPECT_EQ(transferLog, steps({clip("me-1@b.example"), front, ctrlV}));
    EXPECT_EQ(fake::clipboard, "me-1@b.example");
}

TEST_F(TransferTest, WhatTheEditorShowsIsTypedInClearEvenWhenMasked) {
    open({record("Bank", "AB-CD", "pw"), record("Mail", "u", "p")});
    dispatchCommand(IDM_HIDE_USER_ID, 0);
    dispatchCommand(IDM_HIDE_PASSWORD, 0);
    ASSERT_TRUE(view.masked[IDC_USER_ID]);
    ASSERT_TRUE(view.masked[IDC_PASSWORD]);
    fake::edit(IDC_USER_ID, L"NEW-ID"); // typed, not yet stored
    fake::edit(IDC_PASSWORD, L"typed");
    transferLog.clear();
    dispatchCommand(IDM_PASTE_USER_ID_AND_PASSWORD, 0);
    EXPECT_EQ(transferLog, steps({front, pieces({"NEW", "ID"}), tab, clip("typed"), ctrlV}));
    EXPECT_STREQ(entryList.records[0].userId, "NEW-ID");
    EXPECT_STREQ(entryList.records[0].password, "typed");

    fake::edit(IDC_USER_ID, L"AB12-CD34-EF56");
    EXPECT_EQ(copyField(IDC_COPY_USER_ID), 1);
    EXPECT_EQ(fake::clipboard, "AB12CD34EF56");
    EXPECT_STREQ(entryList.records[0].userId, "AB12-CD34-EF56");
}

TEST_F(TransferTest, CopyCommandsPutTheFieldOnTheClipboard) {
    const std::string dashed = fake::sjis("ＡＢ－ＣＤ-12");
    open({record("Bank", dashed, "p-w", "", "me-1@b.example"), record("Hyphens", "---"),
          record("Empty")});
    struct Case {
        int command;
        std::string expected;
    };
    for (Case c : {Case{IDM_COPY_USER_ID, fake::sjis("ＡＢ－ＣＤ12")},
                   Case{IDC_COPY_USER_ID, fake::sjis("ＡＢ－ＣＤ12")},
                   Case{IDM_COPY_PASSWORD, "p-w"}, Case{IDC_COPY_PASSWORD, "p-w"},
                   Case{IDM_COPY_MAIL, "me-1@b.example"}, Case{IDC_COPY_MAIL, "me-1@b.example"}}) {
        fake::clipboard = "other";
        transferLog.clear();
        EXPECT_TRUE(dispatchCommand(c.command, 0));
        EXPECT_EQ(transferLog, clip(c.expected)) << c.command;
    }
    select(1);
    EXPECT_EQ(copyField(IDC_COPY_USER_ID), 1);
    EXPECT_EQ(fake::clipboard, ""); // hyphens only: an empty text replaces the old one
    select(2);
    fake::clipboard = "other";
    EXPECT_EQ(copyField(IDC_COPY_MAIL), 1);
    EXPECT_EQ(fake::clipboard, "");
}

TEST_F(TransferTest, NothingSelectedTouchesNeitherTheEditorNorTheClipboard) {
    open({record("Bank", "AB-CD", "pw", "https://b.example/")});
    platform::selectItem(-1); // as after a deletion, before the editor follows
    fake::edit(IDC_PASSWORD, L"typed");
    EXPECT_EQ(copyField(IDC_COPY_PASSWORD), -1);
    EXPECT_FALSE(pasteUserId());
    pasteUserIdAndPassword();
    openAddress();
    EXPECT_TRUE(transferLog.empty());
    EXPECT_EQ(fake::clipboard, "other");
    EXPECT_STREQ(entryList.records[0].password, "pw");
}

TEST_F(TransferTest, ABusyClipboardIsTriedAgainForUpTo100ms) {
    open({record("Bank", "AB-CD", "pw")});
    fake::clipboardBusyFor = 3;
    EXPECT_EQ(copyField(IDC_COPY_PASSWORD), 1);
    EXPECT_EQ(transferLog, (Log{"clipboard busy", "pause 10", "clipboard busy", "pause 10",
                                "clipboard busy", "pause 10", "clipboard pw"}));

    // Held throughout: 11 tries, 10 pauses, and the old text stays.
    transferLog.clear();
    fake::clipboard = "other";
    fake::clipboardBusyFor = 1000;
    EXPECT_EQ(copyTextToClipboard("pw"), 0);
    EXPECT_EQ(std::count(transferLog.begin(), transferLog.end(), "clipboard busy"), 11);
    EXPECT_EQ(std::count(transferLog.begin(), transferLog.end(), "pause 10"), 10);
    EXPECT_EQ(fake::clipboard, "other");

    // Refused data is not tried again: the clipboard is left empty.
    transferLog.clear();
    fake::clipboardBusyFor = 0;
    fake::clipboardRefuses = true;
    EXPECT_EQ(copyTextToClipboard("pw"), 0);
    EXPECT_EQ(transferLog, Log{"clipboard refused"});
    EXPECT_EQ(fake::clipboard, std::nullopt);

    // A paste goes on whatever the copy returned.
    transferLog.clear();
    EXPECT_TRUE(pasteUserId());
    EXPECT_EQ(transferLog,
              steps({front, {"clipboard refused"}, ctrlV, tab, {"clipboard refused"}, ctrlV}));
}

TEST_F(TransferTest, TheTargetIsTheFirstOrdinaryWindowBelow) {
    open({record("Bank", "AB", "pw")});
    fake::windowsBelow = {{"hidden", false},
                          {"disabled", true, false},
                          {"tooltip", true, true, true},
                          {"form"},
                          {"other"}};
    EXPECT_EQ(findTargetWindow(), fake::handleOf("form"));
    dispatchCommand(IDM_PASTE_USER_ID_AND_PASSWORD, 0);
    EXPECT_EQ(transferLog, steps({front, clip("AB"), ctrlV, tab, clip("pw"), ctrlV}));
    EXPECT_EQ(fake::foreground, "form");
}

TEST_F(TransferTest, WithoutATargetNothingIsTyped) {
    open({record("Bank", "AB-CD", "pw", "", "me@b.example")});
    for (bool refused : {false, true}) {
        fake::windowsBelow = {{"hidden", false}, {"tooltip", true, true, true}};
        if (refused)
            fake::windowsBelow.push_back({"form", true, true, false, true});
        Log refusal = refused ? Log{"front refused"} : Log{};
        transferLog.clear();
        fake::clipboard = "other";
        EXPECT_FALSE(pasteUserId());
        dispatchCommand(IDM_PASTE_USER_ID_AND_PASSWORD, 0);
        EXPECT_EQ(transferLog, steps({refusal, refusal}));
        EXPECT_EQ(fake::clipboard, "other");

        // The copy comes first, so the field is on the clipboard all the same.
        transferLog.clear();
        dispatchCommand(IDM_PASTE_PASSWORD, 0);
        dispatchCommand(IDC_PASTE_MAIL, 0);
        EXPECT_EQ(transferLog, steps({clip("pw"), refusal, clip("me@b.example"), refusal}));
        EXPECT_EQ(fake::foreground, "");
    }
    fake::windowsBelow.clear();
    EXPECT_EQ(findTargetWindow(), nullptr);
}

TEST_F(TransferTest, KeysWaitUntilTheTargetHasTakenTheKeyboard) {
    open({record("Bank", "AB", "pw")});
    fake::windowsBelow = {{"form", true, true, false, false, 3}};
    EXPECT_TRUE(pasteUserId());
    EXPECT_EQ(
        transferLog,
        steps({{"front form", "pause 10", "pause 10", "pause 10", "pause 50"}, clip("AB"), ctrlV}));

    // Never within a second: treated as refused, nothing is typed.
    fake::windowsBelow = {{"hung", true, true, false, false, -1}};
    fake::foreground.clear();
    fake::clipboard = "other";
    transferLog.clear();
    EXPECT_FALSE(pasteUserId());
    EXPECT_EQ(transferLog.size(), 101u);
    EXPECT_EQ(std::count(transferLog.begin(), transferLog.end(), "pause 10"), 100);
    EXPECT_EQ(fake::clipboard, "other");

    // The end of the session while waiting.
    fake::duringPause = [] { exitProgram(); };
    transferLog.clear();
    dispatchCommand(IDM_PASTE_USER_ID_AND_PASSWORD, 0);
    EXPECT_EQ(transferLog, (Log{"front hung", "pause 10", "clipboard emptied"}));
}

// The end of the session can arrive in any pause: from then on nothing goes
// on the clipboard, no key is left down, and the released records are never
// read again (the sanitizer build would catch it).
TEST_F(TransferTest, AnExitDuringAPauseEndsThePasteCleanly) {
    int total = 0;
    {
        open({record("Bank", "AB-CD-EF", "pw")});
        dispatchCommand(IDM_PASTE_USER_ID_AND_PASSWORD, 0);
        total = fake::pauses;
    }
    ASSERT_EQ(total, 1 + 3 * 4 + 3 * 2 + 4);
    for (int at = 1; at <= total; ++at) {
        SetUp();
        open({record("Bank", "AB-CD-EF", "pw")});
        fake::duringPause = [at] {
            if (fake::pauses == at)
                exitProgram();
        };
        dispatchCommand(IDM_PASTE_USER_ID_AND_PASSWORD, 0);
        EXPECT_EQ(entryList.count(), 0) << at;
        EXPECT_EQ(view.endedWith, 1) << at;
        auto emptied = std::find(transferLog.begin(), transferLog.end(), "clipboard emptied");
        ASSERT_NE(emptied, transferLog.end()) << at;
        EXPECT_EQ(fake::clipboard, std::nullopt) << at;
        int held = 0;
        for (auto it = transferLog.begin(); it != transferLog.end(); ++it) {
            const std::string& e = *it;
            if (it > emptied) {
                EXPECT_EQ(e.find("clipboard"), std::string::npos) << at << ": " << e;
                EXPECT_EQ(e.find("down"), std::string::npos) << at << ": " << e;
                EXPECT_EQ(e.find("pause"), std::string::npos) << at << ": " << e;
            }
            held += e.size() > 5 && e.compare(e.size() - 5, 5, " down") == 0;
            held -= e.size() > 3 && e.compare(e.size() - 3, 3, " up") == 0;
        }
        EXPECT_EQ(held, 0) << at;
    }

    // Between V down and V up: both keys are let go at once.
    SetUp();
    open({record("Bank", "AB", "pw")});
    fake::duringPause = [] {
        if (fake::pauses == 3)
            exitProgram();
    };
    EXPECT_FALSE(pasteUserId());
    EXPECT_EQ(transferLog, (Log{"front form", "pause 50", "clipboard AB", "Ctrl down", "pause 50",
                                "V down", "pause 50", "clipboard emptied", "V up", "Ctrl up"}));
}

TEST_F(TransferTest, AnExitWhileWaitingForTheClipboardWritesNothingAfterIt) {
    open({record("Bank", "AB", "pw")});
    fake::clipboardBusyFor = 1;
    fake::duringPause = [] { exitProgram(); };
    dispatchCommand(IDM_PASTE_PASSWORD, 0);
    EXPECT_EQ(transferLog, (Log{"clipboard busy", "pause 10", "clipboard emptied"}));
    EXPECT_EQ(fake::clipboard, std::nullopt);
    EXPECT_EQ(fake::foreground, "");
}

TEST_F(TransferTest, OnlyTheExitRunsWhileAPasteTypes) {
    open({record("Bank", "AB-CD", "pw")});
    fake::duringPause = [] {
        if (fake::pauses != 3)
            return;
        // Sent by another program in the middle of the paste.
        dispatchCommand(IDM_COPY_USER_ID, 0);
        dispatchCommand(IDM_PASTE_PASSWORD, 0);
        dispatchCommand(IDM_NEW, 0);
    };
    dispatchCommand(IDM_PASTE_USER_ID, 0);
    EXPECT_EQ(transferLog, steps({front, pieces({"AB", "CD"})}));
    EXPECT_EQ(entryList.count(), 1);

    // Afterwards every command works again.
    fake::duringPause = nullptr;
    transferLog.clear();
    dispatchCommand(IDM_COPY_USER_ID, 0);
    EXPECT_EQ(transferLog, clip("ABCD"));

    fake::pauses = 0;
    fake::duringPause = [] {
        if (fake::pauses == 10)
            dispatchCommand(IDM_EXIT, 0);
    };
    dispatchCommand(IDM_PASTE_USER_ID, 0);
    EXPECT_TRUE(exitStarted);
    EXPECT_EQ(view.endedWith, 1);
}

TEST_F(TransferTest, TheAddressIsHandedToTheShellWhole) {
    const std::string command = "C:\\Program Files\\Tool\\tool.exe -open \"a b.txt\"";
    open({record("Tool", "", "", command), record("Empty")});
    for (int id : {IDM_OPEN_ADDRESS, IDC_OPEN_ADDRESS}) {
        transferLog.clear();
        dispatchCommand(id, 0);
        EXPECT_EQ(transferLog, Log{"shell " + command}) << id;
    }
    transferLog.clear();
    dispatchCommand(IDC_LIST, 2); // a double click
    listKeyDown(0x0D, false);     // Enter
    listKeyDown(0x20, false);     // Space
    EXPECT_EQ(transferLog, (Log{"shell " + command, "shell " + command, "shell " + command}));

    // Typed and not yet stored: that is what opens.
    fake::edit(IDC_ADDRESS, L"https://new.example/");
    transferLog.clear();
    openAddress();
    EXPECT_EQ(transferLog, Log{"shell https://new.example/"});
    EXPECT_STREQ(entryList.records[0].address, "https://new.example/");

    select(1);
    dispatchCommand(IDM_OPEN_ADDRESS, 0);
    dispatchCommand(IDC_OPEN_ADDRESS, 0);
    dispatchCommand(IDC_LIST, 2);
    listKeyDown(0x0D, false);
    listKeyDown(0x20, false);
    EXPECT_TRUE(transferLog.empty());
}

TEST_F(TransferTest, HelpAndTheMakersLinksOpenWithoutASelection) {
    fake::modulePath = L"D:\\Apps\\Keyloom\\keyloom.exe";
    fake::files[L"D:\\Apps\\Keyloom\\KEYLOOM.HLP"] = "a user's own help file";
    open({});
    dispatchCommand(IDM_HELP, 0);
    dispatchCommand(IDM_HOME_PAGE, 0);
    dispatchCommand(IDM_SUPPORT_MAIL, 0);
    EXPECT_EQ(transferLog,
              (Log{"shell D:\\Apps\\Keyloom\\KEYLOOM.HLP", "shell https://www.keyloom.example/",
                   "shell mailto:support@keyloom.example"}));
    EXPECT_EQ(fake::clipboard, "other");

    // The page Keyloom ships comes first; without either file, nothing opens.
    fake::files[L"D:\\Apps\\Keyloom\\KEYLOOM.HTM"] = "<html>";
    transferLog.clear();
    openHelp();
    EXPECT_EQ(transferLog, Log{"shell D:\\Apps\\Keyloom\\KEYLOOM.HTM"});
    fake::files.clear();
    transferLog.clear();
    openHelp();
    EXPECT_TRUE(transferLog.empty());

    // A folder deeper than a path buffer still gets its own help file.
    std::string deep = "C:\\" + std::string(300, 'd');
    fake::modulePath = fake::wide(deep) + L"\\keyloom.exe";
    fake::files[fake::wide(deep) + L"\\KEYLOOM.HTM"] = "<html>";
    openHelp();
    EXPECT_EQ(transferLog, Log{"shell " + deep + "\\KEYLOOM.HTM"});
}

TEST_F(TransferTest, TheExitWaitsForAClipboardHeldByAnotherProgram) {
    open({record("Bank", "AB", "pw")});
    fake::clipboardBusyFor = 4;
    dispatchCommand(IDM_EXIT, 0);
    EXPECT_EQ(transferLog,
              (Log{"clipboard busy", "pause 10", "clipboard busy", "pause 10", "clipboard busy",
                   "pause 10", "clipboard busy", "pause 10", "clipboard emptied"}));
    EXPECT_EQ(fake::clipboard, std::nullopt);

    // Held for good: the program still ends, and says nothing.
    SetUp();
    open({record("Bank", "AB", "pw")});
    fake::clipboardBusyFor = 1000;
    dispatchCommand(2, 0);
    EXPECT_EQ(view.endedWith, 1);
    EXPECT_EQ(fake::clipboard, "other");
    EXPECT_TRUE(fake::messageBoxes.empty());
}

} // namespace
