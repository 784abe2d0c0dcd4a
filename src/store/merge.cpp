#include "store/merge.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstring>
#include <functional>
#include <string_view>
#include <unordered_map>
#include <utility>

bool sameEntry(const EntryRecord& a, const EntryRecord& b) {
    for (int f = 0; f < fieldCount; ++f)
        if (a.get(Field(f)) != b.get(Field(f)))
            return false;
    return true;
}

std::size_t entryHash(const EntryRecord& r) {
    std::size_t h = 0;
    for (int f = 0; f < fieldCount; ++f)
        h = (h ^ std::hash<std::string_view>()(r.get(Field(f)))) * 1099511628211u;
    return h;
}

namespace {

// ---- The longest common subsequence ----

// Myers' O(ND) comparison in linear space: each box is split at a point on a
// shortest edit path, found by searching from both of its corners at once.
struct Lcs {
    const std::vector<int>& a;
    const std::vector<int>& b;
    std::vector<char>& inA;
    std::vector<char>& inB;
    // The furthest x reached on each diagonal k = x - y, from the top left
    // and from the bottom right, at k + offset.
    std::vector<int> down, up;
    int offset;

    Lcs(const std::vector<int>& a, const std::vector<int>& b, std::vector<char>& inA,
        std::vector<char>& inB)
        : a(a), b(b), inA(inA), inB(inB), down(a.size() + b.size() + 3),
          up(a.size() + b.size() + 3), offset(int(b.size()) + 1) {}

    void compare(int a0, int a1, int b0, int b1) {
        for (;;) {
            while (a0 < a1 && b0 < b1 && a[a0] == b[b0])
                inA[a0++] = inB[b0++] = 1;
            while (a0 < a1 && b0 < b1 && a[a1 - 1] == b[b1 - 1])
                inA[--a1] = inB[--b1] = 1;
            if (a0 == a1 || b0 == b1)
                return;
            int x, y;
            split(a0, a1, b0, b1, x, y);
            compare(a0, x, b0, y);
            a0 = x;
            b0 = y;
        }
    }

    // The box's first and last items differ, so a shortest path takes at
    // least two edits and the point found lies strictly inside the box.
    void split(int a0, int a1, int b0, int b1, int& x, int& y) {
        const int lowest = a0 - b1, highest = a1 - b0; // the box's diagonals
        const int topMid = a0 - b0, bottomMid = a1 - b1;
        const bool odd = (topMid - bottomMid) % 2 != 0;
        int* fwd = down.data() + offset;
        int* bwd = up.data() + offset;
        int fmin = topMid, fmax = topMid, bmin = bottomMid, bmax = bottomMid;
        fwd[topMid] = a0;
        bwd[bottomMid] = a1;
        for (;;) {
            // One more edit from the top left; diagonals outside the box get
            // a value that is never chosen.
            if (fmin > lowest)
                fwd[--fmin - 1] = -1;
            else
                ++fmin;
            if (fmax < highest)
                fwd[++fmax + 1] = -1;
            else
                --fmax;
            for (int k = fmax; k >= fmin; k -= 2) {
                int px = fwd[k - 1] < fwd[k + 1] ? fwd[k + 1] : fwd[k - 1] + 1;
                int py = px - k;
                while (px < a1 && py < b1 && a[px] == b[py])
                    ++px, ++py;
                fwd[k] = px;
                if (odd && bmin <= k && k <= bmax && bwd[k] <= px) {
                    x = px;
                    y = py;
                    return;
                }
            }
            // And from the bottom right.
            if (bmin > lowest)
                bwd[--bmin - 1] = INT_MAX;
            else
                ++bmin;
            if (bmax < highest)
                bwd[++bmax + 1] = INT_MAX;
            else
                --bmax;
            for (int k = bmax; k >= bmin; k -= 2) {
                int px = bwd[k - 1] < bwd[k + 1] ? bwd[k - 1] : bwd[k + 1] - 1;
                int py = px - k;
                while (px > a0 && py > b0 && a[px - 1] == b[py - 1])
                    --px, --py;
                bwd[k] = px;
                if (!odd && fmin <= k && k <= fmax && px <= fwd[k]) {
                    x = px;
                    y = py;
                    return;
                }
            }
        }
    }
};

// Of identical entries in a row, the last ones count as added or deleted: a
// run of entries that one list has and the other lacks, between two common
// ones, moves down past a common entry equal to its first. Edits and longer
// changes, where both lists differ, stay where they are.
void slideRuns(const std::vector<int>& x, std::vector<int>& xTo, std::vector<int>& yFrom) {
    const int n = int(x.size());
    for (int start = 0, before = -1; start < n;) {
        if (xTo[start] >= 0) {
            before = xTo[start++];
            continue;
        }
        int end = start;
        while (end < n && xTo[end] < 0)
            ++end;
        while (end < n && xTo[end] == before + 1 && x[start] == x[end]) {
            before = xTo[start] = xTo[end];
            yFrom[before] = start++;
            xTo[end++] = -1;
        }
        start = end;
    }
}

} // namespace

std::vector<int> alignSequences(const std::vector<int>& a, const std::vector<int>& b) {
    std::vector<int> aTo(a.size(), -1), bFrom(b.size(), -1);
    // The common ends first, where most lists differ little.
    int a0 = 0, b0 = 0, a1 = int(a.size()), b1 = int(b.size());
    for (; a0 < a1 && b0 < b1 && a[a0] == b[b0]; ++a0, ++b0) {
        aTo[a0] = b0;
        bFrom[b0] = a0;
    }
    for (; a0 < a1 && b0 < b1 && a[a1 - 1] == b[b1 - 1]; --a1, --b1) {
        aTo[a1 - 1] = b1 - 1;
        bFrom[b1 - 1] = a1 - 1;
    }
    // Between them, items found on one side only are never common: leaving
    // them out lets lists with little in common compare in linear time.
    int numbers = 0;
    for (int i = a0; i < a1; ++i)
        numbers = std::max(numbers, a[i] + 1);
    for (int j = b0; j < b1; ++j)
        numbers = std::max(numbers, b[j] + 1);
    std::vector<char> inA(numbers), inB(numbers);
    for (int i = a0; i < a1; ++i)
        inA[a[i]] = 1;
    for (int j = b0; j < b1; ++j)
        inB[b[j]] = 1;
    std::vector<int> sharedA, sharedB, whereA, whereB;
    for (int i = a0; i < a1; ++i)
        if (inB[a[i]]) {
            sharedA.push_back(a[i]);
            whereA.push_back(i);
        }
    for (int j = b0; j < b1; ++j)
        if (inA[b[j]]) {
            sharedB.push_back(b[j]);
            whereB.push_back(j);
        }
    std::vector<char> commonA(sharedA.size()), commonB(sharedB.size());
    Lcs(sharedA, sharedB, commonA, commonB).compare(0, int(sharedA.size()), 0, int(sharedB.size()));
    // The k-th common item of a goes with the k-th of b.
    for (std::size_t i = 0, j = 0; i < sharedA.size(); ++i) {
        if (!commonA[i])
            continue;
        while (!commonB[j])
            ++j;
        aTo[whereA[i]] = whereB[j];
        bFrom[whereB[j++]] = whereA[i];
    }
    slideRuns(a, aTo, bFrom);
    slideRuns(b, bFrom, aTo);
    return aTo;
}

namespace {

using Ref = const EntryRecord*;

// ---- Numbering entries ----

// Equal entries, told by their digests, get equal numbers.
struct Numbering {
    struct FirstBytes {
        std::size_t operator()(const EntryDigest& d) const {
            std::size_t h;
            std::memcpy(&h, d.data(), sizeof h);
            return h;
        }
    };
    std::unordered_map<EntryDigest, int, FirstBytes> numbers;

    int number(const EntryDigest& digest) {
        return numbers.try_emplace(digest, int(numbers.size())).first->second;
    }
    int count() const { return int(numbers.size()); }
};

// ---- One side against the base ----

// What became of a base entry on one side.
enum class Fate : char { kept, deleted, edited, moved };

struct Side {
    std::vector<Ref> refs;
    std::vector<int> ids;
    std::vector<int> from;  // per entry: the base entry it keeps, edits or moves; -1: new
    std::vector<Fate> fate; // per base entry
    std::vector<int> to;    // per base entry: its place on this side; -1: deleted
};

// A stretch where a side differs from the base: base entries [base0, base1)
// became the side's [side0, side1). An insertion has base0 == base1.
struct Hunk {
    int base0, base1, side0, side1;
};

// A side keeps a base entry in place when it kept it, or when it edited it and
// the other side moved it: the edit then goes to the other side's place.
bool keepsInPlace(const Side& side, const Side* other, int i) {
    return side.fate[i] == Fate::kept ||
           (other && side.fate[i] == Fate::edited && other->fate[i] == Fate::moved);
}

std::vector<Hunk> hunksOf(const Side& side, const Side* other) {
    std::vector<Hunk> hunks;
    const int n = int(side.fate.size());
    int i0 = 0, j0 = 0;
    for (int i = 0; i <= n; ++i) {
        if (i < n && !keepsInPlace(side, other, i))
            continue;
        const int j = i < n ? side.to[i] : int(side.refs.size());
        if (i > i0 || j > j0)
            hunks.push_back({i0, i, j0, j});
        i0 = i + 1;
        j0 = j + 1;
    }
    return hunks;
}

Side sideOf(const EntryList& list, Numbering& numbers) {
    Side side;
    side.refs.reserve(list.records.size());
    side.ids.reserve(list.records.size());
    for (const EntryRecord& r : list.records) {
        side.refs.push_back(&r);
        side.ids.push_back(numbers.number(entryDigest(r)));
    }
    return side;
}

void findChanges(const std::vector<int>& baseIds, int numbers, Side& side) {
    const int n = int(baseIds.size()), m = int(side.ids.size());
    side.to = alignSequences(baseIds, side.ids);
    side.fate.assign(n, Fate::deleted);
    side.from.assign(m, -1);
    for (int i = 0; i < n; ++i)
        if (side.to[i] >= 0) {
            side.fate[i] = Fate::kept;
            side.from[side.to[i]] = i;
        }
    // Moves: a deleted base entry inserted unchanged elsewhere; equal ones
    // are paired in order.
    std::vector<int> firstDeleted(numbers, -1), nextDeleted(n, -1);
    for (int i = n - 1; i >= 0; --i)
        if (side.fate[i] == Fate::deleted) {
            nextDeleted[i] = firstDeleted[baseIds[i]];
            firstDeleted[baseIds[i]] = i;
        }
    for (int j = 0; j < m; ++j) {
        const int i = side.from[j] < 0 ? firstDeleted[side.ids[j]] : -1;
        if (i < 0)
            continue;
        firstDeleted[side.ids[j]] = nextDeleted[i];
        side.fate[i] = Fate::moved;
        side.to[i] = j;
        side.from[j] = i;
    }
    // Edits: one deleted base entry against one new entry in its place.
    for (const Hunk& h : hunksOf(side, nullptr))
        if (h.base1 - h.base0 == 1 && h.side1 - h.side0 == 1 &&
            side.fate[h.base0] == Fate::deleted && side.from[h.side0] < 0) {
            side.fate[h.base0] = Fate::edited;
            side.to[h.base0] = h.side0;
            side.from[h.side0] = h.base0;
        }
}

// Kept, in place or elsewhere.
bool keeps(const Side& side, int i) {
    return side.fate[i] == Fate::kept || side.fate[i] == Fate::moved;
}

// Puts the base entries marked in keep back into a side that deleted them,
// first in the stretch they were deleted from, as if it had kept them. The
// other side keeps them all, and lends its copies.
void keepDeleted(Side& side, const Side& other, const std::vector<int>& baseIds,
                 const std::vector<char>& keep) {
    const int n = int(baseIds.size()), m = int(side.refs.size());
    Side kept;
    kept.fate = side.fate;
    kept.to.assign(n, -1);
    auto add = [&](Ref r, int id, int from) {
        if (from >= 0)
            kept.to[from] = int(kept.refs.size());
        kept.refs.push_back(r);
        kept.ids.push_back(id);
        kept.from.push_back(from);
    };
    for (int i = 0, j = 0; i <= n; ++i) {
        if (i < n && keep[i]) {
            add(other.refs[other.to[i]], baseIds[i], i);
            kept.fate[i] = Fate::kept;
            continue;
        }
        if (i < n && side.fate[i] != Fate::kept)
            continue;
        for (const int stop = i < n ? side.to[i] : m; j < stop; ++j)
            add(side.refs[j], side.ids[j], side.from[j]);
        if (i < n) {
            add(side.refs[j], side.ids[j], i);
            ++j;
        }
    }
    side = std::move(kept);
}

// Both sides may keep one copy of two identical base entries, yet different
// ones: the alignments tell copies apart only by their places. For each such
// pair one copy is kept on both sides, so that the merge holds no fewer
// copies than both kept. Theirs keeps ours' copy where it deleted it (the
// copies stay where ours has them); else ours keeps theirs' where ours
// deleted it; else theirs' edit of ours' copy becomes an added entry. Returns
// what theirs is to keep; ours' are put back here.
std::vector<char> copiesBothKept(const std::vector<int>& baseIds, int numbers, Side& ours,
                                 Side& theirs) {
    const int n = int(baseIds.size());
    std::vector<int> oursOnly(numbers), theirsOnly(numbers);
    for (int i = 0; i < n; ++i) {
        oursOnly[baseIds[i]] += keeps(ours, i) && !keeps(theirs, i);
        theirsOnly[baseIds[i]] += keeps(theirs, i) && !keeps(ours, i);
    }
    std::vector<int> unpaired(numbers);
    for (int k = 0; k < numbers; ++k)
        unpaired[k] = std::min(oursOnly[k], theirsOnly[k]);
    std::vector<char> keepTheirs(n), keepOurs(n);
    auto pair = [&](Side& side, const Side& other, Fate lost, std::vector<char>& keep) {
        for (int i = 0; i < n; ++i)
            if (side.fate[i] == lost && keeps(other, i) && unpaired[baseIds[i]] > 0) {
                --unpaired[baseIds[i]];
                keep[i] = 1;
                if (lost == Fate::edited) {
                    side.from[side.to[i]] = -1;
                    side.to[i] = -1;
                    side.fate[i] = Fate::deleted;
                }
            }
    };
    pair(theirs, ours, Fate::deleted, keepTheirs);
    pair(ours, theirs, Fate::deleted, keepOurs);
    pair(theirs, ours, Fate::edited, keepTheirs);
    if (std::find(keepOurs.begin(), keepOurs.end(), 1) != keepOurs.end())
        keepDeleted(ours, theirs, baseIds, keepOurs);
    return keepTheirs;
}

// ---- The merge ----

// What the merge takes from the other side, for the report.
enum class Taken { nothing, added, changed, moved, deleted, restored };

// What one entry of a side becomes in the merged list.
struct Pick {
    const Side* side = nullptr; // none: deleted, or placed elsewhere
    int index = -1;
    Taken taken = Taken::nothing;
    bool fresh = false; // a version the base does not have: new or edited
};

// The two sides' changes walked in base order: entries both kept in place
// stay, and each stretch that one side or both changed (overlapping changes
// joined) becomes what the rules make of it.
struct Merge {
    const Side& ours;
    const Side& theirs;
    MergeReport& report;
    std::vector<Ref> out;
    std::vector<int> outIds;

    Pick pick(bool mine, int j) const {
        const Side& side = mine ? ours : theirs;
        const Side& other = mine ? theirs : ours;
        const int i = side.from[j];
        if (i < 0)
            return {&side, j, mine ? Taken::nothing : Taken::added, true};
        if (side.fate[i] == Fate::kept)
            return {&side, j, Taken::nothing, false};
        if (side.fate[i] == Fate::edited) {
            if (other.fate[i] == Fate::moved)
                return {}; // the edit goes to the other side's place
            const Taken edit = other.fate[i] == Fate::kept ? Taken::changed : Taken::restored;
            return {&side, j, mine ? Taken::nothing : edit, true};
        }
        // Moved on this side.
        switch (other.fate[i]) {
        case Fate::kept: return {&side, j, mine ? Taken::nothing : Taken::moved, false};
        case Fate::edited:
            return {&other, other.to[i], mine ? Taken::changed : Taken::moved, false};
        case Fate::deleted: return {nullptr, -1, mine ? Taken::deleted : Taken::nothing, false};
        case Fate::moved: break;
        }
        if (mine)
            return {&side, j, Taken::nothing, false}; // moved on both: our place
        return {};
    }

    void note(Taken taken) {
        switch (taken) {
        case Taken::nothing: break;
        case Taken::added: ++report.added; break;
        case Taken::changed: ++report.changed; break;
        case Taken::moved: ++report.moved; break;
        case Taken::deleted: ++report.deleted; break;
        case Taken::restored: ++report.restored; break;
        }
    }

    void emit(const Pick& p) {
        if (p.side) {
            out.push_back(p.side->refs[p.index]);
            outIds.push_back(p.side->ids[p.index]);
        }
    }

    std::vector<Pick> picks(bool mine, int j0, int j1) const {
        std::vector<Pick> out;
        for (int j = j0; j < j1; ++j)
            out.push_back(pick(mine, j));
        return out;
    }

    void take(const std::vector<Pick>& picks) {
        for (const Pick& p : picks) {
            note(p.taken);
            emit(p);
        }
    }

    // The entries picked, each with the base entry it stands for (-1: a new
    // version).
    static std::vector<std::pair<int, int>> entriesOf(const std::vector<Pick>& picks) {
        std::vector<std::pair<int, int>> entries;
        for (const Pick& p : picks)
            if (p.side)
                entries.push_back({p.side->ids[p.index], p.fresh ? -1 : p.side->from[p.index]});
        return entries;
    }

    // Base entries that ours kept and theirs deleted go on theirs' word.
    void countDeletions(int b0, int b1) {
        for (int i = b0; i < b1; ++i)
            if (ours.fate[i] == Fate::kept && theirs.fate[i] == Fate::deleted)
                ++report.deleted;
    }

    bool inPlace(bool mine, int j) const {
        const Side& side = mine ? ours : theirs;
        const int i = side.from[j];
        return i >= 0 && keepsInPlace(side, mine ? &theirs : &ours, i);
    }

    // A stretch of base entries [b0, b1) that ours made [o0, o1) and theirs
    // [t0, t1).
    void stretch(int b0, int b1, int o0, int o1, int t0, int t1, bool oursChanged,
                 bool theirsChanged) {
        const std::vector<Pick> mine = picks(true, o0, o1), other = picks(false, t0, t1);
        if (!theirsChanged)
            return take(mine);
        // The same change on both sides is made once, but a copy each side
        // added is two: the other side's new versions follow ours.
        if (entriesOf(mine) == entriesOf(other)) {
            take(mine);
            for (const Pick& p : other)
                if (p.side && p.fresh) {
                    note(Taken::added);
                    emit(p);
                }
            return;
        }
        countDeletions(b0, b1);
        if (!oursChanged)
            return take(other);
        // Both changed it. Every base entry of the stretch lies in a change of
        // one side or the other, so none was kept by both and none stays;
        // the entries of both that are not base entries kept in place do.
        std::vector<int> fresh; // indices in out of the new versions of both
        for (int j = o0; j < o1; ++j) {
            const Pick& p = mine[j - o0];
            if (inPlace(true, j))
                continue;
            note(p.taken);
            emit(p);
            if (p.side && p.fresh)
                fresh.push_back(int(out.size()) - 1);
        }
        const bool oursFresh = !fresh.empty();
        std::vector<Pick> left;
        bool theirsFresh = false;
        for (int j = t0; j < t1; ++j) {
            const Pick& p = other[j - t0];
            if (inPlace(false, j))
                continue;
            left.push_back(p);
            theirsFresh = theirsFresh || (p.side && p.fresh);
        }
        // Insertions at one point are no conflict, nor is one side's new
        // entry where the other only deleted.
        const bool conflict = b1 > b0 && oursFresh && theirsFresh;
        for (const Pick& p : left) {
            if (!(conflict && p.fresh))
                note(p.taken);
            emit(p);
            if (conflict && p.side && p.fresh)
                fresh.push_back(int(out.size()) - 1);
        }
        if (conflict) {
            ++report.conflicts;
            report.conflicted.insert(report.conflicted.end(), fresh.begin(), fresh.end());
        }
    }

    void run() {
        const std::vector<Hunk> mine = hunksOf(ours, &theirs), other = hunksOf(theirs, &ours);
        // At one point insertions come first, ours before theirs.
        auto before = [](const Hunk& x, const Hunk& y) {
            if (x.base0 != y.base0)
                return x.base0 < y.base0;
            return x.base0 == x.base1 || y.base0 != y.base1;
        };
        auto overlaps = [](const Hunk& h, int b0, int b1) {
            if (b0 == b1)
                return h.base0 == b0 && h.base1 == b0;
            return h.base0 < b1 && (h.base0 < h.base1 || h.base0 > b0);
        };
        std::size_t p = 0, q = 0;
        int i = 0, o = 0, t = 0;
        const int n = int(ours.fate.size());
        while (p < mine.size() || q < other.size()) {
            const bool oursFirst =
                q == other.size() || (p < mine.size() && before(mine[p], other[q]));
            const int b0 = oursFirst ? mine[p].base0 : other[q].base0;
            int b1 = b0, grownO = 0, grownT = 0;
            bool oursChanged = false, theirsChanged = false;
            auto absorb = [&](const Hunk& h, bool byOurs) {
                b1 = std::max(b1, h.base1);
                (byOurs ? grownO : grownT) += (h.side1 - h.side0) - (h.base1 - h.base0);
                (byOurs ? oursChanged : theirsChanged) = true;
            };
            absorb(oursFirst ? mine[p++] : other[q++], oursFirst);
            for (;;) {
                if (p < mine.size() && overlaps(mine[p], b0, b1))
                    absorb(mine[p++], true);
                else if (q < other.size() && overlaps(other[q], b0, b1))
                    absorb(other[q++], false);
                else
                    break;
            }
            const int lengthO = b1 - b0 + grownO, lengthT = b1 - b0 + grownT;
            for (; i < b0; ++i, ++o, ++t)
                emit({&ours, o});
            stretch(b0, b1, o, o + lengthO, t, t + lengthT, oursChanged, theirsChanged);
            i = b1;
            o += lengthO;
            t += lengthT;
        }
        for (; i < n; ++i, ++o)
            emit({&ours, o});
    }
};

} // namespace

EntryList mergeEntries(const std::vector<EntryDigest>& base, const EntryList& ours,
                       const EntryList& theirs, MergeReport& report, bool applyTheirDeletions) {
    report = MergeReport();
    Numbering numbers;
    std::vector<int> baseIds;
    baseIds.reserve(base.size());
    for (const EntryDigest& digest : base)
        baseIds.push_back(numbers.number(digest));
    Side mine = sideOf(ours, numbers), other = sideOf(theirs, numbers);
    const std::vector<int> theirIds = other.ids;
    const int count = numbers.count();
    findChanges(baseIds, count, mine);
    findChanges(baseIds, count, other);

    std::vector<char> keep = copiesBothKept(baseIds, count, mine, other);
    bool keeping = std::find(keep.begin(), keep.end(), 1) != keep.end();
    for (std::size_t i = 0; i < keep.size(); ++i)
        if (!keep[i] && other.fate[i] == Fate::deleted && keeps(mine, int(i))) {
            ++report.theirDeletions;
            keep[i] = !applyTheirDeletions;
            keeping = keeping || keep[i];
        }
    if (keeping)
        keepDeleted(other, mine, baseIds, keep);

    Merge merge{mine, other, report, {}, {}};
    merge.run();
    report.differsFromTheirs = merge.outIds != theirIds;

    EntryList merged;
    merged.records.reserve(merge.out.size());
    for (Ref r : merge.out)
        merged.records.push_back(*r);
    return merged;
}
