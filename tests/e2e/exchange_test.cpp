// Import and export under Wine, through the real common dialogs: a CSV file
// imported, PASSWORD.TXT after it and after the exit, the list exported and
// read back byte by byte; and a lock that closes the open dialog.
#include "support/keyloom_driver.h"

#include <gtest/gtest.h>

#include <string>

using e2e::Keyloom;

namespace {

// The ids of resource.h, and the common dialogs' file name box (cmb13).
constexpr int lockCommand = 141, importCommand = 143, exportCommand = 144, importAdded = 253,
              fileNameBox = 0x47C;

std::string text(HWND window) { return e2e::fromSjis(e2e::windowText(window)); }

// The common file dialog over the main window, once it is there.
HWND fileDialog(const Keyloom& k) {
    HWND dialog = k.dialog(fileNameBox);
    EXPECT_TRUE(dialog && GetWindow(dialog, GW_OWNER) == k.window) << "no file dialog";
    return dialog;
}

// The edit inside the file name box, where the user types.
HWND fileNameField(HWND dialog) {
    HWND field = GetDlgItem(dialog, fileNameBox);
    wchar_t name[16] = L"";
    while (field && GetClassNameW(field, name, 16) && lstrcmpiW(name, L"Edit"))
        field = GetWindow(field, GW_CHILD);
    return field;
}

// Types path into the file dialog and presses 開く or 保存.
void choose(HWND dialog, const std::string& path) {
    SendMessageW(fileNameField(dialog), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(e2e::wide(path).c_str()));
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
}

// A new entry whose note holds a comma, quotes and a line break; the entry
// Keyloom has already; a password with a character code page 932 lacks.
const std::string browserCsv =
    "name,url,username,password,note\r\n"
    "ネット銀行,https://bank.example/,花子,p\"w,\"暗証, \"\"4桁\"\"\n2行目\"\r\n"
    "Mail,,taro,pw-2,\r\n"
    "Euro,,u,p\xE2\x82\xAC,\r\n";

TEST(Exchange, ImportThenExportThroughTheCommonDialogs) {
    const std::string folder = e2e::freshFolder("exchange");
    Keyloom k(folder, e2e::dataFile({{"Mail", "taro", "pw-2"}}));
    e2e::writeFile(folder + "\\書き出し.csv", browserCsv);
    ASSERT_TRUE(k.start());
    k.command(importCommand, false);
    HWND open = fileDialog(k);
    ASSERT_TRUE(open);
    choose(open, folder + "\\書き出し.csv");
    HWND dialog = k.dialog(importAdded);
    ASSERT_TRUE(dialog) << "no import dialog";
    EXPECT_EQ(text(GetDlgItem(dialog, importAdded)), "1 件");
    // A row is refused: キャンセル is the default, and has the focus.
    EXPECT_EQ(LOWORD(SendMessageW(dialog, DM_GETDEFID, 0, 0)), IDCANCEL);
    EXPECT_EVENTUALLY(k.focused() == GetDlgItem(dialog, IDCANCEL));
    SendMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    k.answer(k.messageBox(), IDOK); // added and saved

    k.command(exportCommand, false);
    ASSERT_TRUE(k.messageBox()) << "no warning before the export";
    k.answer(k.messageBox(), IDYES);
    HWND save = fileDialog(k);
    ASSERT_TRUE(save);
    EXPECT_EQ(text(fileNameField(save)), "keyloom-export.csv");
    choose(save, folder + "\\keyloom-export.csv");
    k.answer(k.messageBox(), IDOK); // exported
    EXPECT_EQ(e2e::readFile(folder + "\\keyloom-export.csv"),
              "\xEF\xBB\xBFname,url,username,password,note,email\r\n"
              "\"Mail\",\"\",\"taro\",\"pw-2\",\"\",\"\"\r\n"
              "\"ネット銀行\",\"https://bank.example/\",\"花子\",\"p\"\"w\","
              "\"暗証, \"\"4桁\"\"\r\n2行目\",\"\"\r\n");
    EXPECT_EQ(k.exitByMenu(), 1u);
    EXPECT_EQ(e2e::readFile(k.dataFile()),
              e2e::dataFile({{"Mail", "taro", "pw-2"},
                             {"ネット銀行", "花子", "p\"w", "https://bank.example/", "",
                              "暗証, \"4桁\"\r\n2行目"}}));
}

// The open dialog counts among Keyloom's dialogs: a lock closes it as
// キャンセル does, and the list is saved as it was.
TEST(Exchange, ALockClosesTheOpenDialog) {
    const std::string folder = e2e::freshFolder("exchange-lock");
    Keyloom k(folder, e2e::dataFile({{"Mail", "taro", "pw-2"}}));
    ASSERT_TRUE(k.start());
    ASSERT_TRUE(k.setMasterPassword("lock"));
    const std::string locked = e2e::readFile(k.dataFile());

    k.command(importCommand, false);
    HWND open = fileDialog(k);
    ASSERT_TRUE(open);
    k.command(lockCommand, false);
    EXPECT_EVENTUALLY(!IsWindow(open));
    EXPECT_EVENTUALLY(k.items().empty());
    EXPECT_FALSE(k.dialog(importAdded, 1000)) << "the import went on past the lock";
    EXPECT_EQ(k.exitByMenu(), 1u);
    EXPECT_EQ(e2e::readFile(k.dataFile()), locked);
}

} // namespace
