// Copy, paste and shell over the fake platform: the exact order of clipboard
// writes, key events and pauses, the window that receives them, and what
// happens when the program is ended in the middle of a paste.
#include "support/keyloom_fixture.h"
#include "transfer/clipboard.h"
#include "transfer/paste.h"
#include "transfer/shell.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

using fake::record;
using fake::transferLog;
using fake::view;
using Log = std::vector<std::string>;

// One piece typed: put on offer, Ctrl+V, and made for the target when it
// reads it.
Log piece(const std::string& text) { return {"offer", "Ctrl+V", "render " + text}; }
const Log tab = {"Tab"};
const Log front = {"front form"};
// What every paste ends with: keys that reached Keyloom meanwhile go.
const Log done = {"keys dropped"};

Log steps(std::initializer_list<Log> parts) {
    Log all;
    for (const Log& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

// What typing the user ID's pieces sends, once the target is in front.
Log pieces(const std::vector<std::string>& texts) {
    Log all;
    for (const std::string& text : texts)
        all = steps({all, all.empty() ? Log{} : tab, piece(text)});
    return all;
}

// What one command does, from a cleared log.
Log run(int command) {
    transferLog.clear();
    dispatchCommand(command, 0);
    return transferLog;
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
    // A fresh program over one entry, for the next case of a loop.
    void restart(const std::string& userId = "AB-CD") {
        SetUp();
        open({record("Bank", userId, "pw")});
    }

    void select(int index) {
        KeyloomTest::select(index);
        transferLog.clear();
    }
};

// However slowly the target reads, each piece is read before the next
// replaces it; a clipboard manager asking first gets nothing.
TEST_F(TransferTest, EachPieceWaitsForTheTargetsOwnRead) {
    open({record("Bank", "AB-CD")});
    fake::edit(IDC_PASSWORD, L"pw"); // typed, not yet stored: what is typed
    fake::windowsBelow[0].readsAfter = 1000;
    fake::windowsBelow[0].strangerAsksFirst = true;
    auto read = [](const std::string& text) {
        return Log{"offer", "Ctrl+V", "refused stranger", "render " + text};
    };
    unsigned start = fake::now;
    dispatchCommand(IDM_PASTE_USER_ID_AND_PASSWORD, 0);
    EXPECT_EQ(transferLog, steps({front, read("AB"), tab, read("CD"), tab, read("pw"), done}));
    EXPECT_GE(fake::now - start, 3000u);
    EXPECT_TRUE(fake::messageBoxes.empty());
    // The last piece stays for a "confirm password" box, until the exit.
    EXPECT_EQ(fake::clipboard, "pw");
    EXPECT_EQ(entryList.records[0].userId(), "AB-CD"); // cut in a copy only
    EXPECT_FALSE(pasteRunning());

    // A clipboard manager taking the piece once the target has read it
    // stops nothing.
    restart();
    fake::duringPause = [] {
        if (transferLog.back() == "render AB")
            fake::takeClipboard();
    };
    dispatchCommand(IDM_PASTE_USER_ID_AND_PASSWORD, 0);
    EXPECT_EQ(
        transferLog,
        steps({front, piece("AB"), {"clipboard taken"}, tab, piece("CD"), tab, piece("pw"), done}));
    EXPECT_TRUE(fake::messageBoxes.empty());
}

// A program that reads through OLE asks without a window; a store app's
// content asks through a hidden window of another process than its frame's.
// Both are the target's reads; a request without a window before the Ctrl+V
// (a clipboard manager), or with another window in front, gets nothing.
TEST_F(TransferTest, ReadsThroughOleOrByAStoreAppsContentAreTheTargets) {
    // Nor does the target's own read before its Ctrl+V count: that text is
    // not the one its paste asks for.
    for (fake::Reader reader :
         {fake::Reader::Window, fake::Reader::NoWindow, fake::Reader::ContentProcess}) {
        SCOPED_TRACE(static_cast<int>(reader));
        restart();
        fake::windowsBelow[0].reader = reader;
        fake::duringPause = [reader] {
            if (transferLog.back() == "offer")
                fake::strangerAsks(reader == fake::Reader::Window ? fake::handleOf("form")
                                                                  : nullptr);
        };
        dispatchCommand(IDM_PASTE_USER_ID, 0);
        EXPECT_EQ(transferLog, steps({front,
                                      {"offer", "refused stranger", "Ctrl+V", "render AB", "Tab"},
                                      {"offer", "refused stranger", "Ctrl+V", "render CD"},
                                      done}));
        EXPECT_TRUE(fake::messageBoxes.empty());
    }
    restart("AB");
    fake::windowsBelow[0].readsAfter = -1;
    fake::duringPause = [] {
        if (transferLog.back() == "Ctrl+V") {
            fake::foreground = "browser";
            fake::strangerAsks(nullptr);
        }
    };
    dispatchCommand(IDM_PASTE_USER_ID, 0);
    EXPECT_EQ(transferLog,
              steps({front, {"offer", "Ctrl+V", "refused stranger", "clipboard emptied"}, done}));
}

TEST_F(TransferTest, OnlyTheAsciiHyphenSplitsTheUserId) {
    open({record("Bank", "", "p-w")});
    const std::string fullWidth = fake::sjis("AB－CD―EF"), nihon = fake::sjis("日本");
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"", {""}},
        {"-AB", {"", "AB"}},
        {"AB-", {"AB", ""}},
        {"A--B", {"A", "", "B"}},
        {fullWidth, {fullWidth}},
        {fullWidth + "-" + nihon, {fullWidth, nihon}},
    };
    for (const auto& [userId, expected] : cases) {
        SCOPED_TRACE(userId);
        fake::edit(IDC_USER_ID, platform::sjisToWide(userId));
        transferLog.clear();
        EXPECT_TRUE(pasteUserId());
        EXPECT_EQ(transferLog, steps({front, pieces(expected), done}));
    }
}

TEST_F(TransferTest, PasswordAndMailAreCopiedThenPastedWhole) {
    open({record("Bank", "AB-CD", "p-w", "", "me-1@b.example")});
    EXPECT_EQ(run(IDC_PASTE_PASSWORD), steps({{"clipboard p-w"}, front, piece("p-w"), done}));
    EXPECT_EQ(run(IDM_PASTE_MAIL),
              steps({{"clipboard me-1@b.example"}, front, piece("me-1@b.example"), done}));
    EXPECT_EQ(fake::clipboard, "me-1@b.example");
}

TEST_F(TransferTest, CopyCommandsPutTheFieldOnTheClipboard) {
    open({record("Bank", "", "p-w", "", "me-1@b.example"), record("Hyphens", "---"),
          record("Empty")});
    fake::edit(IDC_USER_ID, L"ＡＢ－ＣＤ-12"); // typed, not yet stored: what is copied
    const std::pair<int, std::string> cases[] = {
        {IDM_COPY_USER_ID, fake::sjis("ＡＢ－ＣＤ12")},
        {IDC_COPY_USER_ID, fake::sjis("ＡＢ－ＣＤ12")},
        {IDM_COPY_PASSWORD, "p-w"},
        {IDC_COPY_PASSWORD, "p-w"},
        {IDM_COPY_MAIL, "me-1@b.example"},
        {IDC_COPY_MAIL, "me-1@b.example"},
    };
    for (const auto& [command, expected] : cases) {
        fake::clipboard = "other";
        EXPECT_EQ(run(command), Log{"clipboard " + expected}) << command;
    }
    EXPECT_EQ(entryList.records[0].userId(), fake::sjis("ＡＢ－ＣＤ-12"));
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
    EXPECT_EQ(entryList.records[0].password(), "pw");
}

TEST_F(TransferTest, ABusyClipboardIsTriedAgainForUpTo100ms) {
    open({record("Bank", "AB-CD", "pw")});
    fake::clipboardBusyFor = 3;
    EXPECT_EQ(copyField(IDC_COPY_PASSWORD), 1);
    EXPECT_EQ(transferLog,
              (Log{"clipboard busy", "clipboard busy", "clipboard busy", "clipboard pw"}));
    EXPECT_EQ(fake::pauses, 3);

    // Held throughout: 11 tries, 10 pauses, and the old text stays.
    transferLog.clear();
    fake::pauses = 0;
    fake::clipboard = "other";
    fake::clipboardBusyFor = 1000;
    EXPECT_EQ(copyTextToClipboard("pw"), 0);
    EXPECT_EQ(std::count(transferLog.begin(), transferLog.end(), "clipboard busy"), 11);
    EXPECT_EQ(fake::pauses, 10);
    EXPECT_EQ(fake::clipboard, "other");

    // Refused data is not tried again: the clipboard is left empty.
    transferLog.clear();
    fake::clipboardBusyFor = 0;
    fake::clipboardRefuses = true;
    EXPECT_EQ(copyTextToClipboard("pw"), 0);
    EXPECT_EQ(transferLog, Log{"clipboard refused"});
    EXPECT_EQ(fake::clipboard, std::nullopt);

    // An exit during the wait: nothing goes on the clipboard after it.
    transferLog.clear();
    fake::clipboard = "other";
    fake::clipboardRefuses = false;
    fake::clipboardBusyFor = 1;
    fake::duringPause = [] { exitProgram(); };
    dispatchCommand(IDM_PASTE_PASSWORD, 0);
    EXPECT_EQ(transferLog, (Log{"clipboard busy", "clipboard emptied"}));
    EXPECT_EQ(fake::clipboard, std::nullopt);
    EXPECT_EQ(fake::foreground, "");
}

// Every way a paste can go wrong stops it where it is: no key after that
// point, no piece left on offer, and one message that says why.
TEST_F(TransferTest, APasteThatCannotGoOnStopsAndSaysWhy) {
    struct Case {
        const char* what;
        std::function<void()> arrange;
        Log typed;              // what reached the form before the stop
        const wchar_t* message; // a phrase of the message
    };
    // While Keyloom waits for the user to let go of Alt, the world changes.
    auto whileAltHeld = [](void (*change)()) {
        return [change] {
            fake::modifiersHeldFor = 500;
            fake::duringPause = [change] {
                if (fake::pauses == 10)
                    change();
            };
        };
    };
    const Case cases[] = {
        {"the target never reads", [] { fake::windowsBelow[0].readsAfter = -1; },
         steps({front, {"offer", "Ctrl+V", "clipboard emptied"}}), L"5 秒"},
        {"another program takes the clipboard",
         [] { fake::windowsBelow[0].clipboardTakenFirst = true; },
         steps({front, {"offer", "Ctrl+V", "clipboard taken"}}), L"ほかのプログラム"},
        {"another program takes the clipboard before the Ctrl+V",
         [] {
             fake::duringPause = [] {
                 if (transferLog.back() == "offer")
                     fake::takeClipboard();
             };
         },
         steps({front, {"offer", "clipboard taken"}}), L"ほかのプログラム"},
        {"the clipboard takes nothing", [] { fake::clipboardRefuses = true; },
         steps({front, {"clipboard refused"}}), L"クリップボードを使えなかった"},
        {"the clipboard stays busy for 100 ms", [] { fake::clipboardBusyFor = 1000; },
         steps({front, Log(11, "clipboard busy")}), L"クリップボードを使えなかった"},
        {"the target closes after its first box",
         [] { fake::windowsBelow[0].closesAfterReads = 1; }, steps({front, piece("AB")}),
         L"閉じたか"},
        {"the user holds Shift", [] { fake::modifiersHeldFor = 2500; },
         steps({front, {"offer", "clipboard emptied"}}), L"Shift"},
        {"the target runs as administrator",
         [] { fake::windowsBelow[0].elevated = true; },
         {},
         L"管理者"},
        {"another window comes in front while Alt is held",
         whileAltHeld([] { fake::foreground = "browser"; }),
         steps({front, {"offer", "clipboard emptied"}}), L"閉じたか"},
        {"a clipboard manager replaces the piece while Alt is held",
         whileAltHeld(fake::takeClipboard), steps({front, {"offer", "clipboard taken"}}),
         L"ほかのプログラム"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        restart();
        c.arrange();
        dispatchCommand(IDM_PASTE_USER_ID_AND_PASSWORD, 0);
        EXPECT_EQ(transferLog, steps({c.typed, done}));
        ASSERT_EQ(fake::messageBoxes.size(), 1u);
        EXPECT_NE(fake::messageBoxes[0].text.find(c.message), std::wstring::npos);
        EXPECT_NE(fake::clipboard, "pw");
        EXPECT_FALSE(pasteRunning());
    }

    // The target gets 5 s to read, and not much more.
    restart("AB");
    fake::windowsBelow[0].readsAfter = -1;
    unsigned start = fake::now;
    EXPECT_FALSE(pasteUserId());
    EXPECT_GE(fake::now - start, 5000u);
    EXPECT_LT(fake::now - start, 5200u);
}

TEST_F(TransferTest, TheTargetIsTheWindowTheUserSeesBelow) {
    open({record("Bank", "AB", "pw")});
    using W = fake::TopWindow;
    auto window = [](const char* name, auto... set) {
        W w;
        w.name = name;
        (set(w), ...);
        return w;
    };
    auto hidden = [](W& w) { w.visible = false; };
    auto aside = [](W& w) { w.aside = true; };
    auto popup = [](W& w) { w.popup = true; };
    auto disabled = [](W& w) { w.enabled = false; };
    auto ownedByApp = [](W& w) { w.owner = "app"; };
    auto dialogActive = [](W& w) { w.lastActivePopup = "dialog"; };

    // Hidden, tool and cloaked windows, and a pop-up of no one's, are passed over.
    fake::windowsBelow = {window("hidden", hidden), window("tool", aside), window("tooltip", popup),
                          window("form")};
    EXPECT_EQ(findTargetWindow(), fake::handleOf("form"));
    // A modal login dialog over its disabled application, whichever of the
    // two lies higher; a decoy below gets nothing.
    fake::windowsBelow = {window("dialog", popup, ownedByApp),
                          window("app", disabled, dialogActive), window("decoy")};
    EXPECT_EQ(findTargetWindow(), fake::handleOf("dialog"));
    fake::windowsBelow = {window("app", disabled, dialogActive),
                          window("dialog", popup, ownedByApp), window("decoy")};
    EXPECT_EQ(findTargetWindow(), fake::handleOf("dialog"));
    EXPECT_EQ(run(IDM_PASTE_USER_ID), steps({{"front dialog"}, piece("AB"), done}));
    // A disabled window with no pop-up, or whose pop-up is hidden: on below.
    fake::windowsBelow = {window("busy", disabled), window("app", disabled, dialogActive),
                          window("dialog", popup, hidden, ownedByApp), window("decoy")};
    EXPECT_EQ(findTargetWindow(), fake::handleOf("decoy"));
    // Keyloom's own window is never the pop-up the user saw there last.
    fake::windowsBelow = {window("app", disabled, [](W& w) { w.lastActivePopup = "Keyloom"; }),
                          window("decoy")};
    EXPECT_EQ(findTargetWindow(), fake::handleOf("decoy"));
    fake::windowsBelow.clear();
    EXPECT_EQ(findTargetWindow(), nullptr);
}

TEST_F(TransferTest, WithoutATargetNothingIsTyped) {
    open({record("Bank", "AB-CD", "pw", "", "me@b.example")});
    for (bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "a window that will not come to the front" : "nothing below");
        fake::windowsBelow = {{"hidden", false}};
        if (refused) {
            fake::windowsBelow.push_back({"form"});
            fake::windowsBelow.back().refusesFront = true;
        }
        Log refusal = refused ? Log{"front refused"} : Log{};
        transferLog.clear();
        fake::clipboard = "other";
        EXPECT_FALSE(pasteUserId());
        dispatchCommand(IDM_PASTE_USER_ID_AND_PASSWORD, 0);
        EXPECT_EQ(transferLog, steps({refusal, done, refusal, done}));
        EXPECT_EQ(fake::clipboard, "other");

        // The copy comes first, so the field is on the clipboard all the same.
        transferLog.clear();
        dispatchCommand(IDM_PASTE_PASSWORD, 0);
        dispatchCommand(IDC_PASTE_MAIL, 0);
        EXPECT_EQ(
            transferLog,
            steps({{"clipboard pw"}, refusal, done, {"clipboard me@b.example"}, refusal, done}));
        EXPECT_EQ(fake::foreground, "");
        // Nothing below is nothing to say; a window that would not come to
        // the front is told, once a paste.
        EXPECT_EQ(fake::messageBoxes.size(), refused ? 4u : 0u);
        fake::messageBoxes.clear();
    }
}

TEST_F(TransferTest, KeysWaitUntilTheTargetHasTakenTheKeyboard) {
    open({record("Bank", "AB", "pw")});
    fake::windowsBelow[0].takesInputAfter = 30;
    unsigned start = fake::now;
    EXPECT_TRUE(pasteUserId());
    EXPECT_EQ(transferLog, steps({front, piece("AB"), done}));
    EXPECT_GE(fake::now - start, 30u);

    // Never within a second: nothing is typed, and the user hears of it.
    fake::windowsBelow[0].takesInputAfter = -1;
    fake::foreground.clear();
    fake::clipboard = "other";
    transferLog.clear();
    EXPECT_FALSE(pasteUserId());
    EXPECT_EQ(transferLog, steps({front, done}));
    EXPECT_EQ(fake::clipboard, "other");
    EXPECT_EQ(fake::messageBoxes.size(), 1u);
}

// The end of the session can arrive in any pause: from then on nothing goes
// on the clipboard, no key goes out, nothing is said, and the released
// records are never read again (the sanitizer build would catch it).
TEST_F(TransferTest, AnExitDuringAPasteEndsItWithoutAWord) {
    auto start = [this] {
        restart("AB-CD-EF");
        fake::windowsBelow[0].readsAfter = 30;
        fake::clipboardBusyFor = 1; // the exit may come while a piece waits to go up too
    };
    start();
    dispatchCommand(IDM_PASTE_USER_ID_AND_PASSWORD, 0);
    const int total = fake::pauses;
    ASSERT_GT(total, 20);
    for (int at = 1; at <= total; ++at) {
        SCOPED_TRACE("exit at pause " + std::to_string(at));
        start();
        fake::duringPause = [at] {
            if (fake::pauses == at)
                exitProgram();
        };
        dispatchCommand(IDM_PASTE_USER_ID_AND_PASSWORD, 0);
        EXPECT_EQ(entryList.count(), 0);
        EXPECT_EQ(view.endedWith, 1);
        EXPECT_TRUE(fake::messageBoxes.empty());
        auto emptied = std::find(transferLog.begin(), transferLog.end(), "clipboard emptied");
        ASSERT_NE(emptied, transferLog.end());
        for (auto it = emptied + 1; it != transferLog.end(); ++it)
            EXPECT_TRUE(*it == "keys dropped" || *it == "clipboard emptied") << *it;
    }

    // The end of the session asked about, and cancelled at once: the paste
    // stops as at an exit, and the program runs on.
    start();
    fake::duringPause = [] {
        if (fake::pauses == 5) {
            fake::querySessionEnd(false);
            fake::endSession(false);
        }
    };
    dispatchCommand(IDM_PASTE_USER_ID_AND_PASSWORD, 0);
    EXPECT_EQ(std::count(transferLog.begin(), transferLog.end(), "Ctrl+V"), 1);
    EXPECT_TRUE(fake::messageBoxes.empty());
    EXPECT_EQ(entryList.count(), 1);
    EXPECT_EQ(view.endedWith, 0);
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
        dispatchCommand(IDM_FIND_NEXT, 0);
    };
    dispatchCommand(IDM_PASTE_USER_ID, 0);
    EXPECT_EQ(transferLog, steps({front, pieces({"AB", "CD"}), done}));
    EXPECT_EQ(entryList.count(), 1);
    EXPECT_TRUE(fake::dialogsRun.empty());

    // Afterwards every command works again.
    fake::duringPause = nullptr;
    EXPECT_EQ(run(IDM_COPY_USER_ID), Log{"clipboard ABCD"});

    fake::pauses = 0;
    fake::duringPause = [] {
        if (fake::pauses == 10)
            dispatchCommand(IDM_EXIT, 0);
    };
    dispatchCommand(IDM_PASTE_USER_ID, 0);
    EXPECT_EQ(life(), Life::Released);
    EXPECT_EQ(view.endedWith, 1);
}

TEST_F(TransferTest, TheAddressIsHandedToTheShellWhole) {
    const std::string command = "C:\\Program Files\\Tool\\tool.exe -open \"a b.txt\"";
    open({record("Tool", "", "", command), record("Empty")});
    // The menu item, the button, a double click, Enter and Space on the list.
    auto openEveryWay = [] {
        dispatchCommand(IDM_OPEN_ADDRESS, 0);
        dispatchCommand(IDC_OPEN_ADDRESS, 0);
        dispatchCommand(IDC_LIST, platform::notify::listDoubleClick);
        fake::listKey(platform::key::enter);
        fake::listKey(platform::key::space);
    };
    openEveryWay();
    EXPECT_EQ(transferLog, Log(5, "shell " + command));

    // Typed and not yet stored: that is what opens.
    fake::edit(IDC_ADDRESS, L"https://new.example/");
    EXPECT_EQ(run(IDM_OPEN_ADDRESS), Log{"shell https://new.example/"});
    EXPECT_EQ(entryList.records[0].address(), "https://new.example/");

    select(1);
    openEveryWay();
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
    EXPECT_EQ(run(IDM_HELP), Log{"shell D:\\Apps\\Keyloom\\KEYLOOM.HTM"});
    fake::files.clear();
    EXPECT_TRUE(run(IDM_HELP).empty());

    // A folder deeper than a path buffer still gets its own help file.
    std::string deep = "C:\\" + std::string(300, 'd');
    fake::modulePath = fake::wide(deep) + L"\\keyloom.exe";
    fake::files[fake::wide(deep) + L"\\KEYLOOM.HTM"] = "<html>";
    EXPECT_EQ(run(IDM_HELP), Log{"shell " + deep + "\\KEYLOOM.HTM"});
}

TEST_F(TransferTest, TheExitWaitsForAClipboardHeldByAnotherProgram) {
    open({record("Bank", "AB", "pw")});
    fake::clipboardBusyFor = 4;
    dispatchCommand(IDM_EXIT, 0);
    EXPECT_EQ(transferLog, (Log{"clipboard busy", "clipboard busy", "clipboard busy",
                                "clipboard busy", "clipboard emptied"}));
    EXPECT_EQ(fake::clipboard, std::nullopt);

    // Held for good: the program still ends, and says nothing.
    restart();
    fake::clipboardBusyFor = 1000;
    dispatchCommand(platform::notify::cancel, 0); // Esc, the close box
    EXPECT_EQ(view.endedWith, 1);
    EXPECT_EQ(fake::clipboard, "other");
    EXPECT_TRUE(fake::messageBoxes.empty());
}

TEST_F(TransferTest, CopiedTextIsForgottenAfterTheSetSecondsUnlessReplaced) {
    open({record("Bank", "AB", "pw")});
    // Off unless the user turns it on.
    dispatchCommand(IDM_COPY_PASSWORD, 0);
    fake::passTime(3600 * 1000);
    EXPECT_EQ(fake::clipboard, "pw");

    settings.clipboardSeconds = 30;
    dispatchCommand(IDM_COPY_PASSWORD, 0);
    fake::passTime(20 * 1000);
    dispatchCommand(IDM_COPY_USER_ID, 0); // a new copy waits anew
    fake::passTime(29 * 1000);
    EXPECT_EQ(fake::clipboard, "AB");
    fake::passTime(1000);
    EXPECT_EQ(fake::clipboard, std::nullopt);
    EXPECT_EQ(transferLog.back(), "clipboard forgotten");

    // What the user copied meanwhile is never touched.
    dispatchCommand(IDM_COPY_PASSWORD, 0);
    fake::takeClipboard();
    fake::passTime(60 * 1000);
    EXPECT_EQ(fake::clipboard, "taken");

    // Held open by another program at that moment: tried again shortly.
    dispatchCommand(IDM_COPY_PASSWORD, 0);
    fake::clipboardBusyFor = 1;
    fake::passTime(30 * 1000);
    EXPECT_EQ(fake::clipboard, "pw");
    fake::passTime(1000);
    EXPECT_EQ(fake::clipboard, std::nullopt);

    // The piece a paste leaves goes the same way, counted from its read.
    dispatchCommand(IDM_PASTE_USER_ID_AND_PASSWORD, 0);
    EXPECT_EQ(fake::clipboard, "pw");
    fake::passTime(30 * 1000);
    EXPECT_EQ(fake::clipboard, std::nullopt);

    // Turned off, it takes a copy made before with it.
    dispatchCommand(IDM_COPY_PASSWORD, 0);
    fake::whileDialogOpen = [] {
        platform::checkDialogItem(fake::dialogWindow, IDC_FORGET, false);
        fake::dialogCommand(platform::notify::ok);
    };
    dispatchCommand(IDM_OPTIONS, 0);
    fake::passTime(60 * 1000);
    EXPECT_EQ(fake::clipboard, "pw");
}

} // namespace
