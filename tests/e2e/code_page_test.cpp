// Keyloom on every Windows: the same Japanese on the screen and the same
// bytes on disk whatever the system's code page. CTest runs this under code
// page 932 and again under a Western 1252; each case also runs a build whose
// manifest asks for UTF-8 (65001), as Windows' "Use Unicode UTF-8 for
// worldwide language support" does.
#include "support/keyloom_driver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using e2e::Keyloom;

namespace {

// Bytes other programs write: a lead byte without a trail byte, bytes that
// are no character, and NEC and IBM codes that Windows reads as the same
// characters as others. None of them comes back the same through Unicode.
const std::string odd = "\x81 a\x80\xA0\xFD\x87\x90\xED\x40";

const std::vector<e2e::Entry> entries{
    {"銀行口座", "山田-0123", "パスワード", "https://銀行.example/", "taro@例え.jp",
     "暗証番号は別\r\n二行目"},
    {"Web メール", "user", "pw2"},
    {"ODD", "ODD", "ODD", "ODD", "ODD", "ODD\r\nODD"},
};

// The data file of entries, with the odd bytes where they say ODD.
std::string dataFile() {
    std::string file = e2e::dataFile(entries);
    for (std::size_t at; (at = file.find("ODD")) != std::string::npos;)
        file.replace(at, 3, odd);
    return file;
}

class CodePages : public ::testing::TestWithParam<const char*> {};

// Selects list item index as a click would, without waiting: a message box
// may come up inside the selection change.
void selectLater(Keyloom& k, int index) {
    SendMessageW(k.control(200), LB_SETCURSEL, index, 0);
    PostMessageW(k.window, WM_COMMAND, MAKEWPARAM(200, LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(k.control(200)));
}

TEST_P(CodePages, ViewingEveryEntryLeavesTheFileByteIdentical) {
    const std::string file = dataFile();
    Keyloom k(e2e::freshFolder("view"), file, e2e::Program{GetParam()});
    ASSERT_TRUE(k.start());
    ASSERT_EQ(k.items().size(), 3u);
    EXPECT_EQ(e2e::wideText(k.control(201)), L"銀行口座");
    EXPECT_EQ(k.items()[1], e2e::sjis("Web メール"));
    for (int i : {0, 1, 2, 1, 0, 2}) {
        k.select(i);
        if (i < 2) {
            const e2e::Entry& e = entries[i];
            EXPECT_EQ(k.text(201), e2e::sjis(e.title));
            EXPECT_EQ(k.text(202), e2e::sjis(e.userId));
            EXPECT_EQ(k.text(204), e2e::sjis(e.address));
            EXPECT_EQ(k.text(206), e2e::sjis(e.memo));
        }
    }
    // Copies and moves store the editor too.
    k.command(109);
    k.command(105);
    k.command(106);
    EXPECT_EQ(k.exitByMenu(), 1u);
    EXPECT_EQ(e2e::readFile(k.dataFile()), file);
}

TEST_P(CodePages, RunsFromAFolderNoCodePageSpells) {
    std::string folder = e2e::freshFolder("Müller-Ωフォルダ");
    Keyloom k(folder, e2e::dataFile({entries[0]}), e2e::Program{GetParam()});
    ASSERT_TRUE(k.start());
    EXPECT_EQ(k.items(), std::vector<std::string>{e2e::sjis("銀行口座")});
    k.paste(206, e2e::sjis("メモ"));
    EXPECT_EQ(k.exitByMenu(), 1u);
    e2e::Entry changed = entries[0];
    changed.memo = "メモ";
    EXPECT_EQ(e2e::readFile(k.dataFile()), e2e::dataFile({changed}));
    EXPECT_TRUE(e2e::fileExists(folder + "\\INITIAL.TXT"));
}

TEST_P(CodePages, InputPastALimitIsRefusedAndLostCharactersAreTold) {
    Keyloom k(e2e::freshFolder("limits"), e2e::dataFile({entries[0], entries[1]}),
              e2e::Program{GetParam()});
    ASSERT_TRUE(k.start());
    std::string kana;
    for (int i = 0; i < 5000; ++i)
        kana += "あ";

    // Pasted Japanese: 511 characters are 1022 bytes, one more would not
    // fit; typed ASCII fills the last byte and no more.
    k.paste(201, e2e::sjis(kana.substr(0, 1100 * 3)));
    std::string title = e2e::sjis(kana.substr(0, 511 * 3));
    EXPECT_EQ(k.text(201), title);
    EXPECT_EQ(k.items()[0], title);
    k.type(201, "ab");
    EXPECT_EQ(k.text(201), title + "a");
    k.paste(206, e2e::sjis(kana));
    std::string memo = e2e::sjis(kana.substr(0, 4095 * 3));
    EXPECT_EQ(k.text(206), memo);
    k.type(206, "yz");
    EXPECT_EQ(k.text(206), memo + "y");
    // Typed before the stored text (the caret stands at its start): the
    // input is refused, never the text after it.
    k.type(203, std::string(1030, 'p'));
    std::string password = std::string(1013, 'p') + e2e::sjis("パスワード");
    EXPECT_EQ(k.text(203), password);

    // A character the file cannot hold: the user is told which, in which
    // field, and the field shows what was stored.
    k.select(1);
    k.type(203, "é");
    selectLater(k, 0);
    HWND box = k.messageBox();
    ASSERT_TRUE(box) << "no word of the lost character";
    std::wstring text = e2e::wideText(GetDlgItem(box, 0xFFFF));
    EXPECT_NE(text.find(L"パスワード: é"), std::wstring::npos);
    k.answer(box, IDOK);
    k.select(1);
    EXPECT_EQ(k.text(203), "?pw2");

    EXPECT_EQ(k.exitByMenu(), 1u);
    e2e::Entry first = entries[0], second = entries[1];
    first.title = e2e::fromSjis(title + "a");
    first.password = e2e::fromSjis(password);
    first.memo = e2e::fromSjis(memo + "y");
    second.password = "?pw2";
    EXPECT_EQ(e2e::readFile(k.dataFile()), e2e::dataFile({first, second}));
}

INSTANTIATE_TEST_SUITE_P(Builds, CodePages, ::testing::Values(KEYLOOM_EXE, KEYLOOM_UTF8_EXE),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.index == 0 ? "SystemCodePage"
                                                                : "Utf8Manifest");
                         });

} // namespace
