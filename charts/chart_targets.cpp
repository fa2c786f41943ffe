#include "charts/chart_targets.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace hlx::charts {

namespace {

constexpr int kEllipsePoints = 1000;
constexpr std::array<Rgb, 3> kGradeColours{kBlue, kPurple, kRed};

XyPoint midpoint(XyPoint a, XyPoint b) {
    return {(a.x + b.x) / 2, (a.y + b.y) / 2};
}
double distance(XyPoint a, XyPoint b) {
    return std::hypot(a.x - b.x, a.y - b.y);
}

// A table point in the chart's coordinates; the angle is used by ellipse sizes in xy mode only.
struct ChartPoint {
    double x = 0;
    double y = 0;
    double angle = 0;
};

}  // namespace

EllipseAxes xyEllipseAxes(UvPoint centre, UvPoint size) {
    const double left = centre.u - size.u / 2, right = centre.u + size.u / 2;
    const double lower = centre.v - size.v / 2, upper = centre.v + size.v / 2;
    const XyPoint lowerLeft = uvToXy({left, lower}), lowerRight = uvToXy({right, lower});
    const XyPoint upperLeft = uvToXy({left, upper}), upperRight = uvToXy({right, upper});
    const XyPoint lowerMid = midpoint(lowerLeft, lowerRight), upperMid = midpoint(upperLeft, upperRight);
    const XyPoint leftMid = midpoint(lowerLeft, upperLeft), rightMid = midpoint(lowerRight, upperRight);

    EllipseAxes axes;
    axes.e = distance(lowerMid, upperMid);
    axes.g = distance(leftMid, rightMid);
    const double delta = std::abs(lowerMid.y - upperMid.y);
    if (delta != 0 && axes.e != 0) axes.angle = std::numbers::pi - std::asin(std::min(1.0, delta / axes.e));
    return axes;
}

void drawTargets(Canvas& canvas, ChromaticityMode mode, const TGraphConstrains& layout,
                 const TargetTable& table, unsigned flags) {
    std::array<ChartPoint, 5> p;
    for (std::size_t i = 0; i < p.size(); ++i) {
        const UvPoint& stored = table.points[i];
        if (mode == ChromaticityMode::UvPrime) {
            p[i] = {stored.u, stored.v};
        } else if (i > 0 && table.kind == TargetPoints::EllipseSizes) {
            const EllipseAxes axes = xyEllipseAxes(table.points[0], stored);
            p[i] = {axes.e, axes.g, axes.angle};
        } else {
            const XyPoint xy = uvToXy(stored);
            p[i] = {xy.x, xy.y};
        }
    }
    for (std::size_t i = 0; i < p.size(); ++i) {
        if (i == 0 || (flags & kTargetPolygon) != 0) {
            p[i].x -= layout.xMin;
            p[i].y -= layout.yMin;
        }
    }
    const double sx = layout.xScale();
    const double sy = layout.yScale();
    const double cx = p[0].x * sx;
    const double cy = p[0].y * sy;
    const double base = layout.base();
    const Rgb pen = canvas.pen();

    if ((flags & kTargetCross) != 0) {
        const double x = layout.xMargin + cx - 2;
        const double y = base - cy + 2;
        canvas.line(toPixel(x - 5), toPixel(y), toPixel(x + 5), toPixel(y));
        canvas.line(toPixel(x), toPixel(y - 5), toPixel(x), toPixel(y + 5));
    }
    if ((flags & kTargetPolygon) != 0) {
        std::array<Point, 5> corners;
        for (std::size_t i = 0; i < corners.size(); ++i) {
            const ChartPoint& c = p[i == 4 ? 1 : i + 1];
            corners[i] = {toPixel(layout.xMargin + c.x * sx), toPixel(base - c.y * sy)};
        }
        canvas.polyline(corners);
    }
    if ((flags & kTargetEllipses) != 0) {
        for (std::size_t grade = 0; grade < kGradeColours.size(); ++grade) {
            const ChartPoint& size = p[grade + 1];
            const Rgb colour = kGradeColours[grade];
            if (mode == ChromaticityMode::Xy) {
                const Point centre{toPixel(layout.xMargin + cx), toPixel(base - cy)};
                drawRotatedEllipse(canvas, centre, sx * size.x / 2, sy * size.y / 2, size.angle, colour);
            } else {
                const double ax = size.x * sx / 2;
                const double by = size.y * sy / 2;
                canvas.setPen(colour);
                canvas.ellipse(toPixel(layout.xMargin + cx - ax - 1), toPixel(base - cy - by + 3),
                               toPixel(layout.xMargin + cx + ax - 1), toPixel(base - cy + by + 2));
            }
        }
    }
    canvas.setPen(pen);
}

void drawRotatedEllipse(Canvas& canvas, Point centre, double semiA, double semiB, double angle, Rgb colour) {
    const double cosAngle = std::cos(angle);
    const double sinAngle = std::sin(angle);
    for (int i = 0; i < kEllipsePoints; ++i) {
        const double t = 2 * std::numbers::pi * i * 0.001;
        const double r = semiA * std::cos(t);
        const double o = semiB * std::sin(t);
        canvas.setPixel(toPixel(centre.x + r * cosAngle - o * sinAngle),
                        toPixel(centre.y + r * sinAngle + o * cosAngle), colour);
    }
}

}  // namespace hlx::charts
