// Targets: the u'v' to xy conversion, the cross, the polygon, the greyscale ellipses in both coordinate
// systems and the rotated ellipse of single pixels.

#include <cmath>
#include <numbers>
#include <set>
#include <utility>

#include <gtest/gtest.h>

#include "charts/chart_targets.h"
#include "charts/render_charts.h"
#include "tests/charts/chart_pictures.h"
#include "tests/support/recording_text_painter.h"

namespace {

using namespace hlx::charts;
using hlx::test::picture;
using PixelSet = std::set<std::pair<int, int>>;

PixelSet pixelsOf(const RgbImage& image, Rgb colour) {
    PixelSet out;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == colour) out.insert({x, y});
    return out;
}

TEST(UvToXy, ConvertsTheWhitePointAndRoundTripsThePrimaries) {
    const XyPoint white = uvToXy(kD65White);
    EXPECT_NEAR(0.3127, white.x, 2e-4);
    EXPECT_NEAR(0.3290, white.y, 2e-4);
    for (const TargetTable& table : kPrimaryTolerances) {
        for (const UvPoint& uv : table.points) {
            const XyPoint xy = uvToXy(uv);
            // The inverse conversion: u' = 4x / (−2x + 12y + 3), v' = 9y / (−2x + 12y + 3).
            const double d = -2 * xy.x + 12 * xy.y + 3;
            EXPECT_NEAR(uv.u, 4 * xy.x / d, 1e-12);
            EXPECT_NEAR(uv.v, 9 * xy.y / d, 1e-12);
        }
    }
}

// A plot of 100 × 100 pixels for 0..1 on both axes, 10 pixels of margin: every table value below is exact
// in binary, so the pixels can be named by hand.
constexpr TGraphConstrains kUnitPlot{100, 10, 0.0f, 1.0f, 1, "u'", 100, 10, 0.0f, 1.0f, 1, "v'"};
constexpr TargetTable kSquare{{{{0.25, 0.5}, {0.5, 0.5}, {0.75, 0.5}, {0.75, 0.25}, {0.5, 0.25}}}};

class TargetTest : public ::testing::Test {
protected:
    RgbImage draw(const TargetTable& table, unsigned flags,
                  ChromaticityMode mode = ChromaticityMode::UvPrime) {
        RgbImage image(120, 120);
        Canvas canvas(image, m_text);
        canvas.setPen(kWhite);
        drawTargets(canvas, mode, kUnitPlot, table, flags);
        m_penAfter = canvas.pen();
        return image;
    }
    hlx::test::RecordingTextPainter m_text;
    Rgb m_penAfter;
};

TEST_F(TargetTest, CrossSitsTwoPixelsLeftAndBelowThePoint) {
    // Point 0 at pixel (35, 60); the cross centre (33, 62).
    PixelSet expected;
    for (int x = 28; x < 38; ++x) expected.insert({x, 62});
    for (int y = 57; y < 67; ++y) expected.insert({33, y});
    EXPECT_EQ(expected, pixelsOf(draw(kSquare, kTargetCross), kWhite));
}

TEST_F(TargetTest, PolygonJoinsPointsOneToFourAndCloses) {
    PixelSet expected;
    for (int i = 60; i <= 85; ++i) {
        expected.insert({i, 60});
        expected.insert({i, 85});
        expected.insert({60, i});
        expected.insert({85, i});
    }
    EXPECT_EQ(expected, pixelsOf(draw(kSquare, kTargetPolygon), kWhite));
    EXPECT_EQ(expected.size() + 19, pixelsOf(draw(kSquare, kTargetPolygon | kTargetCross), kWhite).size())
        << "the cross adds its two arms of 10 pixels, which share one";
}

TEST_F(TargetTest, UvEllipsesAreAxisParallelInTheirShiftedBoxes) {
    const TargetTable sizes{{{{0.25, 0.5}, {0.25, 0.125}, {0.125, 0.0625}, {0.0625, 0.03125}, {0.25, 0.5}}},
                            TargetPoints::EllipseSizes};
    const RgbImage drawn = draw(sizes, kTargetEllipses);

    // Centre (35, 60); boxes (35 − a − 1, 60 − b + 3) to (35 + a − 1, 60 + b + 2), truncated, with
    // a = 12.5, 6.25, 3.125 and b = 6.25, 3.125, 1.5625.
    RgbImage expected(120, 120);
    hlx::test::RecordingTextPainter text;
    Canvas canvas(expected, text);
    canvas.setPen(kBlue);
    canvas.ellipse(21, 56, 46, 68);
    canvas.setPen(kPurple);
    canvas.ellipse(27, 59, 40, 65);
    canvas.setPen(kRed);
    canvas.ellipse(30, 61, 37, 63);
    EXPECT_EQ(picture(expected), picture(drawn));
    EXPECT_EQ(kWhite, m_penAfter) << "the pen is left as it was";
}

TEST(RotatedEllipse, IsAThousandSinglePixels) {
    RgbImage image(10, 10);
    hlx::test::RecordingTextPainter text;
    Canvas canvas(image, text);
    drawRotatedEllipse(canvas, Point{-10000, -10000}, 40, 20, 1.0, kBlue);
    EXPECT_EQ(1000, canvas.clippedPixels());
    EXPECT_TRUE(pixelsOf(image, kBlue).empty());
}

TEST(RotatedEllipse, TurnsItsFirstAxisByTheAngle) {
    struct Case {
        const char* name;
        double angle;
        std::pair<int, int> onAxisA;
        std::pair<int, int> onAxisB;
    };
    const Case cases[] = {
        {"unturned", 0, {30, 20}, {20, 25}},
        {"quarter turn", std::numbers::pi / 2, {20, 30}, {15, 20}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RgbImage image(41, 41);
        hlx::test::RecordingTextPainter text;
        Canvas canvas(image, text);
        drawRotatedEllipse(canvas, Point{20, 20}, 10, 5, c.angle, kRed);
        const PixelSet red = pixelsOf(image, kRed);
        EXPECT_TRUE(red.count(c.onAxisA)) << "t = 0 lies on the first axis";
        EXPECT_TRUE(red.count(c.onAxisB)) << "t = π/2 lies on the second axis";
        for (const auto& [x, y] : red) {
            // Back into the ellipse's own frame: every pixel lies on the outline within a pixel.
            const double dx = x + 0.5 - 20, dy = y + 0.5 - 20;
            const double a = dx * std::cos(c.angle) + dy * std::sin(c.angle);
            const double b = -dx * std::sin(c.angle) + dy * std::cos(c.angle);
            const double radius = std::hypot(a / 10, b / 5);
            EXPECT_NEAR(1.0, radius, 0.16) << x << ", " << y;
        }
    }
}

TEST(XyEllipseAxes, FollowTheConversionOfTheUvBox) {
    const UvPoint size{0.0056, 0.0084};
    const EllipseAxes axes = xyEllipseAxes(kD65White, size);
    // Small boxes turn into parallelograms spanned by the derivatives of the conversion.
    const double h = 1e-6;
    const XyPoint du0 = uvToXy({kD65White.u - h, kD65White.v}), du1 = uvToXy({kD65White.u + h, kD65White.v});
    const XyPoint dv0 = uvToXy({kD65White.u, kD65White.v - h}), dv1 = uvToXy({kD65White.u, kD65White.v + h});
    const double ux = (du1.x - du0.x) / (2 * h), uy = (du1.y - du0.y) / (2 * h);
    const double vx = (dv1.x - dv0.x) / (2 * h), vy = (dv1.y - dv0.y) / (2 * h);
    EXPECT_NEAR(size.v * std::hypot(vx, vy), axes.e, 0.01 * axes.e);
    EXPECT_NEAR(size.u * std::hypot(ux, uy), axes.g, 0.01 * axes.g);
    EXPECT_NEAR(std::numbers::pi - std::asin(std::abs(vy) / std::hypot(vx, vy)), axes.angle, 0.01);
    EXPECT_GT(axes.angle, std::numbers::pi / 2);
    EXPECT_LT(axes.angle, std::numbers::pi);

    const EllipseAxes flat = xyEllipseAxes(kD65White, {0.004, 0});
    EXPECT_EQ(0, flat.e);
    EXPECT_EQ(0, flat.angle) << "no height, no angle";
    EXPECT_GT(flat.g, 0);
}

// The greyscale fields as drawn at start-up.
RgbImage chart(char letter) {
    hlx::test::RecordingTextPainter text;
    for (const ChartDefinition& definition : kChartDefinitions)
        if (definition.letter == letter) return renderChart(definition, text).image;
    return {};
}

double farthest(const PixelSet& pixels, double cx, double cy, std::pair<int, int>* where = nullptr) {
    double best = 0;
    for (const auto& p : pixels) {
        const double d = std::hypot(p.first - cx, p.second - cy);
        if (d > best) {
            best = d;
            if (where != nullptr) *where = p;
        }
    }
    return best;
}

TEST(GreyscaleField, XyEllipsesAreNestedAndTiltedLikeTheConvertedBox) {
    const RgbImage c = chart('C');
    const TGraphConstrains& layout = kChartDefinitions[2].layout;
    const XyPoint white = uvToXy(kD65White);
    const double cx = toPixel(layout.pixelX(white.x)), cy = toPixel(layout.pixelY(white.y));
    std::pair<int, int> far;
    const double blue = farthest(pixelsOf(c, kBlue), cx, cy, &far);
    const double purple = farthest(pixelsOf(c, kPurple), cx, cy);
    const double red = farthest(pixelsOf(c, kRed), cx, cy);
    EXPECT_GT(blue, purple);
    EXPECT_GT(purple, red);
    EXPECT_GT(red, 5);
    // The long axis (v') of the u'v' box runs up and to the right in xy: on screen x grows as y shrinks.
    EXPECT_LT((far.first - cx) * (far.second - cy), 0) << far.first << ", " << far.second;
    EXPECT_GT(std::abs(far.second - cy), std::abs(far.first - cx)) << "closer to upright than to flat";
}

TEST(GreyscaleField, UvEllipsesAreUprightOutlinesOfTheGradeSizes) {
    const RgbImage d = chart('D');
    struct Grade {
        Rgb colour;
        double width, height;  // pixels: size × 4000 pixels per unit
    };
    for (const Grade& g : {Grade{kBlue, 22.4, 33.6}, Grade{kPurple, 17.6, 25.6}, Grade{kRed, 11.6, 16.8}}) {
        const PixelSet pixels = pixelsOf(d, g.colour);
        ASSERT_FALSE(pixels.empty());
        int left = 1000, right = -1, top = 1000, bottom = -1;
        for (const auto& [x, y] : pixels) {
            left = std::min(left, x), right = std::max(right, x);
            top = std::min(top, y), bottom = std::max(bottom, y);
        }
        EXPECT_NEAR(g.width, right - left + 1, 1.5);
        EXPECT_NEAR(g.height, bottom - top + 1, 1.5);
        for (const auto& [x, y] : pixels) {
            EXPECT_TRUE(pixels.count({left + right - x, y})) << "left-right mirror of " << x << ", " << y;
            EXPECT_TRUE(pixels.count({x, top + bottom - y})) << "up-down mirror of " << x << ", " << y;
        }
    }
}

}  // namespace
