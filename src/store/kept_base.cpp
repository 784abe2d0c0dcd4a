#include "store/kept_base.h"

#include "store/file_helpers.h"
#include "store/protected_file.h"

#include <cstring>
#include <map>

namespace {

constexpr char marker[] = "KEYLOOM-BASE1";

// The key of the digests, derived from the protection's check key.
bool digestKey(const MasterKey& key, platform::Key32& out) {
    static const char label[] = "KEYLOOM-PROTECTED1 base digest key";
    return platform::hmacSha256(key.key.checkKey, label, out);
}

bool keyedDigest(const platform::Key32& with, const EntryDigest& digest, EntryDigest& out) {
    platform::Key32 mac;
    if (!platform::hmacSha256(with, bytesOf(digest), mac))
        return false;
    std::memcpy(out.data(), mac.bytes.data(), out.size());
    return true;
}

// The next CR LF line of text from at on; false when none is left.
bool nextLine(std::string_view text, std::size_t& at, std::string_view& line) {
    const std::size_t end = text.find("\r\n", at);
    if (end == std::string_view::npos)
        return false;
    line = text.substr(at, end - at);
    at = end + 2;
    return true;
}

} // namespace

std::wstring keptBasePath(const std::wstring& kept) { return kept + L".base"; }

bool writeKeptBase(const std::wstring& kept, const FileSeen& seen,
                   const std::vector<EntryDigest>& entries, const MasterKey& key) {
    platform::Key32 with;
    if (key.set && !digestKey(key, with))
        return false;
    SecureString text;
    text += marker;
    text += "\r\nfile=";
    if (seen.hashed)
        text += hexText(bytesOf(seen.hash));
    else
        text += "none";
    text += "\r\n";
    for (const EntryDigest& entry : entries) {
        EntryDigest written = entry;
        if (key.set && !keyedDigest(with, entry, written))
            return false;
        text += hexText(bytesOf(written));
        text += "\r\n";
    }
    if (!sealBytes(text, key))
        return false;
    platform::FileProtection protection;
    platform::readProtection(kept, protection);
    return platform::writeFile(keptBasePath(kept), text, protection) == platform::FileError::None;
}

bool readKeptBase(const std::wstring& kept, const MasterKey& key, KeptBase& base) {
    std::string bytes;
    if (platform::readWholeFile(keptBasePath(kept), bytes) != platform::FileError::None)
        return false;
    SecureString text(bytes);
    secureWipe(bytes.data(), bytes.size());
    if (isProtectedFile(text)) {
        const ProtectedFile file = readProtectedFile(text);
        SecureString plain;
        if (!key.set || file.salt != key.key.salt || file.iterations != key.key.iterations ||
            openProtected(file, key.key, plain) != OpenResult::Opened)
            return false;
        text = std::move(plain);
    } else if (key.set) {
        return false; // a protected list's base is never plain
    }
    std::size_t at = 0;
    std::string_view line;
    if (!nextLine(text, at, line) || line != marker || !nextLine(text, at, line) ||
        line.substr(0, 5) != "file=")
        return false;
    base = KeptBase();
    base.fileHashed = line != "file=none";
    if (base.fileHashed && !readHex(line.substr(5), base.file))
        return false;
    while (nextLine(text, at, line)) {
        EntryDigest digest;
        if (!readHex(line, digest))
            return false;
        base.entries.push_back(digest);
    }
    return at == text.size();
}

void removeKeptBase(const std::wstring& kept) {
    const std::wstring path = keptBasePath(kept);
    if (platform::fileExists(path))
        platform::wipeFile(path);
}

std::vector<EntryDigest> unkeyedBase(const KeptBase& base, const MasterKey& key, const EntryList& a,
                                     const EntryList& b) {
    if (!key.set)
        return base.entries;
    platform::Key32 with;
    std::map<EntryDigest, EntryDigest> own; // keyed: the entry's own
    if (digestKey(key, with))
        for (const EntryList* list : {&a, &b})
            for (const EntryRecord& record : list->records) {
                const EntryDigest digest = entryDigest(record);
                EntryDigest keyed;
                if (keyedDigest(with, digest, keyed))
                    own.emplace(keyed, digest);
            }
    std::vector<EntryDigest> entries;
    entries.reserve(base.entries.size());
    for (const EntryDigest& keyed : base.entries) {
        auto found = own.find(keyed);
        entries.push_back(found == own.end() ? keyed : found->second);
    }
    return entries;
}
