// The protected file's cryptography over CNG (bcrypt.dll), Windows' own: no
// library is added to the program.
#include "platform/platform.h"
#include "platform/win32/system_library.h"

#include <windows.h>

#include <bcrypt.h>

#include <climits>
#include <utility>

namespace {

constexpr NTSTATUS authTagMismatch = static_cast<NTSTATUS>(0xC000A002); // STATUS_AUTH_TAG_MISMATCH

bool succeeded(NTSTATUS status) { return status >= 0; }

// The buffer in which CNG keeps a key or a hash's state, ours so that it
// is wiped when it goes.
struct ObjectBuffer {
    SecureString bytes;
    explicit ObjectBuffer(std::size_t size = 0) { bytes.resize(size); }
    PUCHAR data() { return reinterpret_cast<PUCHAR>(bytes.data()); }
};

struct Algorithm {
    BCRYPT_ALG_HANDLE handle = nullptr;
    ULONG objectSize = 0;
};

// Loaded by full path, as the random source is.
#define CNG_FUNCTION(name)                                                                         \
    const decltype(&::name) name = functionFrom<decltype(&::name)>(L"bcrypt.dll", #name)

// The functions and the three algorithms, opened once for the process:
// opening a provider is slow, and they are never closed.
struct Cng {
    CNG_FUNCTION(BCryptOpenAlgorithmProvider);
    CNG_FUNCTION(BCryptGetProperty);
    CNG_FUNCTION(BCryptSetProperty);
    CNG_FUNCTION(BCryptCreateHash);
    CNG_FUNCTION(BCryptHashData);
    CNG_FUNCTION(BCryptFinishHash);
    CNG_FUNCTION(BCryptDestroyHash);
    CNG_FUNCTION(BCryptDeriveKeyPBKDF2);
    CNG_FUNCTION(BCryptGenerateSymmetricKey);
    CNG_FUNCTION(BCryptEncrypt);
    CNG_FUNCTION(BCryptDecrypt);
    CNG_FUNCTION(BCryptDestroyKey);
    Algorithm sha256, hmacSha256, aesGcm;
    bool ready = false;

    Cng() {
        ready = BCryptOpenAlgorithmProvider && BCryptGetProperty && BCryptSetProperty &&
                BCryptCreateHash && BCryptHashData && BCryptFinishHash && BCryptDestroyHash &&
                BCryptDeriveKeyPBKDF2 && BCryptGenerateSymmetricKey && BCryptEncrypt &&
                BCryptDecrypt && BCryptDestroyKey && open(sha256, BCRYPT_SHA256_ALGORITHM, 0) &&
                open(hmacSha256, BCRYPT_SHA256_ALGORITHM, BCRYPT_ALG_HANDLE_HMAC_FLAG) &&
                open(aesGcm, BCRYPT_AES_ALGORITHM, 0) &&
                succeeded(BCryptSetProperty(
                    aesGcm.handle, BCRYPT_CHAINING_MODE,
                    reinterpret_cast<PUCHAR>(const_cast<wchar_t*>(BCRYPT_CHAIN_MODE_GCM)),
                    sizeof BCRYPT_CHAIN_MODE_GCM, 0));
    }

    bool open(Algorithm& algorithm, const wchar_t* name, ULONG flags) {
        ULONG size = 0;
        return succeeded(BCryptOpenAlgorithmProvider(&algorithm.handle, name, nullptr, flags)) &&
               succeeded(BCryptGetProperty(algorithm.handle, BCRYPT_OBJECT_LENGTH,
                                           reinterpret_cast<PUCHAR>(&algorithm.objectSize),
                                           sizeof algorithm.objectSize, &size, 0));
    }
};
#undef CNG_FUNCTION

const Cng& cng() {
    static const Cng instance;
    return instance;
}

PUCHAR bytesOf(std::string_view bytes) {
    // CNG takes no const pointers but does not write through these; an empty
    // input still gets a valid pointer.
    static unsigned char none = 0;
    return bytes.empty() ? &none : reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data()));
}

template <class String> PUCHAR writable(String& bytes) {
    return bytes.empty() ? bytesOf("") : reinterpret_cast<PUCHAR>(&bytes[0]);
}

bool fitsUlong(std::string_view bytes) { return bytes.size() <= ULONG_MAX; }

// SHA-256, or HMAC-SHA256 under key, of bytes into 32 bytes at out.
bool hash(const Algorithm& algorithm, const platform::Key32* key, std::string_view bytes,
          unsigned char* out) {
    const Cng& c = cng();
    if (!c.ready || !fitsUlong(bytes))
        return false;
    ObjectBuffer object(algorithm.objectSize);
    BCRYPT_HASH_HANDLE handle = nullptr;
    PUCHAR secret = key ? const_cast<PUCHAR>(key->bytes.data()) : nullptr;
    ULONG secretSize = key ? static_cast<ULONG>(key->bytes.size()) : 0;
    if (!succeeded(c.BCryptCreateHash(algorithm.handle, &handle, object.data(),
                                      algorithm.objectSize, secret, secretSize, 0)))
        return false;
    bool done =
        succeeded(c.BCryptHashData(handle, bytesOf(bytes), static_cast<ULONG>(bytes.size()), 0)) &&
        succeeded(c.BCryptFinishHash(handle, out, 32, 0));
    c.BCryptDestroyHash(handle);
    return done;
}

// An AES-256-GCM key in a buffer of ours, destroyed and wiped with it.
struct GcmKey {
    ObjectBuffer object;
    BCRYPT_KEY_HANDLE handle = nullptr;

    explicit GcmKey(const platform::Key32& key) : object(cng().aesGcm.objectSize) {
        const Cng& c = cng();
        if (c.ready &&
            !succeeded(c.BCryptGenerateSymmetricKey(
                c.aesGcm.handle, &handle, object.data(), c.aesGcm.objectSize,
                const_cast<PUCHAR>(key.bytes.data()), static_cast<ULONG>(key.bytes.size()), 0)))
            handle = nullptr;
    }
    ~GcmKey() {
        if (handle)
            cng().BCryptDestroyKey(handle);
    }
    GcmKey(const GcmKey&) = delete;
    GcmKey& operator=(const GcmKey&) = delete;
};

BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO
gcmInfo(const platform::GcmNonce& nonce, std::string_view associated, const platform::GcmTag& tag) {
    BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info;
    BCRYPT_INIT_AUTH_MODE_INFO(info);
    info.pbNonce = const_cast<PUCHAR>(nonce.data());
    info.cbNonce = static_cast<ULONG>(nonce.size());
    info.pbAuthData = bytesOf(associated);
    info.cbAuthData = static_cast<ULONG>(associated.size());
    info.pbTag = const_cast<PUCHAR>(tag.data());
    info.cbTag = static_cast<ULONG>(tag.size());
    return info;
}

} // namespace

namespace platform {

bool sha256(std::string_view bytes, Sha256Digest& digest) {
    return hash(cng().sha256, nullptr, bytes, digest.data());
}

bool hmacSha256(const Key32& key, std::string_view bytes, Key32& mac) {
    return hash(cng().hmacSha256, &key, bytes, mac.bytes.data());
}

bool pbkdf2Sha256(std::string_view password, std::string_view salt, unsigned iterations,
                  Key32& key) {
    const Cng& c = cng();
    return c.ready && fitsUlong(password) && fitsUlong(salt) &&
           succeeded(c.BCryptDeriveKeyPBKDF2(
               c.hmacSha256.handle, bytesOf(password), static_cast<ULONG>(password.size()),
               bytesOf(salt), static_cast<ULONG>(salt.size()), iterations, key.bytes.data(),
               static_cast<ULONG>(key.bytes.size()), 0));
}

bool aesGcmEncrypt(const Key32& key, const GcmNonce& nonce, std::string_view associated,
                   std::string_view plain, std::string& cipher, GcmTag& tag) {
    GcmKey gcm(key);
    if (!gcm.handle || !fitsUlong(associated) || !fitsUlong(plain))
        return false;
    BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info = gcmInfo(nonce, associated, tag);
    cipher.assign(plain.size(), '\0');
    ULONG written = 0;
    if (!succeeded(cng().BCryptEncrypt(gcm.handle, bytesOf(plain), static_cast<ULONG>(plain.size()),
                                       &info, nullptr, 0, writable(cipher),
                                       static_cast<ULONG>(cipher.size()), &written, 0)) ||
        written != plain.size()) {
        cipher.clear();
        return false;
    }
    return true;
}

Decryption aesGcmDecrypt(const Key32& key, const GcmNonce& nonce, std::string_view associated,
                         std::string_view cipher, const GcmTag& tag, SecureString& plain) {
    GcmKey gcm(key);
    if (!gcm.handle || !fitsUlong(associated) || !fitsUlong(cipher))
        return Decryption::Failed;
    BCRYPT_AUTHENTICATED_CIPHER_MODE_INFO info = gcmInfo(nonce, associated, tag);
    SecureString out;
    out.resize(cipher.size());
    ULONG written = 0;
    NTSTATUS status =
        cng().BCryptDecrypt(gcm.handle, bytesOf(cipher), static_cast<ULONG>(cipher.size()), &info,
                            nullptr, 0, writable(out), static_cast<ULONG>(out.size()), &written, 0);
    if (status == authTagMismatch)
        return Decryption::TagMismatch;
    if (!succeeded(status) || written != cipher.size())
        return Decryption::Failed;
    plain = std::move(out);
    return Decryption::Ok;
}

} // namespace platform
