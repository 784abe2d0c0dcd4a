// Keyloom's life as a process under Wine: one instance at a time, the end of
// the session, and files that cannot be read at start or replaced at exit.
// Each case starts the real keyloom.exe in a folder of its own and reads its
// files back byte by byte.
#include "support/keyloom_driver.h"

#include <gtest/gtest.h>

#include <aclapi.h>
#include <sddl.h>

#include <string>
#include <vector>

using e2e::Keyloom;

namespace {

const std::string twoEntries = e2e::dataFile({{"銀行", "1234-5678", "pw1"}, {"Mail", "user"}});
// The same after the first entry's password was typed over.
std::string withPassword(const std::string& password) {
    return e2e::dataFile({{"銀行", "1234-5678", password}, {"Mail", "user"}});
}

RECT windowRect(HWND window) {
    RECT r{};
    GetWindowRect(window, &r);
    return r;
}

const std::vector<std::string> onlyTheProgramAndItsList{"PASSWORD.TXT", "keyloom.exe"};

TEST(Instance, SecondStartBringsBackTheMinimizedFirstAndEnds) {
    Keyloom first(e2e::freshFolder("running"), twoEntries);
    ASSERT_TRUE(first.start());
    ShowWindow(first.window, SW_MINIMIZE);
    ASSERT_EVENTUALLY(IsIconic(first.window));

    // The second reads nothing: not even a damaged file makes it ask.
    Keyloom second(e2e::freshFolder("second"), std::string("KEYLOOM1\r\n5\r\n"));
    second.startOnly();
    EXPECT_EQ(second.waitForExit(), 0u);
    EXPECT_EVENTUALLY(!IsIconic(first.window));
    EXPECT_EVENTUALLY(GetForegroundWindow() == first.window);
    EXPECT_EQ(e2e::filesIn(second.folder), onlyTheProgramAndItsList);
    EXPECT_EQ(e2e::readFile(second.dataFile()), "KEYLOOM1\r\n5\r\n");
    EXPECT_EQ(first.exitByMenu(), 1u);
}

TEST(Instance, DataFileHeldAtExitKeepsItsContentsAndTheSettingsAreSaved) {
    Keyloom k(e2e::freshFolder("held"), twoEntries);
    ASSERT_TRUE(k.start());
    k.paste(203, "lost with the file");
    RECT r = windowRect(k.window);
    {
        e2e::HeldFile held(k.dataFile());
        ASSERT_TRUE(held.held());
        k.command(100, false);
        HWND box = k.messageBox();
        ASSERT_TRUE(box) << "no retry question";
        std::string text = e2e::fromSjis(k.messageText(box));
        EXPECT_NE(text.find(k.dataFile() + "\nほかのプログラム"), std::string::npos) << text;
        EXPECT_EQ(GetWindow(box, GW_OWNER), k.window);
        // A second way out while the first is under way is ignored: Esc
        // again brings no second question.
        k.command(2, false);
        k.answer(box, IDNO);
        EXPECT_EQ(k.waitForExit(), 1u);
    }
    EXPECT_EQ(e2e::readFile(k.dataFile()), twoEntries);
    EXPECT_EQ(e2e::readFile(k.settingsFile()), e2e::settingsFile(r.left, r.top));
    EXPECT_EQ(e2e::filesIn(k.folder),
              (std::vector<std::string>{"INITIAL.TXT", "PASSWORD.TXT", "keyloom.exe"}));
}

TEST(Instance, EndOfTheSessionIsRefusedWhileTheListCannotBeSaved) {
    Keyloom k(e2e::freshFolder("refused"), twoEntries);
    ASSERT_TRUE(k.start());
    k.paste(203, "typed before the end");
    std::vector<std::wstring> taken{L"\\PASSWORD.TXT.tmp"};
    for (int n = 2; n <= 9; ++n)
        taken.push_back(L"\\PASSWORD.TXT.tmp" + std::to_wstring(n));
    for (const std::wstring& name : taken)
        ASSERT_TRUE(CreateDirectoryW((e2e::wide(k.folder) + name).c_str(), nullptr));

    ASSERT_TRUE(e2e::endSession());
    EXPECT_TRUE(k.running()) << "the end of the session was not refused";
    EXPECT_EQ(k.items(), (std::vector<std::string>{e2e::sjis("銀行"), "Mail"}));
    EXPECT_EQ(k.text(203), "typed before the end");
    EXPECT_EQ(e2e::readFile(k.dataFile()), twoEntries);

    for (const std::wstring& name : taken)
        RemoveDirectoryW((e2e::wide(k.folder) + name).c_str());
    EXPECT_EQ(k.exitByMenu(), 1u);
    EXPECT_EQ(e2e::readFile(k.dataFile()), withPassword("typed before the end"));
}

TEST(Instance, RetryQuestionAsksAgainOutlastsTheEndOfTheSessionAndSavesOnceReleased) {
    Keyloom k(e2e::freshFolder("held-session"), twoEntries);
    ASSERT_TRUE(k.start());
    k.paste(203, "typed before the end");
    {
        e2e::HeldFile held(k.dataFile());
        ASSERT_TRUE(held.held());
        k.command(100, false);
        HWND box = k.messageBox();
        ASSERT_TRUE(box) << "no retry question";
        k.answer(box, IDYES); // still held: asked again
        box = k.messageBox();
        ASSERT_TRUE(box) << "no second retry question";
        ASSERT_TRUE(e2e::endSession());
        EXPECT_TRUE(k.running()) << "the end of the session was not refused";
        EXPECT_TRUE(IsWindow(box)) << "the retry question went";
        held.release();
        k.answer(box, IDYES);
    }
    EXPECT_EQ(k.waitForExit(), 1u);
    EXPECT_EQ(e2e::readFile(k.dataFile()), withPassword("typed before the end"));
    EXPECT_FALSE(e2e::fileExists(k.dataFile() + ".tmp"));
}

// The access rules of a file, as SDDL text.
std::wstring accessRulesOf(const std::string& path) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(e2e::wide(path).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
        return L"(unreadable)";
    LPWSTR text = nullptr;
    ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1,
                                                         DACL_SECURITY_INFORMATION, &text, nullptr);
    std::wstring rules = text ? text : L"";
    LocalFree(text);
    LocalFree(descriptor);
    return rules;
}

TEST(Instance, PasswordTxtKeepsItsOwnAccessRulesThroughASave) {
    // Readable by the system and its owner alone. Wine keeps such rules as
    // the file's mode bits: no one else may read it.
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    alignas(TOKEN_USER) BYTE user[256];
    DWORD size = sizeof user;
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, size, &size));
    CloseHandle(token);
    LPWSTR sid = nullptr;
    ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &sid);
    std::wstring sddl = L"D:P(A;;FA;;;SY)(A;;FA;;;" + std::wstring(sid) + L")";
    LocalFree(sid);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                                     &descriptor, nullptr));

    Keyloom k(e2e::freshFolder("own-rules"));
    SECURITY_ATTRIBUTES rules{sizeof rules, descriptor, FALSE};
    HANDLE file = CreateFileW(e2e::wide(k.dataFile()).c_str(), GENERIC_WRITE, 0, &rules, CREATE_NEW,
                              0, nullptr);
    LocalFree(descriptor);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD wrote = 0;
    WriteFile(file, twoEntries.data(), static_cast<DWORD>(twoEntries.size()), &wrote, nullptr);
    CloseHandle(file);
    const std::wstring own = accessRulesOf(k.dataFile());
    ASSERT_EQ(own.find(L";WD)"), std::wstring::npos) << "not restricted: " << own.c_str();

    ASSERT_TRUE(k.start());
    k.paste(203, "saved with its rules");
    EXPECT_EQ(k.exitByMenu(), 1u);
    EXPECT_EQ(e2e::readFile(k.dataFile()), withPassword("saved with its rules"));
    EXPECT_EQ(accessRulesOf(k.dataFile()), own);
    EXPECT_EQ(accessRulesOf(k.folder + "\\PASSWORD.BAK"), own);
}

TEST(Instance, AFolderThatCannotBeWrittenIsToldAtStart) {
    // Mounted read-only over itself by CTest's fixture (root can write
    // anywhere else), with keyloom.exe and an empty list inside.
    const std::string folder = READ_ONLY_FOLDER;
    HANDLE probe = CreateFileW((e2e::wide(folder) + L"\\probe").c_str(), GENERIC_WRITE, 0, nullptr,
                               CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
        CloseHandle(probe);
        GTEST_SKIP() << folder << " is writable: the read-only mount needs root";
    }
    for (int answer : {IDNO, IDYES}) {
        Keyloom k(folder, e2e::Program{nullptr});
        k.startOnly();
        HWND box = k.messageBox();
        ASSERT_TRUE(box) << "no word of the folder that cannot be written";
        std::string text = e2e::fromSjis(k.messageText(box));
        EXPECT_NE(text.find(folder + "\n"), std::string::npos) << text;
        EXPECT_NE(text.find("自分のフォルダー"), std::string::npos) << text;
        k.answer(box, answer);
        if (answer == IDNO) {
            EXPECT_EQ(k.waitForExit(), 0u);
            continue;
        }
        ASSERT_TRUE(k.waitForWindow()); // going on, the user can still read
        PostMessageW(k.window, WM_COMMAND, 100, 0);
        box = k.messageBox();
        ASSERT_TRUE(box) << "the exit did not ask";
        k.answer(box, IDNO);
        box = k.messageBox(); // INITIAL.TXT
        if (box)
            k.answer(box, IDNO);
        EXPECT_EQ(k.waitForExit(), 1u);
    }
}

TEST(Instance, EndOfTheSessionDuringTheDeleteQuestionSavesBothFilesAndDeletesNothing) {
    Keyloom k(e2e::freshFolder("delete-session"), twoEntries);
    ASSERT_TRUE(k.start());
    k.select(1);
    k.paste(202, "kept");
    RECT r = windowRect(k.window);
    k.command(104, false);
    ASSERT_TRUE(k.messageBox()) << "no delete question";
    ASSERT_TRUE(e2e::endSession());
    EXPECT_EQ(k.waitForExit(), 1u);
    EXPECT_EQ(e2e::readFile(k.dataFile()),
              e2e::dataFile({{"銀行", "1234-5678", "pw1"}, {"Mail", "kept"}}));
    EXPECT_EQ(e2e::readFile(k.settingsFile()), e2e::settingsFile(r.left, r.top));
}

// Task Manager's "end task" closes the window while a question is open: the
// question is closed as answered いいえ, and the exit saves once.
TEST(Instance, ClosedDuringTheDeleteQuestionClosesItAndSavesOnce) {
    Keyloom k(e2e::freshFolder("delete-close"), twoEntries);
    ASSERT_TRUE(k.start());
    k.select(1);
    k.paste(202, "kept");
    k.command(104, false);
    HWND box = k.messageBox();
    ASSERT_TRUE(box) << "no delete question";
    PostMessageW(k.window, WM_CLOSE, 0, 0);
    EXPECT_EQ(k.waitForExit(), 1u);
    EXPECT_EQ(e2e::readFile(k.dataFile()),
              e2e::dataFile({{"銀行", "1234-5678", "pw1"}, {"Mail", "kept"}}));
}

TEST(Instance, UnreadableDataFileAnsweredNoEndsWithoutWritingAnything) {
    // A folder where the file should be.
    Keyloom k(e2e::freshFolder("folder"));
    CreateDirectoryA(k.dataFile().c_str(), nullptr);
    k.startOnly();
    HWND box = k.messageBox();
    ASSERT_TRUE(box) << "no question about the unreadable file";
    std::string text = e2e::fromSjis(k.messageText(box));
    EXPECT_NE(text.find(k.dataFile() + "\n同じ名前のフォルダー"), std::string::npos) << text;
    EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr);

    // A second start while the first has no window yet ends at once.
    Keyloom second(e2e::freshFolder("early"));
    second.startOnly();
    EXPECT_EQ(second.waitForExit(), 0u);
    EXPECT_TRUE(IsWindow(box));

    k.answer(box, IDNO);
    EXPECT_EQ(k.waitForExit(), 0u);
    EXPECT_EQ(e2e::filesIn(k.folder), onlyTheProgramAndItsList);
}

TEST(Instance, DamagedDataFileIsLeftAloneOrKeptAsTheBackup) {
    // Three entries announced, two present.
    const std::string damaged =
        "KEYLOOM1\r\n3" + twoEntries.substr(std::string("KEYLOOM1\r\n2").size());
    Keyloom no(e2e::freshFolder("damaged-no"), damaged);
    no.startOnly();
    HWND box = no.messageBox();
    ASSERT_TRUE(box) << "no question about the damaged file";
    std::string text = e2e::fromSjis(no.messageText(box));
    EXPECT_NE(text.find(no.dataFile() + "\n読み込めた 2 件"), std::string::npos) << text;
    no.answer(box, IDNO);
    EXPECT_EQ(no.waitForExit(), 0u);
    EXPECT_EQ(e2e::readFile(no.dataFile()), damaged);
    EXPECT_EQ(e2e::filesIn(no.folder), onlyTheProgramAndItsList);

    Keyloom yes(e2e::freshFolder("damaged-yes"), damaged);
    yes.startOnly();
    box = yes.messageBox();
    ASSERT_TRUE(box) << "no question about the damaged file";
    yes.answer(box, IDYES);
    ASSERT_TRUE(yes.waitForWindow()) << "no main window after going on";
    EXPECT_EQ(yes.items(), (std::vector<std::string>{e2e::sjis("銀行"), "Mail"}));
    EXPECT_EQ(yes.text(203), "pw1");
    EXPECT_EQ(yes.exitByMenu(), 1u);
    EXPECT_EQ(e2e::readFile(yes.dataFile()), twoEntries);
    EXPECT_EQ(e2e::readFile(yes.folder + "\\PASSWORD.BAK"), damaged);
}

} // namespace
