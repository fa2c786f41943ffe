// hlx render-charts as a technician runs it: ten PNG files in the folder, or a clear refusal.

#include <unistd.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "tests/support/child_process.h"
#include "tests/support/contains.h"
#include "tests/support/temp_dir.h"

#if HLX_HAVE_QTGRAPHICS
#include <QImage>
#include <QString>

#include "charts/render_charts.h"
#endif

namespace {

using Outcome = hlx::test::CommandOutcome;

Outcome hlx(const std::string& arguments) {
    return hlx::test::runCommand(std::string(HLX_CLI_PATH) + " " + arguments);
}

using hlx::test::contains;

#if HLX_HAVE_QTGRAPHICS

TEST(RenderChartsCommand, WritesTheTenChartsAsPngFilesIntoANewFolder) {
    hlx::test::TempDir dir;
    const std::string folder = dir.file("charts/today");
    const Outcome run = hlx("render-charts " + folder);
    ASSERT_EQ(0, run.exitCode) << run.out;
    for (const hlx::charts::ChartDefinition& definition : hlx::charts::kChartDefinitions) {
        const std::string file = folder + "/chart-" + definition.letter + ".png";
        SCOPED_TRACE(file);
        EXPECT_TRUE(contains(run.out, file));
        QImage png;
        ASSERT_TRUE(png.load(QString::fromStdString(file), "PNG"));
        EXPECT_EQ(definition.layout.bitmapWidth(), png.width());
        EXPECT_EQ(definition.layout.bitmapHeight(), png.height());
        EXPECT_EQ(qRgb(255, 255, 255), png.pixel(0, 0)) << "the frame";
    }
    EXPECT_FALSE(contains(run.out, "QStandardPaths")) << "no toolkit chatter for the technician";
}

TEST(RenderChartsCommand, RefusesAFolderItCannotUse) {
    hlx::test::TempDir dir;
    const std::string file = dir.file("a-file");
    hlx::test::writeFile(file, "not a folder");
    const Outcome onFile = hlx("render-charts " + file);
    EXPECT_EQ(2, onFile.exitCode);
    EXPECT_TRUE(contains(onFile.out, file + " exists but is not a folder")) << onFile.out;

    const Outcome below = hlx("render-charts " + file + "/charts");
    EXPECT_EQ(2, below.exitCode);
    EXPECT_TRUE(contains(below.out, "cannot create the folder " + file + "/charts")) << below.out;

    // A chart file that cannot be written stops the command with its name; the charts before it are kept.
    const std::string blocked = dir.file("blocked");
    std::filesystem::create_directories(blocked + "/chart-C.png");
    const Outcome stopped = hlx("render-charts " + blocked);
    EXPECT_EQ(2, stopped.exitCode);
    EXPECT_TRUE(contains(stopped.out, blocked + "/chart-C.png")) << stopped.out;
    EXPECT_TRUE(std::filesystem::exists(blocked + "/chart-B.png"));
    EXPECT_FALSE(std::filesystem::exists(blocked + "/chart-D.png"));

    const std::string locked = dir.file("locked");
    std::filesystem::create_directory(locked);
    std::filesystem::permissions(locked,
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    const Outcome denied = hlx("render-charts " + locked);
    if (::geteuid() != 0) {  // root writes anyway
        EXPECT_EQ(2, denied.exitCode);
        EXPECT_TRUE(contains(denied.out, locked + "/chart-A.png")) << denied.out;
    }
}

#else

// Without Qt there is no PNG writer: the command is not offered (neither run nor listed).
TEST(RenderChartsCommand, IsNotOfferedWithoutQt) {
    hlx::test::TempDir dir;
    const Outcome run = hlx("render-charts " + dir.file("charts"));
    EXPECT_EQ(2, run.exitCode);
    EXPECT_FALSE(std::filesystem::exists(dir.file("charts")));
    EXPECT_FALSE(contains(hlx("--help").out, "render-charts"));
}

#endif

#if HLX_HAVE_QTGRAPHICS
TEST(RenderChartsCommand, IsListedInTheHelp) {
    const Outcome help = hlx("--help");
    EXPECT_EQ(0, help.exitCode);
    EXPECT_TRUE(contains(help.out, "render-charts"));
}
#endif

}  // namespace
