// The spectral locus built from the colour-matching table, and where vertical lines cross it.

#include <cmath>

#include <gtest/gtest.h>

#include "charts/locus.h"

namespace {

using namespace hlx::charts;

const LocusTable& xyLocus() {
    static const LocusTable locus = buildLocus(ChromaticityMode::Xy);
    return locus;
}

const LocusEntry& entryAt(const LocusTable& locus, int nm) {
    return locus.entries[static_cast<std::size_t>((nm - 390) / 5)];
}

TEST(BuildLocus, OneEntryPerRowInWavelengthOrderThenTheEnd) {
    for (const ChromaticityMode mode : {ChromaticityMode::Xy, ChromaticityMode::UvPrime}) {
        const LocusTable locus = buildLocus(mode);
        ASSERT_EQ(89, locus.size());
        EXPECT_EQ(390, locus.entries[0].wavelength);
        EXPECT_EQ(830, locus.entries[88].wavelength);
        EXPECT_EQ(0, locus.entries[89].wavelength);
        for (int i = 0; i < locus.size(); ++i) {
            const LocusEntry& e = locus.entries[static_cast<std::size_t>(i)];
            EXPECT_GT(e.first, 0.0f) << e.wavelength;
            EXPECT_GT(e.second, 0.0f) << e.wavelength;
            if (mode == ChromaticityMode::Xy) {
                EXPECT_LT(e.first + e.second, 1.0f + 1e-6f) << e.wavelength;
            }
            EXPECT_LT(e.first, 0.75f) << e.wavelength;
            EXPECT_LT(e.second, 0.85f) << e.wavelength;
        }
    }
}

TEST(BuildLocus, XyAndUvOfKnownWavelengths) {
    const LocusTable uv = buildLocus(ChromaticityMode::UvPrime);
    struct Known {
        int nm;
        double x, y, u, v;
    };
    // By hand from the published rows: x = X̄/S, y = Ȳ/S; u' = 4X̄/T, v' = 9Ȳ/T.
    const Known known[] = {
        {390, 0.166380, 0.018300, 0.230536, 0.057051},
        {550, 0.311614, 0.685758, 0.117525, 0.581925},
        {830, 0.714170, 0.285830, 0.571151, 0.514327},
    };
    for (const Known& k : known) {
        SCOPED_TRACE(k.nm);
        EXPECT_EQ(k.nm, entryAt(xyLocus(), k.nm).wavelength);
        EXPECT_NEAR(k.x, entryAt(xyLocus(), k.nm).first, 1e-5);
        EXPECT_NEAR(k.y, entryAt(xyLocus(), k.nm).second, 1e-5);
        EXPECT_NEAR(k.u, entryAt(uv, k.nm).first, 1e-5);
        EXPECT_NEAR(k.v, entryAt(uv, k.nm).second, 1e-5);
    }
}

TEST(LocusCrossings, InTheXyDiagram) {
    const LocusCrossings twice = locusCrossings(xyLocus(), 0.1);
    EXPECT_EQ(2, twice.count);
    EXPECT_NEAR(0.122, twice.first, 0.001) << "the blue-green side, met first in wavelength order";
    EXPECT_NEAR(0.839, twice.second, 0.001) << "the green side";

    const LocusCrossings once = locusCrossings(xyLocus(), 0.3);
    EXPECT_EQ(1, once.count);
    EXPECT_NEAR(0.697, once.first, 0.001);
    EXPECT_EQ(-1, once.second);

    for (const double x : {0.0, 0.002, 0.74, 0.9}) {
        const LocusCrossings none = locusCrossings(xyLocus(), x);
        EXPECT_EQ(0, none.count) << x;
        EXPECT_EQ(-1, none.first) << x;
        EXPECT_EQ(-1, none.second) << x;
    }
}

TEST(LocusCrossings, BeyondThe830nmEntryTheLocusFoldsBackWithoutHeight) {
    // Near 700 nm the locus reaches x ≈ 0.723 and returns along the same line to the 830 nm entry. Between
    // those x the line meets it twice at all but the same y, so the diagram fills nothing there.
    const double x830 = entryAt(xyLocus(), 830).first;
    const double xMost = entryAt(xyLocus(), 700).first;
    EXPECT_NEAR(0.7142, x830, 0.0001);
    EXPECT_NEAR(0.7233, xMost, 0.0001);
    for (double x = x830 + 0.0001; x < xMost; x += 0.0005) {
        const LocusCrossings c = locusCrossings(xyLocus(), x);
        ASSERT_EQ(2, c.count) << x;
        EXPECT_LT(std::abs(c.first - c.second), 0.001) << x;
    }
    EXPECT_EQ(1, locusCrossings(xyLocus(), x830 - 0.0001).count);
}

TEST(LocusCrossings, SegmentsAreHalfOpenAndTheWalkStopsAfterTwoHits) {
    LocusTable zigzag;
    const LocusEntry points[] = {{400, 0, 0}, {410, 1, 1}, {420, 2, 0},
                                 {430, 1, 2}, {440, 0, 3}, {450, 2, 4}};
    for (std::size_t i = 0; i < std::size(points); ++i) zigzag.entries[i] = points[i];
    struct Case {
        double x;
        int count;
        double first, second;
    };
    const Case cases[] = {
        {0.5, 2, 0.5, 2.5},  // three segments cross; the walk stops after the second in table order
        {1.0, 2, 1.0, 2.0},  // a segment covers its smaller x, not its larger one
        {1.5, 2, 0.5, 1.0}, {2.0, 0, -1, -1}, {-0.1, 0, -1, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x);
        const LocusCrossings got = locusCrossings(zigzag, c.x);
        EXPECT_EQ(c.count, got.count);
        EXPECT_DOUBLE_EQ(c.first, got.first);
        EXPECT_DOUBLE_EQ(c.second, got.second);
    }
}

TEST(ClosingLine, RunsFromTheFirstToTheLastEntry) {
    const LocusEntry first = entryAt(xyLocus(), 390);
    const LocusEntry last = entryAt(xyLocus(), 830);
    EXPECT_NEAR(first.second, closingLineAt(xyLocus(), first.first), 1e-6);
    EXPECT_NEAR(last.second, closingLineAt(xyLocus(), last.first), 1e-6);
    EXPECT_NEAR(0.0836, closingLineAt(xyLocus(), 0.3), 0.0001);
    EXPECT_EQ(-1, closingLineAt(LocusTable{}, 0.3));
}

}  // namespace
