#include "store/merge.h"
#include "support/records.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

// Lists written as letters: each capital is an entry of that title, and the
// marks after it (' or ") are its password, so B' is an edit of B.
EntryList list(const std::string& letters) {
    EntryList out;
    for (char c : letters)
        if (c >= 'A' && c <= 'Z')
            out.records.push_back(fake::record(std::string(1, c)));
        else
            out.records.back().set(Field::password, std::string(out.records.back().password()) + c);
    return out;
}

std::string letters(const EntryList& l) {
    std::string out;
    for (const EntryRecord& r : l.records)
        out += std::string(r.title()) + std::string(r.password());
    return out;
}

// The merged list as letters, then what it took from theirs.
std::string merged(const std::string& base, const std::string& ours, const std::string& theirs,
                   bool applyTheirDeletions = true) {
    MergeReport r;
    std::string out = letters(
        mergeEntries(entryDigests(list(base)), list(ours), list(theirs), r, applyTheirDeletions));
    const std::pair<const char*, int> counts[] = {
        {"added", r.added},       {"changed", r.changed},          {"moved", r.moved},
        {"deleted", r.deleted},   {"restored", r.restored},        {"conflicts", r.conflicts},
        {"of", r.theirDeletions}, {"differs", r.differsFromTheirs}};
    for (const auto& count : counts)
        if (count.second)
            out += std::string(" ") + count.first + " " + std::to_string(count.second);
    for (int at : r.conflicted)
        out += " @" + std::to_string(at);
    return out;
}

// "of" counts their deletions; "differs" says the result is not theirs.
TEST(MergeTest, ChangesOfOneSideAreTaken) {
    // Theirs edited B, deleted D and added Y; ours added X.
    EXPECT_EQ(merged("ABCDE", "AXBCDE", "AB'CEY"),
              "AXB'CEY added 1 changed 1 deleted 1 of 1 differs 1");
    EXPECT_EQ(merged("ABC", "AC", "ABC"), "AC differs 1");
    EXPECT_EQ(merged("ABC", "ABC", "BCA"), "BCA moved 1");
}

TEST(MergeTest, InsertionsAtOnePointAndIdenticalChangesAreNoConflict) {
    EXPECT_EQ(merged("AB", "AXB", "AYB"), "AXYB added 1 differs 1");
    // An insertion just before the other side's edit is no overlap.
    EXPECT_EQ(merged("ABC", "AXBC", "AB'C"), "AXB'C changed 1 differs 1");
    // The same changes on both sides (B and C made into C', X added): the
    // deletions once, the copies each side added twice.
    EXPECT_EQ(merged("ABCD", "AC'DX", "AC'DX"), "AC'C'DXX added 2 differs 1");
}

TEST(MergeTest, AnEditBeatsADelete) {
    EXPECT_EQ(merged("ABC", "AC", "AB'C"), "AB'C restored 1");
    EXPECT_EQ(merged("ABC", "AB'C", "AC"), "AB'C differs 1");
}

TEST(MergeTest, OnlyOverlappingChangesConflictAndKeepTheNewEntriesOfBoth) {
    // Both edited B: the two versions, ours first.
    EXPECT_EQ(merged("ABC", "AB'C", "AB\"C"), "AB'B\"C conflicts 1 differs 1 @1 @2");
    // A stretch of unequal length: Y, deleted by ours only, goes.
    EXPECT_EQ(merged("XYZ", "X'Z'", "X\"YZ"), "X'Z'X\" conflicts 1 differs 1 @0 @1 @2");
    // Adjacent edits do not overlap.
    EXPECT_EQ(merged("ABCD", "AB'CD", "ABC'D"), "AB'C'D changed 1 differs 1");
    // Overlapping deletions, and one side's new entry where the other side
    // only deleted, keep nothing twice. (C and D were deleted by ours.)
    EXPECT_EQ(merged("ABCDE", "AXE", "AE"), "AXE differs 1");
    EXPECT_EQ(merged("ABCDE", "ABE", "ADXE"), "AXE added 1 deleted 1 of 1 differs 1");
}

TEST(MergeTest, MovesAreTakenWithTheOtherSidesEdit) {
    EXPECT_EQ(merged("ABC", "CAB", "ABC'"), "C'AB changed 1 differs 1");
    EXPECT_EQ(merged("ABC", "ABC'", "CAB"), "C'AB moved 1 differs 1");
    // A move against a delete: deleted.
    EXPECT_EQ(merged("ABC", "CAB", "AB"), "AB deleted 1 of 1");
    EXPECT_EQ(merged("ABC", "AB", "CAB"), "AB differs 1");
    // A move against a move: ours.
    EXPECT_EQ(merged("ABCD", "DABC", "ADBC"), "DABC differs 1");
}

TEST(MergeTest, OfIdenticalEntriesInARowTheLastAreAddedOrDeleted) {
    // Ours deleted one A of two: the second, so theirs' edit of the second
    // is restored. Where theirs edited the first, both kept one A.
    EXPECT_EQ(merged("DAAC", "XDAC", "DAA'C"), "XDAA'C restored 1 differs 1");
    EXPECT_EQ(merged("AA", "A", "A'A"), "A'A changed 1");
    // A stretch that looks alike on both sides still takes ours' edit of an
    // entry theirs moved there.
    EXPECT_EQ(merged("BABA", "AB'AB", "BAAB"), "AABB' moved 1 differs 1");

    // Here the common ends found first pair the second 1 of a.
    EXPECT_EQ(alignSequences({4, 1, 1, 3}, {5, 4, 1, 3}), (std::vector<int>{1, 2, -1, 3}));
    EXPECT_EQ(alignSequences({5, 4, 1, 3}, {4, 1, 1, 3}), (std::vector<int>{-1, 0, 1, 3}));
}

// Entries are told apart by every field, and by where their text splits
// between fields (a NUL read from a damaged file is text too).
TEST(MergeTest, AnEditOfAnyFieldIsTaken) {
    const std::string nul(1, '\0');
    const EntryRecord base = fake::record("title00", "user" + nul + "id", "passwd0", "address",
                                          "mail000", "memo000"); // each as long as "changed"
    std::vector<EntryRecord> edits(fieldCount, base);
    for (int f = 0; f < fieldCount; ++f)
        edits[f].set(Field(f), "changed");
    edits.push_back(
        fake::record("title00" + nul + "user", "id", "passwd0", "address", "mail000", "memo000"));
    for (const EntryRecord& edit : edits) {
        SCOPED_TRACE(std::string(edit.title()) + " " + std::string(edit.memo()));
        EntryList ours, theirs;
        ours.records = {base};
        theirs.records = {edit};
        MergeReport report;
        const EntryList got = mergeEntries(entryDigests(ours), ours, theirs, report);
        ASSERT_EQ(got.count(), 1);
        EXPECT_TRUE(sameEntry(got.records[0], edit));
    }
}

TEST(MergeTest, TheirDeletionsCanBeKept) {
    // Theirs deleted all but A. Of those, ours edited B (which stays), kept
    // C, D and one of E and F, and moved the other.
    EXPECT_EQ(merged("ABCDEF", "AB'CDFE", "A"), "AB' deleted 4 of 4 differs 1");
    EXPECT_EQ(merged("ABCDEF", "AB'CDFE", "A", false), "AB'CDFE of 4 differs 1");
    // Kept entries take their place among theirs' other changes.
    EXPECT_EQ(merged("ABCD", "ABCD", "AXD", false), "ABCXD added 1 of 2 differs 1");
}

// The alignment is a common subsequence, and a longest one.
TEST(MergeTest, AlignmentIsALongestCommonSubsequence) {
    std::mt19937 random(18);
    for (int round = 0; round < 3000; ++round) {
        std::vector<int> a(random() % 14), b(random() % 14);
        const int kinds = 1 + random() % 4; // few kinds: many equal items
        for (int& x : a)
            x = random() % kinds;
        for (int& x : b)
            x = random() % kinds;
        const std::vector<int> partner = alignSequences(a, b);
        int common = 0, last = -1;
        for (std::size_t i = 0; i < a.size(); ++i) {
            if (partner[i] < 0)
                continue;
            ASSERT_GT(partner[i], last) << "round " << round;
            ASSERT_EQ(a[i], b[last = partner[i]]) << "round " << round;
            ++common;
        }
        std::vector<std::vector<int>> lcs(a.size() + 1, std::vector<int>(b.size() + 1));
        for (std::size_t i = a.size(); i-- > 0;)
            for (std::size_t j = b.size(); j-- > 0;)
                lcs[i][j] =
                    a[i] == b[j] ? lcs[i + 1][j + 1] + 1 : std::max(lcs[i + 1][j], lcs[i][j + 1]);
        ASSERT_EQ(common, lcs[0][0]) << "round " << round;
    }
}

// Random lists, each side changed by a few random adds, copies, deletes,
// edits (the title marked with the side) and moves. In every other round the
// base repeats titles too.
std::vector<std::string> changed(std::vector<std::string> l, std::mt19937& random, char side) {
    static int added = 0;
    for (int n = random() % 5; n > 0; --n) {
        const int op = random() % 5;
        if (op == 0) {
            l.insert(l.begin() + random() % (l.size() + 1), side + std::to_string(++added));
        } else if (op == 1 && !l.empty()) {
            l.erase(l.begin() + random() % l.size());
        } else if (op == 2 && !l.empty()) {
            l[random() % l.size()] += std::string("'") + side + std::to_string(random() % 100);
        } else if (op == 3 && l.size() > 1) {
            auto at = l.begin() + random() % l.size();
            std::string moving = *at;
            l.erase(at);
            l.insert(l.begin() + random() % (l.size() + 1), moving);
        } else if (op == 4 && !l.empty()) {
            std::string copy = l[random() % l.size()];
            l.insert(l.begin() + random() % (l.size() + 1), copy);
        }
    }
    return l;
}

EntryList entries(const std::vector<std::string>& titles) {
    EntryList out;
    for (const std::string& t : titles)
        out.records.push_back(fake::record(t, "id", "pw-" + t));
    return out;
}

// The titles, after checking that every entry came whole.
std::vector<std::string> titles(const EntryList& l) {
    std::vector<std::string> out;
    for (const EntryRecord& r : l.records) {
        EXPECT_EQ(r.password(), "pw-" + std::string(r.title()));
        out.emplace_back(r.title());
    }
    return out;
}

bool has(const std::vector<std::string>& l, const std::string& title) {
    return std::find(l.begin(), l.end(), title) != l.end();
}

int countOf(const std::vector<std::string>& l, const std::string& title) {
    return int(std::count(l.begin(), l.end(), title));
}

// Each side's additions and deletions of an entry count once, and no merge
// holds fewer copies than both sides kept.
void expectCopiesCounted(const std::vector<std::string>& base, const std::vector<std::string>& ours,
                         const std::vector<std::string>& theirs,
                         const std::vector<std::string>& got) {
    std::set<std::string> every(base.begin(), base.end());
    every.insert(ours.begin(), ours.end());
    every.insert(theirs.begin(), theirs.end());
    for (const std::string& e : every) {
        const int b = countOf(base, e), o = countOf(ours, e), t = countOf(theirs, e);
        EXPECT_EQ(countOf(got, e), std::max(o + t - b, std::min(o, t)))
            << e << " base " << b << " ours " << o << " theirs " << t;
    }
}

TEST(MergeTest, RandomChangesKeepEveryChangeAndApplyEveryOneSidedDelete) {
    std::mt19937 random(18);
    for (int round = 0; round < 10000; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        std::vector<std::string> base;
        for (int n = random() % 13, i = 0; i < n; ++i)
            base.push_back("e" + std::to_string(round % 2 ? i : int(random() % 4)));
        const std::vector<std::string> ours = changed(base, random, 'o');
        const std::vector<std::string> theirs = changed(base, random, 't');
        const EntryList baseList = entries(base), ourList = entries(ours),
                        theirList = entries(theirs);
        MergeReport report;
        const std::vector<std::string> got =
            titles(mergeEntries(entryDigests(baseList), ourList, theirList, report));

        expectCopiesCounted(base, ours, theirs, got);
        if (HasFailure())
            return;
        if (ours == base) {
            ASSERT_EQ(got, theirs);
        }
        if (theirs == base) {
            ASSERT_EQ(got, ours);
        }
        ASSERT_EQ(report.deleted, report.theirDeletions);
        ASSERT_EQ(report.differsFromTheirs, got != theirs);

        // Keeping their deletions gives the same list with those entries:
        // base entries that ours has.
        const int theirDeletions = report.theirDeletions;
        std::vector<std::string> kept =
            titles(mergeEntries(entryDigests(baseList), ourList, theirList, report, false));
        for (const std::string& t : got) {
            auto at = std::find(kept.begin(), kept.end(), t);
            ASSERT_TRUE(at != kept.end()) << t << " not kept";
            kept.erase(at);
        }
        ASSERT_EQ(int(kept.size()), theirDeletions);
        for (const std::string& t : kept)
            ASSERT_TRUE(has(base, t) && has(ours, t)) << t;
        ASSERT_EQ(report.deleted, 0);
    }
}

} // namespace
