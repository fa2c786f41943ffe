// The chromaticity diagrams: the colour of a chromaticity, and the fill of the spectral locus in charts A
// and B, pixel by pixel against the locus itself.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "charts/chart_drawing.h"
#include "charts/chromaticity.h"
#include "charts/locus.h"
#include "charts/render_charts.h"
#include "tests/support/recording_text_painter.h"

namespace {

using namespace hlx::charts;

int maxChannel(Rgb c) {
    return std::max({int{c.r}, int{c.g}, int{c.b}});
}
int channelDistance(Rgb a, Rgb b) {
    return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
}

TEST(ChromaticityColour, ShowsThePrimariesAndTheWhitePointAsSuch) {
    struct Case {
        const char* name;
        double x, y;
        Rgb expected;
        int tolerance;
    };
    // The sRGB primaries and D65 (the matrix is the sRGB one): pure colours and white.
    const Case cases[] = {
        {"red", 0.64, 0.33, {255, 0, 0}, 12},
        {"green", 0.30, 0.60, {0, 255, 0}, 12},
        {"blue", 0.15, 0.06, {0, 0, 255}, 12},
        {"white", 0.3127, 0.3290, {255, 255, 255}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Rgb colour = chromaticityColour(ChromaticityMode::Xy, c.x, c.y);
        EXPECT_LE(channelDistance(c.expected, colour), c.tolerance)
            << int{colour.r} << ", " << int{colour.g} << ", " << int{colour.b};
        EXPECT_EQ(255, maxChannel(colour)) << "every colour is as bright as it can be";
    }
}

TEST(ChromaticityColour, IsTheSameInXyAndInUv) {
    for (double u = 0.05; u < 0.6; u += 0.05) {
        for (double v = 0.1; v < 0.6; v += 0.05) {
            const XyPoint xy = uvToXy({u, v});
            const Rgb inUv = chromaticityColour(ChromaticityMode::UvPrime, u, v);
            const Rgb inXy = chromaticityColour(ChromaticityMode::Xy, xy.x, xy.y);
            EXPECT_LE(channelDistance(inUv, inXy), 1) << u << ", " << v;
        }
    }
}

TEST(ChromaticityColour, IsBlackWhereNoColourExists) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const ChromaticityMode mode : {ChromaticityMode::Xy, ChromaticityMode::UvPrime}) {
        EXPECT_EQ(kBlack, chromaticityColour(mode, 0.3, 0.0));
        EXPECT_EQ(kBlack, chromaticityColour(mode, 0.3, -0.2));
        EXPECT_EQ(kBlack, chromaticityColour(mode, nan, 0.3));
        EXPECT_EQ(kBlack, chromaticityColour(mode, 0.3, 1e-320))
            << "a value so small the tristimulus overflows";
    }
}

// A diagram as drawn at start-up, with the locus in its coordinates, judged pixel by pixel.
class DiagramTest : public ::testing::TestWithParam<char> {
protected:
    void SetUp() override {
        for (const ChartDefinition& s : kChartDefinitions)
            if (s.letter == GetParam()) m_definition = s;
        m_locus = buildLocus(m_definition.mode);
        m_image = renderChart(m_definition, m_text).image;
    }
    const TGraphConstrains& layout() const { return m_definition.layout; }
    // The chromaticity at the centre of a pixel.
    double valueX(int x) const { return layout().xMin + (x + 0.5 - layout().xMargin) / layout().xScale(); }
    double valueY(int y) const { return layout().yMin + (layout().base() - (y + 0.5)) / layout().yScale(); }
    // How near colour comes to the colours of the chromaticities within pixel (x, y), sampled 41 × 41 (the
    // colour changes fast near the corners of the locus, so the pixel's centre alone is not enough).
    int closestColourInPixel(int x, int y, Rgb colour) const {
        int best = channelDistance(chromaticityColour(m_definition.mode, valueX(x), valueY(y)), colour);
        for (int i = 0; i <= 40 && best > 1; ++i) {
            for (int j = 0; j <= 40; ++j) {
                const double a = valueX(x) + (i - 20) * 0.0249 / layout().xScale();
                const double b = valueY(y) + (j - 20) * 0.0249 / layout().yScale();
                best = std::min(best, channelDistance(chromaticityColour(m_definition.mode, a, b), colour));
            }
        }
        return best;
    }

    // Even-odd test against the locus closed by its purple line, and the distance to that outline in pixels.
    bool insideLocus(int px, int py, double* pixelsToOutline) const {
        const double cx = px + 0.5, cy = py + 0.5;
        const int n = m_locus.size();
        bool inside = false;
        double best = 1e9;
        for (int i = 0; i < n; ++i) {
            const LocusEntry& p = m_locus.entries[static_cast<std::size_t>(i)];
            const LocusEntry& q = m_locus.entries[static_cast<std::size_t>((i + 1) % n)];
            const double ax = layout().pixelX(p.first), ay = layout().pixelY(p.second);
            const double bx = layout().pixelX(q.first), by = layout().pixelY(q.second);
            if ((ay > cy) != (by > cy) && cx < ax + (cy - ay) * (bx - ax) / (by - ay)) inside = !inside;
            const double lx = bx - ax, ly = by - ay, len2 = lx * lx + ly * ly;
            const double t = len2 > 0 ? std::clamp(((cx - ax) * lx + (cy - ay) * ly) / len2, 0.0, 1.0) : 0.0;
            best = std::min(best, std::hypot(cx - (ax + t * lx), cy - (ay + t * ly)));
        }
        *pixelsToOutline = best;
        return inside;
    }

    ChartDefinition m_definition{};
    LocusTable m_locus;
    RgbImage m_image;
    hlx::test::RecordingTextPainter m_text;
};

TEST_P(DiagramTest, InsideTheLocusEveryPixelHasTheColourOfItsChromaticityOutsideNone) {
    int filled = 0, checkedOutside = 0;
    const int right = layout().xMargin + layout().xLength, bottom = layout().base();
    for (int y = layout().base() - layout().yLength; y < bottom; ++y) {
        for (int x = layout().xMargin + 1; x < right; ++x) {
            double distance = 0;
            const bool inside = insideLocus(x, y, &distance);
            if (distance < 2) continue;  // the outline itself is a matter of where the columns start and end
            const Rgb c = m_image.pixel(x, y);
            SCOPED_TRACE(::testing::Message() << "pixel " << x << ", " << y << " rgb " << int{c.r} << ", "
                                              << int{c.g} << ", " << int{c.b});
            if (!inside) {
                EXPECT_TRUE(c == kBlack || c == kGrey) << "outside the locus only the grid shows";
                ++checkedOutside;
                continue;
            }
            if (c == kGrey) continue;  // grid lines and targets are drawn over the fill
            EXPECT_LE(closestColourInPixel(x, y, c), 2);
            EXPECT_EQ(255, maxChannel(c));
            ++filled;
        }
    }
    EXPECT_GT(filled, 6000);
    EXPECT_GT(checkedOutside, 6000);
}

TEST_P(DiagramTest, FillStopsAtTheXOfThe830nmEntry) {
    const LocusEntry& last = m_locus.entries[static_cast<std::size_t>(m_locus.size() - 1)];
    ASSERT_EQ(830, last.wavelength);
    // The locus goes a little further out near 700 nm and comes back; there is nothing to fill.
    const int firstEmptyColumn = toPixel(layout().pixelX(last.first)) + 1;
    for (int x = firstEmptyColumn; x < layout().xMargin + layout().xLength; ++x)
        for (int y = layout().base() - layout().yLength; y < layout().base(); ++y)
            ASSERT_TRUE(m_image.pixel(x, y) == kBlack || m_image.pixel(x, y) == kGrey) << x << ", " << y;
    bool filledJustBefore = false;
    for (int y = 0; y < m_image.height(); ++y)
        filledJustBefore |= maxChannel(m_image.pixel(firstEmptyColumn - 2, y)) == 255 &&
                            m_image.pixel(firstEmptyColumn - 2, y) != kWhite;
    EXPECT_TRUE(filledJustBefore);
}

TEST_P(DiagramTest, FillAloneStaysInThePlot) {
    RgbImage image(layout().bitmapWidth(), layout().bitmapHeight());
    Canvas canvas(image, m_text);
    fillLocus(canvas, m_definition.mode, layout(), m_locus);
    EXPECT_EQ(0, canvas.clippedPixels());
    int set = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) == kBlack) continue;
            ++set;
            EXPECT_GE(x, layout().xMargin);
            EXPECT_LT(x, layout().xMargin + layout().xLength);
            EXPECT_GE(y, layout().base() - layout().yLength);
            EXPECT_LE(y, layout().base());
        }
    }
    EXPECT_GT(set, 6000);
}

TEST_P(DiagramTest, NothingIsDrawnOutsideTheBitmap) {
    RgbImage image(layout().bitmapWidth(), layout().bitmapHeight());
    Canvas canvas(image, m_text);
    drawDiagram(canvas, m_definition.mode, layout(), m_locus);
    EXPECT_EQ(0, canvas.clippedPixels());
}

INSTANTIATE_TEST_SUITE_P(Charts, DiagramTest, ::testing::Values('A', 'B'),
                         [](const auto& info) { return std::string("Chart") + info.param; });

// Chart A's columns at x = 0.1 and 0.3, the cases a technician would check on paper.
class ChartAColumns : public ::testing::Test {
protected:
    void SetUp() override { m_image = renderChart(kChartDefinitions[0], m_text).image; }
    Rgb at(double x, double y) const {
        return m_image.pixel(toPixel(m_layout.pixelX(x)), toPixel(m_layout.pixelY(y)));
    }
    static bool fillColour(Rgb c) { return c != kWhite && maxChannel(c) == 255; }
    // Pixels of the column at x from value low to high (in steps of 0.005) that are not fill colours.
    int unfilled(double x, double low, double high) const {
        int count = 0;
        for (double y = low; y < high; y += 0.005) count += fillColour(at(x, y)) ? 0 : 1;
        return count;
    }
    // Outside the locus only the grid shows.
    bool empty(double x, double y) const { return at(x, y) == kBlack || at(x, y) == kGrey; }

    const TGraphConstrains& m_layout = kChartDefinitions[0].layout;
    hlx::test::RecordingTextPainter m_text;
    RgbImage m_image;
};

TEST_F(ChartAColumns, TwoCrossingsFillBetweenThem) {
    // Crossings near y = 0.122 and 0.839; 4 pixels (0.0225) of room for the neighbouring columns. The column
    // is also a grid line, which the fill covers.
    EXPECT_EQ(0, unfilled(0.1, 0.122 + 0.025, 0.839 - 0.025));
    for (double y = 0.01; y < 0.122 - 0.025; y += 0.005) EXPECT_TRUE(empty(0.1, y)) << y;
    for (double y = 0.839 + 0.025; y < 0.9; y += 0.005) EXPECT_TRUE(empty(0.1, y)) << y;
}

TEST_F(ChartAColumns, OneCrossingFillsDownToThePurpleLine) {
    // One crossing near y = 0.697; the purple line from 390 nm to 830 nm passes x = 0.3 at y ≈ 0.0836.
    // This column also carries the white-point cross, EBU crosses and the triangle, drawn over the fill in
    // grey.
    int samples = 0, black = 0;
    for (double y = 0.0836 + 0.015; y < 0.697 - 0.015; y += 0.005, ++samples)
        black += at(0.3, y) == kBlack ? 1 : 0;
    EXPECT_EQ(0, black);
    EXPECT_LT(unfilled(0.3, 0.0836 + 0.015, 0.697 - 0.015), samples / 4);
    for (double y = 0.01; y < 0.0836 - 0.015; y += 0.005) EXPECT_TRUE(empty(0.3, y)) << y;
    for (double y = 0.697 + 0.015; y < 0.9; y += 0.005) EXPECT_TRUE(empty(0.3, y)) << y;
}

}  // namespace

namespace {

// The fill of the xy locus through a window of only part of the diagram.
class FillWindow : public ::testing::Test {
protected:
    void fill(float yMin, float yMax) {
        m_layout = TGraphConstrains{160, 20, 0.0f, 0.9f, 9, "x", 80, 20, yMin, yMax, 4, "y"};
        m_image = RgbImage(m_layout.bitmapWidth(), m_layout.bitmapHeight());
        Canvas canvas(m_image, m_text);
        fillLocus(canvas, ChromaticityMode::Xy, m_layout, buildLocus(ChromaticityMode::Xy));
        m_clipped = canvas.clippedPixels();
    }
    // The rows of the column at x that were set.
    std::vector<int> rowsSet(double x) const {
        std::vector<int> rows;
        const int column = toPixel(m_layout.pixelX(x));
        for (int y = 0; y < m_image.height(); ++y)
            if (m_image.pixel(column, y) != kBlack) rows.push_back(y);
        return rows;
    }

    TGraphConstrains m_layout;
    RgbImage m_image;
    hlx::test::RecordingTextPainter m_text;
    long m_clipped = 0;
};

TEST_F(FillWindow, ColumnsWhollyBelowTheWindowStayEmptyOthersAreCutAtItsEdges) {
    fill(0.5f, 0.9f);
    EXPECT_TRUE(rowsSet(0.6).empty()) << "at x = 0.6 the locus spans y ≈ 0.23 to 0.39";
    const std::vector<int> cut = rowsSet(0.1);  // the locus spans y ≈ 0.122 to 0.839
    ASSERT_FALSE(cut.empty());
    EXPECT_EQ(m_layout.base(), cut.back()) << "cut at the bottom of the window";
    EXPECT_NEAR(m_layout.pixelY(0.839), cut.front(), 3);
    EXPECT_EQ(0, m_clipped);
}

TEST_F(FillWindow, ColumnsWhollyAboveTheWindowStayEmpty) {
    fill(0.0f, 0.1f);
    EXPECT_TRUE(rowsSet(0.1).empty()) << "the lower crossing (≈ 0.122) is above the window";
    const std::vector<int> cut = rowsSet(0.3);  // the purple line at ≈ 0.084, the locus at ≈ 0.697
    ASSERT_FALSE(cut.empty());
    // Columns end 0.001 short of their top (here 0.8 pixels), so the window's top row may stay empty.
    EXPECT_NEAR(m_layout.base() - m_layout.yLength, cut.front(), 2) << "cut near the top of the window";
    EXPECT_GE(cut.front(), m_layout.base() - m_layout.yLength);
    EXPECT_NEAR(m_layout.pixelY(0.0836), cut.back(), 2);
    EXPECT_EQ(0, m_clipped);
}

}  // namespace
