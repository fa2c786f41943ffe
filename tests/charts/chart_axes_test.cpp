// Axes: exact ticks, grid lines and label positions, and the labels of the real charts.

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "charts/chart_axes.h"
#include "charts/render_charts.h"
#include "tests/charts/chart_pictures.h"
#include "tests/support/recording_text_painter.h"

namespace {

using namespace hlx::charts;
using hlx::test::picture;
using Recorder = hlx::test::RecordingTextPainter;
using Text = Recorder::Text;

class AxisTest : public ::testing::Test {
protected:
    void draw(int width, int height, const Axis& axis) {
        m_image = RgbImage(width, height);
        Canvas canvas(m_image, m_text);
        drawAxis(canvas, axis);
        m_pen = canvas.pen();
        m_font = canvas.font();
        m_clipped = canvas.clippedPixels();
    }
    // The columns of row y that are white.
    std::vector<int> whiteColumns(int y) const {
        std::vector<int> columns;
        for (int x = 0; x < m_image.width(); ++x)
            if (m_image.pixel(x, y) == kWhite) columns.push_back(x);
        return columns;
    }

    RgbImage m_image;
    Recorder m_text;
    Rgb m_pen;
    Font m_font;
    long m_clipped = 0;
};

TEST_F(AxisTest, HorizontalTicksGridAndMinorTicksPixelByPixel) {
    draw(20, 16,
         Axis{.dx = 12, .x0 = 4, .y0 = 6, .divisions = 2, .minorTicks = 2, .gridLength = 3, .name = "x"});
    // Grid lines (grey) go up from the ticks after the first; the minor tick at a division's start paints its
    // first pixel white again, so only the last tick point stays grey.
    const std::vector<std::string> expected = {
        "....................", "....................", "....................", "....................",
        "..........g.....g...", "..........g.....g...", "....WWWWWWWWWWWWg...", "....W..W..W..W..W...",
        "....W..W..W..W..W...", "....W..W..W..W..W...", "....W..W..W..W..W...", "....W.....W.....W...",
        "....W.....W.....W...", "....W.....W.....W...", "....W.....W.....W...", "....W.....W.....W...",
    };
    EXPECT_EQ(expected, picture(m_image));
    EXPECT_EQ(std::vector<Text>{(Text{18, -4, 6, kWhite, "x"})}, m_text.texts())
        << "no labels when both values agree";
}

TEST_F(AxisTest, VerticalTicksPointLeftAndGridLinesRight) {
    draw(16, 16,
         Axis{.dx = 0,
              .dy = -12,
              .x0 = 10,
              .y0 = 14,
              .divisions = 2,
              .minorTicks = 2,
              .gridLength = 3,
              .name = "y"});
    const std::vector<std::string> expected = {
        "................", "................", ".WWWWWWWWWggg...", "..........W.....",
        "..........W.....", "......WWWWW.....", "..........W.....", "..........W.....",
        ".WWWWWWWWWWgg...", "..........W.....", "..........W.....", "......WWWWW.....",
        "..........W.....", "..........W.....", ".WWWWWWWWWW.....", "................",
    };
    EXPECT_EQ(expected, picture(m_image));
    EXPECT_EQ(std::vector<Text>{(Text{-8, -16, 6, kWhite, "y"})}, m_text.texts());
}

TEST_F(AxisTest, DivisionInWholePixelsComesFirstSoFortyPixelsInSixEndAt36) {
    draw(60, 30,
         Axis{.dx = 40, .x0 = 10, .y0 = 15, .divisions = 6, .minorTicks = 0, .gridLength = 10, .name = ""});
    // Below the minor ticks' reach only the major ticks show: every 6 pixels, none at the axis end (50).
    EXPECT_EQ((std::vector<int>{10, 16, 22, 28, 34, 40, 46}), whiteColumns(15 + 7));

    draw(30, 60,
         Axis{.dx = 0,
              .dy = -40,
              .x0 = 15,
              .y0 = 50,
              .divisions = 6,
              .minorTicks = 0,
              .gridLength = 10,
              .name = ""});
    std::vector<int> tickRows;
    for (int y = 0; y < 60; ++y)
        if (m_image.pixel(15 - 7, y) == kWhite) tickRows.push_back(y);
    EXPECT_EQ((std::vector<int>{14, 20, 26, 32, 38, 44, 50}), tickRows) << "the last tick is 36 pixels up";
    EXPECT_EQ(kGrey, m_image.pixel(20, 14)) << "the last grid line";
    EXPECT_EQ(kBlack, m_image.pixel(20, 10)) << "nothing at the axis end";
}

TEST_F(AxisTest, LabelsCentredBelowAndBesideTheirTicks) {
    draw(200, 100,
         Axis{.dx = 100,
              .x0 = 30,
              .y0 = 60,
              .divisions = 4,
              .minorTicks = 0,
              .firstValue = 0.5,
              .secondValue = 0.75,
              .format = "%3.2f",
              .gridLength = 10,
              .name = "u'"});
    // Four characters of 5 pixels: the left edge is 10 pixels left of the tick.
    const std::vector<Text> horizontal = {
        {132, 50, 6, kWhite, "u'"},  {20, 65, 6, kWhite, "0.50"}, {45, 65, 6, kWhite, "0.75"},
        {70, 65, 6, kWhite, "1.00"}, {95, 65, 6, kWhite, "1.25"}, {120, 65, 6, kWhite, "1.50"},
    };
    EXPECT_EQ(horizontal, m_text.texts());

    m_text.clear();
    draw(100, 100,
         Axis{.dx = 0,
              .dy = -50,
              .x0 = 30,
              .y0 = 80,
              .divisions = 2,
              .minorTicks = 0,
              .firstValue = 2,
              .secondValue = 1,
              .format = "%1.1f",
              .gridLength = 10,
              .name = "v'"});
    const std::vector<Text> vertical = {
        {12, 12, 6, kWhite, "v'"},
        {12, 81, 6, kWhite, "2.0"},
        {12, 56, 6, kWhite, "1.0"},
        {12, 31, 6, kWhite, "0.0"},
    };
    EXPECT_EQ(vertical, m_text.texts());
}

TEST_F(AxisTest, LeavesThePenGreyAndTheFontWhiteSixPoints) {
    draw(60, 30,
         Axis{.dx = 40, .x0 = 10, .y0 = 15, .divisions = 4, .minorTicks = 2, .gridLength = 10, .name = ""});
    EXPECT_EQ(kGrey, m_pen);
    EXPECT_EQ(6, m_font.points);
    EXPECT_EQ(kWhite, m_font.colour);
    EXPECT_EQ(0, m_clipped);
}

// The texts of a whole chart as drawn at start-up.
std::vector<Text> chartTexts(char letter) {
    Recorder text;
    for (const ChartDefinition& definition : kChartDefinitions)
        if (definition.letter == letter) renderChart(definition, text);
    return text.texts();
}

std::vector<Text> labels(const std::vector<const char*>& values, int x0, int step, int y, bool horizontal) {
    std::vector<Text> out;
    for (std::size_t q = 0; q < values.size(); ++q) {
        const int offset = step * static_cast<int>(q);
        const int width = Recorder::kCharWidth * static_cast<int>(std::string(values[q]).size());
        if (horizontal)
            out.push_back({x0 + offset - width / 2, y, 6, kWhite, values[q]});
        else
            out.push_back({x0 - 18, y + offset + 1, 6, kWhite, values[q]});
    }
    return out;
}

TEST(ChartLabels, ChartAReadsZeroToPointNineOnBothAxes) {
    const std::vector<const char*> values = {"0.0", "0.1", "0.2", "0.3", "0.4",
                                             "0.5", "0.6", "0.7", "0.8", "0.9"};
    std::vector<Text> expected = {{182, 170, 6, kWhite, "x"}};
    for (const Text& t : labels(values, 20, 17, 185, true)) expected.push_back(t);  // 160 px / 9 = 17
    expected.push_back({2, 2, 6, kWhite, "y"});
    for (const Text& t : labels(values, 20, -17, 180, false)) expected.push_back(t);
    EXPECT_EQ(expected, chartTexts('A'));
}

TEST(ChartLabels, ChartEReadsItsOwnRangesAndItsTitle) {
    std::vector<Text> expected = {{102, 50, 6, kWhite, "u'"}};
    for (const Text& t :
         labels({"0.40", "0.41", "0.42", "0.43", "0.44", "0.45", "0.46", "0.47", "0.48"}, 20, 10, 65, true))
        expected.push_back(t);
    expected.push_back({2, 2, 6, kWhite, "v'"});
    for (const Text& t : labels({"0.50", "0.51", "0.52", "0.53", "0.54"}, 20, -10, 60, false))
        expected.push_back(t);
    expected.push_back({20, 2, 8, kWhite, "Gamut Red"});
    EXPECT_EQ(expected, chartTexts('E'));
}

}  // namespace
