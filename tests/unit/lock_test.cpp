// The lock over the fake platform: what it saves and forgets, what it waits
// for, and the unlock that reads the list again as the start does.
#include "support/keyloom_fixture.h"

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace {

using fake::record;
using fake::view;

const EntryRecord a = record("A", "id", "secret"), b = record("B");

class LockTest : public KeyloomTest {
  protected:
    // The window over A and B behind "pw", with B selected.
    void openLockable() {
        openProtected({a, b});
        select(1);
    }
    static void unlockWith(std::initializer_list<std::optional<std::wstring>> typed) {
        fake::typedPasswords = typed;
        dispatchCommand(IDC_UNLOCK, 0);
    }
    static std::string plainFile() {
        return fake::plainOf(fake::files[dataPath], fake::masterKey("pw"));
    }
};

TEST_F(LockTest, ALockSavesTheEditAndForgetsTheListTheKeyAndWhatShowedThem) {
    openLockable();
    fake::edit(IDC_PASSWORD, L"typed");
    dispatchCommand(IDM_COPY_PASSWORD, 0);
    ASSERT_EQ(fake::clipboard, std::optional<std::string>("typed"));
    EXPECT_TRUE(fake::listKey(platform::key::l, true));
    EXPECT_EQ(life(), Life::Locked);
    EXPECT_TRUE(view.locked);
    EXPECT_EQ(plainFile(), fake::dataFile({a, record("B", "", "typed")}));
    // Nothing of it stays: the entries, the base, the key, the list, every
    // field (written over where its control keeps it), the clipboard.
    EXPECT_EQ(entryList.count(), 0);
    EXPECT_FALSE(heldKey.set || upgradeKey.set);
    EXPECT_TRUE(view.items.empty());
    EXPECT_EQ(view.wipedFields[IDC_PASSWORD], L"typed");
    for (const auto& [id, text] : view.fields)
        EXPECT_TRUE(text.empty()) << id;
    EXPECT_EQ(fake::clipboard, std::nullopt);
    // Only the unlock, the exit, help and about are offered.
    EXPECT_TRUE(view.grayed[IDM_NEW] && view.grayed[IDM_FIND] && view.grayed[IDM_DELETE]);
    EXPECT_FALSE(view.grayed[IDM_EXIT] || view.grayed[IDM_ABOUT]);
    dispatchCommand(IDM_NEW, 0);
    dispatchCommand(IDM_FIND, 0);
    EXPECT_EQ(entryList.count(), 0);
    EXPECT_TRUE(fake::dialogsRun.empty());
    // Asked once more, or by Windows, it does nothing more; an activation
    // takes nothing in.
    const int writes = fake::writes;
    dispatchCommand(IDM_LOCK, 0);
    fake::lockSession();
    otherPcWrites(fake::protectedFile({a, b, record("C")}));
    activate();
    EXPECT_EQ(fake::writes, writes);
    EXPECT_TRUE(view.items.empty());
}

TEST_F(LockTest, TheUnlockReadsTheFileAgainAsTheStartDoes) {
    // Wrong, then right: on the entry at the same place, as the file is now.
    openLockable();
    dispatchCommand(IDM_LOCK, 0);
    otherPcWrites(fake::protectedFile({a, record("B2"), record("C")}));
    unlockWith({L"wrong", L"pw"});
    EXPECT_EQ(life(), Life::Running);
    EXPECT_FALSE(view.locked);
    EXPECT_TRUE(told(L"マスターパスワードが違います。"));
    EXPECT_EQ(view.items, (std::vector<std::string>{"A", "B2", "C"}));
    EXPECT_EQ(view.selection, 1);
    EXPECT_EQ(fake::shown(IDC_TITLE), "B2");
    EXPECT_FALSE(view.grayed[IDM_NEW] || view.grayed[IDM_DELETE] || view.grayed[IDM_LOCK]);
    EXPECT_TRUE(sameKey(heldKey, fake::masterKey("pw")));

    // キャンセル leaves it locked; a second start asks again.
    fake::messageBoxes.clear();
    dispatchCommand(IDM_LOCK, 0);
    unlockWith({std::nullopt});
    EXPECT_EQ(life(), Life::Locked);
    fake::typedPasswords = {L"pw"};
    fake::bringBack();
    EXPECT_EQ(life(), Life::Running);

    // Protected elsewhere with another password meanwhile: the prompt says
    // so, and that password opens it.
    dispatchCommand(IDM_LOCK, 0);
    otherPcWrites(fake::protectedFile({a}, "other"));
    unlockWith({L"other"});
    EXPECT_TRUE(fake::dialog.labels[IDC_PASSWORD_PROMPT].find(L"別のマスターパスワード") !=
                std::wstring::npos);
    EXPECT_EQ(view.items, std::vector<std::string>{"A"});
    EXPECT_EQ(view.selection, 0); // the list is shorter now

    // Left plain elsewhere: opened without a password, and told.
    dispatchCommand(IDM_LOCK, 0);
    otherPcWrites(fake::dataFile({b}));
    fake::messageBoxes.clear();
    unlockWith({});
    EXPECT_EQ(life(), Life::Running);
    EXPECT_TRUE(told(L"パスワードを聞かずに開きました"));
    EXPECT_TRUE(view.grayed[IDM_LOCK]);

    // Gone: an empty list only when the user agrees.
    SetUp();
    openLockable();
    dispatchCommand(IDM_LOCK, 0);
    fake::files.erase(dataPath);
    fake::files.erase(backupPath);
    unlockWith({});
    EXPECT_TRUE(told(L"空の一覧で始めますか？\n「いいえ」を選ぶと、ファイルを変更せず、ロックした"
                     L"ままにします。"));
    EXPECT_EQ(life(), Life::Locked);
}

// The lock's save cannot replace PASSWORD.TXT: the list goes to a protected
// temporary file, the lock goes on, and the unlock tells where it is and
// offers it as the start does.
TEST_F(LockTest, AListTheLocksSaveCannotWriteIsKeptAndOfferedAtTheUnlock) {
    openLockable();
    fake::edit(IDC_PASSWORD, L"typed");
    fake::failing[dataPath] = platform::FileError::InUse;
    fake::lockSession(); // nothing asked
    EXPECT_TRUE(fake::messageBoxes.empty());
    EXPECT_EQ(life(), Life::Locked);
    const std::wstring kept = dataPath + L".tmp";
    EXPECT_EQ(fake::plainOf(fake::files[kept], fake::masterKey("pw")),
              fake::dataFile({a, record("B", "", "typed")}));

    fake::failing.clear();
    fake::answers = {platform::mb::answerOk, platform::mb::answerYes};
    unlockWith({L"pw"});
    ASSERT_EQ(fake::messageBoxes.size(), 2u);
    EXPECT_TRUE(told(L"ロックするときに PASSWORD.TXT に保存できなかったため、一覧を以下のファイルに"
                     L"保存してあります。\n" +
                     kept));
    EXPECT_TRUE(told(kept, 1));
    EXPECT_EQ(life(), Life::Running);
    EXPECT_EQ(plainFile(), fake::dataFile({a, record("B", "", "typed")}));
}

// A lock never cuts what is under way: a paste ends first, a question keeps
// its answer (the window locked behind it), and Keyloom's own dialogs close.
TEST_F(LockTest, ALockWaitsForAPasteAndAQuestionAndClosesDialogs) {
    openLockable();
    select(0);
    fake::windowsBelow = {{"form"}};
    fake::duringPause = [] {
        if (fake::pauses == 3)
            fake::lockSession();
    };
    dispatchCommand(IDM_PASTE_USER_ID_AND_PASSWORD, 0);
    fake::duringPause = nullptr;
    const std::vector<std::string>& log = fake::transferLog;
    EXPECT_NE(std::find(log.begin(), log.end(), "render secret"), log.end());
    EXPECT_EQ(life(), Life::Locked);

    SetUp();
    openLockable();
    fake::answers = {platform::mb::answerYes};
    fake::duringMessageBox = [] {
        dispatchCommand(IDM_LOCK, 0);
        EXPECT_TRUE(view.locked);
        EXPECT_EQ(entryList.count(), 2);
    };
    dispatchCommand(IDM_DELETE, 0);
    EXPECT_EQ(life(), Life::Locked);
    EXPECT_EQ(plainFile(), fake::dataFile({a, b})); // the command went no further

    SetUp();
    openLockable();
    fake::whileDialogOpen = [] {
        fake::dialog.checked[IDC_USE_UPPERCASE] = true;
        fake::lockSession();
    };
    dispatchCommand(IDM_OPTIONS, 0);
    EXPECT_EQ(fake::dialog.endedWith, 0); // キャンセル
    EXPECT_EQ(settings.useUppercase, 0);
    EXPECT_EQ(life(), Life::Locked);
}

TEST_F(LockTest, LockedTheEndWritesOnlyTheSettingsAndWindowsLockIsAnOption) {
    for (bool byExit : {true, false}) {
        SetUp();
        openLockable();
        dispatchCommand(IDM_LOCK, 0);
        const std::string file = fake::files[dataPath];
        const int writes = fake::writes;
        if (byExit) {
            dispatchCommand(IDM_EXIT, 0);
        } else {
            EXPECT_TRUE(fake::querySessionEnd());
            fake::endSession();
        }
        EXPECT_EQ(fake::writes, writes + 1);
        EXPECT_EQ(fake::files[dataPath], file);
        EXPECT_TRUE(fake::files.count(folder + L"\\INITIAL.TXT"));
        EXPECT_EQ(view.endedWith, 1);
    }
    // Off: Windows' lock leaves Keyloom open; without a master password
    // nothing locks it.
    SetUp();
    openLockable();
    settings.lockOnSessionLock = 0;
    fake::lockSession();
    EXPECT_EQ(life(), Life::Running);
    SetUp();
    open({b});
    EXPECT_TRUE(view.grayed[IDM_LOCK]);
    dispatchCommand(IDM_LOCK, 0);
    EXPECT_EQ(life(), Life::Running);
}

// Idle means no input anywhere on the PC since the last input's tick count,
// looked at every 15 s: just below the minutes it stays open, at them it
// locks, right across the tick count's wrap at 49.7 days.
TEST_F(LockTest, IdleMinutesLockFromTheLastInputAcrossTheTickCountsWrap) {
    constexpr unsigned minute = 60 * 1000, check = 15 * 1000;
    for (unsigned start : {1000u, 0xFFFFFFFFu - 5 * minute}) {
        for (unsigned inputAfter : {0u, 1u}) {
            SCOPED_TRACE(testing::Message() << "start " << start << ", input after " << inputAfter);
            SetUp();
            fake::now = start;
            openLockable();
            settings.lockIdleMinutes = 10;
            fake::lastInput = start + inputAfter;
            fake::passTime(10 * minute - check);
            EXPECT_EQ(life(), Life::Running);
            fake::passTime(check);
            EXPECT_EQ(life(), inputAfter == 0 ? Life::Locked : Life::Running);
            fake::passTime(check);
            EXPECT_EQ(life(), Life::Locked);
        }
    }
}

// Windows may refuse to tell of the session's locks while its service
// starts: asked again once a minute until it agrees, the user not told.
TEST_F(LockTest, AWatchOfTheSessionThatFailedIsTriedAgainEachMinute) {
    fake::sessionWatchFailures = 2;
    openLockable();
    EXPECT_FALSE(fake::sessionWatched);
    fake::passTime(59 * 1000);
    EXPECT_EQ(fake::sessionWatchFailures, 1);
    fake::passTime(1000);
    EXPECT_EQ(fake::sessionWatchFailures, 0);
    EXPECT_FALSE(fake::sessionWatched);
    fake::passTime(60 * 1000);
    EXPECT_TRUE(fake::sessionWatched);
    EXPECT_TRUE(fake::messageBoxes.empty());
}

} // namespace
