#pragma once
// Chromaticity helpers of the charts: the conversion of u'v' into xy and the colour a diagram shows for a
// chromaticity.
//
// chromaticityColour takes luminance Y = 1 and the tristimulus values X = x/y, Z = (1 − x − y)/y (xy) or
// X = 9u'/4v', Z = (12 − 3u' − 20v')/4v' (u'v'), turns them into linear R, G, B by the sRGB matrix (D65
// white), divides all three by the largest, sets negatives to 0, applies the exponent 1/2.2 and scales to
// 0..255 with truncation. So every colour of the fill is as bright as it can be, with one channel at 255.
// Where no such colour exists (the largest component not positive, a second coordinate of 0 or less) the
// result is black, the background of the charts.

#include "charts/chart_layout.h"
#include "charts/colour.h"

namespace hlx::charts {

struct UvPoint {
    double u = 0;
    double v = 0;
};

struct XyPoint {
    double x = 0;
    double y = 0;
};

// d = 6u' − 16v' + 12, x = 9u'/d, y = 4v'/d.
XyPoint uvToXy(UvPoint uv);

// a, b: x and y, or u' and v', by mode.
Rgb chromaticityColour(ChromaticityMode mode, double a, double b);

}  // namespace hlx::charts
