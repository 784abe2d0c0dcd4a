// The password generator: the reproducible source against its known values,
// the alphabet and length rules, the unbiased choice over the cryptographic
// source, and the create-password command over the fake main window.
#include "generator/generator.h"
#include "support/keyloom_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <set>
#include <string>
#include <vector>

namespace {

using fake::record;
using fake::view;

const std::string digits = "0123456789";
const std::string lowercase = "abcdefghijklmnopqrstuvwxyz";
const std::string uppercase = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";

void useKinds(int d, int l, int u) {
    settings.useDigits = d;
    settings.useLowercase = l;
    settings.useUppercase = u;
}

// generatePassword into a buffer of exactly the documented size, so that
// the sanitizers see a write past it.
std::string generate(std::uint32_t seed) {
    std::vector<char> buffer(passwordBufferSize, '?');
    return generatePassword(buffer.data(), seed);
}

bool onlyFrom(const std::string& text, const std::string& alphabet) {
    return text.find_first_not_of(alphabet) == std::string::npos;
}

class GeneratorTest : public KeyloomTest {};

TEST_F(GeneratorTest, ReproducibleSourceGivesTheKnownSequences) {
    using Values = std::vector<int>;
    seedRandom(0);
    EXPECT_EQ((Values{nextRandom(), nextRandom(), nextRandom(), nextRandom()}),
              (Values{38, 7719, 21238, 2437}));
    seedRandom(1);
    EXPECT_EQ((Values{nextRandom(), nextRandom(), nextRandom(), nextRandom()}),
              (Values{41, 18467, 6334, 26500}));
}

TEST_F(GeneratorTest, CharactersAreTheAlphabetAtEachValueModuloItsLength) {
    // 38, 7719, 21238, 2437 modulo 36 are 2, 15, 34, 25.
    settings.passwordLength = 4;
    EXPECT_EQ(generate(0), "2fyp");
    // Modulo 62 they are 38, 31, 34, 19: uppercase follows lowercase.
    useKinds(1, 1, 1);
    EXPECT_EQ(generate(0), "Cvyj");

    // Every call starts from its seed, whatever was drawn in between.
    settings.passwordLength = 50;
    std::string first = generate(12345);
    seedRandom(99);
    nextRandom();
    EXPECT_EQ(generate(12345), first);
    EXPECT_NE(generate(12346), first);
}

TEST_F(GeneratorTest, EveryAlphabetOfTheTable) {
    struct Case {
        int d, l, u;
        std::string alphabet;
    } cases[] = {
        {1, 0, 0, digits},
        {0, 1, 0, lowercase},
        {0, 0, 1, uppercase},
        {1, 1, 0, digits + lowercase},
        {1, 0, 1, digits + uppercase},
        {0, 1, 1, lowercase + uppercase},
        {1, 1, 1, digits + lowercase + uppercase},
        {7, -1, 2, digits + lowercase + uppercase}, // any non-zero flag is on
        {0, 0, 0, ""},
    };
    settings.passwordLength = 1000;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.alphabet);
        useKinds(c.d, c.l, c.u);
        EXPECT_EQ(passwordAlphabet(), c.alphabet);
        std::string password = generate(0);
        if (c.alphabet.empty()) {
            EXPECT_EQ(password, "");
            EXPECT_EQ(nextRandom(), 38); // the seed is taken all the same
            continue;
        }
        ASSERT_EQ(password.size(), 1000u);
        EXPECT_EQ(password[0], c.alphabet[38 % c.alphabet.size()]);
        EXPECT_TRUE(onlyFrom(password, c.alphabet));
        // A thousand draws reach every character of the alphabet.
        EXPECT_EQ(std::set<char>(password.begin(), password.end()).size(), c.alphabet.size());
    }
}

TEST_F(GeneratorTest, LengthsAreKeptWithinTheField) {
    const std::pair<int, int> lengths[] = {{0, 0},       {-5, 0},      {1, 1},
                                           {1023, 1023}, {1024, 1023}, {2147483647, 1023}};
    for (auto [length, expected] : lengths) {
        settings.passwordLength = length;
        EXPECT_EQ(generate(3).size(), static_cast<std::size_t>(expected)) << length;
    }
}

// ---- The cryptographic source ----

// The limit below which a byte is taken for each alphabet length: the
// largest multiple of the length that a byte holds.
TEST_F(GeneratorTest, UnbiasedIndexRejectsBytesFromTheLimitUp) {
    for (auto [length, limit] : {std::pair{10, 250}, {26, 234}, {36, 252}, {52, 208}, {62, 248}}) {
        SCOPED_TRACE(length);
        fake::randomScript = {static_cast<unsigned char>(limit), 255,
                              static_cast<unsigned char>(limit - 1), 0};
        SecureBytes bytes;
        EXPECT_EQ(unbiasedIndex(length, bytes), length - 1); // the third byte
        EXPECT_EQ(unbiasedIndex(length, bytes), 0);
        EXPECT_FALSE(bytes.failed);
    }
}

// Pearson's statistic of counts that should all be draws / counts.size().
double chiSquared(const std::vector<long>& counts, long draws) {
    double expected = static_cast<double>(draws) / counts.size();
    double sum = 0;
    for (long c : counts)
        sum += (c - expected) * (c - expected) / expected;
    return sum;
}

// A uniform chooser gives a statistic of chi-squared with length - 1 degrees
// of freedom, which exceeds the threshold with probability 1e-9. Taking a
// byte modulo the length favours the first 256 % length indices; over these
// numbers of draws that shifts the statistic far beyond the threshold (the
// chance that such a chooser passes is below 1e-20).
TEST_F(GeneratorTest, UnbiasedIndexIsUniformWhereModuloIsNot) {
    struct Case {
        int length;
        long draws;
        double threshold;
    } cases[] = {
        {62, 62000, 152.02},  // chi-squared(61): P(> 152.02) = 1e-9
        {36, 180000, 110.31}, // chi-squared(35): P(> 110.31) = 1e-9
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        std::vector<long> unbiased(c.length), modulo(c.length);
        SecureBytes bytes;
        for (long i = 0; i < c.draws; ++i)
            ++unbiased[unbiasedIndex(c.length, bytes)];
        EXPECT_LT(chiSquared(unbiased, c.draws), c.threshold);

        // The same test has to catch the plain modulo of a byte.
        for (long i = 0; i < c.draws; ++i) {
            unsigned char b;
            ASSERT_TRUE(platform::randomBytes(&b, 1));
            ++modulo[b % c.length];
        }
        EXPECT_GT(chiSquared(modulo, c.draws), c.threshold);
    }
}

bool allZero(const unsigned char* begin, std::size_t size) {
    return std::all_of(begin, begin + size, [](unsigned char b) { return b == 0; });
}

// The destructors' wipes have to survive the compiler: these objects end
// here, in storage that the test still owns and reads.
TEST(SecretBuffers, AreWipedWhenTheyGo) {
    alignas(PasswordBuffer) unsigned char password[sizeof(PasswordBuffer)];
    PasswordBuffer* p = new (password) PasswordBuffer;
    std::memset(p->text, 'x', sizeof p->text);
    p->~PasswordBuffer();
    EXPECT_TRUE(allZero(password + offsetof(PasswordBuffer, text), passwordBufferSize));

    alignas(SecureBytes) unsigned char random[sizeof(SecureBytes)];
    SecureBytes* r = new (random) SecureBytes;
    ASSERT_TRUE(platform::randomBytes(r->block, sizeof r->block));
    r->used = 0;
    r->~SecureBytes();
    EXPECT_TRUE(allZero(random + offsetof(SecureBytes, block), sizeof(SecureBytes::block)));
}

// ---- The create-password command ----

class CreatePasswordTest : public KeyloomTest {
  protected:
    std::string passwordField() { return fake::shown(IDC_PASSWORD); }
};

TEST_F(CreatePasswordTest, EmptyFieldIsFilledWithoutAsking) {
    open({record("Bank", "user", "", "addr", "mail", "memo")});
    dispatchCommand(IDC_CREATE_PASSWORD, 0);
    EXPECT_EQ(passwordField().size(), 8u);
    EXPECT_TRUE(onlyFrom(passwordField(), digits + lowercase)) << passwordField();
    EXPECT_TRUE(fake::messageBoxes.empty());
    // Only the field changes; the record takes it when the editor is stored.
    EXPECT_EQ(entryList.records[0].password(), "");
    EXPECT_EQ(fake::shown(IDC_USER_ID), "user");
    EXPECT_EQ(fake::shown(IDC_MEMO), "memo");
    EXPECT_EQ(view.items, std::vector<std::string>{"Bank"});
    storeFields(0);
    EXPECT_EQ(entryList.records[0].password(), passwordField());
}

TEST_F(CreatePasswordTest, FilledFieldAsksAndNoKeepsIt) {
    open({record("Bank", "user", "old")});
    fake::answers = {platform::mb::answerNo};
    dispatchCommand(IDM_CREATE_PASSWORD, 0);
    ASSERT_EQ(fake::messageBoxes.size(), 1u);
    EXPECT_EQ(fake::messageBoxes[0].text, L"すでにパスワードが設定されています。\n"
                                          L"現在のパスワードを新しいパスワードで置き換えますか？");
    EXPECT_EQ(fake::messageBoxes[0].style,
              platform::mb::yesNo | platform::mb::iconWarning | platform::mb::defaultSecond);
    EXPECT_EQ(passwordField(), "old");

    fake::answers = {platform::mb::answerYes};
    dispatchCommand(IDC_CREATE_PASSWORD, 0);
    EXPECT_EQ(fake::messageBoxes.size(), 2u);
    EXPECT_EQ(passwordField().size(), 8u);
    EXPECT_NE(passwordField(), "old");
    EXPECT_EQ(entryList.records[0].password(), "old");
}

TEST_F(CreatePasswordTest, EveryCharacterComesFromTheCryptographicSource) {
    open({record("Bank")});
    // 252 and up are drawn again for 36 characters.
    fake::randomScript = {252, 253, 254, 255, 0, 35, 251, 10, 11, 12, 13, 255, 14};
    dispatchCommand(IDC_CREATE_PASSWORD, 0);
    EXPECT_EQ(passwordField(), "0zzabcde");

    fake::randomScript.assign(10, 0);
    useKinds(0, 0, 1);
    settings.passwordLength = 3;
    view.ctrlDown = true;
    dispatchCommand(IDC_CREATE_PASSWORD, 0);
    EXPECT_EQ(passwordField(), "AAA");
}

TEST_F(CreatePasswordTest, EmptyAlphabetTellsTheUserAndKeepsTheField) {
    open({record("Bank", "", "old")});
    useKinds(0, 0, 0);
    fake::answers = {platform::mb::answerYes};
    dispatchCommand(IDC_CREATE_PASSWORD, 0);
    ASSERT_EQ(fake::messageBoxes.size(), 1u); // told, not asked first
    EXPECT_EQ(fake::messageBoxes[0].text, L"パスワードに使う文字の種類が選ばれていません。\n"
                                          L"「オプション」で文字の種類を選んでください。");
    EXPECT_EQ(fake::messageBoxes[0].style, platform::mb::ok | platform::mb::iconInformation);
    EXPECT_EQ(passwordField(), "old");

    // Also when the kinds are switched off while the question is open.
    useKinds(1, 1, 0);
    fake::messageBoxes.clear();
    fake::answers = {platform::mb::answerYes};
    fake::duringMessageBox = [] { useKinds(0, 0, 0); };
    dispatchCommand(IDC_CREATE_PASSWORD, 0);
    ASSERT_EQ(fake::messageBoxes.size(), 2u);
    EXPECT_EQ(fake::messageBoxes[1].style, platform::mb::ok | platform::mb::iconInformation);
    EXPECT_EQ(passwordField(), "old");
}

TEST_F(CreatePasswordTest, RefusingSourceLeavesTheFieldAndSaysSo) {
    open({record("Bank", "", "old")});
    fake::randomFails = true;
    view.ctrlDown = true;
    dispatchCommand(IDC_CREATE_PASSWORD, 0);
    EXPECT_EQ(passwordField(), "old");
    ASSERT_EQ(fake::messageBoxes.size(), 1u);
    EXPECT_EQ(fake::messageBoxes[0].style, platform::mb::ok | platform::mb::iconError);
}

TEST_F(CreatePasswordTest, SessionEndingDuringTheQuestionChangesNothing) {
    open({record("Bank", "", "old")});
    fake::answers = {platform::mb::answerYes};
    fake::duringMessageBox = [] { exitProgram(); };
    dispatchCommand(IDC_CREATE_PASSWORD, 0);
    EXPECT_EQ(life(), Life::Released);
    EXPECT_EQ(passwordField(), "old");
    EXPECT_NE(fake::files[L"C:\\Keyloom\\PASSWORD.TXT"].find("old"), std::string::npos);
}

} // namespace
