// The store's files over the real Win32 platform, under Wine: a save that
// cannot replace PASSWORD.TXT leaves it intact and says why, a file held for
// a moment or folders in the way of the backup and the temporary name do not
// stop it, and a folder whose name no code page spells whole is found as it
// is.
#include "app/program.h"
#include "platform/platform.h"
#include "store/data_file.h"
#include "store/file_helpers.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <shellapi.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

namespace {

std::wstring ownPath() { return platform::modulePath(); }

std::string readAll(const std::wstring& path) {
    std::string bytes;
    EXPECT_EQ(platform::readWholeFile(path, bytes), platform::FileError::None);
    return bytes;
}

void writeAll(const std::wstring& path, const std::string& bytes) {
    HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD wrote;
    WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr);
    CloseHandle(f);
}

bool exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A fresh folder under the temporary folder, named with the given suffix.
std::wstring freshFolder(const std::wstring& suffix) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    std::wstring dir = std::wstring(temp) + L"keyloom-save-" +
                       std::to_wstring(GetCurrentProcessId()) + L"-" +
                       std::to_wstring(GetTickCount()) + suffix;
    CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

// Runs this executable again with args and waits for it (at most 30 s).
DWORD runChild(const std::wstring& exe, const std::wstring& args, HANDLE* process = nullptr) {
    std::wstring command = L"\"" + exe + L"\" " + args;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
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

// Another process holds path open without sharing until `release` is set,
// or for the given time.
struct FileHolder {
    HANDLE process = nullptr;
    HANDLE ready, release;

    explicit FileHolder(const std::wstring& path, int milliseconds = 60000) {
        std::wstring tag = std::to_wstring(GetCurrentProcessId());
        ready = CreateEventW(nullptr, TRUE, FALSE, (L"keyloom-ready-" + tag).c_str());
        release = CreateEventW(nullptr, TRUE, FALSE, (L"keyloom-release-" + tag).c_str());
        runChild(ownPath(),
                 L"--hold \"" + path + L"\" " + tag + L" " + std::to_wstring(milliseconds),
                 &process);
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

int holdFile(const wchar_t* path, const wchar_t* tag, int milliseconds) {
    HANDLE f =
        CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return 3;
    HANDLE ready =
        OpenEventW(EVENT_MODIFY_STATE, FALSE, (std::wstring(L"keyloom-ready-") + tag).c_str());
    HANDLE release =
        OpenEventW(SYNCHRONIZE, FALSE, (std::wstring(L"keyloom-release-") + tag).c_str());
    SetEvent(ready);
    WaitForSingleObject(release, milliseconds);
    CloseHandle(f);
    return 0;
}

// Saves an empty list and reports where it went (UTF-16), from wherever this
// copy lies.
int saveFromHere(const wchar_t* report) {
    std::wstring where = programDirectory() + L"\n" + dataFilePath();
    HANDLE f = CreateFileW(report, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD wrote;
    WriteFile(f, where.data(), static_cast<DWORD>(where.size() * sizeof(wchar_t)), &wrote, nullptr);
    CloseHandle(f);
    return saveDataFile(formatDataFile(entryList)).error == platform::FileError::None ? 0 : 4;
}

using platform::FileError;

TEST(SavePath, ReplacesInOneStepAndKeepsTheBackup) {
    std::wstring dir = freshFolder(L"");
    std::wstring path = dir + L"\\PASSWORD.TXT", backup = dir + L"\\PASSWORD.BAK";

    EXPECT_EQ(saveFile(path, "first", {backup}, false).error, FileError::None);
    EXPECT_EQ(readAll(path), "first");
    EXPECT_FALSE(exists(backup));
    EXPECT_EQ(saveFile(path, "second", {backup}, false).error, FileError::None);
    EXPECT_EQ(readAll(path), "second");
    EXPECT_EQ(readAll(backup), "first");
    EXPECT_EQ(saveFile(path, "third", {backup}, false).error, FileError::None);
    EXPECT_EQ(readAll(backup), "second");

    // Without a backup name nothing is left beside the file.
    std::wstring settings = dir + L"\\INITIAL.TXT";
    EXPECT_EQ(saveFile(settings, "1", {}, false).error, FileError::None);
    EXPECT_EQ(saveFile(settings, "2", {}, false).error, FileError::None);
    EXPECT_EQ(readAll(settings), "2");
    EXPECT_FALSE(exists(path + L".tmp"));
    EXPECT_FALSE(exists(settings + L".tmp"));
}

TEST(SavePath, FileHeldOpenByAnotherProcessIsInUseAndKeepsItsBytes) {
    std::wstring dir = freshFolder(L"");
    std::wstring path = dir + L"\\PASSWORD.TXT", backup = dir + L"\\PASSWORD.BAK";
    writeAll(path, "KEYLOOM1\r\n0\r\n");
    {
        FileHolder holder(path);
        SaveResult saved = saveFile(path, "new bytes", {backup}, false);
        EXPECT_EQ(saved.error, FileError::InUse);
        EXPECT_EQ(saved.failed, path);
        std::string bytes;
        EXPECT_EQ(platform::readWholeFile(path, bytes), FileError::InUse);
        // At the end of the session the new bytes stay, complete, beside it.
        EXPECT_EQ(saveFile(path, "kept", {backup}, true).error, FileError::InUse);
        EXPECT_EQ(readAll(path + L".tmp"), "kept");
    }
    EXPECT_EQ(readAll(path), "KEYLOOM1\r\n0\r\n");

    // Held for a moment only: the quiet attempts outlast it.
    DeleteFileW((path + L".tmp").c_str());
    FileHolder brief(path, 300);
    EXPECT_EQ(saveFile(path, "after a moment", {backup}, false).error, FileError::None);
    EXPECT_EQ(readAll(path), "after a moment");
}

TEST(SavePath, RetryQuestionNamesTheFileAndTheCauseAndNoGivesUp) {
    std::wstring dir = freshFolder(L"");
    std::wstring path = dir + L"\\PASSWORD.TXT";
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
        auto attempt = [&](bool keep) { return saveFile(path, "new", {}, keep); };
        saved = saveWithRetry(attempt, L"").error == FileError::None;
    }
    done = true;
    answerer.join();

    EXPECT_FALSE(saved);
    EXPECT_EQ(questions, 2); // Yes tried again, No gave up
    EXPECT_NE(shown.find(path), std::wstring::npos);
    EXPECT_NE(shown.find(L"ほかのプログラム"), std::wstring::npos) << "the cause is not named";
    EXPECT_NE(shown.find(L"再試行しますか？"), std::wstring::npos);
    EXPECT_EQ(readAll(path), "old");
    EXPECT_FALSE(exists(path + L".tmp"));
}

TEST(SavePath, FoldersInTheWayOfTheFileTheBackupAndTheTemporaryName) {
    std::wstring dir = freshFolder(L"");
    std::wstring path = dir + L"\\PASSWORD.TXT", backup = dir + L"\\PASSWORD.BAK";
    std::string bytes;
    EXPECT_EQ(platform::readWholeFile(path, bytes), FileError::NotFound);

    // In the file's place: neither read nor replaced.
    CreateDirectoryW(path.c_str(), nullptr);
    EXPECT_EQ(platform::readWholeFile(path, bytes), FileError::Folder);
    EXPECT_EQ(saveFile(path, "x", {backup}, false).error, FileError::Folder);
    EXPECT_FALSE(exists(path + L".tmp"));
    RemoveDirectoryW(path.c_str());

    // In the backup's place: the save goes through without it, and says why.
    writeAll(path, "old");
    CreateDirectoryW(backup.c_str(), nullptr);
    SaveResult saved = saveFile(path, "new", {backup}, false);
    EXPECT_EQ(saved.error, FileError::None);
    EXPECT_EQ(saved.backupError, FileError::Folder);
    EXPECT_EQ(readAll(path), "new");

    // In the temporary name's place: the next name is taken.
    CreateDirectoryW((path + L".tmp").c_str(), nullptr);
    EXPECT_EQ(saveFile(path, "newer", {}, false).error, FileError::None);
    EXPECT_EQ(readAll(path), "newer");
    EXPECT_FALSE(exists(path + L".tmp2"));
}

TEST(SavePath, FolderNoCodePageSpellsIsTheProgramDirectory) {
    // Neither code page 932 nor 1252 holds all of it; 表 and ソ end in the
    // byte 0x5C in code page 932.
    std::wstring dir = freshFolder(L"-Müller-Ωフォルダ表ソ");
    std::wstring copy = dir + L"\\keyloom-copy.exe";
    ASSERT_TRUE(CopyFileW(ownPath().c_str(), copy.c_str(), FALSE));
    std::wstring report = dir + L"\\report.txt";
    EXPECT_EQ(runChild(copy, L"--save-here \"" + report + L"\""), 0u);
    std::wstring where = dir + L"\n" + dir + L"\\PASSWORD.TXT";
    EXPECT_EQ(readAll(report),
              std::string(reinterpret_cast<const char*>(where.data()), where.size() * 2));
    EXPECT_EQ(readAll(dir + L"\\PASSWORD.TXT"), "KEYLOOM1\r\n0\r\n");
}

} // namespace

int main(int argc, char** argv) {
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (count == 5 && !lstrcmpW(args[1], L"--hold"))
        return holdFile(args[2], args[3], _wtoi(args[4]));
    if (count == 3 && !lstrcmpW(args[1], L"--save-here"))
        return saveFromHere(args[2]);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
