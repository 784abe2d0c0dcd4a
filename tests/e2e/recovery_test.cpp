// A save that did not finish, under Wine: the files a crash leaves behind,
// made by hand, and keyloom.exe killed the moment its folder changes during
// the save at exit. The next start never shows an empty list without asking,
// and never fewer entries than the older of the two lists.
#include "support/keyloom_driver.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

using e2e::Keyloom;

namespace {

std::vector<e2e::Entry> entries(int count) {
    std::vector<e2e::Entry> list;
    for (int i = 0; i < count; ++i)
        list.push_back({"銀行 " + std::to_string(i), "user-" + std::to_string(i), "pw",
                        "https://example.jp/" + std::to_string(i), "", "memo"});
    return list;
}

void put(const std::string& path, const std::string& bytes, int minutesAgo) {
    e2e::writeFile(path, bytes);
    HANDLE f = CreateFileW(e2e::wide(path).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER t{{now.dwLowDateTime, now.dwHighDateTime}};
    t.QuadPart -= minutesAgo * 60ULL * 10000000ULL;
    FILETIME then{t.LowPart, t.HighPart};
    SetFileTime(f, nullptr, nullptr, &then);
    CloseHandle(f);
}

// Starts k; when a question about an unfinished save comes, checks that it
// names offered (when given) and answers Yes. The number of entries the
// window then shows, or -1 when it shows none.
int startAndRecover(Keyloom& k, const std::string& offered = "") {
    k.startOnly();
    HWND first = nullptr;
    e2e::waitFor([&] { return (first = k.windowOrQuestion()) != nullptr; });
    HWND box = first == k.window ? nullptr : first;
    if (box) {
        std::string text = e2e::fromSjis(k.messageText(box));
        if (!offered.empty()) {
            EXPECT_NE(text.find(offered), std::string::npos) << text;
        }
        k.answer(box, IDYES);
    }
    if (!k.window && !k.waitForWindow())
        return -1;
    return static_cast<int>(k.items().size());
}

TEST(Recovery, FilesACrashLeavesAreOfferedNewestCompleteFirst) {
    const std::string older = e2e::dataFile(entries(2)), newer = e2e::dataFile(entries(3));
    {
        // Killed between the two renames of the swap Keyloom used to make.
        Keyloom k(e2e::freshFolder("crash-tmp"));
        put(k.folder + "\\PASSWORD.BAK", older, 2);
        put(k.dataFile() + ".tmp", newer, 1);
        EXPECT_EQ(startAndRecover(k, k.dataFile() + ".tmp"), 3);
        EXPECT_EQ(k.exitByMenu(), 1u);
        EXPECT_EQ(e2e::readFile(k.dataFile()), newer);
        EXPECT_FALSE(e2e::fileExists(k.dataFile() + ".tmp"));
    }
    {
        // Only the backup is left, and the settings in their temporary file.
        Keyloom k(e2e::freshFolder("crash-bak"));
        put(k.folder + "\\PASSWORD.BAK", older, 1);
        put(k.settingsFile() + ".tmp", "-999\r\n-999\r\n0\r\n0\r\n8\r\n1\r\n1\r\n0\r\n", 1);
        EXPECT_EQ(startAndRecover(k, k.folder + "\\PASSWORD.BAK"), 2);
        // The user ID and password the user had hidden stay hidden.
        EXPECT_EQ(k.maskOf(202), L'*');
        EXPECT_EQ(k.maskOf(203), L'*');
        EXPECT_EQ(k.exitByMenu(), 1u);
        EXPECT_EQ(e2e::readFile(k.dataFile()), older);
        EXPECT_EQ(e2e::readFile(k.folder + "\\PASSWORD.BAK"), older);
    }
    {
        // Declined: nothing is written, nothing removed.
        Keyloom k(e2e::freshFolder("crash-no"));
        put(k.dataFile() + ".tmp", newer, 1);
        k.startOnly();
        HWND box = k.messageBox();
        ASSERT_TRUE(box) << "the unfinished save was not offered";
        k.answer(box, IDCANCEL);
        EXPECT_EQ(k.waitForExit(), 0u);
        EXPECT_EQ(e2e::filesIn(k.folder),
                  (std::vector<std::string>{"PASSWORD.TXT.tmp", "keyloom.exe"}));
    }
}

// Ends the Keyloom of k through its exit and kills it the moment its folder
// has changed `changes` times, or with 0 the moment PASSWORD.TXT or
// PASSWORD.BAK changes (the swap). Returns whether the kill came before its
// end.
bool killDuringTheSave(Keyloom& k, int changes) {
    HANDLE folder = CreateFileW(e2e::wide(k.folder).c_str(), FILE_LIST_DIRECTORY,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    std::atomic<bool> killed{false};
    std::thread watcher([&] {
        alignas(DWORD) char buffer[4096];
        for (bool now = false; !now;) {
            DWORD got = 0;
            if (!ReadDirectoryChangesW(folder, buffer, sizeof buffer, FALSE,
                                       FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_SIZE |
                                           FILE_NOTIFY_CHANGE_LAST_WRITE,
                                       &got, nullptr, nullptr))
                return;
            for (char* at = buffer; got && !now;) {
                auto* change = reinterpret_cast<FILE_NOTIFY_INFORMATION*>(at);
                std::wstring name(change->FileName, change->FileNameLength / sizeof(wchar_t));
                now = changes > 0 ? --changes == 0
                                  : name == L"PASSWORD.TXT" || name == L"PASSWORD.BAK";
                if (!change->NextEntryOffset)
                    break;
                at += change->NextEntryOffset;
            }
        }
        killed = TerminateProcess(k.process.hProcess, 99) != 0;
    });
    PostMessageW(k.window, WM_COMMAND, 100, 0);
    DWORD code = k.waitForExit(60000);
    CancelIoEx(folder, nullptr);
    watcher.join();
    CloseHandle(folder);
    return killed && code == 99;
}

// The targeted kill, `rounds` times: the list grows by one entry each round
// and the next start must show at least the older list.
void killAndRestart(int rounds, int size, const char* exe) {
    int landed = 0, asked = 0;
    for (int round = 0; round < rounds; ++round) {
        Keyloom k(e2e::freshFolder("kill"), e2e::dataFile(entries(size)), e2e::Program{exe});
        ASSERT_TRUE(k.start());
        k.command(103); // one entry more to save
        // Every other kill aims at the swap, the others at the writing of
        // the temporary file.
        int changes = round % 2 ? 1 + round / 2 % 3 : 0;
        bool killed = killDuringTheSave(k, changes);
        landed += killed;

        Keyloom again(k.folder, e2e::Program{nullptr});
        again.startOnly();
        HWND first = nullptr;
        e2e::waitFor([&] { return (first = again.windowOrQuestion()) != nullptr; });
        HWND box = first == again.window ? nullptr : first;
        if (box) {
            ++asked;
            again.answer(box, IDYES);
        }
        ASSERT_TRUE(again.window || again.waitForWindow()) << "round " << round;
        int shown = static_cast<int>(again.items().size());
        EXPECT_GE(shown, size) << "round " << round << ": entries lost"
                               << (killed ? " after a kill" : "");
        again.exitByMenu();
        std::printf("round %d: kill at %s %s, next start %s, %d entries\n", round,
                    changes ? ("change " + std::to_string(changes)).c_str() : "the swap",
                    killed ? "landed" : "came too late", box ? "asked" : "opened", shown);
    }
    std::printf("%d of %d kills landed during the save; %d starts asked\n", landed, rounds, asked);
}

TEST(Recovery, KilledTheMomentTheFolderChangesNeverLosesTheList) {
    killAndRestart(3, 2000, KEYLOOM_EXE);
}

// The measurement of the note: 20 kills into a save of 10,000 entries.
// KEYLOOM_KILL_EXE names another build to measure.
TEST(Recovery, DISABLED_TwentyKillsDuringTheSaveOfTenThousandEntries) {
    const char* exe = std::getenv("KEYLOOM_KILL_EXE");
    killAndRestart(20, 10000, exe ? exe : KEYLOOM_EXE);
}

} // namespace
