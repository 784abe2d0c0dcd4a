// Two PCs on one PASSWORD.TXT over the fake platform: the save that takes
// in what the other PC saved, its lock and its questions, the running
// window's activation, and the copies beside the file.
#include "store/kept_base.h"
#include "support/keyloom_fixture.h"

#include <string>
#include <vector>

namespace {

using fake::record;
using fake::view;

const std::wstring lockPath = dataPath + L".lock";

class SyncTest : public KeyloomTest {
  protected:
    void SetUp() override {
        KeyloomTest::SetUp();
        saves = 0;
    }
    // The other PC saves PASSWORD.TXT: these records, at a later time.
    void otherPcSaves(std::initializer_list<EntryRecord> records) {
        otherPcWrites(fake::dataFile(records));
    }
    void otherPcWrites(const std::string& bytes) {
        fake::files[dataPath] = bytes;
        fake::fileTimes[dataPath] = fake::nextFileTime();
        ++saves;
    }
    // SetUp(), then the window opens over A and the user adds an entry; what
    // this session would save.
    std::string startOverAndAdd() {
        SetUp();
        open({record("A")});
        dispatchCommand(IDM_NEW, 0);
        return fake::dataFile({record("A"), record(fake::sjis("新しいアイテム - 2"))});
    }
    int saves = 0;
};

TEST_F(SyncTest, TheExitTakesInWhatAnotherPcSavedAndTellsItOnce) {
    open({record("A"), record("B"), record("C")});
    select(0);
    fake::edit(IDC_PASSWORD, L"mine");
    otherPcSaves({record("A"), record("B", "", "theirs"), record("C"), record("Y")});
    const std::string theirs = fake::files[dataPath];
    dispatchCommand(IDM_NEW, 0);
    exitProgram();
    const std::string newTitle = fake::sjis("新しいアイテム - 4");
    EXPECT_EQ(fake::files[dataPath],
              fake::dataFile({record("A", "", "mine"), record("B", "", "theirs"), record("C"),
                              record(newTitle), record("Y")}));
    EXPECT_EQ(fake::files[backupPath], theirs);
    ASSERT_EQ(fake::messageBoxes.size(), 1u);
    EXPECT_EQ(fake::messageBoxes[0].text,
              L"PASSWORD.TXT はほかのパソコンなどで変更されていたため、その変更をこの一覧"
              L"に取り込みました。\n\nほかで追加されたアイテム: 1 件\n"
              L"ほかで変更されたアイテム: 1 件");
    EXPECT_EQ(fake::messageBoxes[0].style, platform::mb::ok | platform::mb::iconInformation);

    // Both PCs changed B: both versions stay, named for the user to tidy.
    SetUp();
    open({record("A"), record("B"), record("C")});
    select(1);
    fake::edit(IDC_PASSWORD, L"x");
    otherPcSaves({record("A"), record("B", "", "y"), record("C")});
    exitProgram();
    EXPECT_EQ(fake::files[dataPath], fake::dataFile({record("A"), record("B", "", "x"),
                                                     record("B", "", "y"), record("C")}));
    EXPECT_TRUE(told(L"1 か所で両方の内容を残しました。次のアイテムを確かめて、不要なほうを"
                     L"削除してください。\n・B\n・B"));

    // Gone meanwhile: saved as ever.
    SetUp();
    open({record("A")});
    fake::files.erase(dataPath);
    exitProgram();
    EXPECT_EQ(fake::files[dataPath], fake::dataFile({record("A")}));
    EXPECT_TRUE(fake::messageBoxes.empty());
}

TEST_F(SyncTest, NothingIsWrittenWhereTheBytesAreThereAlready) {
    const std::string settingsAtExit = "100\r\n50\r\n1\r\n1\r\n8\r\n1\r\n1\r\n0\r\n0\r\n0\r\n1\r\n";
    fake::files[folder + L"\\INITIAL.TXT"] = settingsAtExit;
    open({record("A"), record("B")});
    select(1);
    exitProgram();
    EXPECT_EQ(fake::writes, 0);
    EXPECT_FALSE(fake::files.count(folder + L"\\PASSWORD.BAK"));

    // Another PC's save is all there is: taken in and told, nothing written.
    SetUp();
    open({record("A"), record("B")});
    otherPcSaves({record("A"), record("B"), record("C")});
    exitProgram();
    EXPECT_EQ(fake::writes, 1); // INITIAL.TXT
    EXPECT_FALSE(fake::files.count(folder + L"\\PASSWORD.BAK"));
    EXPECT_EQ(view.items.size(), 3u);
    EXPECT_TRUE(told(L"ほかで追加されたアイテム: 1 件"));
}

TEST_F(SyncTest, AFileThatCannotBeReadOrIsDamagedIsNeverWrittenOver) {
    const std::string damaged = "KEYLOOM1\r\n3\r\nA\r\n";
    for (bool readable : {false, true}) {
        SCOPED_TRACE(readable ? "damaged" : "unreadable");
        const std::string ours = startOverAndAdd();
        otherPcWrites(damaged);
        if (!readable)
            fake::failing[dataPath] = platform::FileError::Other;
        exitProgram();
        EXPECT_EQ(fake::files[dataPath], damaged);
        EXPECT_EQ(fake::files[dataPath + L".tmp"], ours);
        ASSERT_EQ(fake::messageBoxes.size(), 1u);
        EXPECT_TRUE(told(readable ? L"一部が壊れています" : L"読み込むことができません"));
        EXPECT_TRUE(told(L"PASSWORD.TXT は上書きせず、この一覧を以下のファイルに保存しました。"
                         L"次に起動したときに、このファイルをどうするか確かめます。\n" +
                         dataPath + L".tmp"));
    }
    // At the end of the session nothing is told; the next start offers it.
    const std::string ours = startOverAndAdd();
    otherPcWrites(damaged);
    EXPECT_TRUE(fake::querySessionEnd());
    fake::endSession();
    EXPECT_TRUE(fake::messageBoxes.empty());
    EXPECT_EQ(fake::files[dataPath + L".tmp"], ours);
    EXPECT_EQ(fake::writes, 3); // the temporary file once with its base, INITIAL.TXT
    EXPECT_EQ(findRecovery().path, dataPath + L".tmp");
}

TEST_F(SyncTest, ChangedAgainBeforeTheSwapIsMergedAgainThenKept) {
    startOverAndAdd();
    const std::string newTitle = fake::sjis("新しいアイテム - 2");
    fake::afterWrite = [this](const std::wstring& path) {
        if (path == dataPath + L".tmp" && saves == 0)
            otherPcSaves({record("A"), record("Y")});
    };
    exitProgram();
    EXPECT_EQ(fake::files[dataPath], fake::dataFile({record("A"), record(newTitle), record("Y")}));

    // Changed at every look: the temporary file is kept, and the user told.
    startOverAndAdd();
    fake::afterWrite = [this](const std::wstring& path) {
        if (path == dataPath + L".tmp")
            otherPcSaves({record("A"), record(std::to_string(saves))});
    };
    exitProgram();
    EXPECT_EQ(saves, 4);
    EXPECT_EQ(fake::files[dataPath], fake::dataFile({record("A"), record("3")}));
    EXPECT_EQ(fake::files[dataPath + L".tmp"],
              fake::dataFile({record("A"), record(newTitle), record("2")}));
    EXPECT_TRUE(told(L"何度も書き換えられました"));
}

TEST_F(SyncTest, ManyDeletionsElsewhereAreAskedAboutWithoutTheLockAndKeptByDefault) {
    const auto eight = {record("A"), record("B"), record("C"), record("D"),
                        record("E"), record("F"), record("G"), record("H")};
    for (int answer : {platform::mb::answerNo, platform::mb::answerYes}) {
        SetUp();
        open(eight);
        otherPcSaves({record("A"), record("B"), record("C")});
        // Not at activation: that is for the save and its question.
        activate();
        EXPECT_TRUE(fake::messageBoxes.empty());
        EXPECT_EQ(view.items.size(), 8u);
        fake::answers = {answer};
        fake::duringMessageBox = [] { EXPECT_FALSE(fake::files.count(lockPath)); };
        exitProgram();
        EXPECT_EQ(fake::messageBoxes[0].style,
                  platform::mb::yesNo | platform::mb::iconWarning | platform::mb::defaultSecond);
        EXPECT_TRUE(told(L"5 件のアイテムが削除されています（前に読み込んだ 8 件のうち）"));
        if (answer == platform::mb::answerYes) {
            EXPECT_EQ(fake::files[dataPath],
                      fake::dataFile({record("A"), record("B"), record("C")}));
        } else {
            EXPECT_EQ(fake::files[dataPath], fake::dataFile(eight));
            EXPECT_TRUE(told(L"削除せずに残したアイテム: 5 件", 1));
        }
    }
    // At the end of the session they are kept, and nothing asked.
    SetUp();
    open(eight);
    otherPcSaves({record("A"), record("B"), record("C")});
    EXPECT_TRUE(fake::querySessionEnd());
    EXPECT_TRUE(fake::messageBoxes.empty());
    EXPECT_EQ(fake::files[dataPath], fake::dataFile(eight));
}

TEST_F(SyncTest, ASaveWaitsForTheLock2sAtMostThenTakesItOrGoesOnWithout) {
    unsigned start = 0; // the clock when the save begins
    struct Case {
        const char* what;
        std::function<void()> arrange;
        unsigned waited;
        bool lockLeft;
    };
    const Case cases[] = {
        {"another PC's save under way",
         [&] {
             fake::files[lockPath] = "";
             fake::duringSleep = [&] {
                 if (fake::now - start == 1000)
                     fake::files.erase(lockPath);
             };
         },
         1000, false},
        // Counted by this PC's clock: the lock's own time keeps changing.
        {"left behind, and delivered again and again by a sync client",
         [] {
             fake::files[lockPath] = "";
             fake::duringSleep = [] { fake::fileTimes[lockPath] = fake::nextFileTime(); };
         },
         2000, false},
        {"held open on a share",
         [] {
             fake::files[lockPath] = "";
             fake::failing[lockPath] = platform::FileError::InUse;
         },
         2000, true},
        {"none can be made", [] { fake::folders.insert(lockPath); }, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string ours = startOverAndAdd();
        c.arrange();
        fake::duringSleep = [meanwhile = fake::duringSleep] {
            EXPECT_TRUE(fake::waitCursor);
            EXPECT_EQ(fake::files[dataPath], fake::dataFile({record("A")}));
            if (meanwhile)
                meanwhile();
        };
        start = fake::now;
        exitProgram();
        EXPECT_EQ(fake::now - start, c.waited);
        EXPECT_EQ(fake::files[dataPath], ours);
        EXPECT_EQ(fake::files.count(lockPath) != 0, c.lockLeft);
        EXPECT_FALSE(fake::waitCursor);
    }

    // The start reads without it; a recovery that writes takes it as a save.
    SetUp();
    const std::string kept = fake::dataFile({record("A"), record("B")});
    fake::files[dataPath] = fake::dataFile({record("A")});
    fake::files[dataPath + L".tmp"] = kept;
    fake::fileTimes[dataPath + L".tmp"] = 1;
    fake::files[lockPath] = "";
    fake::answers = {platform::mb::answerYes};
    start = fake::now;
    fake::duringMessageBox = [&] { EXPECT_EQ(fake::now, start); };
    view.whileWindowRuns = [&] {
        EXPECT_EQ(fake::now - start, 2000u);
        EXPECT_EQ(fake::files[dataPath], kept);
    };
    startUp();
    EXPECT_EQ(fake::messageBoxes.size(), 1u);
}

TEST_F(SyncTest, TheActiveWindowTakesInAnotherPcsSaveWhenNothingIsUnderWay) {
    open({record("A"), record("B"), record("C")});
    select(1);
    fake::edit(IDC_PASSWORD, L"typed");
    otherPcSaves({record("A"), record("X"), record("B"), record("C", "", "theirs")});
    // A question's box closing gives the window its activation back in the
    // middle of the command: nothing then, and once the command is done.
    fake::duringMessageBox = [] {
        activate();
        EXPECT_EQ(view.items.size(), 3u);
        fake::activate();
    };
    dispatchCommand(IDM_DELETE, 0); // No
    EXPECT_EQ(view.items.size(), 3u);
    EXPECT_EQ(fake::messageBoxes.size(), 1u);

    fake::handlePosted();
    EXPECT_EQ(view.items, (std::vector<std::string>{"A", "X", "B", "C"}));
    EXPECT_EQ(view.selection, 2); // still on B, with what was typed
    EXPECT_EQ(fake::shown(IDC_PASSWORD), "typed");
    EXPECT_EQ(fake::writes, 0);
    ASSERT_EQ(fake::messageBoxes.size(), 2u);
    EXPECT_TRUE(told(L"ほかで追加されたアイテム: 1 件\nほかで変更されたアイテム: 1 件", 1));

    // Damaged, or unreadable: left for the save, without a word.
    otherPcWrites("KEYLOOM1\r\n3\r\n");
    activate();
    fake::failing[dataPath] = platform::FileError::Other;
    activate();
    EXPECT_EQ(fake::messageBoxes.size(), 2u);
    EXPECT_EQ(view.items.size(), 4u);

    // Read back as it was: the exit merges only this session's edit against it.
    fake::failing.clear();
    otherPcSaves({record("A"), record("X"), record("B"), record("C", "", "theirs")});
    exitProgram();
    EXPECT_EQ(fake::files[dataPath],
              fake::dataFile(
                  {record("A"), record("X"), record("B", "", "typed"), record("C", "", "theirs")}));
    EXPECT_EQ(fake::messageBoxes.size(), 2u);
}

TEST_F(SyncTest, AMemoChangedElsewhereIsShownAndKept) {
    const auto withMemo = [](const char* memo) { return record("A", "", "", "", "", memo); };
    open({withMemo("old")});
    select(0);
    otherPcSaves({withMemo("new")});
    activate();
    EXPECT_EQ(view.fields[IDC_MEMO], L"new");
    exitProgram();
    EXPECT_EQ(fake::files[dataPath], fake::dataFile({withMemo("new")}));
}

TEST_F(SyncTest, WhatTheSessionEndsSaveTookInIsToldIfTheEndIsCancelled) {
    open({record("A")});
    otherPcSaves({record("A"), record("Y")});
    EXPECT_TRUE(fake::querySessionEnd());
    EXPECT_EQ(view.items.size(), 2u); // the window still in use shows it
    fake::endSession(false);
    EXPECT_TRUE(fake::messageBoxes.empty()); // not inside the system's message
    fake::handlePosted();
    ASSERT_EQ(fake::messageBoxes.size(), 1u);
    EXPECT_TRUE(told(L"取り込みました"));

    // While a question about an entry is open, the list stays as the
    // question knows it; the exit takes the other PC's save in.
    SetUp();
    open({record("A"), record("B"), record("C")});
    select(1);
    otherPcSaves({record("X"), record("A"), record("B"), record("C")});
    fake::answers = {platform::mb::answerYes};
    fake::duringMessageBox = [] {
        EXPECT_TRUE(fake::querySessionEnd());
        fake::endSession(false);
        fake::handlePosted();
    };
    dispatchCommand(IDM_DELETE, 0);
    EXPECT_EQ(view.items, (std::vector<std::string>{"A", "C"}));
    // The question's box closing gives the window its activation back.
    activate();
    EXPECT_EQ(view.items, (std::vector<std::string>{"X", "A", "C"}));
    ASSERT_EQ(fake::messageBoxes.size(), 2u);
    EXPECT_TRUE(told(L"ほかで追加されたアイテム: 1 件", 1));
    exitProgram();
    EXPECT_EQ(fake::files[dataPath], fake::dataFile({record("X"), record("A"), record("C")}));
    EXPECT_EQ(fake::messageBoxes.size(), 2u);
}

TEST_F(SyncTest, CopiesBesideTheFileAreOfferedToAddWhatItLacks) {
    fake::files[dataPath] = fake::dataFile({record("A"), record("B")});
    const std::wstring one = folder + L"\\PASSWORD (1).TXT", two = folder + L"\\PASSWORD (2).TXT",
                       same = folder + L"\\PASSWORD (3).TXT", cut = folder + L"\\PASSWORD (4).TXT",
                       held = folder + L"\\PASSWORD (5).TXT", pc = folder + L"\\password-PC.txt";
    fake::files[one] = fake::dataFile({record("A"), record("X")});
    fake::files[two] = fake::dataFile({record("Q")});
    fake::files[same] = fake::dataFile({record("B"), record("A")});
    fake::files[cut] = "KEYLOOM1\r\n2\r\nZ\r\n";
    fake::files[held] = fake::dataFile({record("H")});
    fake::failing[held] = platform::FileError::InUse;
    fake::files[pc] = fake::dataFile({record("B"), record("Y"), record("Y")});
    fake::answers = {platform::mb::answerYes, platform::mb::answerNo, platform::mb::answerNo,
                     platform::mb::answerCancel};
    view.whileWindowRuns = [] { dispatchCommand(IDM_EXIT, 0); };
    EXPECT_EQ(startUp(), 1);
    ASSERT_EQ(fake::messageBoxes.size(), 5u);
    EXPECT_TRUE(told(one + L"\nこのファイルには、PASSWORD.TXT にないアイテムが 1 件あります。"
                           L"ここで編集または削除したアイテムの古い版であることもあります。"));
    EXPECT_TRUE(told(two, 1));
    // Cut short: what could be read is offered, and said to be so.
    EXPECT_TRUE(told(cut + L"\nこのファイルには、PASSWORD.TXT にないアイテムが 1 件", 2));
    EXPECT_TRUE(told(L"一部が壊れているため", 2));
    EXPECT_TRUE(told(pc + L"\nこのファイルには、PASSWORD.TXT にないアイテムが 2 件", 3));
    EXPECT_TRUE(told(L"「.ignored」を付け、今後は確かめません。", 3));
    // One that cannot be read is named, not passed over.
    EXPECT_TRUE(told(L"読み込めないか壊れているため", 4));
    EXPECT_TRUE(told(held + L"\nほかのプログラム", 4));
    EXPECT_EQ(fake::files[dataPath], fake::dataFile({record("A"), record("B"), record("X")}));
    EXPECT_FALSE(fake::files.count(one));
    EXPECT_TRUE(fake::files.count(one + L".merged"));
    EXPECT_TRUE(fake::files.count(two) && fake::files.count(same) && fake::files.count(cut));
    EXPECT_FALSE(fake::files.count(pc));
    EXPECT_TRUE(fake::files.count(pc + L".ignored"));
}

// Beside a protected kept list its base is sealed with the same key, and
// its digests keyed: without the key they neither open nor match an entry.
TEST_F(SyncTest, AProtectedKeptListsBaseIsKeyedAndSealed) {
    EntryList list, onlyA;
    list.records = {record("A", "id", "pw"), record("B")};
    onlyA.records = {list.records[0]};
    const std::wstring kept = dataPath + L".tmp";
    FileSeen seen;
    seen.hashed = true;
    seen.hash.fill(7);
    const MasterKey& key = fake::masterKey("pw");
    ASSERT_TRUE(writeKeptBase(kept, seen, entryDigests(list), key));
    EXPECT_TRUE(isProtectedFile(fake::files[kept + L".base"]));

    KeptBase base;
    EXPECT_FALSE(readKeptBase(kept, MasterKey(), base));
    EXPECT_FALSE(readKeptBase(kept, fake::masterKey("other"), base));
    ASSERT_TRUE(readKeptBase(kept, key, base));
    EXPECT_EQ(base.file, seen.hash);
    ASSERT_EQ(base.entries.size(), 2u);
    EXPECT_NE(base.entries[0], entryDigest(list.records[0]));
    // Matched to the entries of the lists being merged; B, in neither, to
    // nothing.
    const std::vector<EntryDigest> unkeyed = unkeyedBase(base, key, onlyA, EntryList());
    EXPECT_EQ(unkeyed[0], entryDigest(list.records[0]));
    EXPECT_NE(unkeyed[1], entryDigest(list.records[1]));
}

} // namespace
