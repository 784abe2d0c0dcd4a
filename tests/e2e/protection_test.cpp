// The master password under Wine: set through its dialog, what that leaves
// in the folder, and the starts that follow (a wrong password, キャンセル,
// the right one). Given a folder as its argument (support/read-protected.sh
// gives one), it leaves there the protected PASSWORD.TXT that keyloom.exe
// wrote, the plain bytes it must hold and the password, for
// tools/read-protected to read.
#include "support/keyloom_driver.h"
#include "support/reader_handoff.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using e2e::Keyloom;

namespace {

// The id of resource.h: the start-up prompt's field.
constexpr int masterPassword = 246;

// Japanese, and a character beyond the BMP (a surrogate pair in UTF-16).
const std::string password = "鍵の合言葉 orchid \U0001F511";

const std::vector<e2e::Entry> entries = {
    {"オーキッド銀行", "orchid-user-7731", "Zq7#pass-orchid", "https://bank.example/orchid",
     "orchid7731@mail.example", "暗証番号は手帳の十二頁\r\nsecond orchid line"},
    {"Lantern mail", "lantern-9042", "lantern-Pw-55&", "", "lantern9042@mail.example", ""},
};

// Starts Keyloom over its protected file and answers the dialog that asks
// for the master password with typed.
void startWithPassword(Keyloom& k, const std::string& typed) {
    k.startOnly();
    HWND prompt = k.dialog(masterPassword, 20000);
    ASSERT_TRUE(prompt) << "no master password asked for at the start";
    e2e::typeInto(prompt, masterPassword, typed);
    PostMessageW(prompt, WM_COMMAND, IDOK, 0);
}

TEST(Protection, SetThroughTheDialogItLeavesNoFieldTextInTheFolderAndOpensOnlyWithThePassword) {
    const std::string folder = e2e::freshFolder("protection");
    {
        Keyloom k(folder, e2e::dataFile(entries));
        ASSERT_TRUE(k.start());
        ASSERT_TRUE(k.setMasterPassword(password));
        EXPECT_EQ(k.exitByMenu(), 1u);
    }
    const std::string file = e2e::readFile(folder + "\\PASSWORD.TXT");
    ASSERT_EQ(file.rfind("KEYLOOM-PROTECTED1\r\n-1\r\n", 0), 0u) << "PASSWORD.TXT is not protected";
    for (const std::string& name : e2e::filesIn(folder)) {
        const std::string bytes = name == "keyloom.exe" ? "" : e2e::readFile(folder + "\\" + name);
        for (const e2e::Entry& e : entries)
            for (const std::string* text : {&e.title, &e.userId, &e.password, &e.address, &e.mail})
                EXPECT_TRUE(text->empty() || (bytes.find(e2e::sjis(*text)) == std::string::npos &&
                                              bytes.find(*text) == std::string::npos))
                    << name << " holds " << *text;
    }

    // A wrong password is told and asked again; キャンセル ends it with the
    // file untouched.
    {
        Keyloom k(folder);
        ASSERT_NO_FATAL_FAILURE(startWithPassword(k, "orchid"));
        HWND box = k.messageBox(60000);
        ASSERT_TRUE(box) << "a wrong password was not told";
        EXPECT_EQ(e2e::fromSjis(k.messageText(box)), "マスターパスワードが違います。");
        k.answer(box, IDOK);
        PostMessageW(k.dialog(masterPassword), WM_COMMAND, IDCANCEL, 0);
        EXPECT_EQ(k.waitForExit(), 0u);
    }
    EXPECT_EQ(e2e::readFile(folder + "\\PASSWORD.TXT"), file);

    // The right one shows the entries.
    {
        Keyloom k(folder);
        ASSERT_NO_FATAL_FAILURE(startWithPassword(k, password));
        ASSERT_TRUE(k.waitForWindow(60000));
        EXPECT_EQ(k.items(), (std::vector<std::string>{e2e::sjis(entries[0].title),
                                                       e2e::sjis(entries[1].title)}));
        EXPECT_EQ(k.exitByMenu(), 1u);
    }
    // Nothing changed: nothing written, not even a new nonce.
    EXPECT_EQ(e2e::readFile(folder + "\\PASSWORD.TXT"), file);

    e2e::handToReader(file, e2e::dataFile(entries), password);
}

} // namespace
