// The start-up set: ten charts of the right sizes, each framed, titled and nothing drawn beyond its edges.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "charts/locus.h"
#include "charts/render_charts.h"
#include "charts/target_tables.h"
#include "tests/charts/chart_pictures.h"
#include "tests/support/recording_text_painter.h"

namespace {

using namespace hlx::charts;
using Recorder = hlx::test::RecordingTextPainter;

struct Expected {
    char letter;
    int width, height;
    const char* title;  // nullptr: none
};
const Expected kExpected[] = {
    {'A', 200, 200, nullptr},      {'B', 200, 200, nullptr},    {'C', 120, 120, "Greysales"},
    {'D', 120, 120, "Greysales"},  {'E', 120, 80, "Gamut Red"}, {'F', 120, 80, "Gamut Green"},
    {'G', 120, 80, "Gamut: Blue"}, {'H', 100, 60, "Gamut Red"}, {'I', 120, 80, "Gamut Green"},
    {'J', 120, 80, "Gamut: Blue"},
};

class RenderChartsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_text = new Recorder;
        s_set = new ChartSet(renderCharts(*s_text));
    }
    static void TearDownTestSuite() {
        delete s_set;
        delete s_text;
    }
    static Recorder* s_text;
    static ChartSet* s_set;
};
Recorder* RenderChartsTest::s_text = nullptr;
ChartSet* RenderChartsTest::s_set = nullptr;

TEST_F(RenderChartsTest, TenChartsOfTheirSizesInLetterOrder) {
    ASSERT_EQ(std::size(kExpected), s_set->charts.size());
    for (std::size_t i = 0; i < s_set->charts.size(); ++i) {
        const Chart& chart = s_set->charts[i];
        const Expected& e = kExpected[i];
        SCOPED_TRACE(e.letter);
        EXPECT_EQ(e.letter, chart.letter);
        EXPECT_EQ(e.width, chart.image.width());
        EXPECT_EQ(e.height, chart.image.height());
        EXPECT_EQ(e.width, chart.layout.bitmapWidth());
        EXPECT_EQ(e.height, chart.layout.bitmapHeight());
        EXPECT_EQ(&chart, &s_set->chart(e.letter));
    }
}

TEST_F(RenderChartsTest, EveryChartIsBlackInAOnePixelWhiteFrame) {
    for (const Chart& chart : s_set->charts) {
        SCOPED_TRACE(chart.letter);
        const RgbImage& image = chart.image;
        const int w = image.width(), h = image.height();
        for (int x = 0; x < w; ++x) {
            ASSERT_EQ(kWhite, image.pixel(x, 0)) << x;
            ASSERT_EQ(kWhite, image.pixel(x, h - 1)) << x;
        }
        for (int y = 0; y < h; ++y) {
            ASSERT_EQ(kWhite, image.pixel(0, y)) << y;
            ASSERT_EQ(kWhite, image.pixel(w - 1, y)) << y;
        }
        EXPECT_EQ(kBlack, image.pixel(1, 1));
        EXPECT_EQ(kBlack, image.pixel(w - 2, h - 2));
    }
}

TEST_F(RenderChartsTest, FieldsCarryTheirTitles) {
    std::vector<Recorder::Text> titles;
    for (const Recorder::Text& t : s_text->texts())
        if (t.points == 8) titles.push_back(t);
    std::vector<Recorder::Text> expected;
    for (const Expected& e : kExpected) {
        const int margin = s_set->chart(e.letter).layout.xMargin;
        if (e.title != nullptr) expected.push_back({margin, 2, 8, kWhite, e.title});
    }
    EXPECT_EQ(expected, titles);
}

TEST_F(RenderChartsTest, DrawsEachChartAsRenderChartDoes) {
    // The diagrams need the locus in their own coordinates; a mix-up shows as a different picture.
    for (const ChartDefinition& definition : kChartDefinitions) {
        SCOPED_TRACE(definition.letter);
        Recorder text;
        const Chart alone = renderChart(definition, text);
        EXPECT_EQ(hlx::test::picture(alone.image), hlx::test::picture(s_set->chart(definition.letter).image));
    }
}

TEST_F(RenderChartsTest, ChartHHasSixDivisionsOfSixPixelsOnItsFortyPixelAxis) {
    const RgbImage& h = s_set->chart('H').image;
    // Vertical axis at x = 10 from y = 50 up to 10; the last major tick is at 50 − 36 = 14.
    for (int x = 2; x <= 9; ++x) {
        EXPECT_EQ(kWhite, h.pixel(x, 14)) << x;
        for (int y = 10; y <= 13; ++y) EXPECT_EQ(kBlack, h.pixel(x, y)) << x << ", " << y;
    }
    EXPECT_EQ(kGrey, h.pixel(12, 14)) << "the last grid line";
}

TEST(RenderChartsEdges, NothingIsDrawnOutsideAnyBitmap) {
    const LocusTable xy = buildLocus(ChromaticityMode::Xy);
    const LocusTable uv = buildLocus(ChromaticityMode::UvPrime);
    for (const ChartDefinition& definition : kChartDefinitions) {
        SCOPED_TRACE(definition.letter);
        RgbImage image(definition.layout.bitmapWidth(), definition.layout.bitmapHeight());
        Recorder text;
        Canvas canvas(image, text);
        drawChart(canvas, definition, definition.mode == ChromaticityMode::Xy ? xy : uv);
        EXPECT_EQ(0, canvas.clippedPixels());
    }
}

TEST(RenderChartsEdges, TheTargetsOfEachFieldLieInItsPlot) {
    // Each primary field is centred on its primary: its cross is inside the plot, in white.
    for (const ChartDefinition& definition : kChartDefinitions) {
        if (definition.kind != ChartKind::GamutField) continue;
        SCOPED_TRACE(definition.letter);
        const UvPoint primary =
            kPrimaryTolerances[static_cast<std::size_t>(definition.colourIndex)].points[0];
        const XyPoint p =
            definition.mode == ChromaticityMode::Xy ? uvToXy(primary) : XyPoint{primary.u, primary.v};
        EXPECT_GT(p.x, definition.layout.xMin);
        EXPECT_LT(p.x, definition.layout.xMax);
        EXPECT_GT(p.y, definition.layout.yMin);
        EXPECT_LT(p.y, definition.layout.yMax);
        Recorder text;
        const RgbImage image = renderChart(definition, text).image;
        const int crossX = toPixel(definition.layout.pixelX(p.x) - 2),
                  crossY = toPixel(definition.layout.pixelY(p.y) + 2);
        EXPECT_EQ(kWhite, image.pixel(crossX, crossY));
        EXPECT_EQ(kWhite, image.pixel(crossX - 4, crossY));
        EXPECT_EQ(kWhite, image.pixel(crossX, crossY + 4));
    }
}

}  // namespace
