#include "store/entry_list.h"
#include "base/secure_string.h"
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

    // Three records, each field full of the byte that tells which it is:
    // 'a', 'b', 'c'.
    static void appendThreeFull() {
        for (char tag : {'a', 'b', 'c'}) {
            EntryRecord& r = entryList.records[appendEntry()];
            for (int i = 0; i < fieldCount; ++i)
                r.set(Field(i), std::string(fieldLimit(Field(i)), tag));
        }
    }
    static bool same(const EntryRecord& a, const EntryRecord& b) {
        for (int i = 0; i < fieldCount; ++i)
            if (a.get(Field(i)) != b.get(Field(i)))
                return false;
        return true;
    }
};

TEST_F(EntryListTest, AppendNumbersByTheNewLength) {
    EXPECT_EQ(appendEntry(), 0);
    EXPECT_EQ(appendEntry(), 1);
    EXPECT_EQ(std::string(entryList.records[0].title()), fake::sjis("新しいアイテム - 1"));
    EXPECT_EQ(std::string(entryList.records[1].title()), fake::sjis("新しいアイテム - 2"));
    for (int i = 1; i < fieldCount; ++i)
        EXPECT_EQ(entryList.records[0].get(Field(i)), "");

    // The number is the list's new length, so titles can repeat.
    removeEntry(0);
    appendEntry();
    ASSERT_EQ(entryList.count(), 2);
    EXPECT_EQ(entryList.records[0].title(), entryList.records[1].title());
}

TEST_F(EntryListTest, RemoveMovesLaterRecordsWholeAndWipesTheRemovedOne) {
    appendThreeFull();
    EntryRecord b = entryList.records[1], c = entryList.records[2];

    fake::lastArrayWiped = false;
    removeEntry(0);
    ASSERT_EQ(entryList.count(), 2);
    EXPECT_TRUE(same(entryList.records[0], b));
    EXPECT_TRUE(same(entryList.records[1], c));
    // The removed record's text was wiped as its memory went.
    EXPECT_TRUE(fake::lastArrayWiped);

    removeEntry(1);
    removeEntry(0);
    EXPECT_EQ(entryList.count(), 0);
    EXPECT_EQ(entryList.records.capacity(), 0u);
    EXPECT_EQ(appendEntry(), 0);
}

TEST_F(EntryListTest, MovesExchangeWholeRecordsAndUndoEachOther) {
    appendThreeFull();
    EntryRecord a = entryList.records[0], b = entryList.records[1];

    moveEntryUp(1);
    EXPECT_TRUE(same(entryList.records[0], b));
    EXPECT_TRUE(same(entryList.records[1], a));
    moveEntryDown(0);
    EXPECT_TRUE(same(entryList.records[0], a));
    EXPECT_TRUE(same(entryList.records[1], b));

    moveEntryDown(1);
    EXPECT_EQ(entryList.records[2].title()[0], 'b');
    EXPECT_EQ(entryList.records[1].title()[0], 'c');
}

// Copies of a password in Keyloom's own memory are wiped as they go, short
// ones (which a std::string keeps inside itself) as well as long: moved over
// (as a paste resets its piece), overwritten, outgrown, destroyed.
TEST_F(EntryListTest, SecureStringsWipeEveryBlockTheyLetGo) {
    for (std::size_t size : {std::size_t{8}, std::size_t{40}}) {
        const std::string secret(size, 's');
        auto wipedWhen = [&](void (*letGo)(SecureString&)) {
            SecureString text(secret.data(), secret.size());
            fake::lastArrayWiped = false;
            letGo(text);
            return fake::lastArrayWiped;
        };
        EXPECT_TRUE(wipedWhen([](SecureString& t) { t = SecureString(); })) << size;
        EXPECT_TRUE(wipedWhen([](SecureString& t) { t = "x"; })) << size;
        EXPECT_TRUE(wipedWhen([](SecureString& t) { t.reserve(1000); })) << size;
        fake::lastArrayWiped = false;
        { SecureString text(secret.data(), secret.size()); }
        EXPECT_TRUE(fake::lastArrayWiped) << size;
    }
}

} // namespace
