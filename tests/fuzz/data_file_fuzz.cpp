// Any bytes as PASSWORD.TXT: the reader never reads or writes out of bounds,
// what it keeps obeys the text rules, and writing it gives a file that reads
// back intact and the same.
#include "store/data_file.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

static void check(bool condition) {
    if (!condition)
        std::abort();
}

static void checkShortField(const char* field) {
    const char* end = static_cast<const char*>(std::memchr(field, '\0', 1024));
    check(end != nullptr);
    check(std::memchr(field, '\r', end - field) == nullptr);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    EntryList list;
    parseDataFile(reinterpret_cast<const char*>(data), size, list);
    for (const EntryRecord& r : list.records) {
        for (const char* f : {r.title, r.userId, r.password, r.address, r.mail})
            checkShortField(f);
        const char* end = static_cast<const char*>(std::memchr(r.memo, '\0', sizeof r.memo));
        check(end != nullptr);
        for (const char* p = r.memo; p < end; ++p)
            if (*p == '\r')
                check(p + 1 < end && p[1] == '\n');
    }

    SecureString written = formatDataFile(list);
    EntryList again;
    check(parseDataFile(written.data(), written.size(), again));
    check(again.count() == list.count());
    check(formatDataFile(again) == written);
    return 0;
}
