#pragma once
// The three kinds of chart. Each draws one whole chart onto a canvas over a bitmap of the layout's size.
//
// drawDiagram: the chromaticity diagram. Frame and axes (5 minor ticks, labels 0.0, 0.1, ... as "%1.1f"),
// the spectral locus filled in the colour of each chromaticity (fillLocus), then in grey the tolerance
// polygons of the three primaries, the gamut triangle with a cross at the white point and a diagonal cross
// of 10 pixels at each of the 15 EBU targets.
//
// drawGreyscaleField: frame and axes (2 minor ticks, labels from the axis minimum in steps of 0.01 as
// "%3.2f"), the title "Greysales" in 8 points at (xMargin, 2), then the white-point cross in grey and the
// three greyscale tolerance ellipses.
//
// drawGamutField: as the greyscale field but with 5 minor ticks on the vertical axis, the title "Gamut Red",
// "Gamut Green" or "Gamut: Blue" by colourIndex (0, 1, 2), then in white the cross at the primary and the
// polygon of its tolerance field from table.
//
// fillLocus: for x from xMin in steps of 1/1.2 pixel while x < xMax, the column between the two crossings
// of the locus (or the one crossing and the closing line), clamped to [yMin, yMax] and skipped when wholly
// outside, is set pixel by pixel in steps of 1/1.2 pixel from its low end while y < high − 0.001, each pixel
// in chromaticityColour(x, y). Columns without a crossing stay as they are. Every pixel it sets lies in
// the plot: xMargin ≤ X < xMargin + xLength and base − yLength ≤ Y ≤ base.

#include "charts/canvas.h"
#include "charts/chart_layout.h"
#include "charts/locus.h"
#include "charts/target_tables.h"

namespace hlx::charts {

void drawDiagram(Canvas& canvas, ChromaticityMode mode, const TGraphConstrains& layout,
                 const LocusTable& locus);
void fillLocus(Canvas& canvas, ChromaticityMode mode, const TGraphConstrains& layout,
               const LocusTable& locus);

void drawGreyscaleField(Canvas& canvas, ChromaticityMode mode, const TGraphConstrains& layout);

// colourIndex outside 0 .. 2 is a caller's bug (asserted; nothing is drawn).
void drawGamutField(Canvas& canvas, ChromaticityMode mode, int colourIndex, const TGraphConstrains& layout,
                    const TargetTable& table);

}  // namespace hlx::charts
