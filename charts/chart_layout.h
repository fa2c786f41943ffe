#pragma once
// TGraphConstrains: the layout of one chart, two axes described alike, and the mapping of a value pair
// to a pixel of the chart's bitmap.
//
// The bitmap is xLength + 2·xMargin wide and yLength + 2·yMargin high. The plot's origin (xMin, yMin) sits
// at (xMargin, base) with base = yLength + yMargin, and the vertical axis points up:
//   X = xMargin + (a − xMin) · xLength / (xMax − xMin),   Y = base − (b − yMin) · yLength / (yMax − yMin).
// Positions are computed in double and become pixel coordinates by truncation toward zero (toPixel).
//
// ChromaticityMode is the chart's coordinate system: CIE 1931 xy or CIE 1976 u'v'.

#include <cmath>
#include <cstdint>
#include <string_view>

#include "charts/canvas.h"

namespace hlx::charts {

enum class ChromaticityMode { Xy, UvPrime };

struct TGraphConstrains {
    std::int32_t xLength = 0;  // pixels
    std::int32_t xMargin = 0;  // pixels, left and right
    float xMin = 0;
    float xMax = 1;
    std::int32_t xDivisions = 1;  // labelled divisions
    std::string_view xLabel;      // axis name; points at static text
    std::int32_t yLength = 0;
    std::int32_t yMargin = 0;  // above and below
    float yMin = 0;
    float yMax = 1;
    std::int32_t yDivisions = 1;
    std::string_view yLabel;

    constexpr int bitmapWidth() const { return xLength + 2 * xMargin; }
    constexpr int bitmapHeight() const { return yLength + 2 * yMargin; }
    constexpr int base() const { return yLength + yMargin; }
    // Pixels per unit along each axis.
    double xScale() const { return xLength / (double{xMax} - xMin); }
    double yScale() const { return yLength / (double{yMax} - yMin); }
    // The position of a value before truncation.
    double pixelX(double a) const { return xMargin + (a - xMin) * xScale(); }
    double pixelY(double b) const { return base() - (b - yMin) * yScale(); }
};

// A computed position as a pixel coordinate: truncated toward zero. Positions beyond the canvas's
// coordinate limit, infinities and NaN (a chart fed nonsense) land outside every image.
inline int toPixel(double position) {
    constexpr double kLimit = Canvas::kCoordinateLimit;
    if (!(position > -kLimit)) return -Canvas::kCoordinateLimit;  // also NaN
    if (position > kLimit) return Canvas::kCoordinateLimit;
    return static_cast<int>(position);
}

}  // namespace hlx::charts
