#include "text/line_script.h"

#include <algorithm>
#include <climits>

namespace {

// Changed marks of one side's lines, with an unchanged guard before the
// first and after the last so the scans below may step one past either end.
class Marks {
public:
    explicit Marks(int count) : m_flags(size_t(count) + 2, 0) {}
    char* at() { return m_flags.data() + 1; } // at()[-1] and at()[count] are guards
    const char* at() const { return m_flags.data() + 1; }

private:
    std::vector<char> m_flags;
};

// A line that matches no line of the other side can never be common, and a
// line that matches very many (blank lines, braces) mostly misleads the
// search; both are left out of it and marked changed. A line of the second
// kind is left out only amid lines of the first kind, where it most likely
// belongs to a changed block. Returns the lines kept, as places.
std::vector<int> linesToSearch(const int* ids, int count, const std::vector<int>& otherCounts,
                               char* changed) {
    enum : char { Keep, Drop, Maybe };
    int many = 5; // about the square root of the line count
    for (int t = count / 64; (t >>= 2) > 0;)
        many *= 2;
    std::vector<char> verdict(size_t(count), Keep);
    for (int i = 0; i < count; ++i) {
        const int matches = otherCounts[size_t(ids[i])];
        verdict[size_t(i)] = matches == 0 ? Drop : matches > many ? Maybe : Keep;
    }
    auto at = [&verdict](int i) -> char& { return verdict[size_t(i)]; };
    for (int i = 0; i < count; ++i) {
        if (at(i) == Maybe)
            at(i) = Keep; // not inside a run that a Drop line starts
        if (at(i) != Drop)
            continue;
        int end = i, maybes = 0;
        for (; end < count && at(end) != Keep; ++end)
            maybes += at(end) == Maybe;
        for (; at(end - 1) == Maybe; --maybes)
            at(--end) = Keep; // the run ends with a Drop line too
        const int length = end - i;
        if (maybes * 4 > length) { // mostly uncertain: keep them all
            for (int k = i; k < end; ++k)
                if (at(k) == Maybe)
                    at(k) = Keep;
            i = end - 1;
            continue;
        }
        // Long runs of Maybe lines inside are kept (about the square root
        // of a quarter of the run's length counts as long).
        int longRun = 1;
        for (int t = length >> 2; (t >>= 2) > 0;)
            longRun <<= 1;
        ++longRun;
        for (int k = i; k < end;) {
            int stop = k;
            while (stop < end && at(stop) == Maybe)
                ++stop;
            if (stop - k >= longRun)
                std::fill(verdict.begin() + k, verdict.begin() + stop, Keep);
            k = std::max(stop, k + 1);
        }
        // Near either end of the run, Maybe lines are kept until three Drop
        // lines in a row (or a Drop line eight lines in) show the block.
        for (int step : {1, -1}) {
            int k = step > 0 ? i : end - 1, inRow = 0;
            for (int n = 0; n < length; ++n, k += step) {
                if (n >= 8 && at(k) == Drop)
                    break;
                if (at(k) == Maybe)
                    at(k) = Keep;
                inRow = at(k) == Drop ? inRow + 1 : 0;
                if (inRow == 3)
                    break;
            }
        }
        i = end - 1;
    }
    std::vector<int> kept;
    for (int i = 0; i < count; ++i) {
        if (at(i) == Keep)
            kept.push_back(i);
        else
            changed[i] = 1;
    }
    return kept;
}

// The shortest edit script between two sequences (Myers's linear-space
// search for the middle snake), marking the elements not common.
class Search {
public:
    Search(std::vector<int> a, std::vector<int> b, const std::vector<int>& placeA,
           const std::vector<int>& placeB, char* changedA, char* changedB)
        : m_a(std::move(a)), m_b(std::move(b)), m_placeA(placeA), m_placeB(placeB),
          m_changedA(changedA), m_changedB(changedB), m_forward(m_a.size() + m_b.size() + 3),
          m_backward(m_forward.size()), m_origin(int(m_b.size()) + 1) {
        // Past this many steps a split is taken where the search got
        // furthest: a longer script, but a bounded time on files unlike
        // each other.
        for (size_t d = m_forward.size(); d != 0; d >>= 2)
            m_tooExpensive <<= 1;
        m_tooExpensive = std::max(4096, m_tooExpensive);
    }

    void compare(int xoff, int xlim, int yoff, int ylim, bool minimal) {
        while (xoff < xlim && yoff < ylim && m_a[size_t(xoff)] == m_b[size_t(yoff)])
            ++xoff, ++yoff;
        while (xoff < xlim && yoff < ylim && m_a[size_t(xlim - 1)] == m_b[size_t(ylim - 1)])
            --xlim, --ylim;
        if (xoff == xlim) {
            for (int y = yoff; y < ylim; ++y)
                m_changedB[m_placeB[size_t(y)]] = 1;
        } else if (yoff == ylim) {
            for (int x = xoff; x < xlim; ++x)
                m_changedA[m_placeA[size_t(x)]] = 1;
        } else {
            const Split s = split(xoff, xlim, yoff, ylim, minimal);
            compare(xoff, s.x, yoff, s.y, s.lowMinimal);
            compare(s.x, xlim, s.y, ylim, s.highMinimal);
        }
    }

private:
    struct Split {
        int x, y;
        bool lowMinimal, highMinimal;
    };

    bool same(int x, int y) const { return m_a[size_t(x)] == m_b[size_t(y)]; }

    // Diagonal d (x - y) of each search is kept at [d + origin].
    Split split(int xoff, int xlim, int yoff, int ylim, bool minimal) {
        int* fwd = m_forward.data() + m_origin;
        int* bwd = m_backward.data() + m_origin;
        const int dmin = xoff - ylim, dmax = xlim - yoff;
        const int fmid = xoff - yoff, bmid = xlim - ylim;
        int fmin = fmid, fmax = fmid, bmin = bmid, bmax = bmid;
        const bool odd = (fmid - bmid) & 1;
        fwd[fmid] = xoff;
        bwd[bmid] = xlim;
        for (int cost = 1;; ++cost) {
            // One more step on every diagonal from the top left...
            fmin > dmin ? void(fwd[--fmin - 1] = -1) : void(++fmin);
            fmax < dmax ? void(fwd[++fmax + 1] = -1) : void(--fmax);
            for (int d = fmax; d >= fmin; d -= 2) {
                int x = fwd[d - 1] < fwd[d + 1] ? fwd[d + 1] : fwd[d - 1] + 1;
                int y = x - d;
                while (x < xlim && y < ylim && same(x, y))
                    ++x, ++y;
                fwd[d] = x;
                if (odd && bmin <= d && d <= bmax && bwd[d] <= x)
                    return {x, y, true, true};
            }
            // ...and from the bottom right.
            bmin > dmin ? void(bwd[--bmin - 1] = INT_MAX) : void(++bmin);
            bmax < dmax ? void(bwd[++bmax + 1] = INT_MAX) : void(--bmax);
            for (int d = bmax; d >= bmin; d -= 2) {
                int x = bwd[d - 1] < bwd[d + 1] ? bwd[d - 1] : bwd[d + 1] - 1;
                int y = x - d;
                while (x > xoff && y > yoff && same(x - 1, y - 1))
                    --x, --y;
                bwd[d] = x;
                if (!odd && fmin <= d && d <= fmax && x <= fwd[d])
                    return {x, y, true, true};
            }
            if (minimal || cost < m_tooExpensive)
                continue;
            // The forward diagonal furthest along and the backward one, and
            // the better of the two.
            int fBest = -1, fx = 0;
            for (int d = fmax; d >= fmin; d -= 2) {
                int x = std::min(fwd[d], xlim), y = x - d;
                if (y > ylim)
                    x = ylim + d, y = ylim;
                if (x + y > fBest)
                    fBest = x + y, fx = x;
            }
            int bBest = INT_MAX, bx = 0;
            for (int d = bmax; d >= bmin; d -= 2) {
                int x = std::max(xoff, bwd[d]), y = x - d;
                if (y < yoff)
                    x = yoff + d, y = yoff;
                if (x + y < bBest)
                    bBest = x + y, bx = x;
            }
            if ((xlim + ylim) - bBest < fBest - (xoff + yoff))
                return {fx, fBest - fx, true, false};
            return {bx, bBest - bx, false, true};
        }
    }

    std::vector<int> m_a, m_b;
    const std::vector<int>&m_placeA, &m_placeB;
    char *m_changedA, *m_changedB;
    std::vector<int> m_forward, m_backward;
    int m_origin;
    int m_tooExpensive = 1;
};

// Slides each block of changed lines along equal lines: back, merging with
// blocks before it, then forward as far as it goes, merging with blocks
// after it; then back again to the last place where it faced a block of the
// other side, so that a removed and an added line become one change.
void slideBlocks(const int* ids, int count, char* changed, const char* other) {
    int i = 0, j = 0; // j: the place in the other side that i corresponds to
    for (;;) {
        while (i < count && !changed[i]) {
            while (other[j++]) {
            }
            ++i;
        }
        if (i == count)
            return;
        int start = i;
        while (changed[++i]) {
        }
        while (other[j])
            ++j;
        int length = 0, facing = count;
        do {
            length = i - start;
            while (start > 0 && ids[start - 1] == ids[i - 1]) {
                changed[--start] = 1;
                changed[--i] = 0;
                while (changed[start - 1])
                    --start;
                while (other[--j]) {
                }
            }
            facing = other[j - 1] ? i : count;
            while (i != count && ids[start] == ids[i]) {
                changed[start++] = 0;
                changed[i++] = 1;
                while (changed[i])
                    ++i;
                while (other[++j])
                    facing = i;
            }
        } while (length != i - start);
        while (facing < i) {
            changed[--start] = 1;
            changed[--i] = 0;
            while (other[--j]) {
            }
        }
    }
}

} // namespace

std::vector<Hunk> lineHunks(const std::vector<int>& left, const std::vector<int>& right,
                            int distinct) {
    // The lines equal at both ends are common; the rest is searched.
    const int n = int(left.size()), m = int(right.size());
    int head = 0;
    while (head < n && head < m && left[size_t(head)] == right[size_t(head)])
        ++head;
    int tail = 0;
    while (tail < n - head && tail < m - head &&
           left[size_t(n - 1 - tail)] == right[size_t(m - 1 - tail)])
        ++tail;
    const int* a = left.data() + head;
    const int* b = right.data() + head;
    const int countA = n - head - tail, countB = m - head - tail;

    std::vector<int> inA(size_t(distinct), 0), inB(size_t(distinct), 0);
    for (int i = 0; i < countA; ++i)
        ++inA[size_t(a[i])];
    for (int i = 0; i < countB; ++i)
        ++inB[size_t(b[i])];
    Marks changedA(countA), changedB(countB);
    const std::vector<int> placeA = linesToSearch(a, countA, inB, changedA.at());
    const std::vector<int> placeB = linesToSearch(b, countB, inA, changedB.at());
    {
        std::vector<int> keptA(placeA.size()), keptB(placeB.size());
        for (size_t i = 0; i < placeA.size(); ++i)
            keptA[i] = a[placeA[i]];
        for (size_t i = 0; i < placeB.size(); ++i)
            keptB[i] = b[placeB[i]];
        Search search(std::move(keptA), std::move(keptB), placeA, placeB, changedA.at(),
                      changedB.at());
        search.compare(0, int(placeA.size()), 0, int(placeB.size()), false);
    }
    slideBlocks(a, countA, changedA.at(), changedB.at());
    slideBlocks(b, countB, changedB.at(), changedA.at());

    std::vector<Hunk> hunks;
    const char* ca = changedA.at();
    const char* cb = changedB.at();
    for (int i = 0, j = 0; i < countA || j < countB; ++i, ++j) {
        if (!ca[i] && !cb[j])
            continue;
        Hunk h{head + i, 0, head + j, 0};
        while (ca[i])
            ++i, ++h.leftCount;
        while (cb[j])
            ++j, ++h.rightCount;
        hunks.push_back(h);
    }
    return hunks;
}
