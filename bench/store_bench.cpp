// PASSWORD.TXT with 10,000 entries of realistic size: loading and saving, next
// to a plain read and write of the same bytes on disk.
#include "store/data_file.h"
#include "support/test_platform.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {

const std::wstring dataPath = L"C:\\Keyloom\\PASSWORD.TXT";

void put(char* field, const std::string& text) { std::memcpy(field, text.data(), text.size()); }

// A list like a person's: short titles, some Japanese, a few memo lines.
EntryList realisticList(int count) {
    EntryList list;
    for (int i = 0; i < count; ++i) {
        EntryRecord& r = list.records.emplace_back();
        std::string n = std::to_string(i);
        put(r.title, fake::sjis("銀行口座 ") + n);
        put(r.userId, "1234-5678-" + n);
        put(r.password, "x7Gq2mVb9LpA" + n);
        put(r.address, "https://www.example.co.jp/login/" + n);
        put(r.mail, "user" + n + "@example.co.jp");
        put(r.memo, fake::sjis("暗証番号は別の手帳に記載。\r\n秘密の質問: 母の旧姓\r\n") + n);
    }
    return list;
}

void BM_SaveDataFile(benchmark::State& state) {
    fake::reset();
    entryList = realisticList(10000);
    for (auto _ : state)
        benchmark::DoNotOptimize(saveDataFile());
    state.SetBytesProcessed(state.iterations() * fake::files[dataPath].size());
    releaseEntries(entryList);
}
BENCHMARK(BM_SaveDataFile)->Unit(benchmark::kMillisecond);

void BM_LoadDataFile(benchmark::State& state) {
    fake::reset();
    EntryList list = realisticList(10000);
    SecureString bytes = formatDataFile(list);
    fake::files[dataPath] = std::string(bytes.data(), bytes.size());
    for (auto _ : state)
        benchmark::DoNotOptimize(loadDataFile());
    state.SetBytesProcessed(state.iterations() * bytes.size());
    releaseEntries(entryList);
}
BENCHMARK(BM_LoadDataFile)->Unit(benchmark::kMillisecond);

std::string diskPath() { return "/tmp/keyloom-bench-" + std::to_string(getpid()) + ".txt"; }

void BM_PlainWriteToDisk(benchmark::State& state) {
    SecureString bytes = formatDataFile(realisticList(10000));
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
    SecureString bytes = formatDataFile(realisticList(10000));
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

} // namespace
