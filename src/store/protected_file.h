// PASSWORD.TXT behind a master password: the bytes of the plain data file,
// encrypted with AES-256-GCM under a key derived from the password. ASCII,
// every line ending in CR LF, hex in lower case (docs/protected-file-format.md
// has it byte for byte):
//
//   KEYLOOM-PROTECTED1
//   -1                       an older Keyloom reads a negative count: damaged
//   kdf=PBKDF2-HMAC-SHA256
//   iterations=600000
//   salt=<16 bytes>
//   cipher=AES-256-GCM
//   nonce=<12 bytes>         new at every save
//   digest=<SHA-256 of every byte before this line>
//   check=<HMAC-SHA256 under the check key of every byte before this line>
//   <the ciphertext in Base64, lines of 76>
//   tag=<16 bytes>           the GCM tag, the last line; every byte up to the
//                            check line's end is authenticated with the
//                            ciphertext
#pragma once

#include "platform/platform.h"
#include "base/secure_string.h"

#include <array>
#include <string>
#include <string_view>

constexpr unsigned defaultIterations = 600000;
// More than this is taken for damage: a changed digit must not keep the
// program busy for hours before it can say so.
constexpr unsigned iterationLimit = 10000000;

using ProtectionSalt = std::array<unsigned char, 16>;

// True when the first line is KEYLOOM-PROTECTED1, ended with CR LF or with
// LF alone, after a UTF-8 byte order mark or none.
bool isProtectedFile(std::string_view bytes);

// The password as typed, UTF-16 (or, where wchar_t is 32 bits wide, code
// points), as UTF-8 bytes without normalisation; false for a lone surrogate,
// which has no UTF-8 form.
bool passwordBytes(std::wstring_view typed, SecureString& utf8);

// The two keys derived from a password for one salt and iteration count.
struct ProtectionKey {
    ProtectionSalt salt{};
    unsigned iterations = 0;
    platform::Key32 cipherKey, checkKey;
};
// False when the system could not derive it, or iterations is 0 or over the
// limit (nothing is derived then).
bool deriveProtectionKey(std::string_view password, const ProtectionSalt& salt, unsigned iterations,
                         ProtectionKey& key);
// The same with a fresh salt, for a new or changed password.
bool newProtectionKey(std::string_view password, ProtectionKey& key,
                      unsigned iterations = defaultIterations);

// The protected file holding plain, with a fresh nonce; false when the system
// could not make it (file is then empty).
bool protectBytes(std::string_view plain, const ProtectionKey& key, std::string& file);

// The parts of a protected file, to name the one that is damaged.
enum class ProtectedPart {
    None,
    Marker, // the first two lines
    Kdf,
    Iterations, // also 0 or over the limit
    Salt,
    Cipher,
    Nonce,
    Digest, // malformed, or not the digest of the lines before it
    Check,
    Body, // the Base64 lines
    Tag,  // the tag line, missing, or followed by more bytes
};

// A protected file as read, without a password. One whose line ends were
// changed to LF, or that gained a byte order mark, is read as written (with
// CR LF, without the mark), and its digest and associated data are those of
// the lines so: mended tells, so that the next save writes it as written.
struct ProtectedFile {
    ProtectedPart damaged = ProtectedPart::None; // the first damage found
    bool mended = false;
    unsigned iterations = 0;
    ProtectionSalt salt{};
    platform::GcmNonce nonce{};
    std::string beforeCheck; // every byte before the check line
    std::string checkLine;   // the check line, without its CR LF
    std::string cipher;
    platform::GcmTag tag{};
};
ProtectedFile readProtectedFile(std::string_view bytes);

// Bytes of a fixed size as text to hash, seal or write.
template <std::size_t n> std::string_view bytesOf(const std::array<unsigned char, n>& bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), n};
}

// Lower-case hex, as the format's lines write bytes; readHex takes exactly
// size bytes' worth of it, and nothing else.
std::string hexText(std::string_view bytes);
bool readHex(std::string_view text, unsigned char* out, std::size_t size);
template <std::size_t n> bool readHex(std::string_view text, std::array<unsigned char, n>& out) {
    return readHex(text, out.data(), n);
}

// Whether key is the one the file was protected with: the same salt and
// iterations, and its check verifies. A key held for one file opens another
// (a recovery candidate, a copy from another PC) without asking again.
bool keyFits(const ProtectedFile& file, const ProtectionKey& key);

enum class OpenResult {
    Opened,
    // The check line does not verify but the contents do under the key: the
    // password is right and the header is damaged. Tell the user; the next
    // save writes a sound file.
    OpenedCheckDamaged,
    WrongPassword,
    DamagedHeader, // file.damaged names the part; None: the check line
    DamagedBody,   // the password is right, the contents do not verify
    Failed,        // the system could not decrypt
};
// Decrypts file with key (derived for the file's salt and iterations) into
// plain, which is left unchanged unless it opened. The check tells a wrong
// password from damage: a check line that is not the check under key is
// rebuilt with it, and when the tag then verifies the password was right.
OpenResult openProtected(const ProtectedFile& file, const ProtectionKey& key, SecureString& plain);
