// The cryptographic primitives of the unit tests, over OpenSSL's libcrypto:
// the same algorithms as the program's CNG, so that files written here are
// the files the program reads.
#include "platform/platform.h"
#include "test_platform.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <climits>
#include <memory>
#include <utility>

namespace {

const unsigned char* bytesOf(std::string_view s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;

// A context for AES-256-GCM with key and nonce set and the associated data
// passed, for encrypting or decrypting.
CipherContext gcmContext(bool encrypt, const platform::Key32& key, const platform::GcmNonce& nonce,
                         std::string_view associated) {
    CipherContext context(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
    int length = 0;
    if (!context || associated.size() > INT_MAX ||
        EVP_CipherInit_ex(context.get(), EVP_aes_256_gcm(), nullptr, key.bytes.data(), nonce.data(),
                          encrypt) != 1 ||
        EVP_CipherUpdate(context.get(), nullptr, &length, bytesOf(associated),
                         static_cast<int>(associated.size())) != 1)
        context.reset();
    return context;
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
    return password.size() <= INT_MAX && salt.size() <= INT_MAX && iterations <= INT_MAX &&
           PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), bytesOf(salt),
                             static_cast<int>(salt.size()), static_cast<int>(iterations),
                             EVP_sha256(), static_cast<int>(key.bytes.size()),
                             key.bytes.data()) == 1;
}

bool aesGcmEncrypt(const Key32& key, const GcmNonce& nonce, std::string_view associated,
                   std::string_view plain, std::string& cipher, GcmTag& tag) {
    CipherContext context = gcmContext(true, key, nonce, associated);
    if (!context || plain.size() > INT_MAX)
        return false;
    cipher.assign(plain.size(), '\0');
    int length = 0, last = 0;
    unsigned char end[16]; // GCM ends without output
    if (EVP_EncryptUpdate(context.get(), reinterpret_cast<unsigned char*>(cipher.data()), &length,
                          bytesOf(plain), static_cast<int>(plain.size())) != 1 ||
        EVP_EncryptFinal_ex(context.get(), end, &last) != 1 ||
        EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_GET_TAG, static_cast<int>(tag.size()),
                            tag.data()) != 1) {
        cipher.clear();
        return false;
    }
    return true;
}

Decryption aesGcmDecrypt(const Key32& key, const GcmNonce& nonce, std::string_view associated,
                         std::string_view cipher, const GcmTag& tag, SecureString& plain) {
    CipherContext context = gcmContext(false, key, nonce, associated);
    if (!context || cipher.size() > INT_MAX)
        return Decryption::Failed;
    SecureString out;
    out.resize(cipher.size());
    GcmTag expected = tag;
    int length = 0, last = 0;
    unsigned char end[16];
    if (EVP_DecryptUpdate(context.get(), reinterpret_cast<unsigned char*>(out.data()), &length,
                          bytesOf(cipher), static_cast<int>(cipher.size())) != 1 ||
        EVP_CIPHER_CTX_ctrl(context.get(), EVP_CTRL_GCM_SET_TAG, static_cast<int>(expected.size()),
                            expected.data()) != 1)
        return Decryption::Failed;
    if (EVP_DecryptFinal_ex(context.get(), end, &last) != 1)
        return Decryption::TagMismatch;
    plain = std::move(out);
    return Decryption::Ok;
}

} // namespace platform
