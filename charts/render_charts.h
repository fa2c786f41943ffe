#pragma once
// The start-up set of charts: two chromaticity diagrams (A xy, B u'v'), the greyscale tolerance fields
// (C xy, D u'v') and the tolerance fields of the red, green and blue primaries (E, F, G in u'v'; H, I, J
// in xy). kChartDefinitions says what each chart is and its layout; renderCharts draws all ten.
//
// renderCharts runs once when the menu preview is created; the caller keeps the ChartSet, bitmaps and
// layouts unchanged, for as long as the program runs. Text goes through the given painter, which is only
// used during the call. It draws on the calling thread and touches nothing shared.

#include <array>

#include "charts/canvas.h"
#include "charts/chart_layout.h"
#include "charts/locus.h"
#include "charts/rgb_image.h"
#include "charts/text_painter.h"

namespace hlx::charts {

enum class ChartKind { Diagram, GreyscaleField, GamutField };

struct ChartDefinition {
    char letter;
    ChartKind kind;
    ChromaticityMode mode;
    int colourIndex;  // gamut fields: 0 red, 1 green, 2 blue
    TGraphConstrains layout;
};

inline constexpr int kChartCount = 10;

// clang-format off
inline constexpr std::array<ChartDefinition, kChartCount> kChartDefinitions{{
    //                                                      x: length margin min    max    div label     y: length margin min    max    div label
    {'A', ChartKind::Diagram,        ChromaticityMode::Xy,      0, {160, 20, 0.0f,  0.9f,  9, "x",  160, 20, 0.0f,  0.9f,  9, "y"}},
    {'B', ChartKind::Diagram,        ChromaticityMode::UvPrime, 0, {160, 20, 0.0f,  0.6f,  6, "u",  160, 20, 0.0f,  0.6f,  6, "v"}},
    {'C', ChartKind::GreyscaleField, ChromaticityMode::Xy,      0, { 80, 20, 0.30f, 0.32f, 2, "x",   80, 20, 0.32f, 0.34f, 2, "y"}},
    {'D', ChartKind::GreyscaleField, ChromaticityMode::UvPrime, 0, { 80, 20, 0.19f, 0.21f, 2, "u'",  80, 20, 0.46f, 0.48f, 2, "v'"}},
    {'E', ChartKind::GamutField,     ChromaticityMode::UvPrime, 0, { 80, 20, 0.40f, 0.48f, 8, "u'",  40, 20, 0.50f, 0.54f, 4, "v'"}},
    {'F', ChartKind::GamutField,     ChromaticityMode::UvPrime, 1, { 80, 20, 0.09f, 0.17f, 8, "u'",  40, 20, 0.53f, 0.58f, 5, "v'"}},
    {'G', ChartKind::GamutField,     ChromaticityMode::UvPrime, 2, { 80, 20, 0.13f, 0.21f, 8, "u'",  40, 20, 0.14f, 0.19f, 5, "v'"}},
    {'H', ChartKind::GamutField,     ChromaticityMode::Xy,      0, { 80, 10, 0.60f, 0.68f, 8, "x",   40, 10, 0.30f, 0.36f, 6, "y"}},
    {'I', ChartKind::GamutField,     ChromaticityMode::Xy,      1, { 80, 20, 0.27f, 0.35f, 8, "x",   40, 20, 0.56f, 0.64f, 8, "y"}},
    {'J', ChartKind::GamutField,     ChromaticityMode::Xy,      2, { 80, 20, 0.11f, 0.19f, 8, "x",   40, 20, 0.04f, 0.08f, 4, "y"}},
}};
// clang-format on

struct Chart {
    char letter = 0;
    TGraphConstrains layout;
    RgbImage image;  // layout.bitmapWidth() × layout.bitmapHeight()
};

struct ChartSet {
    std::array<Chart, kChartCount> charts;

    // The chart with that letter ('A' to 'J'); any other letter is a caller's bug (asserted; gives chart A).
    const Chart& chart(char letter) const;
};

ChartSet renderCharts(TextPainter& text);

// One chart as renderCharts draws it (the locus is built for the chart's mode).
Chart renderChart(const ChartDefinition& definition, TextPainter& text);

// Draws one chart onto a canvas over a bitmap of the chart's size. The diagrams fill locus, which must be
// in the chart's mode; the fields do not use it.
void drawChart(Canvas& canvas, const ChartDefinition& definition, const LocusTable& locus);

}  // namespace hlx::charts
