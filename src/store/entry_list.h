// The entries the user keeps, in the user's order.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

// The six fields of an entry, in the order of the data file.
enum class Field { title, userId, password, address, mail, memo };
constexpr int fieldCount = 6;
// The most bytes a field holds: 1023, the memo 8191.
constexpr std::size_t fieldLimit(Field field) { return field == Field::memo ? 8191 : 1023; }

class EntryRecord;

// 16 bytes that stand for an entry's six fields: equal entries have equal
// digests, and different ones the same digest only by a chance too small to
// count. Not a cryptographic digest: for memory, where nobody picks entries
// to collide. A copy kept beside a file needs a keyed one.
using EntryDigest = std::array<unsigned char, 16>;
EntryDigest entryDigest(const EntryRecord& record);

// One entry: six Shift-JIS texts, held together in one block of memory of
// the entry's own size, which is wiped when it is freed. Short fields hold no
// CR; in the memo every CR is followed by LF (the data file ends lines at CR).
class EntryRecord {
  public:
    EntryRecord() = default; // six empty fields
    // The fields in file order, each cut to its limit on a character boundary.
    explicit EntryRecord(const std::string_view (&fields)[fieldCount]);
    EntryRecord(const EntryRecord& other);
    EntryRecord& operator=(const EntryRecord& other);
    EntryRecord(EntryRecord&&) noexcept = default;
    EntryRecord& operator=(EntryRecord&&) noexcept = default;

    // The field's text, followed by a NUL in memory.
    std::string_view get(Field field) const;
    // Replaces the field's text, cut to its limit on a character boundary.
    void set(Field field, std::string_view text);

    std::string_view title() const { return get(Field::title); }
    std::string_view userId() const { return get(Field::userId); }
    std::string_view password() const { return get(Field::password); }
    std::string_view address() const { return get(Field::address); }
    std::string_view mail() const { return get(Field::mail); }
    std::string_view memo() const { return get(Field::memo); }

  private:
    friend EntryDigest entryDigest(const EntryRecord& record);
    // The block: the six lengths, then the six texts, each followed by NUL.
    using Length = std::uint16_t;
    struct Wipe {
        void operator()(char* block) const;
    };
    std::unique_ptr<char[], Wipe> block;
};

// The index of a record is its item in the list control and its place in the
// data file.
struct EntryList {
    std::vector<EntryRecord> records;

    int count() const { return static_cast<int>(records.size()); }
};

// The one list the program works on.
extern EntryList entryList;

// The digests of the list's entries, in order.
std::vector<EntryDigest> entryDigests(const EntryList& list);

// Appends a record titled "新しいアイテム - N" (N the new count) with its other
// fields empty, and returns its index. Memory running out leaves the list as
// it was (std::bad_alloc).
int appendEntry();
// 0 <= index < count. Later records move down one place.
void removeEntry(int index);
// 1 <= index < count: records index - 1 and index change places.
void moveEntryUp(int index);
// 0 <= index < count - 1: records index and index + 1 change places.
void moveEntryDown(int index);
// Wipes and frees every record; the list is empty afterwards.
void releaseEntries(EntryList& list);
