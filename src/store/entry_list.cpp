#include "store/entry_list.h"

#include "platform/platform.h"
#include "store/text.h"
#include "base/secure_string.h"

#include <cstring>
#include <string>
#include <utility>

EntryList entryList;

namespace {

constexpr std::size_t header = fieldCount * sizeof(std::uint16_t);

void lengthsOf(const char* block, std::uint16_t (&lengths)[fieldCount]) {
    std::memcpy(lengths, block, header);
}

} // namespace

void EntryRecord::Wipe::operator()(char* block) const {
    std::uint16_t lengths[fieldCount];
    lengthsOf(block, lengths);
    std::size_t size = header;
    for (std::uint16_t length : lengths)
        size += length + 1;
    secureWipe(block, size);
    delete[] block;
}

EntryRecord::EntryRecord(const std::string_view (&fields)[fieldCount]) {
    std::uint16_t lengths[fieldCount];
    std::size_t size = header, text = 0;
    for (int i = 0; i < fieldCount; ++i) {
        lengths[i] = static_cast<std::uint16_t>(
            fittingLength(fields[i].data(), fields[i].size(), fieldLimit(Field(i))));
        size += lengths[i] + 1;
        text += lengths[i];
    }
    if (text == 0)
        return; // six empty fields need no block
    block.reset(new char[size]);
    std::memcpy(block.get(), lengths, header);
    char* at = block.get() + header;
    for (int i = 0; i < fieldCount; ++i) {
        if (lengths[i]) // an empty view may have no bytes at all
            std::memcpy(at, fields[i].data(), lengths[i]);
        at[lengths[i]] = '\0';
        at += lengths[i] + 1;
    }
}

EntryRecord::EntryRecord(const EntryRecord& other) {
    std::string_view fields[fieldCount];
    for (int i = 0; i < fieldCount; ++i)
        fields[i] = other.get(Field(i));
    *this = EntryRecord(fields);
}

EntryRecord& EntryRecord::operator=(const EntryRecord& other) {
    if (this != &other)
        *this = EntryRecord(other);
    return *this;
}

namespace {

// In the machine's order: the digests never leave the memory of one run.
std::uint64_t load64(const unsigned char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

std::uint64_t rotate(std::uint64_t v, int by) { return v << by | v >> (64 - by); }

std::uint64_t finalMix(std::uint64_t v) {
    v = (v ^ v >> 33) * 0xff51afd7ed558ccdu;
    v = (v ^ v >> 33) * 0xc4ceb9fe1a85ec53u;
    return v ^ v >> 33;
}

// MurmurHash3's 128-bit form for 64-bit machines (public domain), which
// passes the usual tests of hash quality at several bytes a cycle. A
// system call of SHA-256 per entry would cost more than reading the file.
EntryDigest digest128(const unsigned char* data, std::size_t size) {
    constexpr std::uint64_t c1 = 0x87c37b91114253d5u, c2 = 0x4cf5ad432745937fu;
    std::uint64_t h1 = 0, h2 = 0;
    auto mixLow = [&](std::uint64_t k) { h1 ^= rotate(k * c1, 31) * c2; };
    auto mixHigh = [&](std::uint64_t k) { h2 ^= rotate(k * c2, 33) * c1; };
    const std::size_t blocks = size / 16;
    for (std::size_t i = 0; i < blocks; ++i) {
        mixLow(load64(data + 16 * i));
        h1 = (rotate(h1, 27) + h2) * 5 + 0x52dce729;
        mixHigh(load64(data + 16 * i + 8));
        h2 = (rotate(h2, 31) + h1) * 5 + 0x38495ab5;
    }
    unsigned char tail[16] = {};
    const std::size_t rest = size % 16;
    if (rest > 0) {
        std::memcpy(tail, data + 16 * blocks, rest);
        if (rest > 8)
            mixHigh(load64(tail + 8));
        mixLow(load64(tail));
    }
    h1 ^= size;
    h2 ^= size;
    h1 += h2;
    h2 += h1;
    h1 = finalMix(h1);
    h2 = finalMix(h2);
    h1 += h2;
    h2 += h1;
    EntryDigest digest;
    for (int i = 0; i < 8; ++i) {
        digest[i] = static_cast<unsigned char>(h1 >> 8 * i);
        digest[8 + i] = static_cast<unsigned char>(h2 >> 8 * i);
    }
    return digest;
}

} // namespace

// The block as it is: lengths and texts, NUL after each (the lengths keep
// "ab", "c" apart from "a", "bc").
EntryDigest entryDigest(const EntryRecord& record) {
    if (!record.block) {
        const unsigned char empty[header + fieldCount] = {};
        return digest128(empty, sizeof empty);
    }
    std::uint16_t lengths[fieldCount];
    lengthsOf(record.block.get(), lengths);
    std::size_t size = header;
    for (std::uint16_t length : lengths)
        size += length + 1;
    return digest128(reinterpret_cast<const unsigned char*>(record.block.get()), size);
}

std::vector<EntryDigest> entryDigests(const EntryList& list) {
    std::vector<EntryDigest> digests;
    digests.reserve(list.records.size());
    for (const EntryRecord& record : list.records)
        digests.push_back(entryDigest(record));
    return digests;
}

std::string_view EntryRecord::get(Field field) const {
    if (!block)
        return std::string_view("", 0);
    std::uint16_t lengths[fieldCount];
    lengthsOf(block.get(), lengths);
    const char* at = block.get() + header;
    for (int i = 0; i < static_cast<int>(field); ++i)
        at += lengths[i] + 1;
    return std::string_view(at, lengths[static_cast<int>(field)]);
}

void EntryRecord::set(Field field, std::string_view text) {
    std::string_view fields[fieldCount];
    for (int i = 0; i < fieldCount; ++i)
        fields[i] = Field(i) == field ? text : get(Field(i));
    // Built whole before the old block goes: text may lie in it.
    EntryRecord changed(fields);
    *this = std::move(changed);
}

int appendEntry() {
    std::string title =
        platform::wideToSjis(L"新しいアイテム - ") + std::to_string(entryList.count() + 1);
    // Made whole before it joins the list, which stays as it was when
    // memory runs out.
    EntryRecord record;
    record.set(Field::title, title);
    entryList.records.push_back(std::move(record));
    return entryList.count() - 1;
}

void removeEntry(int index) {
    auto& records = entryList.records;
    // The removed record's block is wiped as it goes; later records move as
    // pointers, leaving no copy of their text behind.
    records.erase(records.begin() + index);
    if (records.empty())
        records.shrink_to_fit(); // an empty list holds no block
}

void moveEntryUp(int index) { std::swap(entryList.records[index - 1], entryList.records[index]); }

void moveEntryDown(int index) { std::swap(entryList.records[index], entryList.records[index + 1]); }

void releaseEntries(EntryList& list) {
    // Each record wipes its block as it is freed.
    std::vector<EntryRecord>().swap(list.records);
}
