#include "store/protected_file.h"

#include <cstddef>
#include <cstdint>

namespace {

const std::string_view marker = "KEYLOOM-PROTECTED1";
const std::string_view byteOrderMark = "\xEF\xBB\xBF";
const std::string_view kdfLine = "kdf=PBKDF2-HMAC-SHA256";
const std::string_view cipherLine = "cipher=AES-256-GCM";
// The two keys are HMAC-SHA256 of these labels under the derived key.
const std::string_view cipherLabel = "KEYLOOM-PROTECTED1 cipher key";
const std::string_view checkLabel = "KEYLOOM-PROTECTED1 check key";
constexpr std::size_t base64LineLength = 76;

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

const char base64Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// RFC 4648 Base64 with padding, in lines of 76 characters ending in CR LF.
void appendBase64(std::string_view bytes, std::string& out) {
    out.reserve(out.size() + bytes.size() / 57 * 78 + 80);
    std::string line;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        std::uint32_t group = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size())
            group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size())
            group |= static_cast<unsigned char>(bytes[i + 2]);
        line += base64Digits[group >> 18 & 63];
        line += base64Digits[group >> 12 & 63];
        line += i + 1 < bytes.size() ? base64Digits[group >> 6 & 63] : '=';
        line += i + 2 < bytes.size() ? base64Digits[group & 63] : '=';
        if (line.size() == base64LineLength || i + 3 >= bytes.size()) {
            out += line;
            out += "\r\n";
            line.clear();
        }
    }
}

// Base64 of any line length, the CR LF between lines skipped; padding only
// at the very end.
bool readBase64(std::string_view text, std::string& out) {
    static const std::array<signed char, 256> values = [] {
        std::array<signed char, 256> table;
        table.fill(-1);
        for (int i = 0; i < 64; ++i)
            table[static_cast<unsigned char>(base64Digits[i])] = static_cast<signed char>(i);
        return table;
    }();
    out.reserve(text.size() / 4 * 3);
    std::uint32_t group = 0;
    int inGroup = 0, padding = 0;
    for (char c : text) {
        int value = values[static_cast<unsigned char>(c)];
        if (c == '\r' || c == '\n')
            continue;
        if (c == '=' && inGroup >= 2) {
            ++padding;
            value = 0;
        } else if (value < 0 || padding > 0) {
            return false;
        }
        group = group << 6 | static_cast<std::uint32_t>(value);
        if (++inGroup == 4) {
            out += static_cast<char>(group >> 16);
            if (padding < 2)
                out += static_cast<char>(group >> 8 & 255);
            if (padding < 1)
                out += static_cast<char>(group & 255);
            group = 0;
            inGroup = 0;
        }
    }
    return inGroup == 0;
}

// The file's CR LF lines, one at a time, with where each starts.
struct Lines {
    std::string_view bytes;
    std::size_t next = 0;
    std::size_t start = 0;

    bool read(std::string_view& line) {
        std::size_t end = bytes.find("\r\n", next);
        if (end == std::string_view::npos)
            return false;
        start = next;
        line = bytes.substr(next, end - next);
        next = end + 2;
        return true;
    }
};

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// The file as the format writes it, into mended: without the byte order
// mark an editor may add, and every LF with its CR (sync clients, version
// control and editors change line ends). False when it is so already.
bool asWritten(std::string_view bytes, std::string& mended) {
    const bool mark = startsWith(bytes, byteOrderMark);
    if (mark)
        bytes.remove_prefix(byteOrderMark.size());
    bool bareLf = false;
    for (std::size_t at = bytes.find('\n'); at != std::string_view::npos && !bareLf;
         at = bytes.find('\n', at + 1))
        bareLf = at == 0 || bytes[at - 1] != '\r';
    if (!mark && !bareLf)
        return false;
    mended.reserve(bytes.size() + bytes.size() / 32);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r'))
            mended += '\r';
        mended += bytes[i];
    }
    return true;
}

// Decimal digits only, 1 to the limit.
bool readIterations(std::string_view text, unsigned& iterations) {
    if (text.empty() || text.size() > 8)
        return false;
    iterations = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        iterations = iterations * 10 + static_cast<unsigned>(c - '0');
    }
    return iterations >= 1 && iterations <= iterationLimit;
}

std::string checkLineFor(const platform::Key32& check) {
    return "check=" + hexText(bytesOf(check.bytes));
}

bool computeCheck(std::string_view beforeCheck, const ProtectionKey& key, platform::Key32& check) {
    return platform::hmacSha256(key.checkKey, beforeCheck, check);
}

void appendUtf8(char32_t c, SecureString& out) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | c >> 6);
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | c >> 12);
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | c >> 18);
        out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace

std::string hexText(std::string_view bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

bool readHex(std::string_view text, unsigned char* out, std::size_t size) {
    if (text.size() != 2 * size)
        return false;
    for (std::size_t i = 0; i < size; ++i) {
        int high = hexValue(text[2 * i]), low = hexValue(text[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        out[i] = static_cast<unsigned char>(high << 4 | low);
    }
    return true;
}

bool isProtectedFile(std::string_view bytes) {
    if (startsWith(bytes, byteOrderMark))
        bytes.remove_prefix(byteOrderMark.size());
    if (!startsWith(bytes, marker))
        return false;
    bytes.remove_prefix(marker.size());
    return startsWith(bytes, "\r\n") || startsWith(bytes, "\n");
}

bool passwordBytes(std::wstring_view typed, SecureString& utf8) {
    utf8.clear();
    for (std::size_t i = 0; i < typed.size(); ++i) {
        char32_t c = static_cast<char32_t>(typed[i]);
        // A pair is one character in UTF-16; where wchar_t holds code points
        // (the unit tests' build) every surrogate stands alone.
        if (sizeof(wchar_t) == 2 && c >= 0xD800 && c < 0xDC00 && i + 1 < typed.size() &&
            typed[i + 1] >= 0xDC00 && typed[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(typed[++i]) - 0xDC00);
        } else if ((c >= 0xD800 && c < 0xE000) || c > 0x10FFFF) {
            utf8.clear();
            return false;
        }
        appendUtf8(c, utf8);
    }
    return true;
}

bool deriveProtectionKey(std::string_view password, const ProtectionSalt& salt, unsigned iterations,
                         ProtectionKey& key) {
    if (iterations < 1 || iterations > iterationLimit)
        return false;
    platform::Key32 derived;
    if (!platform::pbkdf2Sha256(password, bytesOf(salt), iterations, derived) ||
        !platform::hmacSha256(derived, cipherLabel, key.cipherKey) ||
        !platform::hmacSha256(derived, checkLabel, key.checkKey))
        return false;
    key.salt = salt;
    key.iterations = iterations;
    return true;
}

bool newProtectionKey(std::string_view password, ProtectionKey& key, unsigned iterations) {
    ProtectionSalt salt;
    return platform::randomBytes(salt.data(), salt.size()) &&
           deriveProtectionKey(password, salt, iterations, key);
}

bool protectBytes(std::string_view plain, const ProtectionKey& key, std::string& file) {
    file.clear();
    platform::GcmNonce nonce;
    if (!platform::randomBytes(nonce.data(), nonce.size()))
        return false;
    std::string out = std::string(marker) + "\r\n-1\r\n" + std::string(kdfLine) +
                      "\r\niterations=" + std::to_string(key.iterations) +
                      "\r\nsalt=" + hexText(bytesOf(key.salt)) + "\r\n" + std::string(cipherLine) +
                      "\r\nnonce=" + hexText(bytesOf(nonce)) + "\r\n";
    platform::Sha256Digest digest;
    platform::Key32 check;
    if (!platform::sha256(out, digest))
        return false;
    out += "digest=" + hexText(bytesOf(digest)) + "\r\n";
    if (!computeCheck(out, key, check))
        return false;
    out += checkLineFor(check) + "\r\n";
    std::string cipher;
    platform::GcmTag tag;
    if (!platform::aesGcmEncrypt(key.cipherKey, nonce, out, plain, cipher, tag))
        return false;
    appendBase64(cipher, out);
    out += "tag=" + hexText(bytesOf(tag)) + "\r\n";
    file = std::move(out);
    return true;
}

ProtectedFile readProtectedFile(std::string_view bytes) {
    ProtectedFile file;
    std::string mended;
    file.mended = asWritten(bytes, mended);
    if (file.mended)
        bytes = mended;
    Lines lines{bytes};
    std::string_view line;
    auto damaged = [&](ProtectedPart part) {
        file.damaged = part;
        return file;
    };
    if (!lines.read(line) || line != marker || !lines.read(line) || line != "-1")
        return damaged(ProtectedPart::Marker);
    if (!lines.read(line) || line != kdfLine)
        return damaged(ProtectedPart::Kdf);
    if (!lines.read(line) || !startsWith(line, "iterations=") ||
        !readIterations(line.substr(11), file.iterations))
        return damaged(ProtectedPart::Iterations);
    if (!lines.read(line) || !startsWith(line, "salt=") || !readHex(line.substr(5), file.salt))
        return damaged(ProtectedPart::Salt);
    if (!lines.read(line) || line != cipherLine)
        return damaged(ProtectedPart::Cipher);
    if (!lines.read(line) || !startsWith(line, "nonce=") || !readHex(line.substr(6), file.nonce))
        return damaged(ProtectedPart::Nonce);
    platform::Sha256Digest written, computed;
    if (!lines.read(line) || !startsWith(line, "digest=") || !readHex(line.substr(7), written) ||
        !platform::sha256(bytes.substr(0, lines.start), computed) || written != computed)
        return damaged(ProtectedPart::Digest);
    // The check line is judged by openProtected: a changed byte in it must
    // not keep the right password out.
    if (!lines.read(line))
        return damaged(ProtectedPart::Check);
    file.beforeCheck = bytes.substr(0, lines.start);
    file.checkLine = line;
    // The tag line is the file's last: a last Base64 line can read "tag="
    // too.
    const std::size_t bodyStart = lines.next;
    lines.next =
        bytes.size() > bodyStart + 2 ? bytes.rfind("\r\n", bytes.size() - 3) + 2 : bodyStart;
    if (!lines.read(line) || lines.next != bytes.size() || !startsWith(line, "tag=") ||
        !readHex(line.substr(4), file.tag))
        return damaged(ProtectedPart::Tag);
    if (!readBase64(bytes.substr(bodyStart, lines.start - bodyStart), file.cipher))
        return damaged(ProtectedPart::Body);
    return file;
}

bool keyFits(const ProtectedFile& file, const ProtectionKey& key) {
    platform::Key32 check;
    return file.damaged == ProtectedPart::None && file.salt == key.salt &&
           file.iterations == key.iterations && computeCheck(file.beforeCheck, key, check) &&
           file.checkLine == checkLineFor(check);
}

OpenResult openProtected(const ProtectedFile& file, const ProtectionKey& key, SecureString& plain) {
    if (file.damaged != ProtectedPart::None)
        return file.damaged == ProtectedPart::Body || file.damaged == ProtectedPart::Tag
                   ? OpenResult::DamagedBody
                   : OpenResult::DamagedHeader;
    platform::Key32 check;
    if (file.salt != key.salt || file.iterations != key.iterations)
        return OpenResult::WrongPassword;
    if (!computeCheck(file.beforeCheck, key, check))
        return OpenResult::Failed;
    std::string expected = checkLineFor(check);
    bool checkFits = file.checkLine == expected;
    // The associated data as written: with the check this key gives, since a
    // damaged check line would fail the tag under the right key too.
    std::string associated = std::string(file.beforeCheck) + expected + "\r\n";
    switch (platform::aesGcmDecrypt(key.cipherKey, file.nonce, associated, file.cipher, file.tag,
                                    plain)) {
    case platform::Decryption::Ok:
        return checkFits ? OpenResult::Opened : OpenResult::OpenedCheckDamaged;
    case platform::Decryption::TagMismatch:
        if (checkFits)
            return OpenResult::DamagedBody;
        // A check line of the right form that is not this key's is what a
        // wrong password gives; one of any other form was damaged.
        return startsWith(file.checkLine, "check=") && file.checkLine.size() == expected.size() &&
                       file.checkLine.find_first_not_of("0123456789abcdef", 6) ==
                           std::string_view::npos
                   ? OpenResult::WrongPassword
                   : OpenResult::DamagedHeader;
    case platform::Decryption::Failed: break;
    }
    return OpenResult::Failed;
}
