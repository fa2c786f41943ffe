#include "charts/chart_drawing.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <string_view>

#include "charts/chart_axes.h"
#include "charts/chart_targets.h"
#include "charts/chromaticity.h"

namespace hlx::charts {

namespace {

constexpr double kFillStepsPerPixel = 1.2;
constexpr double kColumnEndGap = 0.001;  // a column ends this far short of its upper end
constexpr int kTitlePoints = 8;
constexpr int kTitleY = 2;
constexpr std::array<std::string_view, 3> kGamutTitles{"Gamut Red", "Gamut Green", "Gamut: Blue"};

AxisStyle fieldAxis(int minorTicks, float minimum) {
    return AxisStyle{
        .minorTicks = minorTicks, .firstValue = minimum, .secondValue = minimum + 0.01, .format = "%3.2f"};
}

void drawTitle(Canvas& canvas, const TGraphConstrains& layout, std::string_view title) {
    canvas.setFont(Font{.points = kTitlePoints, .colour = kWhite});
    canvas.text(layout.xMargin, kTitleY, title);
}

}  // namespace

void fillLocus(Canvas& canvas, ChromaticityMode mode, const TGraphConstrains& layout,
               const LocusTable& locus) {
    const double xMin = layout.xMin, xMax = layout.xMax;
    const double yMin = layout.yMin, yMax = layout.yMax;
    const double dx = (xMax - xMin) / (layout.xLength * kFillStepsPerPixel);
    const double dy = (yMax - yMin) / (layout.yLength * kFillStepsPerPixel);
    if (!(dx > 0) || !(dy > 0)) return;
    // Positions are counted in steps rather than summed, so no rounding error piles up along an axis.
    for (long i = 0;; ++i) {
        const double x = xMin + static_cast<double>(i) * dx;
        if (!(x < xMax)) break;
        const LocusCrossings crossings = locusCrossings(locus, x);
        if (crossings.count == 0) continue;
        const double a = crossings.first;
        const double b = crossings.count == 1 ? closingLineAt(locus, x) : crossings.second;
        double low = std::min(a, b);
        double high = std::max(a, b);
        if (high < yMin || low > yMax) continue;
        low = std::max(low, yMin);
        high = std::min(high, yMax);
        const int column = toPixel(layout.pixelX(x));
        for (long j = 0;; ++j) {
            const double y = low + static_cast<double>(j) * dy;
            if (!(y < high - kColumnEndGap)) break;
            canvas.setPixel(column, toPixel(layout.pixelY(y)), chromaticityColour(mode, x, y));
        }
    }
}

void drawDiagram(Canvas& canvas, ChromaticityMode mode, const TGraphConstrains& layout,
                 const LocusTable& locus) {
    const AxisStyle axis{.minorTicks = 5, .firstValue = 0.0, .secondValue = 0.1, .format = "%1.1f"};
    drawFrameAndAxes(canvas, layout, axis, axis);
    fillLocus(canvas, mode, layout, locus);

    canvas.setPen(kGrey);
    for (const TargetTable& tolerance : kPrimaryTolerances)
        drawTargets(canvas, mode, layout, tolerance, kTargetPolygon);
    drawTargets(canvas, mode, layout, kGamutTriangle, kTargetCross | kTargetPolygon);

    for (const EbuTarget& target : kEbuTargets) {
        const XyPoint p =
            mode == ChromaticityMode::Xy ? uvToXy(target.uv) : XyPoint{target.uv.u, target.uv.v};
        const double x = layout.pixelX(p.x);
        const double y = layout.pixelY(p.y);
        canvas.line(toPixel(x - 5), toPixel(y - 5), toPixel(x + 5), toPixel(y + 5));
        canvas.line(toPixel(x + 5), toPixel(y - 5), toPixel(x - 5), toPixel(y + 5));
    }
}

void drawGreyscaleField(Canvas& canvas, ChromaticityMode mode, const TGraphConstrains& layout) {
    drawFrameAndAxes(canvas, layout, fieldAxis(2, layout.xMin), fieldAxis(2, layout.yMin));
    drawTitle(canvas, layout, "Greysales");
    // The cross takes the grey pen the axes leave.
    drawTargets(canvas, mode, layout, kGreyscaleEllipses, kTargetCross | kTargetEllipses);
}

void drawGamutField(Canvas& canvas, ChromaticityMode mode, int colourIndex, const TGraphConstrains& layout,
                    const TargetTable& table) {
    assert(colourIndex >= 0 && colourIndex < static_cast<int>(kGamutTitles.size()));
    if (colourIndex < 0 || colourIndex >= static_cast<int>(kGamutTitles.size())) return;
    drawFrameAndAxes(canvas, layout, fieldAxis(2, layout.xMin), fieldAxis(5, layout.yMin));
    drawTitle(canvas, layout, kGamutTitles[static_cast<std::size_t>(colourIndex)]);
    canvas.setPen(kWhite);
    drawTargets(canvas, mode, layout, table, kTargetCross | kTargetPolygon);
}

}  // namespace hlx::charts
