// bench_charts: how long the ten start-up charts take to draw. renderCharts runs at every start of the
// window program, while the menu preview is made, so it adds to the time before the window shows.
// - BM_RenderCharts: the renderer alone (a text painter that only measures), the share of our own code:
//   the locus fill (a colour and a power function per set pixel), axes, targets and ellipses;
// - BM_RenderChartsWithQtText: as the program does it, with QPainter drawing the labels and titles
//   (built with the GUI only);
// - BM_DrawDiagramXy: chart A alone, the largest.

#include <benchmark/benchmark.h>

#include <string_view>

#include "charts/canvas.h"
#include "charts/chart_drawing.h"
#include "charts/locus.h"
#include "charts/render_charts.h"

#if HLX_HAVE_QTGRAPHICS
#include "charts/qt_chart_text.h"
#endif

namespace {

using namespace hlx::charts;

// Measures like an 8-pixel font and draws nothing.
class MeasuringText : public TextPainter {
public:
    int textWidth(const Font&, std::string_view text) override { return 5 * static_cast<int>(text.size()); }
    void drawText(RgbImage&, int, int, const Font&, std::string_view) override {}
};

void BM_RenderCharts(benchmark::State& state) {
    MeasuringText text;
    for (auto _ : state) {
        ChartSet set = renderCharts(text);
        benchmark::DoNotOptimize(set);
    }
}
BENCHMARK(BM_RenderCharts)->Unit(benchmark::kMillisecond);

#if HLX_HAVE_QTGRAPHICS
void BM_RenderChartsWithQtText(benchmark::State& state) {
    hlx::charts::OffscreenGuiApplication gui;
    hlx::charts::QtChartText text;
    for (auto _ : state) {
        ChartSet set = renderCharts(text);
        benchmark::DoNotOptimize(set);
    }
}
BENCHMARK(BM_RenderChartsWithQtText)->Unit(benchmark::kMillisecond);
#endif

void BM_DrawDiagramXy(benchmark::State& state) {
    MeasuringText text;
    const ChartDefinition& a = kChartDefinitions[0];
    const LocusTable locus = buildLocus(ChromaticityMode::Xy);
    for (auto _ : state) {
        RgbImage image(a.layout.bitmapWidth(), a.layout.bitmapHeight());
        Canvas canvas(image, text);
        drawDiagram(canvas, a.mode, a.layout, locus);
        benchmark::DoNotOptimize(image.bytes().data());
    }
}
BENCHMARK(BM_DrawDiagramXy)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
