// Import and export as the user runs them, over the fake platform: the
// dialogs, the list and PASSWORD.TXT afterwards, and the end of the session
// or a lock inside a dialog.
#include "support/keyloom_fixture.h"

#include "store/import_export.h"

#include <string>
#include <vector>

namespace {

using fake::record;
using fake::view;
using Items = std::vector<std::string>;

const std::wstring csvPath = L"C:\\Users\\me\\Downloads\\passwords.csv";
const std::wstring exportPath = L"C:\\Users\\me\\Documents\\keyloom-export.csv";
const EntryRecord a = record("A", "id", "secret"), b = record("B");

// A new entry with a two-line note, B as the user has just edited it, a
// password with a character that code page 932 lacks, and a title with one.
const std::string csv = "name,url,username,password,note\r\n"
                        "Shop,https://shop.example/,taro,pw1,\"line 1\nline 2\"\r\n"
                        "B,,bob,,\r\n"
                        "Bad,,u,p\xE2\x82\xAC,\r\n" // €
                        "Caf\xC3\xA9,,c,pw3,\r\n";  // é

std::wstring label(int id) { return fake::dialog.labels[id]; }

class ExchangeTest : public KeyloomTest {
  protected:
    void SetUp() override {
        KeyloomTest::SetUp();
        fake::files[csvPath] = csv;
    }
    // The command, with csvPath chosen to import and the import dialog
    // answered with button (0: left as it opens).
    static void run(int command, int button = 0) {
        if (command == IDM_IMPORT)
            fake::chosenFiles = {csvPath};
        if (button)
            fake::whileDialogOpen = [button] { fake::dialogCommand(button); };
        dispatchCommand(command, 0);
    }
};

TEST_F(ExchangeTest, AnImportAppendsTheNewEntriesSelectsTheFirstAndSavesOnce) {
    open({a, b});
    select(1);
    fake::edit(IDC_USER_ID, L"bob"); // compared as stored: B's row is a duplicate
    run(IDM_IMPORT, platform::notify::ok);
    EXPECT_EQ(label(IDC_IMPORT_ADDED) + label(IDC_IMPORT_DUPLICATES) + label(IDC_IMPORT_REFUSED) +
                  label(IDC_IMPORT_CHANGED),
              fake::wide("2 件1 件1 件1 件"));
    EXPECT_EQ(label(IDC_IMPORT_ROWS),
              fake::wide("5 行目「Bad」: インポートできません。パスワードに保存できない文字（€）"
                         "があります。\r\n6 行目「Caf?」: タイトルの保存できない文字（é）を「?」に"
                         "置き換えます。\r\n"));
    EXPECT_EQ(fake::dialog.defaultButton, platform::notify::cancel); // a row is refused
    // At the end in the file's order, the first selected, saved at once.
    EXPECT_EQ(view.items, (Items{"A", "B", "Shop", "Caf?"}));
    EXPECT_EQ(view.selection, 2);
    EXPECT_EQ(fake::files[dataPath],
              fake::dataFile(
                  {a, record("B", "bob"),
                   record("Shop", "taro", "pw1", "https://shop.example/", "", "line 1\r\nline 2"),
                   record("Caf?", "c", "pw3")}));
    EXPECT_EQ(fake::writes, 1);
    EXPECT_TRUE(told(fake::wide("2 件のアイテムを一覧の最後に追加して、保存しました。")));

    // The same file again adds nothing, and offers only キャンセル.
    run(IDM_IMPORT);
    EXPECT_EQ(label(IDC_IMPORT_ADDED) + label(IDC_IMPORT_DUPLICATES), fake::wide("0 件3 件"));
    EXPECT_TRUE(fake::dialog.disabled[platform::notify::ok]);
    EXPECT_EQ(fake::writes, 1);
}

TEST_F(ExchangeTest, AFileThatCannotBeImportedIsToldAndChangesNothing) {
    const std::pair<std::string, const char*> cases[] = {
        {"\xEF\xBB\xBF\r\n \r\n\t", "空です"},
        {"name,url,username,password,note\r\n", "見出しの行しかなく"},
        {std::string("name\r\nA") + '\0', "テキストファイルではありません"},
        {"Dear shop,  thanks \r\n", "見つかった列: Dear shop, thanks\n"}, // names trimmed
        {"name,password\r\nA,\"open\r\n", "2 行目で「\"」で始まる値"},
        {std::string(importSizeLimit + 1, 'a'), "大きすぎるため（64.1 MB）"},
        {"held", "表計算ソフトなど"},
    };
    open({a, b});
    for (const auto& [bytes, message] : cases) {
        SCOPED_TRACE(message);
        fake::messageBoxes.clear();
        fake::files[csvPath] = bytes;
        if (bytes == "held")
            fake::failing[csvPath] = platform::FileError::InUse;
        run(IDM_IMPORT, platform::notify::ok);
        EXPECT_TRUE(told(fake::wide(message)));
        EXPECT_TRUE(told(L"\n" + csvPath));
        EXPECT_TRUE(fake::dialogsRun.empty());
        EXPECT_EQ(fake::writes, 0);
        EXPECT_EQ(entryList.count(), 2);
    }
}

// The warning's いいえ (the default) writes nothing; はい, the list goes
// out through a temporary file.
TEST_F(ExchangeTest, AnExportWritesTheListThroughATemporaryFile) {
    open({record("A", "id", "p\"w", "", "", "line 1\r\nline 2")});
    select(0);
    fake::edit(IDC_USER_ID, L"typed"); // what the screen shows goes out
    std::vector<std::wstring> written;
    fake::afterWrite = [&](const std::wstring& path) { written.push_back(path); };
    fake::chosenFiles = {exportPath, exportPath};
    fake::answers = {platform::mb::answerNo, platform::mb::answerYes};
    dispatchCommand(IDM_EXPORT, 0);
    EXPECT_TRUE(fake::messageBoxes[0].style & platform::mb::defaultSecond);
    EXPECT_TRUE(fake::fileDialogsRun.empty() && written.empty());
    dispatchCommand(IDM_EXPORT, 0);
    EXPECT_EQ(fake::fileDialogsRun, std::vector<std::wstring>{L"save keyloom-export.csv"});
    EXPECT_EQ(fake::files[exportPath],
              "\xEF\xBB\xBFname,url,username,password,note,email\r\n"
              "\"A\",\"\",\"typed\",\"p\"\"w\",\"line 1\r\nline 2\",\"\"\r\n");
    EXPECT_EQ(written, std::vector<std::wstring>{exportPath + L".tmp"});
    EXPECT_EQ(fake::files.count(exportPath + L".tmp"), 0u);
}

// The end of the session saves while the user goes on in a dialog: what
// the user chooses there afterwards comes too late, and the command leaves
// the list alone. (An exit or a lock closes the dialog first.)
TEST_F(ExchangeTest, WhatIsChosenAfterTheSessionsEndOrALockComesTooLate) {
    for (int where : {IDM_IMPORT, IDM_EXPORT, 0}) { // 0: in the import dialog
        SCOPED_TRACE(where);
        SetUp();
        openProtected({a, b});
        fake::answers = {platform::mb::answerYes};
        fake::chosenFiles = {where == IDM_EXPORT ? exportPath : csvPath};
        (where ? fake::whileFileDialogOpen : fake::whileDialogOpen) = [&] {
            fake::querySessionEnd();
            if (!where)
                fake::dialogCommand(platform::notify::ok);
        };
        dispatchCommand(where ? where : IDM_IMPORT, 0);
        EXPECT_EQ(life(), Life::SessionEnding);
        EXPECT_EQ(fake::plainOf(fake::files[dataPath], fake::masterKey("pw")),
                  fake::dataFile({a, b}));
        EXPECT_EQ(fake::files.count(exportPath) + fake::dialogsRun.size(), where ? 0u : 1u);
    }
    EXPECT_EQ(view.items, (Items{"A", "B"})); // the user's インポート came too late

    // A lock leaves the export's warning open; its はい comes too late.
    SetUp();
    openProtected({a, b});
    fake::answers = {platform::mb::answerYes};
    fake::chosenFiles = {exportPath};
    fake::duringMessageBox = [] { dispatchCommand(IDM_LOCK, 0); };
    dispatchCommand(IDM_EXPORT, 0);
    EXPECT_EQ(life(), Life::Locked);
    EXPECT_TRUE(fake::fileDialogsRun.empty());
    EXPECT_EQ(fake::files.count(exportPath), 0u);
}

} // namespace
