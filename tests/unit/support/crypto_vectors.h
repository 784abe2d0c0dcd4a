// Known answers of the cryptographic primitives, one published case each,
// and of the password's UTF-8 form, checked over both platforms: OpenSSL in
// the unit tests, CNG and a 16-bit wchar_t under Wine (tests/e2e/crypto_test.cpp).
#pragma once

#include "platform/platform.h"
#include "store/protected_file.h"

#include <gtest/gtest.h>

#include <cstring>
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

    ASSERT_TRUE(platform::pbkdf2Sha256("password", "salt", 4096, key));
    EXPECT_EQ(toHex(key.bytes), "c5e478d59288c841aa530db6845c4c8d962893a001ce4e11a4963873aa98134a");

    // Test case 16 of GCM's published vectors: AES-256 with associated data.
    std::memcpy(key.bytes.data(),
                fromHex("feffe9928665731c6d6a8f9467308308feffe9928665731c6d6a8f9467308308").data(),
                32);
    platform::GcmNonce nonce;
    std::memcpy(nonce.data(), fromHex("cafebabefacedbaddecaf888").data(), nonce.size());
    const std::string associated = fromHex("feedfacedeadbeeffeedfacedeadbeefabaddad2");
    const std::string plain = fromHex(
        "d9313225f88406e5a55909c5aff5269a86a7a9531534f7da2e4c303d8a318a721c3c0c95956809532fc"
        "f0e2449a6b525b16aedf5aa0de657ba637b39");
    std::string cipher;
    platform::GcmTag tag;
    ASSERT_TRUE(platform::aesGcmEncrypt(key, nonce, associated, plain, cipher, tag));
    EXPECT_EQ(toHex(cipher),
              "522dc1f099567d07f47f37a32a84427d643a8cdcbfe5c0c97598a2bd2555d1aa8cb08e4"
              "8590dbb3da7b08b1056828838c5f61e6393ba7a0abcc9f662");
    EXPECT_EQ(toHex(tag), "76fc6ece0f4e1768cddf8853bb2d551b");
    SecureString back;
    EXPECT_EQ(platform::aesGcmDecrypt(key, nonce, associated, cipher, tag, back),
              platform::Decryption::Ok);
    EXPECT_EQ(std::string(back.data(), back.size()), plain);
    // A changed byte is the tag's mismatch, not a failure, and leaves the output alone.
    cipher[3] ^= 1;
    SecureString untouched("kept", 4);
    EXPECT_EQ(platform::aesGcmDecrypt(key, nonce, associated, cipher, tag, untouched),
              platform::Decryption::TagMismatch);
    EXPECT_EQ(std::string(untouched.data(), untouched.size()), "kept");

    // The password as typed: a character beyond the BMP is a surrogate pair
    // where wchar_t has 16 bits, one code point where it has 32.
    SecureString utf8;
    EXPECT_TRUE(passwordBytes(L"A\u00e9\u9375\U0001F511", utf8));
    EXPECT_EQ(toHex(utf8), "41c3a9e98db5f09f9491");
    int i = 0;
    for (const wchar_t* lone : {L"\xD83D", L"\xDD11", L"\xDD11\xD83D",
                                L"a\xD83D"
                                L"b"}) {
        EXPECT_FALSE(passwordBytes(lone, utf8)) << "lone surrogate case " << i++;
        EXPECT_EQ(utf8.size(), 0u);
    }
}

} // namespace vectors
