#include "cli/render_charts_command.h"

#include <cstdio>
#include <memory>

#include "base/console.h"
#include "cli/command_line.h"

#if HLX_HAVE_QTGRAPHICS
#include <filesystem>
#include <system_error>

#include "charts/chart_png.h"
#include "charts/qt_chart_text.h"
#include "charts/render_charts.h"
#endif

namespace hlx::cli {

namespace {

int fail(const std::string& message) {
    base::printText(stderr, "hlx: render-charts: %s\n", message.c_str());
    return 2;
}

}  // namespace

#if HLX_HAVE_QTGRAPHICS

constexpr bool kChartsBuilt = true;

int renderChartsCommand(const std::string& dir) {
    namespace fs = std::filesystem;
    if (dir.empty()) return fail("the folder name is empty");
    const fs::path folder(dir);
    std::error_code error;
    if (fs::exists(folder, error) && !fs::is_directory(folder, error))
        return fail(dir + " exists but is not a folder");
    fs::create_directories(folder, error);
    if (error) return fail("cannot create the folder " + dir + ": " + error.message());

    charts::OffscreenGuiApplication gui;
    charts::QtChartText text;
    const charts::ChartSet set = charts::renderCharts(text);
    for (const charts::Chart& chart : set.charts) {
        const fs::path file = folder / (std::string("chart-") + chart.letter + ".png");
        const base::Status written = charts::saveChartPng(chart.image, file.string());
        if (!written) return fail(written.message());
        base::printText(stdout, "%s  %d x %d\n", file.string().c_str(), chart.image.width(),
                        chart.image.height());
    }
    return 0;
}

#else

constexpr bool kChartsBuilt = false;

int renderChartsCommand(const std::string&) {
    return fail("not available: this hlx was built without Qt (configure with -DHLX_BUILD_GUI=ON)");
}

#endif

void addRenderChartsCommand(CommandLine& commands) {
    if (!kChartsBuilt) return;  // without Qt there is no PNG writer: the command is not offered
    auto dir = std::make_shared<std::string>();
    CLI::App& command =
        commands.add("render-charts", "write the ten measurement charts as DIR/chart-A.png ... chart-J.png",
                     [dir] { return renderChartsCommand(*dir); });
    command.add_option("DIR", *dir, "the folder for the PNG files (created when missing)")
        ->required()
        ->type_name("");
}

}  // namespace hlx::cli
