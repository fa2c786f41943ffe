#include "charts/locus.h"

#include <algorithm>

#include "charts/colour_matching.h"

namespace hlx::charts {

namespace {

static_assert(kColourMatchingRows < LocusTable::kCapacity, "the locus needs room for its ending entry");

double valueAt(const LocusEntry& p, const LocusEntry& q, double x) {
    const LocusEntry& left = p.first <= q.first ? p : q;
    const LocusEntry& right = p.first <= q.first ? q : p;
    return left.second +
           (x - left.first) * (double{right.second} - left.second) / (double{right.first} - left.first);
}

}  // namespace

int LocusTable::size() const {
    const auto end =
        std::find_if(entries.begin(), entries.end(), [](const LocusEntry& e) { return e.wavelength == 0; });
    return static_cast<int>(end - entries.begin());
}

LocusTable buildLocus(ChromaticityMode mode) {
    LocusTable locus;
    for (int i = 0; i < kColourMatchingRows; ++i) {
        const ColourMatchingRow& row = kColourMatchingTable[static_cast<std::size_t>(i)];
        LocusEntry& entry = locus.entries[static_cast<std::size_t>(i)];
        entry.wavelength = row.wavelength;
        if (mode == ChromaticityMode::Xy) {
            const float s = row.xBar + row.yBar + row.zBar;
            entry.first = row.xBar / s;
            entry.second = row.yBar / s;
        } else {
            const float t = row.xBar + 15.0f * row.yBar + 3.0f * row.zBar;
            entry.first = 4.0f * row.xBar / t;
            entry.second = 9.0f * row.yBar / t;
        }
    }
    return locus;
}

LocusCrossings locusCrossings(const LocusTable& locus, double x) {
    LocusCrossings result;
    const int n = locus.size();
    for (int i = 0; i + 1 < n && result.count < 2; ++i) {
        const LocusEntry& p = locus.entries[static_cast<std::size_t>(i)];
        const LocusEntry& q = locus.entries[static_cast<std::size_t>(i + 1)];
        const double lo = std::min(p.first, q.first);
        const double hi = std::max(p.first, q.first);
        if (!(lo <= x && x < hi)) continue;
        const double y = valueAt(p, q, x);
        (result.count == 0 ? result.first : result.second) = y;
        ++result.count;
    }
    return result;
}

double closingLineAt(const LocusTable& locus, double x) {
    const int n = locus.size();
    if (n < 2) return -1;
    const LocusEntry& first = locus.entries[0];
    const LocusEntry& last = locus.entries[static_cast<std::size_t>(n - 1)];
    if (first.first == last.first) return -1;
    return valueAt(first, last, x);
}

}  // namespace hlx::charts
