#pragma once
// The frame and the two axes every chart starts with.
//
// drawAxis draws one axis from (x0, y0) to (x0 + dx, y0 + dy); exactly one of dx and dy is non-zero, dy
// negative for a vertical axis (which points up). In a white 6-point font and a white pen:
// - the axis line, and its name at (x0 + dx + 2, y0 − 10) (horizontal) or (x0 − 18, y0 + dy − 18) (vertical);
// - for q = 0 .. divisions, at the tick point (x0 + (dx / divisions)·q, y0 + (dy / divisions)·q), the
//   division taken in whole pixels before the product (so 40 pixels in 6 divisions put the last tick at 36,
//   short of the axis end):
//   - a 10-pixel major tick, downwards (horizontal axis) or to the left (vertical);
//   - unless firstValue = secondValue, the label firstValue + (secondValue − firstValue)·q printed with
//     format: centred on the tick with its top at y0 + 5 (left edge x − width / 2, halved toward zero), or at
//     (x0 − 18, tick y + 1) on a vertical axis;
//   - for q > 0, a grey grid line of gridLength pixels from the tick point across the plot (up or right);
//   - for q < divisions, minorTicks white 5-pixel ticks at the offsets ((dx·i) / (divisions·minorTicks),
//     (dy·i) / (divisions·minorTicks)), i = 0 .. minorTicks − 1, from the tick point, pointing like the major
//     ones.
// The pen is left grey, the font white and 6 points.
//
// format is a printf conversion for one double ("%1.1f"). A divisions count below 1 is a caller's bug
// (asserted; the axis is then drawn without ticks).

#include <string_view>

#include "charts/canvas.h"
#include "charts/chart_layout.h"

namespace hlx::charts {

struct Axis {
    int dx = 0;
    int dy = 0;
    int x0 = 0;
    int y0 = 0;
    int divisions = 1;
    int minorTicks = 0;
    double firstValue = 0;
    double secondValue = 0;
    const char* format = "%1.1f";
    int gridLength = 0;
    std::string_view name;
};

void drawAxis(Canvas& canvas, const Axis& axis);

// What differs between the axes of the chart kinds.
struct AxisStyle {
    int minorTicks = 0;
    double firstValue = 0;
    double secondValue = 0;
    const char* format = "%1.1f";
};

// Brush black, pen white: a rectangle over the whole bitmap (black with a one-pixel white frame). Then the
// horizontal axis from (xMargin, base), xLength long with xDivisions and grid lines yLength long, and the
// vertical axis from the same point, yLength up with yDivisions and grid lines xLength long. The brush is
// left black, the pen grey.
void drawFrameAndAxes(Canvas& canvas, const TGraphConstrains& layout, const AxisStyle& horizontal,
                      const AxisStyle& vertical);

}  // namespace hlx::charts
