// Known answers of the cryptographic primitives and of the password's UTF-8
// form, checked over both platforms: OpenSSL in the unit tests, CNG and a
// 16-bit wchar_t under Wine (tests/e2e/crypto_test.cpp).
#pragma once

#include "platform/platform.h"
#include "store/protected_file.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace vectors {

inline std::string fromHex(std::string_view hex) {
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
    return bytes;
}

template <class Bytes> std::string toHex(const Bytes& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (auto c : bytes) {
        hex += digits[static_cast<unsigned char>(c) >> 4];
        hex += digits[static_cast<unsigned char>(c) & 15];
    }
    return hex;
}

template <class Array> Array arrayFromHex(std::string_view hex) {
    Array out{};
    std::string bytes = fromHex(hex);
    for (std::size_t i = 0; i < out.size() && i < bytes.size(); ++i)
        out[i] = static_cast<unsigned char>(bytes[i]);
    return out;
}

// A file written by the unit tests' platform under the password "\u9375 key"
// with 1000 iterations: the format as documented, readable by both platforms
// and by tools/read-protected.
const char* const protectedSample =
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
const std::string protectedSamplePlain =
    "KEYLOOM1\r\n1\r\n\x8b\xe2\x8d\x73\r\nuser\r\npa55\r\nhttps://example.com/\r\n"
    "mail@example.com\r\n1\r\nmemo\r\n";

inline void expectKnownAnswers() {
    // FIPS 180-2.
    platform::Sha256Digest digest;
    ASSERT_TRUE(platform::sha256("abc", digest));
    EXPECT_EQ(toHex(digest), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

    // A 32-byte key 00 01 ... 1f, the data of RFC 4231's second case.
    platform::Key32 key, mac;
    for (unsigned i = 0; i < 32; ++i)
        key.bytes[i] = static_cast<unsigned char>(i);
    ASSERT_TRUE(platform::hmacSha256(key, "what do ya want for nothing?", mac));
    EXPECT_EQ(toHex(mac.bytes), "099805f4ac310786968565c098db515cc50862b420ae31e20238312344bed36a");

    platform::Key32 derived;
    ASSERT_TRUE(platform::pbkdf2Sha256("password", "salt", 4096, derived));
    EXPECT_EQ(toHex(derived.bytes),
              "c5e478d59288c841aa530db6845c4c8d962893a001ce4e11a4963873aa98134a");

    // Test case 16 of GCM's published test vectors (AES-256, associated data), and
    // its test case 13 (nothing to encrypt).
    platform::Key32 gcmKey;
    gcmKey.bytes = arrayFromHex<std::array<unsigned char, 32>>(
        "feffe9928665731c6d6a8f9467308308feffe9928665731c6d6a8f9467308308");
    const auto nonce = arrayFromHex<platform::GcmNonce>("cafebabefacedbaddecaf888");
    const std::string associated = fromHex("feedfacedeadbeeffeedfacedeadbeefabaddad2");
    const std::string plain = fromHex(
        "d9313225f88406e5a55909c5aff5269a86a7a9531534f7da2e4c303d8a318a721c3c0c95956809532fc"
        "f0e2449a6b525b16aedf5aa0de657ba637b39");
    std::string cipher;
    platform::GcmTag tag;
    ASSERT_TRUE(platform::aesGcmEncrypt(gcmKey, nonce, associated, plain, cipher, tag));
    EXPECT_EQ(toHex(cipher),
              "522dc1f099567d07f47f37a32a84427d643a8cdcbfe5c0c97598a2bd2555d1aa8cb08e4"
              "8590dbb3da7b08b1056828838c5f61e6393ba7a0abcc9f662");
    EXPECT_EQ(toHex(tag), "76fc6ece0f4e1768cddf8853bb2d551b");
    SecureString back;
    EXPECT_EQ(platform::aesGcmDecrypt(gcmKey, nonce, associated, cipher, tag, back),
              platform::Decryption::Ok);
    EXPECT_EQ(std::string(back.data(), back.size()), plain);
    std::string changed = cipher;
    changed[3] ^= 1;
    SecureString untouched("kept", 4);
    EXPECT_EQ(platform::aesGcmDecrypt(gcmKey, nonce, associated, changed, tag, untouched),
              platform::Decryption::TagMismatch);
    EXPECT_EQ(platform::aesGcmDecrypt(gcmKey, nonce, associated.substr(1), cipher, tag, untouched),
              platform::Decryption::TagMismatch);
    EXPECT_EQ(std::string(untouched.data(), untouched.size()), "kept");

    platform::Key32 zeroKey;
    ASSERT_TRUE(platform::aesGcmEncrypt(zeroKey, platform::GcmNonce{}, "", "", cipher, tag));
    EXPECT_EQ(cipher, "");
    EXPECT_EQ(toHex(tag), "530f8afbc74536b9a963b4f1c4cb738b");
    EXPECT_EQ(platform::aesGcmDecrypt(zeroKey, platform::GcmNonce{}, "", "", tag, back),
              platform::Decryption::Ok);
    EXPECT_EQ(back.size(), 0u);

    ProtectedFile sample = readProtectedFile(protectedSample);
    ASSERT_EQ(sample.damaged, ProtectedPart::None);
    SecureString password, opened;
    ASSERT_TRUE(passwordBytes(L"\u9375 key", password));
    ProtectionKey sampleKey;
    ASSERT_TRUE(deriveProtectionKey(std::string_view(password.data(), password.size()), sample.salt,
                                    sample.iterations, sampleKey));
    EXPECT_EQ(openProtected(sample, sampleKey, opened), OpenResult::Opened);
    EXPECT_EQ(std::string(opened.data(), opened.size()), protectedSamplePlain);

    // The password as typed: a character beyond the BMP is a surrogate pair
    // where wchar_t has 16 bits, one code point where it has 32.
    SecureString utf8;
    EXPECT_TRUE(passwordBytes(L"A\u00e9\u9375\U0001F511", utf8));
    EXPECT_EQ(toHex(utf8), "41c3a9e98db5f09f9491");
    const std::wstring lone[] = {std::wstring(1, wchar_t(0xD83D)), std::wstring(1, wchar_t(0xDD11)),
                                 std::wstring{wchar_t(0xDD11), wchar_t(0xD83D)},
                                 std::wstring{L'a', wchar_t(0xD83D), L'b'}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_FALSE(passwordBytes(lone[i], utf8)) << "lone surrogate case " << i;
        EXPECT_EQ(utf8.size(), 0u);
    }
}

} // namespace vectors
