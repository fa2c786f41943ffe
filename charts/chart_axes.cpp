#include "charts/chart_axes.h"

#include <cassert>
#include <cstdio>

namespace hlx::charts {

namespace {

constexpr int kMajorTick = 10;
constexpr int kMinorTick = 5;
constexpr int kAxisFontPoints = 6;

}  // namespace

void drawAxis(Canvas& canvas, const Axis& axis) {
    assert((axis.dx == 0) != (axis.dy == 0));
    assert(axis.divisions > 0);
    const bool horizontal = axis.dy == 0;
    // The direction of the ticks (down or left) and of the grid lines (up or right).
    const int tickX = horizontal ? 0 : -1;
    const int tickY = horizontal ? 1 : 0;
    const int gridX = horizontal ? 0 : 1;
    const int gridY = horizontal ? -1 : 0;

    canvas.setFont(Font{.points = kAxisFontPoints, .colour = kWhite});
    canvas.setPen(kWhite);
    canvas.line(axis.x0, axis.y0, axis.x0 + axis.dx, axis.y0 + axis.dy);
    if (horizontal)
        canvas.text(axis.x0 + axis.dx + 2, axis.y0 - 10, axis.name);
    else
        canvas.text(axis.x0 - 18, axis.y0 + axis.dy - 18, axis.name);

    const int divisions = axis.divisions;
    for (int q = 0; divisions > 0 && q <= divisions; ++q) {
        const int x = axis.x0 + (axis.dx / divisions) * q;
        const int y = axis.y0 + (axis.dy / divisions) * q;

        canvas.setPen(kWhite);
        canvas.line(x, y, x + tickX * kMajorTick, y + tickY * kMajorTick);

        if (axis.firstValue != axis.secondValue) {
            char label[64];
            std::snprintf(label, sizeof label, axis.format,
                          axis.firstValue + (axis.secondValue - axis.firstValue) * q);
            if (horizontal)
                canvas.text(x - canvas.textWidth(label) / 2, axis.y0 + 5, label);
            else
                canvas.text(axis.x0 - 18, y + 1, label);
        }

        if (q > 0) {
            canvas.setPen(kGrey);
            canvas.line(x, y, x + gridX * axis.gridLength, y + gridY * axis.gridLength);
        }

        if (axis.minorTicks > 0 && q < divisions) {
            canvas.setPen(kWhite);
            const int parts = divisions * axis.minorTicks;
            for (int i = 0; i < axis.minorTicks; ++i) {
                const int mx = x + axis.dx * i / parts;
                const int my = y + axis.dy * i / parts;
                canvas.line(mx, my, mx + tickX * kMinorTick, my + tickY * kMinorTick);
            }
        }
    }
    canvas.setPen(kGrey);
}

void drawFrameAndAxes(Canvas& canvas, const TGraphConstrains& layout, const AxisStyle& horizontal,
                      const AxisStyle& vertical) {
    canvas.setBrush(kBlack);
    canvas.setPen(kWhite);
    canvas.rectangle(0, 0, layout.bitmapWidth(), layout.bitmapHeight());
    // Both axes start at the plot's origin, the bottom-left corner of the plot.
    drawAxis(canvas, Axis{.dx = layout.xLength,
                          .dy = 0,
                          .x0 = layout.xMargin,
                          .y0 = layout.base(),
                          .divisions = layout.xDivisions,
                          .minorTicks = horizontal.minorTicks,
                          .firstValue = horizontal.firstValue,
                          .secondValue = horizontal.secondValue,
                          .format = horizontal.format,
                          .gridLength = layout.yLength,
                          .name = layout.xLabel});
    drawAxis(canvas, Axis{.dx = 0,
                          .dy = -layout.yLength,
                          .x0 = layout.xMargin,
                          .y0 = layout.base(),
                          .divisions = layout.yDivisions,
                          .minorTicks = vertical.minorTicks,
                          .firstValue = vertical.firstValue,
                          .secondValue = vertical.secondValue,
                          .format = vertical.format,
                          .gridLength = layout.xLength,
                          .name = layout.yLabel});
}

}  // namespace hlx::charts
