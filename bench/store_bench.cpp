// PASSWORD.TXT with 10,000 entries of realistic size: loading and saving,
// next to what the same bytes cost at the least (split into one string per
// line, and such strings joined back), and a plain read and write on disk;
// and the memory the loaded entries hold. The merge of two PCs' changes
// next to the plain formatting of the same list, and the exit's save with
// and without another PC's changes to take in. A CSV file of 10,000
// passwords imported, and the list exported.
#include "store/data_file.h"
#include "store/import_export.h"
#include "store/merge.h"
#include "store/protected_file.h"
#include "store/sync.h"
#include "support/records.h"
#include "support/test_platform.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <new>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

// Every allocation counted, so that the memory the entries hold and the peak
// while they are read can be told.
namespace {

std::size_t allocated = 0, peak = 0;

void* counted(std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (!p)
        throw std::bad_alloc();
    allocated += malloc_usable_size(p);
    peak = std::max(peak, allocated);
    return p;
}

void released(void* p) {
    if (p)
        allocated -= malloc_usable_size(p);
    std::free(p);
}

} // namespace

void* operator new(std::size_t size) { return counted(size); }
void* operator new[](std::size_t size) { return counted(size); }
void operator delete(void* p) noexcept { released(p); }
void operator delete[](void* p) noexcept { released(p); }
void operator delete(void* p, std::size_t) noexcept { released(p); }
void operator delete[](void* p, std::size_t) noexcept { released(p); }

namespace {

const std::wstring dataPath = L"C:\\Keyloom\\PASSWORD.TXT";
constexpr int entries = 10000;

// A list like a person's: short titles, some Japanese, a few memo lines.
EntryList realisticList(int count) {
    EntryList list;
    for (int i = 0; i < count; ++i) {
        std::string n = std::to_string(i);
        const std::string fields[] = {
            fake::sjis("銀行口座 ") + n,
            "1234-5678-" + n,
            "x7Gq2mVb9LpA" + n,
            "https://www.example.co.jp/login/" + n,
            "user" + n + "@example.co.jp",
            fake::sjis("暗証番号は別の手帳に記載。\r\n秘密の質問: 母の旧姓\r\n") + n};
        const std::string_view views[] = {fields[0], fields[1], fields[2],
                                          fields[3], fields[4], fields[5]};
        list.records.emplace_back(views);
    }
    return list;
}

std::string realisticFile() {
    SecureString bytes = formatDataFile(realisticList(entries));
    return std::string(bytes.data(), bytes.size());
}

// The least a reader can do: one string per CR LF line.
std::vector<std::string> splitLines(const std::string& bytes) {
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; (end = bytes.find("\r\n", at)) != std::string::npos; at = end + 2)
        lines.emplace_back(bytes, at, end - at);
    return lines;
}

void BM_LoadDataFile(benchmark::State& state) {
    fake::reset();
    fake::files[dataPath] = realisticFile();
    for (auto _ : state)
        benchmark::DoNotOptimize(loadDataFile());
    state.SetBytesProcessed(state.iterations() * fake::files[dataPath].size());
    releaseEntries(entryList);
    releaseDataFileBase();
}
BENCHMARK(BM_LoadDataFile)->Unit(benchmark::kMillisecond);

void BM_SplitIntoLines(benchmark::State& state) {
    std::string bytes = realisticFile();
    for (auto _ : state)
        benchmark::DoNotOptimize(splitLines(bytes));
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_SplitIntoLines)->Unit(benchmark::kMillisecond);

void BM_SaveDataFile(benchmark::State& state) {
    fake::reset();
    entryList = realisticList(entries);
    for (auto _ : state)
        benchmark::DoNotOptimize(saveDataFile(formatDataFile(entryList)));
    state.SetBytesProcessed(state.iterations() * fake::files[dataPath].size());
    releaseEntries(entryList);
}
BENCHMARK(BM_SaveDataFile)->Unit(benchmark::kMillisecond);

void BM_JoinLines(benchmark::State& state) {
    std::vector<std::string> lines = splitLines(realisticFile());
    for (auto _ : state) {
        std::string out;
        for (const std::string& line : lines) {
            out += line;
            out += "\r\n";
        }
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(BM_JoinLines)->Unit(benchmark::kMillisecond);

// The memory that 10,000 loaded entries hold once the file's bytes are
// released (with the base that other PCs' changes are told from, a digest
// per entry), and the most the load took on the way, next to the file's size.
void BM_MemoryOfTheLoadedList(benchmark::State& state) {
    fake::reset();
    fake::files[dataPath] = realisticFile();
    double file = fake::files[dataPath].size(), held = 0, top = 0;
    for (auto _ : state) {
        releaseEntries(entryList);
        releaseDataFileBase();
        std::size_t before = allocated;
        peak = allocated;
        loadDataFile();
        held = double(allocated - before);
        top = double(peak - before);
    }
    state.counters["file_MB"] = file / 1e6;
    state.counters["held_MB"] = held / 1e6;
    state.counters["held_per_file"] = held / file;
    state.counters["peak_MB"] = top / 1e6;
    releaseEntries(entryList);
    releaseDataFileBase();
}
BENCHMARK(BM_MemoryOfTheLoadedList)->Unit(benchmark::kMillisecond)->Iterations(3);

// The base's digests of 10,000 entries, part of every load, next to SHA-256
// of each entry's fields through the platform, one call per entry.
void BM_EntryDigests(benchmark::State& state) {
    const EntryList list = realisticList(entries);
    for (auto _ : state)
        benchmark::DoNotOptimize(entryDigests(list));
}
BENCHMARK(BM_EntryDigests)->Unit(benchmark::kMillisecond);

void BM_Sha256PerEntry(benchmark::State& state) {
    std::vector<std::string> fields;
    for (const EntryRecord& r : realisticList(entries).records) {
        fields.emplace_back();
        for (int i = 0; i < fieldCount; ++i)
            fields.back().append(r.get(Field(i))).push_back('\0');
    }
    std::vector<platform::Sha256Digest> digests(fields.size());
    for (auto _ : state)
        for (std::size_t i = 0; i < fields.size(); ++i)
            platform::sha256(fields[i], digests[i]);
}
BENCHMARK(BM_Sha256PerEntry)->Unit(benchmark::kMillisecond);

// The list with changes spread over it, as one PC makes them: edits of a
// password, new entries, deletions and moves.
EntryList changedList(const EntryList& base, int changes, unsigned seed) {
    EntryList list = base;
    std::mt19937 random(seed);
    auto place = [&](std::size_t size) { return random() % size; };
    for (int k = 0; k < changes; ++k) {
        auto& records = list.records;
        switch (k % 4) {
        case 0:
            records[place(records.size())].set(Field::password, "changed" + std::to_string(k));
            break;
        case 1:
            records.insert(records.begin() + place(records.size() + 1),
                           fake::record("new " + std::to_string(seed) + "-" + std::to_string(k)));
            break;
        case 2: records.erase(records.begin() + place(records.size())); break;
        case 3: {
            const auto from = records.begin() + place(records.size());
            EntryRecord moving = std::move(*from);
            records.erase(from);
            records.insert(records.begin() + place(records.size() + 1), std::move(moving));
            break;
        }
        }
    }
    return list;
}

void merge(benchmark::State& state, const EntryList& base, const EntryList& ours,
           const EntryList& theirs) {
    MergeReport report;
    const std::vector<EntryDigest> digests = entryDigests(base); // as the base holds them
    for (auto _ : state)
        benchmark::DoNotOptimize(mergeEntries(digests, ours, theirs, report));
    state.counters["conflicts"] = report.conflicts;
    state.counters["taken"] = report.added + report.changed + report.moved + report.deleted;
}

// Two PCs' 100 changes each to 10,000 entries, merged.
void BM_MergeHundredChangesEach(benchmark::State& state) {
    const EntryList base = realisticList(entries);
    merge(state, base, changedList(base, 100, 1), changedList(base, 100, 2));
}
BENCHMARK(BM_MergeHundredChangesEach)->Unit(benchmark::kMillisecond);

// The same list formatted for the file, as every save does.
void BM_FormatDataFile(benchmark::State& state) {
    const EntryList list = changedList(realisticList(entries), 100, 1);
    for (auto _ : state)
        benchmark::DoNotOptimize(formatDataFile(list));
}
BENCHMARK(BM_FormatDataFile)->Unit(benchmark::kMillisecond);

// A save of this PC's 100 changes as the exit makes it (the lock, PASSWORD.TXT
// read and hashed, the temporary file written, the file looked at again, the
// swap): over the list as read, and over another PC's 100 changes, merged.
void saveMerging(benchmark::State& state, bool otherPcSaved) {
    fake::reset();
    const EntryList base = realisticList(entries), ours = changedList(base, 100, 1);
    SecureString baseBytes = formatDataFile(base),
                 theirs = formatDataFile(otherPcSaved ? changedList(base, 100, 2) : base);
    fake::files[dataPath] = std::string(baseBytes.data(), baseBytes.size());
    const FileSeen seen = seeDataFile();
    for (auto _ : state) {
        state.PauseTiming();
        setDataFileBase(base, seen);
        fake::files[dataPath] = std::string(theirs.data(), theirs.size());
        fake::fileTimes[dataPath] = otherPcSaved ? 1000 : seen.stamp.time;
        state.ResumeTiming();
        MergingSave saved = saveMerging(ours, MergingRules());
        if (saved.outcome != Saved::Written || saved.merged != otherPcSaved)
            state.SkipWithError("not saved as the case says");
    }
    releaseDataFileBase();
}

void BM_SaveOverTheListAsRead(benchmark::State& state) { saveMerging(state, false); }
BENCHMARK(BM_SaveOverTheListAsRead)->Unit(benchmark::kMillisecond);

void BM_SaveThatMergesHundredChangesEach(benchmark::State& state) { saveMerging(state, true); }
BENCHMARK(BM_SaveThatMergesHundredChangesEach)->Unit(benchmark::kMillisecond);

// The worst order: the other PC holds the same entries the other way round.
void BM_MergeReversed(benchmark::State& state) {
    const EntryList base = realisticList(entries);
    EntryList reversed = base;
    std::reverse(reversed.records.begin(), reversed.records.end());
    merge(state, base, changedList(base, 100, 1), reversed);
}
BENCHMARK(BM_MergeReversed)->Unit(benchmark::kMillisecond);

std::string diskPath() { return "/tmp/keyloom-bench-" + std::to_string(getpid()) + ".txt"; }

void BM_PlainWriteToDisk(benchmark::State& state) {
    std::string bytes = realisticFile();
    std::string path = diskPath();
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fflush(f);
        fsync(fileno(f));
        std::fclose(f);
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
    std::remove(path.c_str());
}
BENCHMARK(BM_PlainWriteToDisk)->Unit(benchmark::kMillisecond);

void BM_PlainReadFromDisk(benchmark::State& state) {
    std::string bytes = realisticFile();
    std::string path = diskPath();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    std::string buffer(bytes.size(), '\0');
    for (auto _ : state) {
        f = std::fopen(path.c_str(), "rb");
        benchmark::DoNotOptimize(std::fread(&buffer[0], 1, buffer.size(), f));
        std::fclose(f);
    }
    state.SetBytesProcessed(state.iterations() * bytes.size());
    std::remove(path.c_str());
}
BENCHMARK(BM_PlainReadFromDisk)->Unit(benchmark::kMillisecond);

// The master password: deriving its key at the iterations of a new file
// (OpenSSL here; bench-wine times CNG), and the 10,000 entries protected and
// opened again with the key held, beside BM_LoadDataFile and BM_SaveDataFile.
void BM_DeriveProtectionKey(benchmark::State& state) {
    ProtectionSalt salt{};
    ProtectionKey key;
    for (auto _ : state)
        benchmark::DoNotOptimize(
            deriveProtectionKey("correct horse", salt, defaultIterations, key));
}
BENCHMARK(BM_DeriveProtectionKey)->Unit(benchmark::kMillisecond);

void BM_ProtectDataFile(benchmark::State& state) {
    std::string plain = realisticFile(), file;
    ProtectionKey key;
    newProtectionKey("correct horse", key, 1000);
    for (auto _ : state)
        benchmark::DoNotOptimize(protectBytes(plain, key, file));
    state.SetBytesProcessed(state.iterations() * plain.size());
}
BENCHMARK(BM_ProtectDataFile)->Unit(benchmark::kMillisecond);

// As the start-up loads it once the key is derived: opened below the reader.
void BM_LoadProtectedDataFile(benchmark::State& state) {
    fake::reset();
    heldKey.set = newProtectionKey("correct horse", heldKey.key, 1000);
    SecureString bytes = formatDataFile(realisticList(entries));
    sealBytes(bytes, heldKey);
    fake::files[dataPath] = std::string(bytes.data(), bytes.size());
    for (auto _ : state)
        if (loadDataFile() != DataFileState::Read)
            state.SkipWithError("the file did not open");
    state.SetBytesProcessed(state.iterations() * fake::files[dataPath].size());
    releaseEntries(entryList);
    releaseDataFileBase();
    forgetKeys();
}
BENCHMARK(BM_LoadProtectedDataFile)->Unit(benchmark::kMillisecond);

// ---- CSV import and export ----

// A browser's export of 10,000 passwords, and an export of the realistic
// list: read and mapped into an empty list, and into that list (every row a
// duplicate). The conversion to code page 932 alone, as the platform makes
// it for the same fields, tells the share of the test platform's iconv.
std::string browserExport() {
    std::string csv = "name,url,username,password,note\r\n";
    for (int i = 0; i < entries; ++i) {
        std::string n = std::to_string(i);
        csv += "\"銀行口座 " + n + "\",https://www.example.co.jp/login/" + n + ",user" + n +
               "@example.co.jp,x7Gq2mVb9LpA" + n +
               ",\"暗証番号は別の手帳に記載。\n秘密の質問: 母の旧姓\"\r\n";
    }
    return csv;
}

void BM_ImportTenThousandRows(benchmark::State& state) {
    const std::string csv = browserExport();
    const EntryList empty;
    for (auto _ : state)
        if (importCsv(csv, empty).entries.count() != entries)
            state.SkipWithError("not every row imported");
    state.SetBytesProcessed(state.iterations() * csv.size());
}
BENCHMARK(BM_ImportTenThousandRows)->Unit(benchmark::kMillisecond);

void BM_ImportTenThousandDuplicates(benchmark::State& state) {
    const EntryList list = realisticList(entries);
    SecureString exported = formatExportFile(list);
    const std::string csv(exported.data(), exported.size());
    for (auto _ : state)
        if (importCsv(csv, list).duplicates != entries)
            state.SkipWithError("not every row a duplicate");
}
BENCHMARK(BM_ImportTenThousandDuplicates)->Unit(benchmark::kMillisecond);

void BM_ConvertTenThousandRowsToCodePage932(benchmark::State& state) {
    const std::wstring row =
        fake::wide("銀行口座 1234https://www.example.co.jp/login/1234user1234@"
                   "example.co.jpx7Gq2mVb9LpA1234暗証番号は別の手帳に記載。\r\n"
                   "秘密の質問: 母の旧姓");
    for (auto _ : state)
        for (int i = 0; i < entries; ++i)
            benchmark::DoNotOptimize(platform::wideToSjis(row));
}
BENCHMARK(BM_ConvertTenThousandRowsToCodePage932)->Unit(benchmark::kMillisecond);

void BM_ExportTenThousandEntries(benchmark::State& state) {
    const EntryList list = realisticList(entries);
    for (auto _ : state)
        benchmark::DoNotOptimize(formatExportFile(list));
}
BENCHMARK(BM_ExportTenThousandEntries)->Unit(benchmark::kMillisecond);

} // namespace
