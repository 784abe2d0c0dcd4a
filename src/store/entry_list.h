// The entries the user keeps, in the user's order.
#pragma once

#include "store/wipe.h"

#include <vector>

// One entry: six NUL-terminated Shift-JIS texts. Short fields hold
// no CR; in the memo every CR is followed by LF (the data file ends lines at CR).
struct EntryRecord {
    char title[1024];
    char userId[1024];
    char password[1024];
    char address[1024];
    char mail[1024];
    char memo[8192];
};
static_assert(sizeof(EntryRecord) == 13312, "the record has the size of its six fields");

// The index of a record is its item in the list control and its place in the
// data file. Records are wiped whenever their memory is released.
struct EntryList {
    std::vector<EntryRecord, WipingAllocator<EntryRecord>> records;

    int count() const { return static_cast<int>(records.size()); }
};

// The one list the program works on.
extern EntryList entryList;

// Appends a record titled "新しいアイテム - N" (N the new count) with its other
// fields empty, and returns its index.
int appendEntry();
// 0 <= index < count. Later records move down one place.
void removeEntry(int index);
// 1 <= index < count: records index - 1 and index change places.
void moveEntryUp(int index);
// 0 <= index < count - 1: records index and index + 1 change places.
void moveEntryDown(int index);
// Wipes and frees every record; the list is empty afterwards.
void releaseEntries(EntryList& list);
