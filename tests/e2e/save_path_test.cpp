// The store's files over the real Win32 platform, under Wine: a save that
// cannot replace PASSWORD.TXT leaves it intact, and a folder whose name holds
// a double-byte character with a 0x5C trail byte is found as it is.
#include "app/main_window.h"
#include "platform/platform.h"
#include "store/data_file.h"
#include "store/file_helpers.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

namespace {

std::string ownPath() {
    return platform::modulePath();
}

std::string readAll(const std::string& path) {
    std::string bytes;
    EXPECT_EQ(platform::readWholeFile(path, bytes), platform::FileRead::Read) << path;
    return bytes;
}

void writeAll(const std::string& path, const std::string& bytes) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE) << path;
    DWORD wrote;
    WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr);
    CloseHandle(f);
}

bool exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A fresh folder under the temporary folder, named with the given suffix.
std::string freshFolder(const std::wstring& suffix) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring dir = std::wstring(temp) + L"keyloom-save-" +
                       std::to_wstring(GetCurrentProcessId()) + L"-" +
                       std::to_wstring(GetTickCount()) + suffix;
    CreateDirectoryW(dir.c_str(), nullptr);
    return platform::wideToAnsi(dir);
}

// Runs this executable again with args and waits for it (at most 30 s).
DWORD runChild(const std::string& exe, const std::string& args, HANDLE* process = nullptr) {
    std::string command = "\"" + exe + "\" " + args;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
        return 0xFFFFFFFF;
    CloseHandle(pi.hThread);
    if (process) {
        *process = pi.hProcess;
        return 0;
    }
    DWORD code = 0xFFFFFFFF;
    if (WaitForSingleObject(pi.hProcess, 30000) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    return code;
}

// Another process holds path open without sharing until `release` is set.
struct FileHolder {
    HANDLE process = nullptr;
    HANDLE ready, release;

    explicit FileHolder(const std::string& path) {
        std::string tag = std::to_string(GetCurrentProcessId());
        ready = CreateEventA(nullptr, TRUE, FALSE, ("keyloom-ready-" + tag).c_str());
        release = CreateEventA(nullptr, TRUE, FALSE, ("keyloom-release-" + tag).c_str());
        runChild(ownPath(), "--hold \"" + path + "\" " + tag, &process);
        EXPECT_EQ(WaitForSingleObject(ready, 30000), WAIT_OBJECT_0) << "the holder did not start";
    }
    ~FileHolder() {
        SetEvent(release);
        WaitForSingleObject(process, 30000);
        CloseHandle(process);
        CloseHandle(ready);
        CloseHandle(release);
    }
};

int holdFile(const char* path, const char* tag) {
    HANDLE f =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return 3;
    HANDLE ready =
        OpenEventA(EVENT_MODIFY_STATE, FALSE, (std::string("keyloom-ready-") + tag).c_str());
    HANDLE release =
        OpenEventA(SYNCHRONIZE, FALSE, (std::string("keyloom-release-") + tag).c_str());
    SetEvent(ready);
    WaitForSingleObject(release, 60000);
    CloseHandle(f);
    return 0;
}

// Saves an empty list and reports where it went, from wherever this copy lies.
int saveFromHere(const char* report) {
    std::ofstream(report, std::ios::binary) << programDirectory() << "\n" << dataFilePath();
    return saveDataFile() ? 0 : 4;
}

TEST(SavePath, ReplacesInOneStepAndKeepsTheBackup) {
    std::string dir = freshFolder(L"");
    std::string path = dir + "\\PASSWORD.TXT", backup = dir + "\\PASSWORD.BAK";

    EXPECT_TRUE(platform::replaceFile(path, "first", backup));
    EXPECT_EQ(readAll(path), "first");
    EXPECT_FALSE(exists(backup));

    EXPECT_TRUE(platform::replaceFile(path, "second", backup));
    EXPECT_EQ(readAll(path), "second");
    EXPECT_EQ(readAll(backup), "first");
    EXPECT_TRUE(platform::replaceFile(path, "third", backup));
    EXPECT_EQ(readAll(backup), "second");

    // Without a backup name nothing is left beside the file.
    std::string settings = dir + "\\INITIAL.TXT";
    EXPECT_TRUE(platform::replaceFile(settings, "1", ""));
    EXPECT_TRUE(platform::replaceFile(settings, "2", ""));
    EXPECT_EQ(readAll(settings), "2");
    EXPECT_FALSE(exists(settings + ".old"));
    EXPECT_FALSE(exists(path + ".tmp"));
    EXPECT_FALSE(exists(settings + ".tmp"));
}

TEST(SavePath, FileHeldOpenByAnotherProcessKeepsItsBytes) {
    std::string dir = freshFolder(L"");
    std::string path = dir + "\\PASSWORD.TXT", backup = dir + "\\PASSWORD.BAK";
    writeAll(path, "KEYLOOM1\r\n0\r\n");
    {
        FileHolder holder(path);
        EXPECT_FALSE(platform::replaceFile(path, "new bytes", backup));
        std::string bytes;
        EXPECT_EQ(platform::readWholeFile(path, bytes), platform::FileRead::Unreadable);
    }
    EXPECT_EQ(readAll(path), "KEYLOOM1\r\n0\r\n");
    EXPECT_FALSE(exists(path + ".tmp"));
    EXPECT_FALSE(exists(backup));
}

TEST(SavePath, RetryQuestionNamesTheFileAndNoGivesUp) {
    std::string dir = freshFolder(L"");
    std::string path = dir + "\\PASSWORD.TXT";
    writeAll(path, "old");

    // The question is a real message box; a second thread reads and answers it.
    std::atomic<bool> done{false};
    std::wstring shown;
    int questions = 0;
    std::thread answerer([&] {
        while (!done) {
            HWND box = FindWindowW(L"#32770", L"Keyloom");
            if (box) {
                wchar_t text[2048] = L"";
                GetDlgItemTextW(box, 0xFFFF, text, 2048);
                shown = text;
                ++questions;
                SendMessageW(box, WM_COMMAND, questions == 1 ? IDYES : IDNO, 0);
            }
            Sleep(20);
        }
    });
    bool saved;
    {
        FileHolder holder(path);
        saved = saveFileWithRetry(path, "new", "");
    }
    done = true;
    answerer.join();

    EXPECT_FALSE(saved);
    EXPECT_EQ(questions, 2); // Yes tried again, No gave up
    EXPECT_NE(shown.find(platform::ansiToWide(path)), std::wstring::npos);
    EXPECT_NE(shown.find(L"再試行しますか？"), std::wstring::npos);
    EXPECT_EQ(readAll(path), "old");
    EXPECT_FALSE(exists(path + ".tmp"));
}

TEST(SavePath, FolderInPlaceOfTheFileIsUnreadableAndUnwritable) {
    std::string dir = freshFolder(L"");
    std::string path = dir + "\\PASSWORD.TXT";
    std::string bytes;
    EXPECT_EQ(platform::readWholeFile(path, bytes), platform::FileRead::Missing);
    CreateDirectoryA(path.c_str(), nullptr);
    EXPECT_EQ(platform::readWholeFile(path, bytes), platform::FileRead::Unreadable);
    EXPECT_FALSE(platform::replaceFile(path, "x", dir + "\\PASSWORD.BAK"));
    EXPECT_FALSE(exists(path + ".tmp"));
}

TEST(SavePath, FolderNamedWithA5cTrailByteIsTheProgramDirectory) {
    // 表 and ソ end in the byte 0x5C in code page 932.
    std::string dir = freshFolder(L"-表ソ");
    ASSERT_NE(dir.find('\\', dir.size() - 4), std::string::npos) << "expects 0x5C trail bytes";
    std::string copy = dir + "\\keyloom-copy.exe";
    ASSERT_TRUE(CopyFileA(ownPath().c_str(), copy.c_str(), FALSE));
    std::string report = dir + "\\report.txt";
    EXPECT_EQ(runChild(copy, "--save-here \"" + report + "\""), 0u);
    EXPECT_EQ(readAll(report), dir + "\n" + dir + "\\PASSWORD.TXT");
    EXPECT_EQ(readAll(dir + "\\PASSWORD.TXT"), "KEYLOOM1\r\n0\r\n");
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && !std::strcmp(argv[1], "--hold"))
        return holdFile(argv[2], argv[3]);
    if (argc == 3 && !std::strcmp(argv[1], "--save-here"))
        return saveFromHere(argv[2]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
