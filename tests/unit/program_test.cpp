// Start-up and the exit sequence over the fake platform: what is read,
// asked and written, and that the sequence runs once whatever arrives.
#include "app/commands.h"
#include "app/main_window.h"
#include "app/program.h"
#include "editor/editor.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "support/keyloom_fixture.h"
#include "support/records.h"
#include "support/test_platform.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using fake::record;
using fake::view;

const std::wstring dataPath = L"C:\\Keyloom\\PASSWORD.TXT";
const std::wstring backupPath = L"C:\\Keyloom\\PASSWORD.BAK";
const std::wstring settingsPath = L"C:\\Keyloom\\INITIAL.TXT";
const std::string defaultSettingsFile = "-999\r\n-999\r\n1\r\n1\r\n8\r\n1\r\n1\r\n0\r\n";
// The defaults with the fake window's corner, as the exit saves them.
const std::string settingsAtExit = "100\r\n50\r\n1\r\n1\r\n8\r\n1\r\n1\r\n0\r\n";

// PASSWORD.TXT with one entry, whose first replacement fails; returns the
// bytes it must still hold afterwards.
std::string dataFileFailingOnce() {
    std::string old = fake::dataFile({record("A")});
    fake::files[dataPath] = old;
    fake::failingWrites[dataPath] = 1;
    return old;
}

class ProgramTest : public KeyloomTest {};

TEST_F(ProgramTest, FirstStartInAnEmptyFolderWritesBothFilesAtExit) {
    view.whileWindowRuns = [] { dispatchCommand(IDM_EXIT, 0); };
    EXPECT_EQ(startUp(), 1);
    EXPECT_EQ(fake::files[dataPath], "KEYLOOM1\r\n0\r\n");
    EXPECT_EQ(fake::files[settingsPath], settingsAtExit);
    EXPECT_EQ(view.clipboardEmptied, 1);
    EXPECT_TRUE(fake::messageBoxes.empty());

    // Ended while minimized: the eight defaults, 30 bytes.
    SetUp();
    fake::minimized = true;
    view.whileWindowRuns = [] { dispatchCommand(2, 0); };
    EXPECT_EQ(startUp(), 1);
    EXPECT_EQ(fake::files[settingsPath], defaultSettingsFile);
}

TEST_F(ProgramTest, ExitStoresWhatTheEditorShows) {
    fake::files[dataPath] = fake::dataFile({record("A"), record("B")});
    view.whileWindowRuns = [] {
        platform::selectItem(1);
        dispatchCommand(IDC_LIST, 1);
        fake::edit(IDC_PASSWORD, L"typed, never stored");
        dispatchCommand(2, 0); // Esc with the caret in the password
    };
    EXPECT_EQ(startUp(), 1);
    EXPECT_EQ(fake::files[dataPath],
              fake::dataFile({record("A"), record("B", "", "typed, never stored")}));
    EXPECT_EQ(entryList.count(), 0); // released
    EXPECT_EQ(entryList.records.capacity(), 0u);
}

TEST_F(ProgramTest, ExitRunsOnceWhateverArrivesMeanwhile) {
    const std::string old = dataFileFailingOnce();
    // Esc comes once more while the retry question for PASSWORD.TXT is open:
    // it is ignored, and No lets the first sequence go on to the settings.
    fake::duringMessageBox = [] {
        exitProgram();
        dispatchCommand(2, 0);
        dispatchCommand(IDM_NEW, 0);
    };
    view.whileWindowRuns = [] {
        dispatchCommand(IDM_NEW, 0);
        exitProgram();
    };
    EXPECT_EQ(startUp(), 1);
    EXPECT_EQ(fake::messageBoxes.size(), 1u);
    EXPECT_EQ(fake::replaceCalls, 2); // PASSWORD.TXT once, INITIAL.TXT once
    EXPECT_EQ(fake::files[dataPath], old);
    EXPECT_EQ(fake::files[settingsPath], settingsAtExit);
    EXPECT_EQ(view.clipboardEmptied, 1);
    EXPECT_EQ(entryList.count(), 0);

    // A command after the end touches nothing.
    EXPECT_TRUE(dispatchCommand(IDM_NEW, 0));
    EXPECT_EQ(entryList.count(), 0);
}

TEST_F(ProgramTest, SessionEndDuringTheRetryQuestionFinishesTheSequenceOnce) {
    const std::string old = dataFileFailingOnce();
    // The process ends as soon as the session end is answered, so the
    // settings are written then, not after the unanswered question.
    fake::duringMessageBox = [] {
        sessionEnded();
        EXPECT_EQ(fake::files[settingsPath], settingsAtExit);
        EXPECT_EQ(view.clipboardEmptied, 1);
        EXPECT_EQ(view.endedWith, 1);
        EXPECT_EQ(entryList.count(), 0);
        sessionEnded(); // and once more: nothing left to do
    };
    view.whileWindowRuns = [] {
        dispatchCommand(IDM_NEW, 0);
        dispatchCommand(IDM_EXIT, 0);
    };
    EXPECT_EQ(startUp(), 1);
    EXPECT_EQ(fake::messageBoxes.size(), 1u);
    EXPECT_EQ(fake::replaceCalls, 2); // PASSWORD.TXT once, INITIAL.TXT once
    EXPECT_EQ(fake::files[dataPath], old);
    EXPECT_EQ(view.clipboardEmptied, 1);
}

TEST_F(ProgramTest, SessionEndDuringTheDeleteQuestionLeavesTheEntriesSaved) {
    fake::files[dataPath] = fake::dataFile({record("A"), record("B")});
    fake::answers = {platform::mb::answerYes};
    fake::duringMessageBox = [] { sessionEnded(); };
    view.whileWindowRuns = [] { dispatchCommand(IDM_DELETE, 0); };
    EXPECT_EQ(startUp(), 1);
    EXPECT_EQ(fake::files[dataPath], fake::dataFile({record("A"), record("B")}));
    EXPECT_EQ(entryList.count(), 0);
}

TEST_F(ProgramTest, SecondInstanceBringsTheFirstBackAndReadsNothing) {
    fake::files[dataPath] = "KEYLOOM1\r\n0\r\n";
    view.mutex = platform::MutexState::AlreadyExists;
    EXPECT_EQ(startUp(), 0);
    EXPECT_TRUE(view.broughtBack);
    EXPECT_FALSE(view.windowCreated);

    SetUp();
    view.mutex = platform::MutexState::Failed;
    EXPECT_EQ(startUp(), -1);
    EXPECT_FALSE(view.windowCreated);
    EXPECT_TRUE(fake::messageBoxes.empty());
}

TEST_F(ProgramTest, UnreadableFileIsNeverReplaced) {
    fake::files[dataPath] = fake::dataFile({record("A")});
    fake::unreadable.insert(dataPath);
    EXPECT_EQ(startUp(), 0);
    ASSERT_EQ(fake::messageBoxes.size(), 1u);
    EXPECT_EQ(fake::messageBoxes[0].owner, nullptr);
    EXPECT_EQ(fake::messageBoxes[0].style, platform::mb::yesNo | platform::mb::iconError);
    EXPECT_EQ(fake::messageBoxes[0].text,
              L"以下のデータファイルを読み込むことができませんでした。\nC:\\Keyloom\\PASSWORD.TXT\n"
              L"ファイルの属性やディスクの状態を確認してください。再試行しますか？");
    EXPECT_FALSE(view.windowCreated);
    EXPECT_EQ(fake::replaceCalls, 0);

    // Yes tries again; once readable the program runs on the file's entries.
    SetUp();
    fake::files[dataPath] = fake::dataFile({record("A")});
    fake::unreadable.insert(dataPath);
    fake::answers = {platform::mb::answerYes};
    fake::duringMessageBox = [] { fake::unreadable.clear(); };
    view.whileWindowRuns = [] { dispatchCommand(IDM_EXIT, 0); };
    EXPECT_EQ(startUp(), 1);
    EXPECT_EQ(fake::files[dataPath], fake::dataFile({record("A")}));
}

TEST_F(ProgramTest, DamagedFileAsksAndKeepsTheOriginal) {
    std::string damaged = "KEYLOOM1\r\n3\r\nA\r\n\r\n\r\n\r\n\r\n1\r\n\r\nB\r\nu";
    fake::files[dataPath] = damaged;
    EXPECT_EQ(startUp(), 0); // No, the default
    ASSERT_EQ(fake::messageBoxes.size(), 1u);
    EXPECT_EQ(fake::messageBoxes[0].text,
              L"以下のデータファイルの一部が壊れています。\nC:\\Keyloom\\PASSWORD.TXT\n"
              L"読み込めた 2 件のアイテムで続けますか？\n"
              L"「いいえ」を選ぶと、ファイルを変更せずに終了します。");
    EXPECT_EQ(fake::messageBoxes[0].style,
              platform::mb::yesNo | platform::mb::iconWarning | platform::mb::defaultSecond);
    EXPECT_FALSE(view.windowCreated);
    EXPECT_EQ(fake::replaceCalls, 0);
    EXPECT_EQ(fake::files[dataPath], damaged);

    SetUp();
    fake::files[dataPath] = damaged;
    fake::answers = {platform::mb::answerYes};
    view.whileWindowRuns = [] { dispatchCommand(IDM_EXIT, 0); };
    EXPECT_EQ(startUp(), 1);
    EXPECT_EQ(fake::files[backupPath], damaged);
    EXPECT_EQ(fake::files[dataPath], fake::dataFile({record("A"), record("B", "u")}));
}

} // namespace
