#include "charts/render_charts.h"

#include <cassert>

#include "charts/chart_drawing.h"
#include "charts/target_tables.h"

namespace hlx::charts {

namespace {

Chart newChart(const ChartDefinition& definition, TextPainter& text, const LocusTable& locus) {
    Chart chart{definition.letter, definition.layout,
                RgbImage(definition.layout.bitmapWidth(), definition.layout.bitmapHeight())};
    Canvas canvas(chart.image, text);
    drawChart(canvas, definition, locus);
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
    for (std::size_t i = 0; i < kChartDefinitions.size(); ++i) {
        const ChartDefinition& definition = kChartDefinitions[i];
        set.charts[i] =
            newChart(definition, text, definition.mode == ChromaticityMode::Xy ? xyLocus : uvLocus);
    }
    return set;
}

Chart renderChart(const ChartDefinition& definition, TextPainter& text) {
    const LocusTable locus = buildLocus(definition.mode);
    return newChart(definition, text, locus);
}

void drawChart(Canvas& canvas, const ChartDefinition& definition, const LocusTable& locus) {
    switch (definition.kind) {
        case ChartKind::Diagram:
            drawDiagram(canvas, definition.mode, definition.layout, locus);
            break;
        case ChartKind::GreyscaleField:
            drawGreyscaleField(canvas, definition.mode, definition.layout);
            break;
        case ChartKind::GamutField:
            drawGamutField(canvas, definition.mode, definition.colourIndex, definition.layout,
                           kPrimaryTolerances[static_cast<std::size_t>(definition.colourIndex)]);
            break;
    }
}

}  // namespace hlx::charts
