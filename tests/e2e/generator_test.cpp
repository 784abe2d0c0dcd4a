// The create-password command under Wine: the key button and the menu item
// on the real password field, the question before a password is replaced,
// and what the settings file asks for.
#include "support/keyloom_driver.h"

#include <gtest/gtest.h>

#include <string>

using e2e::Keyloom;

namespace {

const std::string bankWithoutPassword = "KEYLOOM1\r\n1\r\nBank\r\nuser\r\n\r\n\r\n\r\n1\r\n\r\n";
const std::string bankWithPassword = "KEYLOOM1\r\n1\r\nBank\r\nuser\r\nold\r\n\r\n\r\n1\r\n\r\n";

const char* const replaceQuestion = "すでにパスワードが設定されています。\n"
                                    "現在のパスワードを新しいパスワードで置き換えますか？";

bool onlyFrom(const std::string& text, const std::string& alphabet) {
    return text.find_first_not_of(alphabet) == std::string::npos;
}

const std::string digitsAndLowercase = "0123456789abcdefghijklmnopqrstuvwxyz";

TEST(CreatePassword, KeyButtonFillsAnEmptyFieldAndAsksBeforeReplacing) {
    Keyloom k(e2e::freshFolder("key"), bankWithoutPassword);
    ASSERT_TRUE(k.start());
    k.command(214); // an empty field is filled without a question
    std::string first = k.text(203);
    EXPECT_EQ(first.size(), 8u);
    EXPECT_TRUE(onlyFrom(first, digitsAndLowercase)) << first;

    k.command(214, false);
    HWND box = k.messageBox();
    ASSERT_TRUE(box) << "no question before the password was replaced";
    EXPECT_EQ(k.messageText(box), e2e::sjis(replaceQuestion));
    EXPECT_EQ(GetWindow(box, GW_OWNER), k.window);
    k.answer(box, IDNO);
    EXPECT_EQ(k.text(203), first);

    k.command(128, false); // the menu item does the same
    box = k.messageBox();
    ASSERT_TRUE(box) << "no question from the menu item";
    k.answer(box, IDYES);
    std::string second = k.text(203);
    EXPECT_EQ(second.size(), 8u);
    EXPECT_TRUE(onlyFrom(second, digitsAndLowercase)) << second;
    EXPECT_NE(second, first);

    EXPECT_EQ(k.exitByMenu(), 1u);
    EXPECT_EQ(e2e::readFile(k.dataFile()),
              "KEYLOOM1\r\n1\r\nBank\r\nuser\r\n" + second + "\r\n\r\n\r\n1\r\n\r\n");
}

TEST(CreatePassword, SettingsChooseLengthAndKinds) {
    // A length beyond the field (only a hand-edited file holds one) gives
    // as much as the field takes; uppercase alone gives only uppercase.
    Keyloom k(e2e::freshFolder("settings"), bankWithoutPassword);
    e2e::writeFile(k.settingsFile(), "-999\r\n-999\r\n1\r\n1\r\n5000\r\n0\r\n0\r\n1\r\n");
    ASSERT_TRUE(k.start());
    k.command(214);
    std::string password = k.text(203);
    EXPECT_EQ(password.size(), 1023u);
    EXPECT_TRUE(onlyFrom(password, "ABCDEFGHIJKLMNOPQRSTUVWXYZ"));
    EXPECT_EQ(k.exitByMenu(), 1u);
}

TEST(CreatePassword, NoKindOfCharacterIsExplainedAndTheFieldKept) {
    Keyloom k(e2e::freshFolder("no-kind"), bankWithPassword);
    e2e::writeFile(k.settingsFile(), "-999\r\n-999\r\n1\r\n1\r\n8\r\n0\r\n0\r\n0\r\n");
    ASSERT_TRUE(k.start());
    k.command(214, false);
    HWND box = k.messageBox();
    ASSERT_TRUE(box) << "nothing told the user that no kind of character is chosen";
    EXPECT_EQ(k.messageText(box), e2e::sjis("パスワードに使う文字の種類が選ばれていません。\n"
                                            "「オプション」で文字の種類を選んでください。"));
    k.answer(box, IDOK);
    EXPECT_EQ(k.text(203), "old");
    EXPECT_EQ(k.exitByMenu(), 1u);
    EXPECT_EQ(e2e::readFile(k.dataFile()), bankWithPassword);
}

} // namespace
