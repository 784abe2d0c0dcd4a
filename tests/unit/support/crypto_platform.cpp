// The cryptographic primitives of the unit tests, over OpenSSL's libcrypto:
// the same algorithms as the program's CNG, so that files written here are
// the files the program reads.
#include "platform/platform.h"
#include "test_platform.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <memory>
#include <utility>

namespace {

const unsigned char* bytesOf(std::string_view s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

// AES-256-GCM over in into out (of in's size): the tag is set before
// decrypting and taken after encrypting.
platform::Decryption runGcm(bool encrypt, const platform::Key32& key,
                            const platform::GcmNonce& nonce, std::string_view associated,
                            std::string_view in, char* out, platform::GcmTag& tag) {
    CipherContext context(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    int length = 0;
    unsigned char end[16]; // GCM ends without output
    if (!context ||
        EVP_CipherInit_ex(context.get(), EVP_aes_256_gcm(), nullptr, key.bytes.data(), nonce.data(),
                          encrypt) != 1 ||
        EVP_CipherUpdate(context.get(), nullptr, &length, bytesOf(associated),
                         static_cast<int>(associated.size())) != 1 ||
        EVP_CipherUpdate(context.get(), reinterpret_cast<unsigned char*>(out), &length, bytesOf(in),
                         static_cast<int>(in.size())) != 1 ||
        (!encrypt && EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_SET_TAG, 16, tag.data()) != 1))
        return platform::Decryption::Failed;
    if (EVP_CipherFinal_ex(context.get(), end, &length) != 1)
        return encrypt ? platform::Decryption::Failed : platform::Decryption::TagMismatch;
    if (encrypt && EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_GET_TAG, 16, tag.data()) != 1)
        return platform::Decryption::Failed;
    return platform::Decryption::Ok;
}

} // namespace

namespace platform {

bool sha256(std::string_view bytes, Sha256Digest& digest) {
    return EVP_Digest(bytes.data(), bytes.size(), digest.data(), nullptr, EVP_sha256(), nullptr) ==
           1;
}

bool hmacSha256(const Key32& key, std::string_view bytes, Key32& mac) {
    unsigned length = 0;
    return HMAC(EVP_sha256(), key.bytes.data(), static_cast<int>(key.bytes.size()), bytesOf(bytes),
                bytes.size(), mac.bytes.data(), &length) != nullptr &&
           length == mac.bytes.size();
}

bool pbkdf2Sha256(std::string_view password, std::string_view salt, unsigned iterations,
                  Key32& key) {
    ++fake::derivations;
    if (!fake::waitCursor)
        ++fake::derivedWithoutWaitCursor;
    return PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), bytesOf(salt),
                             static_cast<int>(salt.size()), static_cast<int>(iterations),
                             EVP_sha256(), static_cast<int>(key.bytes.size()),
                             key.bytes.data()) == 1;
}

bool aesGcmEncrypt(const Key32& key, const GcmNonce& nonce, std::string_view associated,
                   std::string_view plain, std::string& cipher, GcmTag& tag) {
    cipher.assign(plain.size(), '\0');
    if (runGcm(true, key, nonce, associated, plain, cipher.data(), tag) == Decryption::Ok)
        return true;
    cipher.clear();
    return false;
}

Decryption aesGcmDecrypt(const Key32& key, const GcmNonce& nonce, std::string_view associated,
                         std::string_view cipher, const GcmTag& tag, SecureString& plain) {
    if (fake::decryptionFails)
        return Decryption::Failed;
    SecureString out;
    out.resize(cipher.size());
    GcmTag expected = tag;
    Decryption result = runGcm(false, key, nonce, associated, cipher, out.data(), expected);
    if (result == Decryption::Ok)
        plain = std::move(out);
    return result;
}

} // namespace platform
