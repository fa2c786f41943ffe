#include "charts/render_charts.h"

#include <cassert>

#include "charts/canvas.h"
#include "charts/chart_drawing.h"
#include "charts/locus.h"
#include "charts/target_tables.h"

namespace hlx::charts {

namespace {

void draw(Canvas& canvas, const ChartSpec& spec, const LocusTable* locus) {
    switch (spec.kind) {
        case ChartKind::Diagram:
            drawDiagram(canvas, spec.mode, spec.layout, *locus);
            break;
        case ChartKind::GreyscaleField:
            drawGreyscaleField(canvas, spec.mode, spec.layout);
            break;
        case ChartKind::GamutField:
            drawGamutField(canvas, spec.mode, spec.colourIndex, spec.layout,
                           kPrimaryTolerances[static_cast<std::size_t>(spec.colourIndex)]);
            break;
    }
}

Chart drawChart(const ChartSpec& spec, TextPainter& text, const LocusTable* locus) {
    Chart chart{spec.letter, spec.layout, RgbImage(spec.layout.bitmapWidth(), spec.layout.bitmapHeight())};
    Canvas canvas(chart.image, text);
    draw(canvas, spec, locus);
    return chart;
}

}  // namespace

const Chart& ChartSet::chart(char letter) const {
    for (const Chart& c : charts)
        if (c.letter == letter) return c;
    assert(!"no chart with that letter");
    return charts[0];
}

ChartSet renderCharts(TextPainter& text) {
    // The two diagrams need the locus in their own coordinates; the fields need none.
    const LocusTable xyLocus = buildLocus(ChromaticityMode::Xy);
    const LocusTable uvLocus = buildLocus(ChromaticityMode::UvPrime);
    ChartSet set;
    for (std::size_t i = 0; i < kChartSpecs.size(); ++i) {
        const ChartSpec& spec = kChartSpecs[i];
        set.charts[i] = drawChart(spec, text, spec.mode == ChromaticityMode::Xy ? &xyLocus : &uvLocus);
    }
    return set;
}

Chart renderChart(const ChartSpec& spec, TextPainter& text) {
    const LocusTable locus = buildLocus(spec.mode);
    return drawChart(spec, text, &locus);
}

}  // namespace hlx::charts
