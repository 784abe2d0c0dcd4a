// The master password over the fake platform: start-up with a protected
// file, the iteration upgrade, turning protection on and off, and the saves
// that meet a file protected elsewhere or left plain.
#include "support/keyloom_fixture.h"

#include <algorithm>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace {

using fake::record;
using fake::view;

class ProtectionTest : public KeyloomTest {
  protected:
    // A fresh start over file as PASSWORD.TXT with these passwords to type;
    // the window, once open, is closed at once.
    void startOver(const std::string& file, std::deque<std::optional<std::wstring>> typed) {
        SetUp();
        fake::files[dataPath] = file;
        fake::typedPasswords = std::move(typed);
        view.whileWindowRuns = [] { dispatchCommand(IDM_EXIT, 0); };
    }
    static std::wstring box(std::size_t i) {
        return i < fake::messageBoxes.size() ? fake::messageBoxes[i].text : L"(no box)";
    }
    static bool has(const std::wstring& text, const std::wstring& part) {
        return text.find(part) != std::wstring::npos;
    }
    // Runs the master password dialog with the user's doings in it.
    static void masterPassword(std::function<void()> user) {
        fake::whileDialogOpen = std::move(user);
        dispatchCommand(IDM_MASTER_PASSWORD, 0);
    }
    static void type(const std::wstring& current, const std::wstring& typed,
                     const std::wstring& again) {
        fake::dialog.passwords[IDC_CURRENT_PASSWORD] = current;
        fake::dialog.passwords[IDC_NEW_PASSWORD] = typed;
        fake::dialog.passwords[IDC_CONFIRM_PASSWORD] = again;
        fake::dialogCommand(platform::notify::ok);
    }
};

TEST_F(ProtectionTest, AProtectedFileAsksForItsPasswordFirstAndOpensWhatItsKeyOpens) {
    const std::string file = fake::protectedFile({record("A", "id", "secret")});
    startOver(file, {L"wrong", L"pw"});
    // A save that did not finish, under the same key: opened without asking.
    const std::wstring kept = dataPath + L".tmp";
    fake::files[kept] = fake::protectedFile({record("A", "id", "secret"), record("B")});
    fake::fileTimes[kept] = 2;
    fake::answers.assign(2, platform::mb::answerYes); // the notice, then restore
    view.whileWindowRuns = [] {
        EXPECT_EQ(view.items, (std::vector<std::string>{"A", "B"}));
        dispatchCommand(IDM_EXIT, 0);
    };
    fake::derivations = fake::derivedWithoutWaitCursor = 0; // test files' keys are cached
    EXPECT_EQ(startUp(), 1);
    EXPECT_TRUE(has(fake::dialog.labels[IDC_PASSWORD_PROMPT], dataPath));
    ASSERT_EQ(fake::messageBoxes.size(), 2u);
    EXPECT_EQ(box(0), L"マスターパスワードが違います。");
    EXPECT_TRUE(told(kept + L"\n", 1) && told(L"2 件", 1));
    // The wrong one, the right one, and today's iterations for the upgrade.
    EXPECT_EQ(fake::derivations, 3);
    EXPECT_EQ(fake::derivedWithoutWaitCursor, 0);
    EXPECT_TRUE(isProtectedFile(fake::files[dataPath]));
    EXPECT_FALSE(heldKey.set); // wiped at exit

    // キャンセル ends the program with nothing written.
    startOver(file, {L"wrong", std::nullopt});
    EXPECT_EQ(startUp(), 0);
    EXPECT_FALSE(view.windowCreated);
    EXPECT_EQ(fake::writes, 0);
    EXPECT_EQ(fake::files, (std::map<std::wstring, std::string>{{dataPath, file}}));

    // PASSWORD.TXT missing, and a save's file protected otherwise: asked for
    // its own password when it is offered. Declined, it is left as it is,
    // and the program ends rather than start empty past it.
    for (bool typed : {true, false}) {
        SCOPED_TRACE(typed ? "typed" : "declined");
        SetUp();
        fake::files[kept] = fake::protectedFile({record("K")}, "other");
        fake::typedPasswords = {typed ? std::optional<std::wstring>(L"other") : std::nullopt};
        fake::answers = {platform::mb::answerYes};
        view.whileWindowRuns = [] {
            EXPECT_EQ(view.items, std::vector<std::string>{"K"});
            dispatchCommand(IDM_EXIT, 0);
        };
        EXPECT_EQ(startUp(), typed ? 1 : 0);
        EXPECT_TRUE(has(fake::dialog.labels[IDC_PASSWORD_PROMPT], L"\n" + kept));
        if (typed) {
            EXPECT_EQ(fake::plainOf(fake::files[dataPath], fake::masterKey("other")),
                      fake::dataFile({record("K")}));
        } else {
            EXPECT_EQ(fake::writes, 0);
            EXPECT_TRUE(fake::files.count(kept));
        }
    }

    // A changed byte in the check line keeps no one out: told, and the next
    // save writes a sound one (today's iterations, so that no upgrade does).
    std::string check = fake::protectedFile({record("A")}, "pw", defaultIterations);
    check[check.find("check=") + 10] ^= 1;
    startOver(check, {L"pw"});
    EXPECT_EQ(startUp(), 1);
    ASSERT_EQ(fake::messageBoxes.size(), 1u);
    EXPECT_TRUE(told(L"パスワードを確かめる行（check=）が壊れていましたが"));
    EXPECT_TRUE(keyFits(readProtectedFile(fake::files[dataPath]),
                        fake::masterKey("pw", defaultIterations).key));

    // The system failing to decrypt is told as a file that cannot be opened,
    // never as a wrong password.
    startOver(file, {L"pw"});
    fake::decryptionFails = true;
    EXPECT_EQ(startUp(), 0);
    ASSERT_EQ(fake::messageBoxes.size(), 1u);
    EXPECT_TRUE(told(L"開くことができませんでした"));
}

TEST_F(ProtectionTest, LineEndsChangedToLfOrAByteOrderMarkAddedOpenAndAreWrittenBackAsBefore) {
    // Today's iterations: no upgrade writes the file anyway.
    const std::string sound =
        fake::protectedFile({record("A", "id", "secret")}, "pw", defaultIterations);
    std::string lf = sound;
    lf.erase(std::remove(lf.begin(), lf.end(), '\r'), lf.end());
    const std::string bom = "\xEF\xBB\xBF";
    for (const std::string& changed : {lf, bom + sound, bom + lf}) {
        SCOPED_TRACE(changed.substr(0, 21));
        startOver(changed, {L"pw"});
        EXPECT_EQ(startUp(), 1);
        EXPECT_TRUE(fake::messageBoxes.empty()) << box(0);
        const std::string& written = fake::files[dataPath];
        EXPECT_EQ(written.compare(0, 20, "KEYLOOM-PROTECTED1\r\n"), 0);
        EXPECT_EQ(std::count(written.begin(), written.end(), '\n'),
                  std::count(written.begin(), written.end(), '\r'));
        EXPECT_EQ(fake::plainOf(written, fake::masterKey("pw", defaultIterations)),
                  fake::dataFile({record("A", "id", "secret")}));
    }
}

TEST_F(ProtectionTest, ADamagedFileNamesThePartAndOffersTheBackupWithItsOwnPassword) {
    const std::string file = fake::protectedFile({record("A")});
    std::string header = file;
    header[header.find("salt=") + 5] ^= 1; // the digest no longer fits
    std::string body = file;
    std::size_t at = body.find("\r\n", body.find("check=")) + 4;
    body[at] = body[at] == 'A' ? 'B' : 'A';

    // A damaged header asks for no password; No, the default, ends it.
    startOver(header, {});
    fake::files[backupPath] = fake::protectedFile({record("B")}, "other");
    EXPECT_EQ(startUp(), 0);
    ASSERT_EQ(fake::messageBoxes.size(), 1u);
    EXPECT_TRUE(told(L"壊れているところ: 最初の 8 行のどこか"));
    EXPECT_EQ(fake::writes, 0);

    // A damaged body is found under the right password. Yes: the backup,
    // with its own password; the first save puts it in PASSWORD.TXT's
    // place, under its key.
    startOver(body, {L"pw", L"other"});
    fake::files[backupPath] = fake::protectedFile({record("B")}, "other");
    fake::answers = {platform::mb::answerYes};
    MasterKey key;
    view.whileWindowRuns = [&] {
        EXPECT_EQ(view.items, std::vector<std::string>{"B"});
        fake::edit(IDC_TITLE, L"B2");
        key = upgradeKey; // the backup's, at today's iterations
        dispatchCommand(IDM_EXIT, 0);
    };
    EXPECT_EQ(startUp(), 1);
    EXPECT_TRUE(told(L"壊れているところ: 暗号化されたアイテムの部分"));
    EXPECT_EQ(fake::plainOf(fake::files[dataPath], key), fake::dataFile({record("B2")}));
    EXPECT_EQ(fake::files[backupPath], body);

    // A plain backup: the question that offers it says so, and clear text
    // goes over the protected file only when the user agrees at the save.
    for (int answer : {platform::mb::answerNo, platform::mb::answerYes}) {
        SCOPED_TRACE(answer == platform::mb::answerYes ? "clear text agreed" : "declined");
        startOver(body, {L"pw"});
        const std::string plain = fake::dataFile({record("B")});
        fake::files[backupPath] = plain;
        fake::answers = {platform::mb::answerYes, answer};
        EXPECT_EQ(startUp(), 1);
        EXPECT_TRUE(told(L"バックアップ（PASSWORD.BAK）は、マスターパスワードで保護されて"
                         L"いません"));
        EXPECT_TRUE(told(L"この一覧を保護せずに（だれでも読める形で）保存しますか？", 1));
        EXPECT_EQ(fake::files[dataPath], answer == platform::mb::answerYes ? plain : body);
        EXPECT_EQ(fake::files.count(dataPath + L".tmp"),
                  answer == platform::mb::answerYes ? 0u : 1u);
    }
}

TEST_F(ProtectionTest, FewerIterationsThanTodaysAreUpgradedAtTheNextSaveUnlessProtectedElsewhere) {
    const std::string old = fake::protectedFile({record("A")});
    startOver(old, {L"pw"});
    MasterKey upgraded;
    view.whileWindowRuns = [&] {
        upgraded = upgradeKey;
        dispatchCommand(IDM_EXIT, 0);
    };
    EXPECT_EQ(startUp(), 1);
    // Nothing changed, and yet written: with today's count and a new salt.
    ProtectedFile written = readProtectedFile(fake::files[dataPath]);
    EXPECT_EQ(written.iterations, defaultIterations);
    EXPECT_NE(written.salt, fake::masterKey("pw").key.salt);
    EXPECT_EQ(fake::plainOf(fake::files[dataPath], upgraded), fake::dataFile({record("A")}));
    EXPECT_EQ(fake::files[backupPath], old);

    // Protected elsewhere meanwhile with another password: asked for at the
    // exit, and its key is kept; the upgrade is dropped.
    startOver(old, {L"pw", L"other"});
    const std::string theirs = fake::protectedFile({record("A"), record("Y")}, "other");
    view.whileWindowRuns = [&] {
        otherPcWrites(theirs);
        dispatchCommand(IDM_EXIT, 0);
    };
    EXPECT_EQ(startUp(), 1);
    EXPECT_TRUE(has(fake::dialog.labels[IDC_PASSWORD_PROMPT], L"別のマスターパスワード"));
    // The same list under the same key: nothing to write.
    EXPECT_EQ(fake::files[dataPath], theirs);
}

TEST_F(ProtectionTest, TurningProtectionOnLeavesNoClearCopyAndOffRemovesIt) {
    const EntryRecord a = record("A", "id", "secret"), x = record("X", "", "x-secret");
    open({a});
    const std::wstring copy = folder + L"\\PASSWORD (1).TXT";
    const std::wstring merged = folder + L"\\PASSWORD (2).TXT.merged";
    fake::files[copy] = fake::dataFile({a, x});
    fake::files[merged] = fake::dataFile({a});
    // Every box takes an answer: three notices, then Yes adds the copy's entry.
    fake::answers.assign(4, platform::mb::answerYes);
    masterPassword([] {
        EXPECT_TRUE(fake::dialog.hidden[IDC_CURRENT_PASSWORD]);
        type(L"", L"pw", L"pW"); // told, nothing changes
        EXPECT_EQ(fake::dialog.endedWith, -1);
        EXPECT_EQ(fake::dialog.focus, IDC_NEW_PASSWORD);
        type(L"", L"pw\xD800", L"pw\xD800"); // a lone surrogate: the same
        // The backup is a file of its own by the time that is told: what
        // writes PASSWORD.TXT in place leaves it alone.
        fake::duringMessageBox = [] {
            EXPECT_FALSE(fake::sameFile(backupPath, dataPath));
            EXPECT_FALSE(fake::files.count(backupPath + L".tmp"));
        };
        type(L"", L"pw", L"pw");
    });
    ASSERT_EQ(fake::messageBoxes.size(), 4u);
    EXPECT_TRUE(told(L"一致しません"));
    EXPECT_TRUE(told(L"使えない文字", 1));
    EXPECT_TRUE(told(L"マスターパスワードを設定しました", 2));
    EXPECT_TRUE(told(copy + L"\nこのファイルには、PASSWORD.TXT にないアイテムが 1 件", 3));
    const MasterKey key = heldKey;
    EXPECT_EQ(fake::plainOf(fake::files[dataPath], key), fake::dataFile({a, x}));
    // The old list in the backup and the merged copy are gone through zeros
    // at once, the added copy once its entry is saved; the backup is the
    // protected file from now on.
    EXPECT_EQ(view.items, (std::vector<std::string>{"A", "X"}));
    EXPECT_EQ(fake::wiped, (std::vector<std::wstring>{backupPath, merged, copy}));
    EXPECT_EQ(fake::plainOf(fake::files[backupPath], key), fake::dataFile({a}));
    for (const auto& [path, bytes] : fake::files)
        EXPECT_EQ(bytes.find("secret"), std::string::npos) << platform::wideToSjis(path);

    // A save that fails leaves the protection as it was, here and on the disk.
    const std::string protectedBytes = fake::files[dataPath];
    for (int n = 1; n <= temporaryNames; ++n)
        fake::folders.insert(temporaryPath(dataPath, n));
    fake::messageBoxes.clear();
    fake::answers = {platform::mb::answerYes, platform::mb::answerNo};
    masterPassword([] { type(L"pw", L"", L""); });
    ASSERT_EQ(fake::messageBoxes.size(), 3u);
    EXPECT_TRUE(told(L"保護をやめますか"));
    EXPECT_TRUE(told(L"設定は変わっていません", 2));
    EXPECT_TRUE(sameKey(heldKey, key));
    EXPECT_EQ(fake::files[dataPath], protectedBytes);

    // Off: a wrong current password is told; the right one, and the file is plain.
    fake::folders.clear();
    fake::messageBoxes.clear();
    fake::answers.assign(3, platform::mb::answerYes);
    masterPassword([] {
        EXPECT_FALSE(fake::dialog.hidden[IDC_CURRENT_PASSWORD]);
        type(L"pw", L"new", L"New");
        EXPECT_EQ(fake::dialog.focus, IDC_CURRENT_PASSWORD); // every field emptied
        type(L"PW", L"", L"");
        type(L"pw", L"", L"");
    });
    EXPECT_EQ(box(1), L"現在のマスターパスワードが違います。");
    EXPECT_TRUE(told(L"保護をやめました", 3));
    EXPECT_FALSE(heldKey.set);
    EXPECT_EQ(fake::files[dataPath], fake::dataFile({a, x}));
}

TEST_F(ProtectionTest, OnceProtectedEveryClearCopyIsWipedOrNamed) {
    // This session's list was kept in clear (PASSWORD.TXT was damaged when
    // the end of the session was asked about), and the file is sound again.
    open({record("A")});
    dispatchCommand(IDM_NEW, 0);
    otherPcWrites("KEYLOOM1\r\n3\r\n");
    EXPECT_TRUE(fake::querySessionEnd());
    fake::endSession(false);
    const std::wstring kept = dataPath + L".tmp";
    ASSERT_TRUE(fake::files.count(kept));
    otherPcWrites(fake::dataFile({record("A")}));
    // Two copies to protect where they are, the second of which cannot be
    // written so; one a sync client left damaged.
    const std::wstring one = folder + L"\\PASSWORD (1).TXT", two = folder + L"\\PASSWORD (2).TXT",
                       cut = folder + L"\\PASSWORD (3).TXT";
    const std::string twoBytes = fake::dataFile({record("Y")}), cutBytes = "KEYLOOM1\r\n2\r\nZ\r\n";
    fake::files[one] = fake::dataFile({record("X")});
    fake::files[two] = twoBytes;
    fake::files[cut] = cutBytes;
    fake::failing[two + L".tmp"] = platform::FileError::DiskFull;
    fake::answers = {platform::mb::answerYes, platform::mb::answerNo, platform::mb::answerNo};
    masterPassword([] { type(L"", L"pw", L"pw"); });

    // Overwritten, not only deleted: the kept list with its base, the old
    // backup, the copy once its protected copy is there.
    EXPECT_EQ(fake::wiped, (std::vector<std::wstring>{kept, kept + L".base", backupPath, one}));
    EXPECT_EQ(fake::plainOf(fake::files[one], heldKey), fake::dataFile({record("X")}));
    EXPECT_EQ(fake::files[two], twoBytes);
    EXPECT_EQ(fake::files[cut], cutBytes);
    ASSERT_EQ(fake::messageBoxes.size(), 4u);
    EXPECT_TRUE(told(L"保護されていないまま残っています。だれでも読むことができます。\n" + two +
                         L"\n" + cut + L"\n",
                     3));
}

TEST_F(ProtectionTest, ACopyAtStartUpAddsUnderTheRightProtectionAndGoesOnlyOnceSaved) {
    const std::wstring copy = folder + L"\\PASSWORD (1).TXT";
    const std::string plain = fake::dataFile({record("A")});
    const std::string twoPlain = fake::dataFile({record("A"), record("X")});
    struct Case {
        const char* what;
        std::string file, copied;
        std::function<void()> meanwhile; // while the copy is offered
        std::function<void()> check;
    };
    const Case cases[] = {
        {"a protected copy's entries protect a plain list with its key, unasked", plain,
         fake::protectedFile({record("A"), record("X")}), nullptr,
         [&] {
             EXPECT_EQ(fake::plainOf(fake::files[dataPath], fake::masterKey("pw")), twoPlain);
             ASSERT_EQ(fake::messageBoxes.size(), 2u);
             EXPECT_TRUE(told(L"同じマスターパスワードで、PASSWORD.TXT を保護しました", 1));
         }},
        {"a clear copy added to a protected list is wiped, not set aside",
         fake::protectedFile({record("A")}), twoPlain, nullptr,
         [&] {
             EXPECT_EQ(fake::wiped, std::vector<std::wstring>{copy});
             EXPECT_FALSE(fake::files.count(copy + L".merged"));
         }},
        {"entries that reached only a kept file leave the copy its name", plain, twoPlain,
         [] { otherPcWrites("KEYLOOM1\r\n3\r\n"); },
         [&] {
             EXPECT_EQ(fake::files[copy], twoPlain);
             EXPECT_FALSE(fake::files.count(copy + L".merged"));
             EXPECT_EQ(fake::files[dataPath + L".tmp"], twoPlain);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        startOver(c.file, {L"pw"});
        fake::files[copy] = c.copied;
        fake::answers = {platform::mb::answerYes};
        fake::duringMessageBox = c.meanwhile;
        EXPECT_EQ(startUp(), 1);
        c.check();
    }
}

TEST_F(ProtectionTest, NoSaveWritesOverAFileItCannotOpenNorClearTextWithoutAsking) {
    const std::string ours =
        fake::dataFile({record("A"), record(fake::sjis("新しいアイテム - 2"))});
    const std::string theirs = fake::protectedFile({record("A"), record("Y")}, "other");
    const std::string plain = fake::dataFile({record("A"), record("Y")});
    // A new entry here, and another PC's save under it.
    const auto addedHereOver = [&](const std::string& written) {
        SetUp();
        openProtected({record("A")});
        dispatchCommand(IDM_NEW, 0);
        otherPcWrites(written);
    };
    const auto keptAside = [] {
        return fake::plainOf(fake::files[dataPath + L".tmp"], fake::masterKey("pw"));
    };

    // Protected elsewhere with another password, and キャンセル: kept aside
    // under the held key, and told.
    addedHereOver(theirs);
    fake::typedPasswords = {std::nullopt};
    exitProgram();
    EXPECT_EQ(fake::files[dataPath], theirs);
    EXPECT_EQ(keptAside(), ours);
    ASSERT_EQ(fake::messageBoxes.size(), 1u);
    EXPECT_TRUE(told(L"別のマスターパスワードで保護されています"));
    EXPECT_TRUE(told(L"マスターパスワードで保護して以下のファイルに保存しました"));

    // The same at the end of the session, where nothing is asked.
    addedHereOver(theirs);
    EXPECT_TRUE(fake::querySessionEnd());
    EXPECT_TRUE(fake::messageBoxes.empty() && fake::dialogsRun.empty());
    EXPECT_EQ(keptAside(), ours);

    // Left plain by another PC: clear text only when the user says so.
    addedHereOver(plain);
    exitProgram(); // No, the default
    EXPECT_TRUE(told(L"この一覧も保護せずに（だれでも読める形で）保存しますか？"));
    EXPECT_EQ(fake::files[dataPath], plain);
    EXPECT_EQ(keptAside(), ours);
    addedHereOver(plain);
    fake::answers = {platform::mb::answerYes};
    exitProgram();
    EXPECT_EQ(fake::files[dataPath],
              fake::dataFile({record("A"), record(fake::sjis("新しいアイテム - 2")), record("Y")}));
}

TEST_F(ProtectionTest, ADeclinedActivationAsksAgainOnlyOnceTheFileChangesAndItsKeyDropsAnUpgrade) {
    openProtected({record("A")});
    upgradeKey = fake::masterKey("pw", 2000); // the old password's, pending
    otherPcWrites(fake::protectedFile({record("A"), record("Y")}, "other"));
    fake::typedPasswords = {std::nullopt};
    activate();
    activate();
    EXPECT_EQ(fake::dialogsRun.size(), 1u);
    otherPcWrites(fake::protectedFile({record("A"), record("Z")}, "other"));
    fake::typedPasswords = {L"other"};
    activate();
    EXPECT_EQ(fake::dialogsRun.size(), 2u);
    EXPECT_EQ(view.items, (std::vector<std::string>{"A", "Z"}));
    // The next save writes with the key taken in.
    dispatchCommand(IDM_NEW, 0);
    exitProgram();
    EXPECT_EQ(fake::plainOf(fake::files[dataPath], fake::masterKey("other")),
              fake::dataFile({record("A"), record("Z"), record(fake::sjis("新しいアイテム - 3"))}));
}

TEST_F(ProtectionTest, TheActiveWindowOpensAFileProtectedElsewhereAndAChangeHereStandsOverIt) {
    openProtected({record("A")});
    otherPcWrites(fake::protectedFile({record("A"), record("Y")}, "other"));
    fake::typedPasswords = {L"other"};
    activate();
    EXPECT_EQ(view.items, (std::vector<std::string>{"A", "Y"}));
    EXPECT_TRUE(sameKey(heldKey, fake::masterKey("other")));
    EXPECT_EQ(fake::writes, 0);

    // Changed here while another PC protected it with yet another password:
    // its entries are taken in, and the password set here is the one written.
    otherPcWrites(fake::protectedFile({record("A"), record("Y"), record("Z")}, "third"));
    fake::typedPasswords = {L"third"};
    fake::messageBoxes.clear();
    masterPassword([] { type(L"other", L"new", L"new"); });
    EXPECT_EQ(fake::plainOf(fake::files[dataPath], heldKey),
              fake::dataFile({record("A"), record("Y"), record("Z")}));
    EXPECT_NE(readProtectedFile(fake::files[dataPath]).salt, fake::masterKey("third").key.salt);
    ASSERT_EQ(fake::messageBoxes.size(), 2u);
    EXPECT_TRUE(told(L"ここで設定したとおりに保存しました"));
    EXPECT_TRUE(told(L"マスターパスワードを変更しました", 1));
}

// A list kept aside goes back over PASSWORD.TXT by a merge when the file
// changed since the list's base, and whole when it did not. Here PC B held
// the plain file, added an entry and kept its list in clear when it could
// not open PC A's protected save; then A starts and puts it back.
TEST_F(ProtectionTest, AKeptListGoesBackByAMergeWhenTheFileChangedSinceItsBase) {
    const EntryRecord x = record("X"), fromA = record("A-new");
    const EntryRecord fromB = record(fake::sjis("新しいアイテム - 2"));
    // B's list kept plain, or protected (its base keyed), when A protected
    // the file with another password; and plain while nothing changed.
    for (int variant : {0, 1, 2}) {
        const bool changed = variant != 1, keptProtected = variant == 2;
        SCOPED_TRACE(variant);
        SetUp();
        if (keptProtected)
            openProtected({x});
        else
            open({x});
        dispatchCommand(IDM_NEW, 0);
        if (changed) {
            otherPcWrites(fake::protectedFile({x, fromA}, keptProtected ? "other" : "pw"));
            fake::typedPasswords = {std::nullopt};
            exitProgram();
        } else {
            fake::failing[dataPath] = platform::FileError::InUse;
            EXPECT_TRUE(fake::querySessionEnd(true));
            fake::endSession();
        }
        const std::wstring kept = dataPath + L".tmp";
        ASSERT_EQ(keptProtected ? fake::plainOf(fake::files[kept], fake::masterKey("pw"))
                                : fake::files[kept],
                  fake::dataFile({x, fromB}));
        ASSERT_TRUE(fake::files.count(kept + L".base"));

        const auto files = fake::files;
        const auto times = fake::fileTimes;
        startOver("", {keptProtected ? L"other" : L"pw", L"pw"});
        fake::files = files;
        fake::fileTimes = times;
        fake::answers = {platform::mb::answerYes}; // put it back
        MasterKey key;
        view.whileWindowRuns = [&] {
            key = heldKey;
            dispatchCommand(IDM_EXIT, 0);
        };
        EXPECT_EQ(startUp(), 1);
        EXPECT_TRUE(told(kept));
        if (changed) {
            EXPECT_EQ(fake::plainOf(fake::files[dataPath], key), fake::dataFile({x, fromB, fromA}));
            EXPECT_EQ(bool(std::count(fake::wiped.begin(), fake::wiped.end(), kept)),
                      !keptProtected);
        } else {
            EXPECT_EQ(fake::files[dataPath], fake::dataFile({x, fromB}));
        }
        EXPECT_FALSE(fake::files.count(kept) || fake::files.count(kept + L".base"));
    }
}

// A password is changed because it leaked: the backup, the list as this run
// found it, opens with the new one only, and its old bytes are wiped.
TEST_F(ProtectionTest, AChangeOfThePasswordProtectsTheBackupWithTheNewOne) {
    openProtected({record("A", "", "secret")});
    const std::string found = fake::plainOf(fake::files[dataPath], fake::masterKey("pw"));
    dispatchCommand(IDM_NEW, 0);
    masterPassword([] { type(L"pw", L"new", L"new"); });
    EXPECT_EQ(box(0), L"マスターパスワードを変更しました。");
    EXPECT_EQ(fake::plainOf(fake::files[backupPath], heldKey), found);
    EXPECT_EQ(fake::plainOf(fake::files[backupPath], fake::masterKey("pw")), "");
    EXPECT_EQ(fake::wiped, std::vector<std::wstring>{backupPath});
}

// The activation asks for the password of a file protected elsewhere, and
// the user closes Keyloom meanwhile: the question is closed as declined, and
// the exit saves once, asking its own question only after that one is gone.
TEST_F(ProtectionTest, AnExitInsideAQuestionClosesItFirstAndSavesOnce) {
    const std::string theirs = fake::protectedFile({record("A"), record("Y")}, "other");
    const std::string newTitle = fake::sjis("新しいアイテム - 2");
    for (bool typed : {false, true}) {
        SCOPED_TRACE(typed ? "the exit's question answered" : "both declined");
        SetUp();
        openProtected({record("A")});
        dispatchCommand(IDM_NEW, 0);
        otherPcWrites(theirs);
        fake::whileDialogOpen = [] {
            dispatchCommand(platform::notify::cancel, 0);
            EXPECT_EQ(life(), Life::ExitAsked);
            EXPECT_EQ(entryList.count(), 2);
        };
        if (typed)
            fake::typedPasswords = {L"other"};
        activate();
        EXPECT_EQ(fake::dialogsRun.size(), 2u);
        EXPECT_EQ(fake::questionsDeepest, 1u);
        EXPECT_EQ(life(), Life::Released);
        EXPECT_EQ(view.endedWith, 1);
        if (typed) {
            EXPECT_EQ(fake::plainOf(fake::files[dataPath], fake::masterKey("other")),
                      fake::dataFile({record("A"), record(newTitle), record("Y")}));
            EXPECT_FALSE(fake::files.count(dataPath + L".tmp"));
        } else {
            EXPECT_EQ(fake::files[dataPath], theirs);
            EXPECT_EQ(fake::plainOf(fake::files[dataPath + L".tmp"], fake::masterKey("pw")),
                      fake::dataFile({record("A"), record(newTitle)}));
            ASSERT_EQ(fake::messageBoxes.size(), 1u);
            EXPECT_TRUE(told(L"マスターパスワードで保護して以下のファイルに保存しました"));
        }
    }
}

} // namespace
