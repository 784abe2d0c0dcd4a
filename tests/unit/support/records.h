// Building data files for tests.
#pragma once

#include "store/data_file.h"

#include <cstring>
#include <initializer_list>
#include <map>
#include <string>
#include <utility>

namespace fake {

inline EntryRecord record(const std::string& title, const std::string& userId = "",
                          const std::string& password = "", const std::string& address = "",
                          const std::string& mail = "", const std::string& memo = "") {
    const std::string_view fields[] = {title, userId, password, address, mail, memo};
    return EntryRecord(fields);
}

inline std::string dataFile(std::initializer_list<EntryRecord> records) {
    EntryList list;
    for (const EntryRecord& r : records)
        list.records.push_back(r);
    SecureString bytes = formatDataFile(list);
    return std::string(bytes.data(), bytes.size());
}

// A master password's key for test files, derived once per password and
// count of iterations (few by default, so that tests stay fast), with a
// salt of its own.
inline const MasterKey& masterKey(const std::string& password, unsigned iterations = 1000) {
    static std::map<std::pair<std::string, unsigned>, MasterKey> keys;
    auto [it, added] = keys.try_emplace({password, iterations});
    if (added) {
        ProtectionSalt salt{};
        for (std::size_t i = 0; i < password.size(); ++i)
            salt[i % salt.size()] ^= static_cast<unsigned char>(password[i] + i);
        it->second.set = deriveProtectionKey(password, salt, iterations, it->second.key);
    }
    return it->second;
}

// PASSWORD.TXT holding records behind password.
inline std::string protectedFile(std::initializer_list<EntryRecord> records,
                                 const std::string& password = "pw", unsigned iterations = 1000) {
    std::string file;
    protectBytes(dataFile(records), masterKey(password, iterations).key, file);
    return file;
}

// The plain bytes a protected file holds under key; "" when it does not open.
inline std::string plainOf(const std::string& file, const MasterKey& key) {
    SecureString plain;
    if (openProtected(readProtectedFile(file), key.key, plain) != OpenResult::Opened)
        return "";
    return std::string(plain.data(), plain.size());
}

} // namespace fake
