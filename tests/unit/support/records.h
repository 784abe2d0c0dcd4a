// Building data files for tests.
#pragma once

#include "store/data_file.h"

#include <cstring>
#include <initializer_list>
#include <string>

namespace fake {

inline EntryRecord record(const std::string& title, const std::string& userId = "",
                          const std::string& password = "", const std::string& address = "",
                          const std::string& mail = "", const std::string& memo = "") {
    EntryRecord r{};
    std::memcpy(r.title, title.data(), title.size());
    std::memcpy(r.userId, userId.data(), userId.size());
    std::memcpy(r.password, password.data(), password.size());
    std::memcpy(r.address, address.data(), address.size());
    std::memcpy(r.mail, mail.data(), mail.size());
    std::memcpy(r.memo, memo.data(), memo.size());
    return r;
}

inline std::string dataFile(std::initializer_list<EntryRecord> records) {
    EntryList list;
    for (const EntryRecord& r : records)
        list.records.push_back(r);
    SecureString bytes = formatDataFile(list);
    return std::string(bytes.data(), bytes.size());
}

} // namespace fake
