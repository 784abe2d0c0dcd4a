// Start-up and the exit sequence over the fake platform: what is read,
// asked and written, and that the sequence runs once whatever arrives.
#include "app/commands.h"
#include "app/program.h"
#include "editor/editor.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "store/file_helpers.h"
#include "support/keyloom_fixture.h"
#include "support/records.h"
#include "support/test_platform.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using fake::record;
using fake::view;

const std::wstring settingsPath = L"C:\\Keyloom\\INITIAL.TXT";
// The defaults with the fake window's corner, as the exit saves them.
const std::string settingsAtExit = "100\r\n50\r\n1\r\n1\r\n8\r\n1\r\n1\r\n0\r\n0\r\n0\r\n1\r\n";

// PASSWORD.TXT with one entry, which another program takes hold of once
// the window is open, so that the exit cannot replace it; returns the bytes
// it must still hold afterwards.
std::string dataFileHeldFromTheStart() {
    std::string old = fake::dataFile({record("A")});
    fake::files[dataPath] = old;
    return old;
}
void holdDataFile() { fake::failing[dataPath] = platform::FileError::InUse; }

class ProgramTest : public KeyloomTest {
  protected:
    // Starts, and the user ends it through the exit as soon as the window opens.
    static int startAndExit() {
        view.whileWindowRuns = [] { dispatchCommand(IDM_EXIT, 0); };
        return startUp();
    }
};

TEST_F(ProgramTest, FirstStartInAnEmptyFolderWritesBothFilesAtExit) {
    EXPECT_EQ(startAndExit(), 1);
    EXPECT_EQ(fake::files[dataPath], "KEYLOOM1\r\n0\r\n");
    EXPECT_EQ(fake::files[settingsPath], settingsAtExit);
    EXPECT_EQ(view.clipboardEmptied, 1);
    EXPECT_TRUE(fake::messageBoxes.empty());
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

    // The exit, or the save asked for by the session's end, while the notice
    // about lost characters is open in the middle of a selection change: the
    // edits go into the entry they were made in, although the list shows the
    // next one already.
    for (bool query : {false, true}) {
        SetUp();
        fake::files[dataPath] = fake::dataFile({record("A"), record("B")});
        fake::duringMessageBox = [query] { query ? (void)fake::querySessionEnd() : exitProgram(); };
        view.whileWindowRuns = [] {
            fake::edit(IDC_USER_ID, L"typed");
            fake::edit(IDC_PASSWORD, L"pä");
            platform::selectItem(1);
            dispatchCommand(IDC_LIST, 1);
        };
        startUp();
        EXPECT_EQ(fake::files[dataPath], fake::dataFile({record("A", "typed", "p?"), record("B")}))
            << query;
    }
}

TEST_F(ProgramTest, ExitRunsOnceWhateverArrivesMeanwhile) {
    const std::string old = dataFileHeldFromTheStart();
    // Esc comes once more while the retry question for PASSWORD.TXT is open:
    // it is ignored, and No lets the first sequence go on to the settings.
    fake::duringMessageBox = [] {
        exitProgram();
        dispatchCommand(2, 0);
        dispatchCommand(IDM_NEW, 0);
    };
    view.whileWindowRuns = [] {
        dispatchCommand(IDM_NEW, 0);
        holdDataFile();
        exitProgram();
    };
    EXPECT_EQ(startUp(), 1);
    EXPECT_EQ(fake::messageBoxes.size(), 1u);
    EXPECT_EQ(fake::writes, 1); // INITIAL.TXT: PASSWORD.TXT, held, is not even read
    EXPECT_EQ(fake::files[dataPath], old);
    EXPECT_EQ(fake::files[settingsPath], settingsAtExit);
    EXPECT_EQ(view.clipboardEmptied, 1);
    EXPECT_EQ(entryList.count(), 0);

    // A command after the end touches nothing.
    EXPECT_TRUE(dispatchCommand(IDM_NEW, 0));
    EXPECT_EQ(entryList.count(), 0);
}

TEST_F(ProgramTest, SessionEndDuringTheRetryQuestionFinishesTheSequenceOnce) {
    const std::string old = dataFileHeldFromTheStart();
    // The process ends as soon as the session end is answered, so the files
    // are written then, not after the unanswered question: PASSWORD.TXT is
    // tried once more the quiet way and left as a complete temporary file.
    fake::duringMessageBox = [] {
        fake::endSession();
        EXPECT_EQ(fake::files[dataPath + L".tmp"],
                  fake::dataFile({record("A"), record(fake::sjis("新しいアイテム - 2"))}));
        EXPECT_EQ(fake::files[settingsPath], settingsAtExit);
        EXPECT_EQ(view.clipboardEmptied, 1);
        EXPECT_EQ(view.endedWith, 1);
        EXPECT_EQ(entryList.count(), 0);
        fake::endSession(); // and once more: nothing left to do
    };
    view.whileWindowRuns = [] {
        dispatchCommand(IDM_NEW, 0);
        holdDataFile();
        dispatchCommand(IDM_EXIT, 0);
    };
    EXPECT_EQ(startUp(), 1);
    EXPECT_EQ(fake::messageBoxes.size(), 1u);
    EXPECT_EQ(fake::writes, 3); // PASSWORD.TXT's temporary file and its base, INITIAL.TXT
    EXPECT_EQ(fake::files[dataPath], old);
    // Windows was asked to wait while the files were written; it refused,
    // as Wine does, and nothing came of that.
    EXPECT_FALSE(fake::shutdownReasons.empty());
    EXPECT_FALSE(fake::shutdownBlocked);
}

TEST_F(ProgramTest, TheEndOfTheSessionIsRefusedWhileTheListCannotBeSaved) {
    const std::string old = fake::dataFile({record("A")});
    fake::files[dataPath] = old;
    view.whileWindowRuns = [] {
        platform::selectItem(0);
        dispatchCommand(IDC_LIST, 1);
        fake::edit(IDC_PASSWORD, L"typed");
        for (int n = 1; n <= temporaryNames; ++n)
            fake::folders.insert(temporaryPath(dataPath, n));
        // Not to be refused: nothing more can be done.
        EXPECT_TRUE(fake::querySessionEnd(true));
        // Refused, the cause given for the shutdown screen; the program runs.
        EXPECT_FALSE(fake::querySessionEnd(false));
        EXPECT_TRUE(fake::shutdownBlocked);
        EXPECT_EQ(fake::shutdownReasons.back(),
                  L"Keyloom は PASSWORD.TXT を保存できませんでした。"
                  L"同じ名前のフォルダーがあるため、ファイルとして使えません。");
        EXPECT_EQ(entryList.count(), 1);
        EXPECT_EQ(view.endedWith, 0);
        EXPECT_EQ(view.clipboardEmptied, 0);

        // Cancelled; with the folders gone it is saved.
        fake::endSession(false);
        EXPECT_FALSE(fake::shutdownBlocked);
        fake::folders.clear();
        EXPECT_TRUE(fake::querySessionEnd(false));
        EXPECT_EQ(fake::files[dataPath], fake::dataFile({record("A", "", "typed")}));

        // Cancelled and changed again: saved anew, and the end itself writes
        // nothing again.
        fake::endSession(false);
        fake::edit(IDC_PASSWORD, L"changed");
        EXPECT_TRUE(fake::querySessionEnd(false));
        int writes = fake::writes;
        fake::endSession();
        EXPECT_EQ(fake::writes, writes);
        EXPECT_EQ(view.endedWith, 1);
    };
    EXPECT_EQ(startUp(), 1);
    EXPECT_TRUE(fake::messageBoxes.empty());
    EXPECT_EQ(fake::files[dataPath], fake::dataFile({record("A", "", "changed")}));
    // The backup is still the list from before the run.
    EXPECT_EQ(fake::files[backupPath], old);
}

// Windows may never tell a program that refused the end of the session that
// it was cancelled: the refusal itself leaves the session's end. Between an
// accepted query and the end, no command starts.
TEST_F(ProgramTest, ARefusedEndOfTheSessionGoesOnAsBeforeAndAnAcceptedOneStartsNothing) {
    open({record("A")});
    select(0);
    fake::edit(IDC_PASSWORD, L"typed");
    for (int n = 1; n <= temporaryNames; ++n)
        fake::folders.insert(temporaryPath(dataPath, n));
    EXPECT_FALSE(fake::querySessionEnd());
    fake::folders.clear();
    // Another PC's save is taken in and told at the next activation.
    otherPcWrites(fake::dataFile({record("A"), record("Y")}));
    activate();
    EXPECT_EQ(view.items, (std::vector<std::string>{"A", "Y"}));
    EXPECT_TRUE(told(L"ほかで追加されたアイテム: 1 件"));

    EXPECT_TRUE(fake::querySessionEnd());
    dispatchCommand(IDM_NEW, 0);
    EXPECT_EQ(entryList.count(), 2);
    fake::endSession(false);
    dispatchCommand(IDM_NEW, 0);
    EXPECT_EQ(entryList.count(), 3);
}

TEST_F(ProgramTest, AnUnfinishedSaveIsOfferedAndNeverAnEmptyStart) {
    const std::string older = fake::dataFile({record("A")});
    const std::string newer = fake::dataFile({record("A"), record("B"), record("C")});
    const std::string cut = newer.substr(0, newer.size() - 5);
    auto put = [](const std::wstring& path, const std::string& bytes, long long time) {
        fake::files[path] = bytes;
        fake::fileTimes[path] = time;
    };
    auto offered = [](const std::wstring& path, int count) {
        return fake::messageBoxes.size() == 1 && told(path) &&
               told(std::to_wstring(count) + L" 件");
    };

    // The files left, oldest first, and the one offered with its count: Yes
    // puts it in place, Cancel ends the program with every file as it was.
    const std::wstring tmp = dataPath + L".tmp";
    struct Case {
        std::wstring offered;
        int count;
        std::vector<std::pair<std::wstring, std::string>> files;
    };
    const Case cases[] = {
        // Killed between the renames of a swap.
        {tmp + L"3", 3, {{backupPath, older}, {tmp + L"3", newer}}},
        // A complete temporary file wins over a newer backup read only in part.
        {tmp, 3, {{tmp, newer}, {backupPath, cut}}},
        // Killed while writing the temporary file: only the backup is whole.
        {backupPath, 1, {{backupPath, older}, {tmp, cut}, {tmp + L"2", cut}}},
        // Beside PASSWORD.TXT, an incomplete temporary file waits for a save.
        {tmp, 3, {{dataPath, older}, {tmp, newer}, {tmp + L"2", cut}}},
    };
    for (const Case& c : cases)
        for (int answer : {platform::mb::answerYes, platform::mb::answerCancel}) {
            const bool yes = answer == platform::mb::answerYes;
            SCOPED_TRACE("case " + std::to_string(&c - cases) + (yes ? ", Yes" : ", Cancel"));
            SetUp();
            for (std::size_t i = 0; i < c.files.size(); ++i)
                put(c.files[i].first, c.files[i].second, i + 1);
            const auto before = fake::files;
            fake::answers = {answer};
            EXPECT_EQ(startAndExit(), yes ? 1 : 0);
            EXPECT_TRUE(offered(c.offered, c.count));
            if (yes) {
                EXPECT_EQ(fake::files[dataPath], before.at(c.offered));
                EXPECT_EQ(fake::files.count(c.offered) != 0, c.offered == backupPath);
            } else {
                EXPECT_FALSE(view.windowCreated);
                EXPECT_EQ(fake::files, before);
            }
        }

    // Only a backup that another program holds: asked about, never an empty
    // start; No ends the program.
    SetUp();
    put(backupPath, older, 1);
    fake::failing[backupPath] = platform::FileError::InUse;
    EXPECT_EQ(startAndExit(), 0);
    ASSERT_EQ(fake::messageBoxes.size(), 1u);
    EXPECT_TRUE(told(backupPath));
    EXPECT_FALSE(view.windowCreated);
    EXPECT_EQ(fake::writes, 0);

    // Every file that cannot be read is named, not only the first.
    SetUp();
    put(dataPath, older, 1);
    for (const std::wstring& path : {tmp, tmp + L"2"}) {
        put(path, newer, 2);
        fake::failing[path] = platform::FileError::InUse;
    }
    EXPECT_EQ(startAndExit(), 1); // No: on without them
    ASSERT_EQ(fake::messageBoxes.size(), 1u);
    EXPECT_TRUE(told(tmp + L"\n") && told(tmp + L"2\n"));

    // Gone on without it to a temporary file, which is discarded: asked again.
    SetUp();
    put(backupPath, older, 1);
    put(dataPath + L".tmp", newer, 2);
    fake::failing[backupPath] = platform::FileError::InUse;
    fake::answers = {platform::mb::answerNo, platform::mb::answerNo};
    EXPECT_EQ(startAndExit(), 0);
    EXPECT_EQ(fake::messageBoxes.size(), 3u);
    EXPECT_FALSE(view.windowCreated);
    EXPECT_EQ(fake::files[backupPath], older);

    // The settings come back without a word, so that nothing hidden shows.
    SetUp();
    put(settingsPath + L".tmp", "1\r\n2\r\n0\r\n0\r\n8\r\n1\r\n1\r\n0\r\n", 1);
    view.whileWindowRuns = [] {
        EXPECT_EQ(settings.showUserId, 0);
        EXPECT_EQ(settings.showPassword, 0);
    };
    startUp();
    EXPECT_TRUE(fake::messageBoxes.empty());
    EXPECT_FALSE(fake::files.count(settingsPath + L".tmp"));
    // A temporary file cut short is never taken over the complete settings.
    SetUp();
    put(settingsPath, "1\r\n2\r\n0\r\n0\r\n8\r\n1\r\n1\r\n0\r\n", 1);
    put(settingsPath + L".tmp", "1\r\n2\r\n1\r\n1\r\n", 2);
    view.whileWindowRuns = [] { EXPECT_EQ(settings.showPassword, 0); };
    startUp();
}

TEST_F(ProgramTest, AKeptTemporaryFileIsOfferedUntilRestoredOrDiscarded) {
    // Restored, but PASSWORD.TXT is held and the user gives up putting it in
    // place: the session runs on the restored entries, and saves them once
    // the file is free.
    const std::string restored = fake::dataFile({record("A"), record("B")});
    fake::files[dataPath] = fake::dataFile({record("A")});
    fake::files[dataPath + L".tmp"] = restored;
    fake::failing[dataPath] = platform::FileError::InUse;
    fake::answers = {platform::mb::answerYes, platform::mb::answerNo};
    view.whileWindowRuns = [] {
        fake::failing.clear();
        dispatchCommand(IDM_EXIT, 0);
    };
    EXPECT_EQ(startUp(), 1);
    EXPECT_EQ(fake::messageBoxes.size(), 2u);
    EXPECT_EQ(fake::files[dataPath], restored);

    SetUp();
    const std::wstring kept = dataPath + L".tmp";
    const std::string older = fake::dataFile({record("A")});
    const std::string newer = fake::dataFile({record("A"), record("B")});
    fake::files[dataPath] = older;
    fake::files[kept] = newer;
    // Held by another program at the start: named with the cause, and No goes
    // on without it. Once free, no save writes over it.
    fake::failing[kept] = platform::FileError::InUse;
    view.whileWindowRuns = [] {
        fake::failing.clear();
        dispatchCommand(IDM_NEW, 0);
        dispatchCommand(IDM_EXIT, 0);
    };
    EXPECT_EQ(startUp(), 1);
    ASSERT_EQ(fake::messageBoxes.size(), 1u);
    EXPECT_TRUE(told(kept + L"\nほかのプログラム"));
    EXPECT_EQ(fake::files[kept], newer);
    EXPECT_GT(fake::fileTimes[dataPath], fake::fileTimes[kept]);

    // Older than PASSWORD.TXT now (as after another PC's save): what it holds
    // and PASSWORD.TXT lacks is offered to be added, never to replace
    // PASSWORD.TXT. No leaves it for the next start; Yes adds, saves, and
    // only then sets it aside.
    for (int answer : {platform::mb::answerNo, platform::mb::answerYes}) {
        auto files = fake::files;
        auto times = fake::fileTimes;
        SetUp();
        fake::files = files;
        fake::fileTimes = times;
        fake::answers = {answer};
        EXPECT_EQ(startAndExit(), 1);
        ASSERT_EQ(fake::messageBoxes.size(), 1u) << answer;
        EXPECT_TRUE(told(kept + L"\nこのファイルには、PASSWORD.TXT にないアイテムが 1 件"));
    }
    EXPECT_EQ(fake::files[dataPath],
              fake::dataFile({record("A"), record(fake::sjis("新しいアイテム - 2")), record("B")}));
    EXPECT_FALSE(fake::files.count(kept));
    EXPECT_EQ(fake::files[kept + L".merged"], newer);
}

TEST_F(ProgramTest, EveryFileThatReplacesPasswordTxtCarriesItsOwnProtection) {
    const std::string old = fake::dataFile({record("A")});
    auto start = [&] {
        fake::files[dataPath] = old;
        fake::protections[dataPath] = {"its own rules", true};
        view.whileWindowRuns = [] {
            dispatchCommand(IDM_NEW, 0);
            dispatchCommand(IDM_EXIT, 0);
        };
        return startUp();
    };
    auto isOwn = [](const std::wstring& path) {
        return fake::protections[path].accessRules == "its own rules" &&
               fake::protections[path].encrypted;
    };
    for (bool links : {true, false}) {
        SetUp();
        fake::hardLinks = links;
        EXPECT_EQ(start(), 1);
        EXPECT_NE(fake::files[dataPath], old);
        EXPECT_TRUE(isOwn(dataPath));
        EXPECT_TRUE(isOwn(backupPath)) << "hard links: " << links;
    }

    // Where the system cannot give it, nothing of the text is written: Yes
    // tries again, No saves with the folder's permissions.
    SetUp();
    fake::protectionRefused = true;
    fake::answers = {platform::mb::answerYes, platform::mb::answerNo};
    EXPECT_EQ(start(), 1);
    ASSERT_EQ(fake::messageBoxes.size(), 2u);
    EXPECT_TRUE(told(L"アクセス許可や暗号化"));
    EXPECT_EQ(fake::writes, 4); // two refused, then PASSWORD.TXT and INITIAL.TXT
    EXPECT_NE(fake::files[dataPath], old);
    EXPECT_FALSE(fake::protections.count(dataPath));
}

TEST_F(ProgramTest, AFolderThatCannotBeWrittenIsToldBeforeTheWindowOpens) {
    fake::files[dataPath] = fake::dataFile({record("A")});
    fake::failing[L"C:\\Keyloom"] = platform::FileError::Denied;
    EXPECT_EQ(startUp(), 0); // No, the default
    ASSERT_EQ(fake::messageBoxes.size(), 1u);
    EXPECT_TRUE(told(L"C:\\Keyloom\n"));
    EXPECT_TRUE(told(L"権限がありません"));
    EXPECT_FALSE(view.windowCreated);
    EXPECT_EQ(fake::writes, 0);

    SetUp();
    fake::failing[L"C:\\Keyloom"] = platform::FileError::Denied;
    fake::answers = {platform::mb::answerYes};
    view.whileWindowRuns = [] { EXPECT_EQ(entryList.count(), 0); };
    startUp();
    EXPECT_TRUE(view.windowCreated);

    // A file too large to read is named as such, and left alone.
    SetUp();
    fake::files[dataPath] = "x";
    fake::failing[dataPath] = platform::FileError::TooLarge;
    EXPECT_EQ(startUp(), 0);
    ASSERT_EQ(fake::messageBoxes.size(), 1u);
    EXPECT_TRUE(told(L"大きすぎる"));
    EXPECT_EQ(fake::writes, 0);
}

TEST_F(ProgramTest, SessionEndDuringTheDeleteQuestionLeavesTheEntriesSaved) {
    fake::files[dataPath] = fake::dataFile({record("A"), record("B")});
    fake::answers = {platform::mb::answerYes};
    fake::duringMessageBox = [] { fake::endSession(); };
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
    fake::failing[dataPath] = platform::FileError::Other;
    EXPECT_EQ(startUp(), 0);
    ASSERT_EQ(fake::messageBoxes.size(), 1u);
    EXPECT_EQ(fake::messageBoxes[0].style, platform::mb::yesNo | platform::mb::iconError);
    EXPECT_EQ(fake::messageBoxes[0].text,
              L"以下のデータファイルを読み込むことができませんでした。\nC:\\Keyloom\\PASSWORD.TXT\n"
              L"ファイルの属性やディスクの状態を確認してください。再試行しますか？");
    EXPECT_FALSE(view.windowCreated);
    EXPECT_EQ(fake::writes, 0);

    // Yes tries again; once readable the program runs on the file's entries.
    SetUp();
    fake::files[dataPath] = fake::dataFile({record("A")});
    fake::failing[dataPath] = platform::FileError::InUse;
    fake::answers = {platform::mb::answerYes};
    fake::duringMessageBox = [] { fake::failing.clear(); };
    EXPECT_EQ(startAndExit(), 1);
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
    EXPECT_EQ(fake::writes, 0);
    EXPECT_EQ(fake::files[dataPath], damaged);

    SetUp();
    fake::files[dataPath] = damaged;
    fake::answers = {platform::mb::answerYes};
    EXPECT_EQ(startAndExit(), 1);
    EXPECT_EQ(fake::files[backupPath], damaged);
    EXPECT_EQ(fake::files[dataPath], fake::dataFile({record("A"), record("B", "u")}));

    // An entry added after the count: told, and kept when the user goes on.
    SetUp();
    const std::string whole = fake::dataFile({record("A"), record("B"), record("C")});
    fake::files[dataPath] = "KEYLOOM1\r\n1" + whole.substr(11);
    fake::answers = {platform::mb::answerYes};
    EXPECT_EQ(startAndExit(), 1);
    ASSERT_EQ(fake::messageBoxes.size(), 1u);
    EXPECT_TRUE(told(L"件数より 2 件多い"));
    EXPECT_TRUE(told(L"読み込めた 3 件"));
    EXPECT_EQ(fake::files[dataPath], whole);
}

} // namespace
