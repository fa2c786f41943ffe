#pragma once
// The spectral locus: the chromaticities of the pure spectral colours, as a table in wavelength order, and
// the places where a vertical line crosses it. The chromaticity diagrams fill the area between the locus
// and its closing line (the straight line from the first to the last entry, the purples) column by column.
//
// LocusTable holds up to kCapacity entries and ends at the first entry whose wavelength is 0. buildLocus
// makes one entry per row of the colour-matching table (390 to 830 nm): in xy mode (X̄/S, Ȳ/S) with
// S = X̄ + Ȳ + Z̄, in u'v' mode (4X̄/T, 9Ȳ/T) with T = X̄ + 15Ȳ + 3Z̄, computed in float.
//
// All functions are pure; a table is a value.

#include <array>
#include <cstdint>

#include "charts/chart_layout.h"

namespace hlx::charts {

struct LocusEntry {
    std::int32_t wavelength = 0;  // nm; 0 ends the table
    float first = 0;              // x or u'
    float second = 0;             // y or v'
};

struct LocusTable {
    static constexpr int kCapacity = 100;
    std::array<LocusEntry, kCapacity> entries{};

    // The number of entries before the ending one.
    int size() const;
};

LocusTable buildLocus(ChromaticityMode mode);

// Where the vertical line at first coordinate x crosses the locus. The segments between consecutive entries
// are walked in table order until two hits: a segment from P to Q hits when min(P.x, Q.x) ≤ x < max(P.x,
// Q.x), at L.y + (x − L.x)(R.y − L.y)/(R.x − L.x) with L the end of smaller x and R the other. The closing
// line is not walked. Values without a hit are −1.
struct LocusCrossings {
    int count = 0;  // 0, 1 or 2
    double first = -1;
    double second = -1;
};
LocusCrossings locusCrossings(const LocusTable& locus, double x);

// The second coordinate of the closing line (first entry to last entry) at x; −1 for a table of fewer than
// two entries or a vertical closing line.
double closingLineAt(const LocusTable& locus, double x);

}  // namespace hlx::charts
