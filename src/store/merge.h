// Merging two edits of one entry list: this session's ("ours") and what
// another PC saved to PASSWORD.TXT meanwhile ("theirs"), both made from the
// list as read at start (the base). Entries have no identifier: the lists are
// compared as sequences of whole entries (all six fields), as a three-way
// merge of text compares lines. Of the base, only each entry's digest is
// needed: every entry the merge writes is ours or theirs.
//
// - A change made on one side only is taken: an entry added, deleted, edited
//   (one base entry replaced by one new entry in its place) or moved (deleted
//   at one place and inserted unchanged at another on the same side).
// - A moved entry that the other side edited goes to the new place edited; a
//   move against a delete is deleted; a move against a move keeps ours.
// - The same deletion or move on both sides is made once, but an entry both
//   sides added (or edited alike) is kept twice, each side's copy; insertions
//   at one point on both sides are no conflict (ours first); an edit against
//   a delete keeps the edit.
// - Only stretches whose changes overlap conflict, adjacent ones do not. In
//   a conflicting stretch the base entries go and the new entries of both
//   sides stay, ours first.
// - An entry held b times in the base, o in ours and t in theirs is held
//   max(o + t - b, min(o, t)) times: each side's copies added or deleted
//   count once, and the merge never holds fewer than both sides kept.
#pragma once

#include "store/entry_list.h"

#include <cstddef>
#include <vector>

// What a merge took from the other side, for the message that tells the user.
struct MergeReport {
    int added = 0;    // entries the other side added
    int changed = 0;  // entries the other side edited and this side kept or moved
    int moved = 0;    // entries the other side moved
    int deleted = 0;  // entries the other side deleted and this side kept or moved
    int restored = 0; // entries this side deleted and the other side edited
    // Stretches both sides changed in different ways: their new entries are
    // all kept, for the user to tidy. The entries' indices in the merged list.
    int conflicts = 0;
    std::vector<int> conflicted;
    // Entries the other side deleted and this side kept or moved, whether or
    // not the merge applied those deletions.
    int theirDeletions = 0;
    bool differsFromTheirs = false; // the merged list is not the other side's

    bool tookTheirs() const { return added + changed + moved + deleted + restored + conflicts > 0; }
};

// The merged list, from the base's entries as digests (see entryDigests).
// With applyTheirDeletions false, the entries counted in theirDeletions stay
// where this side has them. Memory running out throws std::bad_alloc and
// changes nothing.
EntryList mergeEntries(const std::vector<EntryDigest>& base, const EntryList& ours,
                       const EntryList& theirs, MergeReport& report,
                       bool applyTheirDeletions = true);

// All six fields are equal.
bool sameEntry(const EntryRecord& a, const EntryRecord& b);
// The same for entries that are the same.
std::size_t entryHash(const EntryRecord& r);

// The alignment under the merge, over entries numbered so that equal ones have
// equal numbers: for each item of a, its partner in b on a longest common
// subsequence, or -1. Of identical items in a row, the last ones are those
// left without a partner, unless they are part of an edit (a run of items
// replaced by others).
std::vector<int> alignSequences(const std::vector<int>& a, const std::vector<int>& b);
