// The protected file: its layout, the round trip, and how a wrong password,
// a damaged header, a damaged check line and a damaged body are told apart.
// Few iterations, so that deriving takes no time.
#include "store/protected_file.h"
#include "support/crypto_vectors.h"
#include "support/test_platform.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <utility>

namespace {

constexpr unsigned fewIterations = 1000;

TEST(CryptoPlatform, KnownAnswers) { vectors::expectKnownAnswers(); }

std::string text(const SecureString& s) { return std::string(s.data(), s.size()); }

class ProtectedFileTest : public ::testing::Test {
  protected:
    void SetUp() override { fake::reset(); }
};

// A plain file long enough for several Base64 lines.
const std::string plain = [] {
    std::string p = "KEYLOOM1\r\n2\r\n";
    for (int i = 0; i < 12; ++i)
        p += "entry " + std::to_string(i) + " \x8c\xae\r\n"; // Shift-JIS passes as bytes
    return p;
}();

struct Protected {
    ProtectionKey key;
    std::string file;
    std::size_t body; // where the Base64 lines start
};

Protected protect(const std::string& password = "correct horse") {
    Protected p;
    EXPECT_TRUE(newProtectionKey(password, p.key, fewIterations));
    EXPECT_TRUE(protectBytes(plain, p.key, p.file));
    p.body = p.file.find("\r\n", p.file.find("\r\ncheck=") + 2) + 2;
    return p;
}

// Opens file with password as the program would: the header first, then the
// key for its salt and iterations.
OpenResult open(const std::string& file, const std::string& password, SecureString& out) {
    ProtectedFile read = readProtectedFile(file);
    if (read.damaged != ProtectedPart::None)
        return openProtected(read, ProtectionKey(), out);
    ProtectionKey key;
    EXPECT_TRUE(deriveProtectionKey(password, read.salt, read.iterations, key));
    return openProtected(read, key, out);
}

std::string lineOf(const std::string& file, const std::string& prefix) {
    std::size_t at = file.find("\r\n" + prefix) + 2;
    return file.substr(at, file.find("\r\n", at) - at);
}

// The line that starts with prefix replaced by replacement, the digest line
// made to fit again when redigest is set.
std::string withLine(std::string file, const std::string& prefix, const std::string& replacement,
                     bool redigest = false) {
    std::size_t at = file.find("\r\n" + prefix) + 2;
    file.replace(at, file.find("\r\n", at) - at, replacement);
    if (redigest) {
        std::size_t digestAt = file.find("\r\ndigest=") + 2;
        platform::Sha256Digest digest;
        EXPECT_TRUE(platform::sha256(std::string_view(file).substr(0, digestAt), digest));
        file.replace(digestAt + 7, 64, vectors::toHex(digest));
    }
    return file;
}

std::string flipped(std::string s, std::size_t at) {
    s[at] = s[at] == 'a' ? 'b' : 'a';
    return s;
}

TEST_F(ProtectedFileTest, WritesTheDocumentedFormatAndOpensWithThePassword) {
    // The example of docs/protected-file-format.md, written again from its
    // salt and nonce under the password "鍵 key".
    const std::string sample =
        "KEYLOOM-PROTECTED1\r\n"
        "-1\r\n"
        "kdf=PBKDF2-HMAC-SHA256\r\n"
        "iterations=1000\r\n"
        "salt=9a4923fa7779c5be1e80cd6f526c92c8\r\n"
        "cipher=AES-256-GCM\r\n"
        "nonce=967a36d068f380b2824ef024\r\n"
        "digest=4ea622bbde18e3bf704efbbf22b5e92667a2c07f7ea1926b8e7a751f14929f79\r\n"
        "check=242bb565e5abb4bfdda58b99adb1fd7f31840120ca1038d7b98584e9759b5e62\r\n"
        "a0D+Ggms261wBrY7vNNiWrpCoqnE142a0MJTFV+tg3C9zXAIajKXD34foLXze8GkGeXziCiDlHvv\r\n"
        "WE5vQizrP8mTtuFjj78pg7gFJGK8Czw=\r\n"
        "tag=52425cede441e4225ac438370dd60b97\r\n";
    ProtectedFile read = readProtectedFile(sample);
    ProtectionKey key;
    ASSERT_TRUE(deriveProtectionKey("\xe9\x8d\xb5 key", read.salt, read.iterations, key));
    fake::randomScript.assign(read.nonce.begin(), read.nonce.end());
    std::string file;
    ASSERT_TRUE(protectBytes("KEYLOOM1\r\n1\r\n\x8b\xe2\x8d\x73\r\nuser\r\npa55\r\n"
                             "https://example.com/\r\nmail@example.com\r\n1\r\nmemo\r\n",
                             key, file));
    EXPECT_EQ(file, sample);
    EXPECT_TRUE(isProtectedFile(file));
    EXPECT_FALSE(isProtectedFile("KEYLOOM1\r\n0\r\n"));
    EXPECT_FALSE(isProtectedFile("KEYLOOM-PROTECTED10\r\n"));

    Protected p = protect();
    SecureString out;
    EXPECT_EQ(open(p.file, "correct horse", out), OpenResult::Opened);
    EXPECT_EQ(text(out), plain);
    // Base64 of any line length.
    std::string joined = p.file;
    EXPECT_EQ(open(joined.erase(p.body + 76, 2), "correct horse", out), OpenResult::Opened);
    EXPECT_EQ(text(out), plain);

    // Without random bytes nothing is written.
    fake::randomFails = true;
    EXPECT_FALSE(protectBytes(plain, p.key, file));
    EXPECT_TRUE(file.empty());
    EXPECT_FALSE(newProtectionKey("correct horse", key, fewIterations));
}

TEST_F(ProtectedFileTest, EverySaveHasANewNonceUnderTheSameSaltAndTheHeldKeyFitsIt) {
    Protected p = protect();
    std::string again;
    ASSERT_TRUE(protectBytes(plain, p.key, again));
    EXPECT_NE(lineOf(again, "nonce="), lineOf(p.file, "nonce="));
    EXPECT_EQ(lineOf(again, "salt="), lineOf(p.file, "salt="));
    EXPECT_TRUE(keyFits(readProtectedFile(again), p.key));
    ProtectionKey other;
    ASSERT_TRUE(deriveProtectionKey("other", p.key.salt, fewIterations, other));
    EXPECT_FALSE(keyFits(readProtectedFile(again), other));
}

TEST_F(ProtectedFileTest, TheTagLineIsTheLastEvenAfterABase64LineThatReadsTag) {
    // A ciphertext two bytes past whole lines that ends in B5 A8: its last
    // Base64 line is "tag=". GCM encrypts by XOR, so the plain text picks
    // those bytes under a nonce used twice here.
    const Protected p = protect();
    std::string plainText(57 + 2, 'x'), file;
    const auto seal = [&] {
        fake::randomScript.assign(12, 7);
        EXPECT_TRUE(protectBytes(plainText, p.key, file));
    };
    seal();
    const std::string cipher = readProtectedFile(file).cipher;
    plainText[57] ^= cipher[57] ^ '\xb5';
    plainText[58] ^= cipher[58] ^ '\xa8';
    seal();
    ASSERT_NE(file.find("\r\ntag=\r\ntag="), std::string::npos);
    SecureString out;
    EXPECT_EQ(open(file, "correct horse", out), OpenResult::Opened);
    EXPECT_EQ(text(out), plainText);
}

TEST_F(ProtectedFileTest, TellsAWrongPasswordFromADamagedHeaderCheckLineOrBody) {
    Protected p = protect();
    SecureString out("before", 6);
    EXPECT_EQ(open(p.file, "Correct horse", out), OpenResult::WrongPassword);

    // A header line changed: the digest tells, whatever the password.
    const std::string salt = withLine(p.file, "salt=", flipped(lineOf(p.file, "salt="), 20));
    EXPECT_EQ(open(salt, "correct horse", out), OpenResult::DamagedHeader);

    // One changed byte in the check line keeps the right password in; a
    // wrong one is still told as wrong.
    const std::string check = lineOf(p.file, "check=");
    const std::string changed = withLine(p.file, "check=", flipped(check, 10));
    EXPECT_EQ(open(changed, "wrong", out), OpenResult::WrongPassword);
    EXPECT_EQ(text(out), "before");
    EXPECT_EQ(open(changed, "correct horse", out), OpenResult::OpenedCheckDamaged);
    EXPECT_EQ(text(out), plain);
    EXPECT_FALSE(keyFits(readProtectedFile(changed), p.key));
    // A check line of another form cannot tell: it is damage either way.
    out = SecureString("before", 6);
    for (const std::string& line : {"check=" + check.substr(7), "chECk=" + check.substr(6)}) {
        SCOPED_TRACE(line);
        EXPECT_EQ(open(withLine(p.file, "check=", line), "wrong", out), OpenResult::DamagedHeader);
    }

    // The body changed under a check that verifies.
    EXPECT_EQ(open(flipped(p.file, p.body + 5), "correct horse", out), OpenResult::DamagedBody);
    EXPECT_EQ(text(out), "before");

    // Damage the reader names without a password; iterations over the limit
    // among it, so that a changed digit cannot keep the start busy for hours.
    std::string cr = p.file;
    cr.erase(cr.find("\r\nkdf") + 1, 1);
    std::string star = p.file, cut = p.file;
    star[p.body + 5] = '*';
    cut.erase(p.body + 3, 1);
    const auto iterations = [&](const char* line) {
        return withLine(p.file, "iterations=", line, true);
    };
    const std::pair<std::string, ProtectedPart> damaged[] = {
        {cr, ProtectedPart::Marker},
        {iterations("iterations=10000001"), ProtectedPart::Iterations},
        {iterations("iterations=4294967297"), ProtectedPart::Iterations},
        {iterations("iterations=0"), ProtectedPart::Iterations},
        {iterations("iterations=+1000"), ProtectedPart::Iterations},
        {salt, ProtectedPart::Digest},
        {withLine(p.file, "cipher=", "cipher=AES-128-GCM", true), ProtectedPart::Cipher},
        {withLine(p.file, "nonce=", "nonce=00", true), ProtectedPart::Nonce},
        {star, ProtectedPart::Body},
        {cut, ProtectedPart::Body},
        {p.file.substr(0, p.file.size() - 30), ProtectedPart::Tag},
        {p.file + "\r\n", ProtectedPart::Tag},
    };
    for (std::size_t i = 0; i < std::size(damaged); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(readProtectedFile(damaged[i].first).damaged, damaged[i].second);
    }
    EXPECT_EQ(readProtectedFile(iterations("iterations=10000000")).iterations, iterationLimit);
    ProtectionKey key;
    EXPECT_FALSE(deriveProtectionKey("correct horse", p.key.salt, iterationLimit + 1, key));
    EXPECT_FALSE(deriveProtectionKey("correct horse", p.key.salt, 0, key));
}

} // namespace
