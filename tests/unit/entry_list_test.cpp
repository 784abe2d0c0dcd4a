#include "store/entry_list.h"
#include "support/test_platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

class EntryListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake::reset();
        releaseEntries(entryList);
    }
    void TearDown() override { releaseEntries(entryList); }

    // A record whose every byte tells which record it is.
    static void fill(EntryRecord& r, char tag) {
        std::memset(&r, tag, sizeof r);
        for (char* f : {r.title, r.userId, r.password, r.address, r.mail})
            f[1023] = '\0';
        r.memo[8191] = '\0';
    }
};

TEST_F(EntryListTest, AppendNumbersByTheNewLength) {
    EXPECT_EQ(appendEntry(), 0);
    EXPECT_EQ(appendEntry(), 1);
    EXPECT_EQ(std::string(entryList.records[0].title), fake::sjis("新しいアイテム - 1"));
    EXPECT_EQ(std::string(entryList.records[1].title), fake::sjis("新しいアイテム - 2"));
    for (const char* f :
         {entryList.records[0].userId, entryList.records[0].password, entryList.records[0].address,
          entryList.records[0].mail, entryList.records[0].memo})
        EXPECT_STREQ(f, "");

    // The number is the list's new length, so titles can repeat.
    removeEntry(0);
    appendEntry();
    ASSERT_EQ(entryList.count(), 2);
    EXPECT_STREQ(entryList.records[0].title, entryList.records[1].title);
}

TEST_F(EntryListTest, RemoveMovesLaterRecordsWholeAndWipesTheFreedSlot) {
    for (int i = 0; i < 3; ++i)
        appendEntry();
    fill(entryList.records[0], 'a');
    fill(entryList.records[1], 'b');
    fill(entryList.records[2], 'c');
    EntryRecord b = entryList.records[1], c = entryList.records[2];
    const EntryRecord* block = entryList.records.data();

    removeEntry(0);
    ASSERT_EQ(entryList.count(), 2);
    EXPECT_EQ(std::memcmp(&entryList.records[0], &b, sizeof b), 0);
    EXPECT_EQ(std::memcmp(&entryList.records[1], &c, sizeof c), 0);
    // The old last place held a copy of c's password and is now zero.
    ASSERT_EQ(entryList.records.data(), block);
    const unsigned char* vacated = reinterpret_cast<const unsigned char*>(block + 2);
    for (std::size_t i = 0; i < sizeof(EntryRecord); ++i)
        ASSERT_EQ(vacated[i], 0) << "byte " << i;

    removeEntry(1);
    removeEntry(0);
    EXPECT_EQ(entryList.count(), 0);
    EXPECT_EQ(entryList.records.capacity(), 0u);
    EXPECT_EQ(appendEntry(), 0);
}

TEST_F(EntryListTest, MovesExchangeWholeRecordsAndUndoEachOther) {
    for (int i = 0; i < 3; ++i)
        appendEntry();
    fill(entryList.records[0], 'a');
    fill(entryList.records[1], 'b');
    fill(entryList.records[2], 'c');
    EntryRecord a = entryList.records[0], b = entryList.records[1];

    moveEntryUp(1);
    EXPECT_EQ(std::memcmp(&entryList.records[0], &b, sizeof b), 0);
    EXPECT_EQ(std::memcmp(&entryList.records[1], &a, sizeof a), 0);
    moveEntryDown(0);
    EXPECT_EQ(std::memcmp(&entryList.records[0], &a, sizeof a), 0);
    EXPECT_EQ(std::memcmp(&entryList.records[1], &b, sizeof b), 0);

    moveEntryDown(1);
    EXPECT_EQ(entryList.records[2].title[0], 'b');
    EXPECT_EQ(entryList.records[1].title[0], 'c');
}

} // namespace
