// The protected file: its layout, the round trip, and how a wrong password,
// a damaged header, a damaged check line and a damaged body are told apart.
// Few iterations, so that deriving takes no time.
#include "store/protected_file.h"
#include "support/crypto_vectors.h"
#include "support/test_platform.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using vectors::toHex;

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
};

Protected protect(const std::string& password = "correct horse") {
    Protected p;
    EXPECT_TRUE(newProtectionKey(password, p.key, fewIterations));
    EXPECT_TRUE(protectBytes(plain, p.key, p.file));
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
        file.replace(digestAt + 7, 64, toHex(digest));
    }
    return file;
}

std::string lineOf(const std::string& file, const std::string& prefix) {
    std::size_t at = file.find("\r\n" + prefix) + 2;
    return file.substr(at, file.find("\r\n", at) - at);
}

TEST_F(ProtectedFileTest, WritesTheDocumentedFormatAndOpensWithThePassword) {
    // The documented example, written again with its salt and nonce.
    ProtectedFile sample = readProtectedFile(vectors::protectedSample);
    SecureString password;
    ASSERT_TRUE(passwordBytes(L"\u9375 key", password));
    ProtectionKey key;
    ASSERT_TRUE(deriveProtectionKey(text(password), sample.salt, sample.iterations, key));
    fake::randomScript.assign(sample.nonce.begin(), sample.nonce.end());
    std::string file;
    ASSERT_TRUE(protectBytes(vectors::protectedSamplePlain, key, file));
    EXPECT_EQ(file, vectors::protectedSample);
    EXPECT_TRUE(isProtectedFile(file));
    EXPECT_FALSE(isProtectedFile("KEYLOOM1\r\n0\r\n"));
    EXPECT_FALSE(isProtectedFile("KEYLOOM-PROTECTED10\r\n"));

    Protected p = protect();
    SecureString out;
    EXPECT_EQ(open(p.file, "correct horse", out), OpenResult::Opened);
    EXPECT_EQ(text(out), plain);
    // Nothing to protect is a file too.
    ASSERT_TRUE(protectBytes("", p.key, file));
    EXPECT_EQ(file.find("\r\ntag="), file.find("\r\n", file.find("\r\ncheck=") + 2));
    EXPECT_EQ(open(file, "correct horse", out), OpenResult::Opened);
    EXPECT_EQ(out.size(), 0u);

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

    // Another password, or the same one under a new salt, is another key.
    ProtectionKey other;
    ASSERT_TRUE(deriveProtectionKey("other", p.key.salt, fewIterations, other));
    EXPECT_FALSE(keyFits(readProtectedFile(again), other));
    Protected resalted = protect();
    EXPECT_NE(resalted.key.salt, p.key.salt);
    EXPECT_FALSE(keyFits(readProtectedFile(resalted.file), p.key));
    SecureString out;
    EXPECT_EQ(openProtected(readProtectedFile(resalted.file), p.key, out),
              OpenResult::WrongPassword);
}

TEST_F(ProtectedFileTest, TellsAWrongPasswordFromADamagedHeaderCheckLineOrBody) {
    Protected p = protect();
    SecureString out("before", 6);
    EXPECT_EQ(open(p.file, "Correct horse", out), OpenResult::WrongPassword);
    EXPECT_EQ(text(out), "before");

    // A header line changed: the digest tells, whatever the password.
    std::string salt = lineOf(p.file, "salt=");
    salt.back() = salt.back() == '0' ? '1' : '0';
    EXPECT_EQ(readProtectedFile(withLine(p.file, "salt=", salt)).damaged, ProtectedPart::Digest);
    EXPECT_EQ(readProtectedFile(withLine(p.file, "cipher=", "cipher=AES-128-GCM", true)).damaged,
              ProtectedPart::Cipher);
    EXPECT_EQ(readProtectedFile(withLine(p.file, "nonce=", "nonce=00", true)).damaged,
              ProtectedPart::Nonce);
    std::string lf = p.file;
    lf.erase(lf.find("\r\nkdf"), 1);
    EXPECT_EQ(readProtectedFile(lf).damaged, ProtectedPart::Marker);
    EXPECT_EQ(open(withLine(p.file, "salt=", salt), "correct horse", out),
              OpenResult::DamagedHeader);

    // One changed byte in the check line keeps the right password in; a
    // wrong one is still told as wrong.
    std::string check = lineOf(p.file, "check=");
    std::string changed = check;
    changed[10] = changed[10] == 'a' ? 'b' : 'a';
    for (const std::string& line :
         {changed, "check=" + check.substr(7), "chECk=" + check.substr(6)}) {
        SCOPED_TRACE(line);
        std::string damaged = withLine(p.file, "check=", line);
        EXPECT_EQ(readProtectedFile(damaged).damaged, ProtectedPart::None);
        EXPECT_EQ(open(damaged, "correct horse", out), OpenResult::OpenedCheckDamaged);
        EXPECT_EQ(text(out), plain);
        EXPECT_FALSE(keyFits(readProtectedFile(damaged), p.key));
    }
    out = SecureString("before", 6);
    EXPECT_EQ(open(withLine(p.file, "check=", changed), "wrong", out), OpenResult::WrongPassword);
    // A check line of another form cannot tell: it is damage either way.
    EXPECT_EQ(open(withLine(p.file, "check=", "check=" + check.substr(7)), "wrong", out),
              OpenResult::DamagedHeader);
    EXPECT_EQ(text(out), "before");

    // The body or the tag changed under a check that verifies.
    std::size_t body = p.file.find("\r\ncheck=") + 2 + check.size() + 2;
    std::string flipped = p.file;
    flipped[body + 5] = flipped[body + 5] == 'A' ? 'B' : 'A';
    EXPECT_EQ(open(flipped, "correct horse", out), OpenResult::DamagedBody);
    std::string tag = lineOf(p.file, "tag=");
    tag.back() = tag.back() == '0' ? '1' : '0';
    EXPECT_EQ(open(withLine(p.file, "tag=", tag), "correct horse", out), OpenResult::DamagedBody);
    EXPECT_EQ(text(out), "before");
    // Malformed or cut short: told without a password.
    std::string star = p.file;
    star[body + 5] = '*';
    EXPECT_EQ(readProtectedFile(star).damaged, ProtectedPart::Body);
    EXPECT_EQ(readProtectedFile(p.file.substr(0, p.file.size() - 30)).damaged, ProtectedPart::Tag);
    EXPECT_EQ(readProtectedFile(p.file + "\r\n").damaged, ProtectedPart::Tag);
    EXPECT_EQ(readProtectedFile(p.file.substr(0, body)).damaged, ProtectedPart::Tag);
}

TEST_F(ProtectedFileTest, ReadsBase64OfAnyLineLength) {
    Protected p = protect();
    std::size_t body = p.file.find("\r\n", p.file.find("\r\ncheck=") + 2) + 2;
    std::size_t tag = p.file.find("tag=");
    std::string joined = p.file.substr(body, tag - body);
    for (std::size_t at; (at = joined.find("\r\n")) != std::string::npos;)
        joined.erase(at, 2);
    std::string rewrapped;
    for (std::size_t at = 0; at < joined.size(); at += 10)
        rewrapped += joined.substr(at, 10) + "\r\n";
    SecureString out;
    EXPECT_EQ(open(p.file.substr(0, body) + rewrapped + p.file.substr(tag), "correct horse", out),
              OpenResult::Opened);
    EXPECT_EQ(text(out), plain);
    rewrapped.erase(3, 1);
    EXPECT_EQ(readProtectedFile(p.file.substr(0, body) + rewrapped + p.file.substr(tag)).damaged,
              ProtectedPart::Body);
}

TEST_F(ProtectedFileTest, IterationsOverTheLimitAreDamageAndNeverDerived) {
    Protected p = protect();
    EXPECT_EQ(
        readProtectedFile(withLine(p.file, "iterations=", "iterations=10000000", true)).iterations,
        iterationLimit);
    for (const char* line : {"iterations=10000001", "iterations=4294967296", "iterations=0",
                             "iterations=", "iterations=+1000"}) {
        SCOPED_TRACE(line);
        EXPECT_EQ(readProtectedFile(withLine(p.file, "iterations=", line, true)).damaged,
                  ProtectedPart::Iterations);
    }
    // Refused before any work, like the file that asks for it.
    ProtectionKey key;
    EXPECT_FALSE(deriveProtectionKey("correct horse", p.key.salt, iterationLimit + 1, key));
    EXPECT_FALSE(deriveProtectionKey("correct horse", p.key.salt, 0, key));
}

} // namespace
