// The canvas's pixel rules, case by case as pictures, and the ellipse rule against its definition for
// every small box.

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "charts/canvas.h"
#include "tests/charts/chart_pictures.h"
#include "tests/support/recording_text_painter.h"

namespace {

using namespace hlx::charts;
using hlx::test::picture;

struct DrawCase {
    const char* name;
    int width;
    int height;
    void (*draw)(Canvas&);  // pen white, brush grey
    std::vector<std::string> expected;
    long clipped;
};

const DrawCase kDrawCases[] = {
    {"LineRightStopsBeforeItsEnd", 6, 2, [](Canvas& c) { c.line(1, 1, 5, 1); }, {"......", ".WWWW."}, 0},
    {"LineLeftStartsAtItsStart", 6, 1, [](Canvas& c) { c.line(5, 0, 1, 0); }, {"..WWWW"}, 0},
    {"LineUp", 2, 5, [](Canvas& c) { c.line(1, 4, 1, 1); }, {"..", "..", ".W", ".W", ".W"}, 0},
    {"Diagonal", 4, 4, [](Canvas& c) { c.line(0, 0, 3, 3); }, {"W...", ".W..", "..W.", "...."}, 0},
    // Half way the pixel nearer the end is taken, so each direction has its own pixels.
    {"ShallowHalfStepsRoundTowardTheEnd",
     5,
     3,
     [](Canvas& c) { c.line(0, 0, 4, 2); },
     {"W....", ".WW..", "...W."},
     0},
    {"ShallowBackwards", 5, 3, [](Canvas& c) { c.line(4, 2, 0, 0); }, {".W...", "..WW.", "....W"}, 0},
    {"SteepTowardLowerX", 3, 4, [](Canvas& c) { c.line(2, 0, 1, 3); }, {"..W", "..W", ".W.", "..."}, 0},
    {"LineToItsOwnStartDrawsNothing", 3, 3, [](Canvas& c) { c.line(1, 1, 1, 1); }, {"...", "...", "..."}, 0},
    {"LineClippedAtTheLeftEdge", 4, 1, [](Canvas& c) { c.line(-2, 0, 2, 0); }, {"WW.."}, 2},
    {"PolylineClosedSetsEachCornerOnce",
     5,
     4,
     [](Canvas& c) {
         const Point square[] = {{1, 0}, {4, 0}, {4, 3}, {1, 3}, {1, 0}};
         c.polyline(square);
     },
     {".WWWW", ".W..W", ".W..W", ".WWWW"},
     0},
    {"RectangleRingInPenInsideInBrush",
     7,
     5,
     [](Canvas& c) { c.rectangle(1, 1, 6, 5); },
     {".......", ".WWWWW.", ".WgggW.", ".WgggW.", ".WWWWW."},
     0},
    {"RectangleCornersInEitherOrder",
     4,
     3,
     [](Canvas& c) { c.rectangle(4, 3, 0, 0); },
     {"WWWW", "WggW", "WWWW"},
     0},
    {"RectangleTwoPixelsHighIsAllRing",
     4,
     2,
     [](Canvas& c) { c.rectangle(0, 0, 4, 2); },
     {"WWWW", "WWWW"},
     0},
    {"RectangleEmptyBoxSetsNothing", 3, 1, [](Canvas& c) { c.rectangle(1, 0, 1, 1); }, {"..."}, 0},
    {"RectangleClippedKeepsItsRingOutside",
     3,
     3,
     [](Canvas& c) { c.rectangle(-2, -2, 3, 3); },
     {"ggW", "ggW", "WWW"},
     16},
    {"EllipseInAFiveBoxIsRound",
     5,
     5,
     [](Canvas& c) { c.ellipse(0, 0, 5, 5); },
     {".WWW.", "W...W", "W...W", "W...W", ".WWW."},
     0},
    {"EllipseWide",
     9,
     5,
     [](Canvas& c) { c.ellipse(0, 0, 9, 5); },
     {"..WWWWW..", "WW.....WW", "W.......W", "WW.....WW", "..WWWWW.."},
     0},
    {"EllipseCornersInEitherOrder",
     5,
     5,
     [](Canvas& c) { c.ellipse(5, 5, 0, 0); },
     {".WWW.", "W...W", "W...W", "W...W", ".WWW."},
     0},
    {"EllipseTwoByTwoIsFourPixels", 3, 3, [](Canvas& c) { c.ellipse(1, 1, 3, 3); }, {"...", ".WW", ".WW"}, 0},
    {"EllipseOnePixelWideIsAColumn",
     3,
     4,
     [](Canvas& c) { c.ellipse(1, 0, 2, 4); },
     {".W.", ".W.", ".W.", ".W."},
     0},
    {"EllipseLeavesItsInside",
     5,
     5,
     [](Canvas& c) {
         c.rectangle(0, 0, 5, 5);
         c.setPen(kBlack);
         c.ellipse(0, 0, 5, 5);
     },
     {"W...W", ".ggg.", ".ggg.", ".ggg.", "W...W"},
     0},
};

class CanvasRuleTest : public ::testing::TestWithParam<DrawCase> {};

TEST_P(CanvasRuleTest, SetsExactlyThesePixels) {
    const DrawCase& c = GetParam();
    RgbImage image(c.width, c.height);
    hlx::test::RecordingTextPainter text;
    Canvas canvas(image, text);
    canvas.setPen(kWhite);
    canvas.setBrush(kGrey);
    c.draw(canvas);
    EXPECT_EQ(c.expected, picture(image));
    EXPECT_EQ(c.clipped, canvas.clippedPixels());
}

INSTANTIATE_TEST_SUITE_P(Canvas, CanvasRuleTest, ::testing::ValuesIn(kDrawCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The ellipse rule as the header defines it, pixel by pixel over the box.
bool insideByDefinition(int x, int y, int x0, int y0, int x1, int y1) {
    if (x < x0 || x >= x1 || y < y0 || y >= y1) return false;
    const long long w = x1 - x0, h = y1 - y0, u = 2LL * x + 1 - x0 - x1, v = 2LL * y + 1 - y0 - y1;
    return u * u * h * h + v * v * w * w <= w * w * h * h;
}

TEST(CanvasEllipse, MatchesItsDefinitionForEverySmallBoxAlsoAcrossTheEdges) {
    for (int w = 0; w <= 14; ++w) {
        for (int h = 0; h <= 14; ++h) {
            for (const Point origin : {Point{1, 2}, Point{-3, -4}, Point{6, 5}}) {
                SCOPED_TRACE(::testing::Message()
                             << w << " x " << h << " box at " << origin.x << ", " << origin.y);
                RgbImage image(16, 16);
                hlx::test::RecordingTextPainter text;
                Canvas canvas(image, text);
                canvas.setPen(kWhite);
                const int x0 = origin.x, y0 = origin.y, x1 = x0 + w, y1 = y0 + h;
                canvas.ellipse(x0, y0, x1, y1);
                long outside = 0;
                int drawnInside = 0;
                for (int y = y0; y < y1; ++y) {
                    for (int x = x0; x < x1; ++x) {
                        const bool inside = insideByDefinition(x, y, x0, y0, x1, y1);
                        const bool edge = inside && (!insideByDefinition(x - 1, y, x0, y0, x1, y1) ||
                                                     !insideByDefinition(x + 1, y, x0, y0, x1, y1) ||
                                                     !insideByDefinition(x, y - 1, x0, y0, x1, y1) ||
                                                     !insideByDefinition(x, y + 1, x0, y0, x1, y1));
                        if (!image.contains(x, y)) {
                            outside += edge ? 1 : 0;
                            continue;
                        }
                        ASSERT_EQ(edge, image.pixel(x, y) == kWhite) << "pixel " << x << ", " << y;
                        drawnInside += edge ? 1 : 0;
                    }
                }
                int setPixels = 0;
                for (int y = 0; y < 16; ++y)
                    for (int x = 0; x < 16; ++x) setPixels += image.pixel(x, y) == kWhite ? 1 : 0;
                EXPECT_EQ(drawnInside, setPixels) << "a pixel outside the box was set";
                EXPECT_EQ(outside, canvas.clippedPixels());
            }
        }
    }
}

TEST(CanvasCoordinates, FarOutPositionsArePinnedAndCostNothing) {
    RgbImage image(8, 8);
    hlx::test::RecordingTextPainter text;
    Canvas canvas(image, text);
    canvas.setPen(kWhite);
    canvas.setBrush(kGrey);
    canvas.rectangle(-2'000'000'000, -2'000'000'000, 2'000'000'000, 2'000'000'000);
    canvas.ellipse(-2'000'000'000, -2'000'000'000, 2'000'000'000, 2'000'000'000);
    canvas.line(-2'000'000'000, 3, 2'000'000'000, 3);
    // The pinned rectangle covers the image with its inside, the pinned line crosses it.
    EXPECT_EQ(kGrey, image.pixel(0, 0));
    EXPECT_EQ(kWhite, image.pixel(5, 3));
    EXPECT_GT(canvas.clippedPixels(), 0);
}

TEST(CanvasText, GoesToThePainterInTheCurrentFont) {
    RgbImage image(8, 8);
    hlx::test::RecordingTextPainter text;
    Canvas canvas(image, text);
    canvas.setFont(Font{.points = 8, .colour = kRed});
    canvas.text(3, -2, "Greysales");
    EXPECT_EQ(45, canvas.textWidth("Greysales"));
    using Text = hlx::test::RecordingTextPainter::Text;
    EXPECT_EQ(std::vector<Text>{(Text{3, -2, 8, kRed, "Greysales"})}, text.texts());
}

}  // namespace
