#pragma once
// Targets on a chart: the cross at a reference point, the tolerance polygon around it and the greyscale
// tolerance ellipses.
//
// drawTargets converts the table's points into the chart's coordinates: as stored in u'v' mode; in xy
// mode by uvToXy, except the sizes of an ellipse table, which become the axes of the ellipse the u'v'
// box turns into (xyEllipseAxes). Then, with sx and sy the pixels per unit of the axes and
// (cx, cy) = ((p0.x − xMin)·sx, (p0.y − yMin)·sy):
// - kTargetCross: a cross of two 10-pixel lines in the current pen, centred at
//   (X, Y) = (xMargin + cx − 2, base − cy + 2): (X − 5, Y) to (X + 5, Y) and (X, Y − 5) to (X, Y + 5);
// - kTargetPolygon: points 1, 2, 3, 4 and 1 again, each at (xMargin + (p.x − xMin)·sx, base − (p.y −
// yMin)·sy),
//   as one polyline in the current pen;
// - kTargetEllipses: the ellipses of points 1, 2, 3 in blue, purple and red, unfilled. In xy mode
//   drawRotatedEllipse at (xMargin + cx, base − cy) with semi-axes sx·e/2 and sy·g/2 and the point's angle;
//   in u'v' mode an axis-parallel ellipse in the box (xMargin + cx − ax − 1, base − cy − by + 3) to
//   (xMargin + cx + ax − 1, base − cy + by + 2) with ax = w·sx/2, by = h·sy/2.
// Every position is truncated to a pixel separately. The pen is left as it was.

#include "charts/canvas.h"
#include "charts/chart_layout.h"
#include "charts/target_tables.h"

namespace hlx::charts {

inline constexpr unsigned kTargetCross = 1u << 0;
inline constexpr unsigned kTargetPolygon = 1u << 1;
inline constexpr unsigned kTargetEllipses = 1u << 2;

void drawTargets(Canvas& canvas, ChromaticityMode mode, const TGraphConstrains& layout,
                 const TargetTable& table, unsigned flags);

// The xy shape of an ellipse of size (w, h) around centre in u'v'. The corners (u ± w/2, v ± h/2) are
// converted to xy; e is the distance between the midpoints of the lower and the upper edge, g the distance
// between those of the left and the right edge, and with Δ the difference in y of the first two midpoints
// (absolute), the angle is π − asin(Δ/e), or 0 when Δ or e is 0.
struct EllipseAxes {
    double e = 0;
    double g = 0;
    double angle = 0;  // radians
};
EllipseAxes xyEllipseAxes(UvPoint centre, UvPoint size);

// 1000 single pixels, no lines between them: for i = 0 .. 999 and t = 2π·i/1000, with r = semiA·cos t and
// o = semiB·sin t, the pixel (cx + r·cos(angle) − o·sin(angle), cy + r·sin(angle) + o·cos(angle)), truncated.
void drawRotatedEllipse(Canvas& canvas, Point centre, double semiA, double semiB, double angle, Rgb colour);

}  // namespace hlx::charts
