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
