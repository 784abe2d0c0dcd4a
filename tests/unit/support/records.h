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

} // namespace fake
