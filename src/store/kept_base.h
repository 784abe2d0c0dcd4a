// What a list kept aside was made from. Beside a temporary file that a save
// kept in place of PASSWORD.TXT (its name and ".base") lies the base of the
// list it holds: the SHA-256 of PASSWORD.TXT's bytes as the session last
// read or wrote it, and one digest per entry of the list then. Putting the
// kept list back merges it into a PASSWORD.TXT that changed since, as the
// save would have.
//
//   KEYLOOM-BASE1    no data file's first line, and no count after it
//   file=<SHA-256 of PASSWORD.TXT, 64 hex digits; "none" when it was missing>
//   <32 hex digits>  one line per entry, in order
//
// Every line ends in CR LF. The base of a protected kept file is protected
// with the same key, and its digests are keyed: HMAC-SHA256 of each entry's
// digest under a key derived from the protection key, cut to 16 bytes. A
// plain digest beside a protected file would let anyone test guesses of an
// entry, and so of a weak password, without the key's derivation.
#pragma once

#include "platform/platform.h"
#include "store/data_file.h"
#include "store/entry_list.h"

#include <string>
#include <vector>

struct KeptBase {
    bool fileHashed = false;
    platform::Sha256Digest file{};
    std::vector<EntryDigest> entries; // keyed when the kept file is protected
};

std::wstring keptBasePath(const std::wstring& kept);

// Writes the base of the list kept at kept: PASSWORD.TXT as seen, and the
// digests of its entries, protected and keyed with key when it is set.
// False when it could not be written: the kept file's base is then unknown.
bool writeKeptBase(const std::wstring& kept, const FileSeen& seen,
                   const std::vector<EntryDigest>& entries, const MasterKey& key);
// Reads the base beside kept, protected with key when the kept file is;
// false when there is none, or none that reads as one.
bool readKeptBase(const std::wstring& kept, const MasterKey& key, KeptBase& base);
// Wipes the base beside kept, if there is one.
void removeKeptBase(const std::wstring& kept);

// The kept base's digests as the merge compares them: each keyed digest
// that an entry of a or b has under key becomes that entry's own digest.
// Entries both lists lost keep a digest that matches neither.
std::vector<EntryDigest> unkeyedBase(const KeptBase& base, const MasterKey& key,
                                     const EntryList& a, const EntryList& b);
