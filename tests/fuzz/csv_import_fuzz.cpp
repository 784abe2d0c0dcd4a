// Any bytes as a CSV file to import: the reader never reads or writes out of
// bounds, what it adds obeys the text rules and limits, its counts agree,
// and the entries it adds, exported and imported again into an empty list,
// come back the same.
#include "store/import_export.h"
#include "store/merge.h"

#include <cstdint>
#include <cstdlib>

static void check(bool condition) {
    if (!condition)
        std::abort();
}

static void checkRules(const EntryRecord& r) {
    for (int i = 0; i < fieldCount; ++i) {
        std::string_view field = r.get(Field(i));
        check(field.size() <= fieldLimit(Field(i)));
        for (std::size_t at = 0; (at = field.find_first_of("\r\n", at)) != field.npos; at += 2)
            check(Field(i) == Field::memo && field.substr(at, 2) == "\r\n");
    }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A list entry that the input may hold too: a duplicate.
    EntryList list;
    const std::string_view fields[fieldCount] = {"a", "b", "c", "", "", ""};
    list.records.emplace_back(fields);
    ImportResult result = importCsv({reinterpret_cast<const char*>(data), size}, list);
    if (result.problem != ImportProblem::None) {
        check(result.entries.count() == 0);
        return 0;
    }
    check(result.listed.size() == std::size_t(result.refused + result.changed));
    check(result.changed <= result.entries.count());
    for (const EntryRecord& r : result.entries.records) {
        checkRules(r);
        check(!sameEntry(r, list.records[0]));
    }

    SecureString exported = formatExportFile(result.entries);
    ImportResult again = importCsv(exported, {});
    check(again.problem ==
          (result.entries.count() ? ImportProblem::None : ImportProblem::HeaderOnly));
    check(again.format == CsvFormat::Keyloom);
    check(again.duplicates == 0 && again.refused == 0 && again.changed == 0);
    check(again.entries.count() == result.entries.count());
    for (int i = 0; i < again.entries.count(); ++i)
        check(sameEntry(again.entries.records[i], result.entries.records[i]));
    return 0;
}
