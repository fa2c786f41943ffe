// The Qt side of the charts: texts drawn into the pixel buffer where the chart code asks, and charts
// written as PNG files that read back pixel for pixel.

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <vector>

#include <gtest/gtest.h>
#include <QFont>
#include <QImage>
#include <QString>

#include "charts/chart_png.h"
#include "charts/qt_chart_text.h"
#include "charts/render_charts.h"
#include "tests/support/faulty_file_system.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace hlx;
using charts::Font;
using charts::kBlack;
using charts::kWhite;
using charts::RgbImage;

class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override { m_app = std::make_unique<charts::OffscreenGuiApplication>(); }
    void TearDown() override { m_app.reset(); }

private:
    std::unique_ptr<charts::OffscreenGuiApplication> m_app;
};
[[maybe_unused]] const auto* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

struct Box {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
    bool empty() const { return right < 0; }
};

// The bounding box of the pixels that are not black.
Box inkOf(const RgbImage& image) {
    Box box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) == kBlack) continue;
            box.left = std::min(box.left, x), box.right = std::max(box.right, x);
            box.top = std::min(box.top, y), box.bottom = std::max(box.bottom, y);
        }
    }
    return box;
}

TEST(QtChartText, FontSizesArePointsAtNinetySixPixelsPerInch) {
    EXPECT_EQ(8, charts::QtChartText::qtFont(Font{.points = 6}).pixelSize());
    EXPECT_EQ(11, charts::QtChartText::qtFont(Font{.points = 8}).pixelSize());
}

TEST(QtChartText, DrawsTheTextFromItsTopLeftCornerInItsColour) {
    charts::QtChartText painter;
    const Font font{.points = 8, .colour = kWhite};
    RgbImage image(120, 40);
    painter.drawText(image, 30, 10, font, "Greysales");
    const Box ink = inkOf(image);
    ASSERT_FALSE(ink.empty());
    EXPECT_GE(ink.left, 30);
    EXPECT_LE(ink.left, 32);
    EXPECT_GE(ink.top, 10);
    EXPECT_LE(ink.top, 13) << "a capital starts near the top of the line";
    EXPECT_LE(ink.right, 30 + painter.textWidth(font, "Greysales"));
    EXPECT_LE(ink.bottom, 10 + 15) << "within the line of an 11-pixel font";
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ASSERT_TRUE(image.pixel(x, y) == kBlack || image.pixel(x, y) == kWhite) << "crisp, no smoothing";
}

TEST(QtChartText, WidthsGrowWithTextAndSize) {
    charts::QtChartText painter;
    const Font small{.points = 6}, large{.points = 8};
    EXPECT_GT(painter.textWidth(small, "0"), 0);
    EXPECT_GT(painter.textWidth(small, "0.40"), painter.textWidth(small, "0.4"));
    EXPECT_GT(painter.textWidth(large, "0.40"), painter.textWidth(small, "0.40"));
    EXPECT_EQ(0, painter.textWidth(small, ""));
}

TEST(QtChartText, TextPartlyOutsideIsClippedAndNothingElseChanges) {
    charts::QtChartText painter;
    RgbImage image(20, 10);
    painter.drawText(image, -8, -8, Font{.points = 6, .colour = kWhite}, "y'");
    painter.drawText(image, 25, 2, Font{.points = 6, .colour = kWhite}, "x");
    const Box ink = inkOf(image);
    if (!ink.empty()) {
        EXPECT_LT(ink.bottom, 4);
    }
    RgbImage empty;
    painter.drawText(empty, 0, 0, Font{}, "nothing to draw on");
}

TEST(ChartPng, ReadsBackPixelForPixel) {
    charts::QtChartText painter;
    const charts::ChartSet set = charts::renderCharts(painter);
    test::TempDir dir;
    for (const char letter : {'A', 'H'}) {
        const charts::Chart& chart = set.chart(letter);
        const std::string path = dir.file(std::string("chart-") + letter + ".png");
        const base::Status written = charts::saveChartPng(chart.image, path);
        ASSERT_TRUE(written) << written;
        QImage png;
        ASSERT_TRUE(png.load(QString::fromStdString(path), "PNG"));
        ASSERT_EQ(chart.image.width(), png.width());
        ASSERT_EQ(chart.image.height(), png.height());
        for (int y = 0; y < png.height(); ++y) {
            for (int x = 0; x < png.width(); ++x) {
                const charts::Rgb c = chart.image.pixel(x, y);
                ASSERT_EQ(qRgb(c.r, c.g, c.b), png.pixel(x, y)) << letter << " " << x << ", " << y;
            }
        }
    }
}

TEST(ChartPng, AFailedWriteSaysWhyAndKeepsTheOldFile) {
    test::TempDir dir;
    RgbImage image(4, 4);
    const base::Status missing = charts::saveChartPng(image, dir.file("no/such/folder/chart.png"));
    EXPECT_FALSE(missing);
    EXPECT_NE(std::string::npos, missing.message().find(dir.file("no/such/folder/chart.png"))) << missing;

    const base::Status empty = charts::saveChartPng(RgbImage(), dir.file("empty.png"));
    EXPECT_FALSE(empty);
    EXPECT_FALSE(std::filesystem::exists(dir.file("empty.png")));

    const std::string folder = dir.file("chart-as-folder.png");
    std::filesystem::create_directory(folder);
    const base::Status onFolder = charts::saveChartPng(image, folder);
    EXPECT_FALSE(onFolder);
    EXPECT_NE(std::string::npos, onFolder.message().find(folder)) << onFolder;

    EXPECT_TRUE(onFolder.isNotRegularFile()) << onFolder;

    // A disk that fills up part way, as root too: the old file stays and no part of the new one is left.
    test::writeFile(dir.file("full.png"), "old");
    test::FaultyFileSystem full;
    full.failWritesAfter(16, ENOSPC);
    const base::Status noSpace = charts::saveChartPng(image, dir.file("full.png"), full);
    EXPECT_TRUE(noSpace.isNoSpace()) << noSpace;
    EXPECT_EQ(dir.file("full.png") + ": No space left on device", noSpace.message());
    EXPECT_EQ("old", test::readFile(dir.file("full.png")));
    EXPECT_EQ((std::vector<std::string>{"chart-as-folder.png", "full.png"}), dir.entries());

    if (::geteuid() != 0) {  // root may write anyway
        namespace fs = std::filesystem;
        const std::string locked = dir.file("locked");
        fs::create_directory(locked);
        test::writeFile(locked + "/chart.png", "old");
        fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
        const base::Status denied = charts::saveChartPng(image, locked + "/chart.png");
        EXPECT_FALSE(denied);
        EXPECT_EQ("old", test::readFile(locked + "/chart.png"));
    }
}

}  // namespace
