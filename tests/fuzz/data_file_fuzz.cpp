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

static void checkShortField(std::string_view field) {
    check(field.size() <= 1023);
    check(field.find('\r') == std::string_view::npos);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    EntryList list;
    parseDataFile(reinterpret_cast<const char*>(data), size, list);
    for (const EntryRecord& r : list.records) {
        for (int i = 0; i < fieldCount - 1; ++i)
            checkShortField(r.get(Field(i)));
        std::string_view memo = r.memo();
        check(memo.size() <= 8191);
        for (std::size_t i = 0; i < memo.size(); ++i)
            if (memo[i] == '\r')
                check(i + 1 < memo.size() && memo[i + 1] == '\n');
    }

    SecureString written = formatDataFile(list);
    EntryList again;
    check(parseDataFile(written.data(), written.size(), again));
    check(again.count() == list.count());
    check(formatDataFile(again) == written);
    return 0;
}
