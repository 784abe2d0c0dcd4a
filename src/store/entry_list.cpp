#include "store/entry_list.h"

#include "platform/platform.h"
#include "store/text.h"

#include <algorithm>
#include <cstring>
#include <string>

EntryList entryList;

int appendEntry() {
    entryList.records.emplace_back(); // value-initialised: every field empty
    EntryRecord& record = entryList.records.back();
    std::string title =
        platform::wideToSjis(L"新しいアイテム - ") + std::to_string(entryList.count());
    copyText(record.title, sizeof record.title, title.data(), title.size());
    return entryList.count() - 1;
}

void removeEntry(int index) {
    auto& records = entryList.records;
    std::memmove(&records[index], &records[index + 1],
                 (records.size() - index - 1) * sizeof(EntryRecord));
    secureWipe(&records.back(), sizeof(EntryRecord));
    records.pop_back();
    if (records.empty())
        records.shrink_to_fit(); // an empty list holds no block
}

static void swapRecords(EntryRecord& a, EntryRecord& b) {
    // Byte by byte, so that no temporary record holds a password afterwards.
    unsigned char* pa = reinterpret_cast<unsigned char*>(&a);
    std::swap_ranges(pa, pa + sizeof(EntryRecord), reinterpret_cast<unsigned char*>(&b));
}

void moveEntryUp(int index) { swapRecords(entryList.records[index - 1], entryList.records[index]); }

void moveEntryDown(int index) {
    swapRecords(entryList.records[index], entryList.records[index + 1]);
}

void releaseEntries(EntryList& list) {
    // The allocator wipes the block as it frees it.
    decltype(list.records)().swap(list.records);
}
