#include "charts/canvas.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace hlx::charts {

namespace {

using Int = std::int64_t;

int pin(int v) {
    return std::clamp(v, -Canvas::kCoordinateLimit, Canvas::kCoordinateLimit);
}

Int floorHalf(Int v) {
    return v >= 0 ? v / 2 : -((-v + 1) / 2);
}
Int ceilHalf(Int v) {
    return -floorHalf(-v);
}

Int isqrt(Int v) {
    Int r = static_cast<Int>(std::sqrt(static_cast<double>(v)));
    while (r * r > v) --r;
    while ((r + 1) * (r + 1) <= v) ++r;
    return r;
}

// The inside pixels of one row of an ellipse box form one run [lo, hi] (empty when lo > hi): the x whose
// u = 2x + 1 − x0 − x1 satisfies u²H² ≤ W²(H² − v²), i.e. u² ≤ ⌊W²(H² − v²) / H²⌋.
struct Run {
    Int lo = 1;
    Int hi = 0;
    bool empty() const { return lo > hi; }
};

struct EllipseBox {
    Int x0, y0, x1, y1;

    Run row(Int y) const {
        if (y < y0 || y >= y1) return {};
        const Int w = x1 - x0;
        const Int h = y1 - y0;
        const Int v = 2 * y + 1 - y0 - y1;
        const Int room = w * w * (h * h - v * v);  // ≥ 0 inside the box; at most 2^60 for pinned corners
        if (room < 0) return {};
        const Int uMax = isqrt(room / (h * h));
        const Int twiceCentre = x0 + x1 - 1;
        return {ceilHalf(twiceCentre - uMax), floorHalf(twiceCentre + uMax)};
    }
};

}  // namespace

void Canvas::setPixel(int x, int y, Rgb colour) {
    if (!m_image.contains(x, y)) {
        ++m_clipped;
        return;
    }
    m_image.setPixel(x, y, colour);
}

void Canvas::line(int x0, int y0, int x1, int y1) {
    x0 = pin(x0), y0 = pin(y0), x1 = pin(x1), y1 = pin(y1);
    const Int dx = Int{x1} - x0;
    const Int dy = Int{y1} - y0;
    const Int adx = dx < 0 ? -dx : dx;
    const Int ady = dy < 0 ? -dy : dy;
    const Int sx = dx < 0 ? -1 : 1;
    const Int sy = dy < 0 ? -1 : 1;
    const bool xMajor = adx >= ady;
    const Int n = xMajor ? adx : ady;
    const Int m = xMajor ? ady : adx;
    for (Int k = 0; k < n; ++k) {
        const Int minor = (2 * k * m + n) / (2 * n);
        const Int x = x0 + sx * (xMajor ? k : minor);
        const Int y = y0 + sy * (xMajor ? minor : k);
        setPixel(static_cast<int>(x), static_cast<int>(y), m_pen);
    }
}

void Canvas::polyline(std::span<const Point> points) {
    for (std::size_t i = 1; i < points.size(); ++i) line(points[i - 1], points[i]);
}

void Canvas::rectangle(int x0, int y0, int x1, int y1) {
    x0 = pin(x0), y0 = pin(y0), x1 = pin(x1), y1 = pin(y1);
    if (x1 < x0) std::swap(x0, x1);
    if (y1 < y0) std::swap(y0, y1);
    if (x0 == x1 || y0 == y1) return;
    // Only the part inside the image is visited; the rest of the box is counted as clipped.
    const int vx0 = std::max(x0, 0), vx1 = std::min(x1, m_image.width());
    const int vy0 = std::max(y0, 0), vy1 = std::min(y1, m_image.height());
    const Int visible = Int{std::max(0, vx1 - vx0)} * Int{std::max(0, vy1 - vy0)};
    m_clipped += (Int{x1} - x0) * (Int{y1} - y0) - visible;
    for (int y = vy0; y < vy1; ++y) {
        for (int x = vx0; x < vx1; ++x) {
            const bool ring = x == x0 || x == x1 - 1 || y == y0 || y == y1 - 1;
            m_image.setPixel(x, y, ring ? m_pen : m_brush);
        }
    }
}

void Canvas::ellipse(int x0, int y0, int x1, int y1) {
    x0 = pin(x0), y0 = pin(y0), x1 = pin(x1), y1 = pin(y1);
    if (x1 < x0) std::swap(x0, x1);
    if (y1 < y0) std::swap(y0, y1);
    if (x0 == x1 || y0 == y1) return;
    const EllipseBox box{x0, y0, x1, y1};
    auto drawRun = [this](Int y, Int lo, Int hi) {
        if (lo > hi) return;
        if (y < 0 || y >= m_image.height()) {
            m_clipped += hi - lo + 1;
            return;
        }
        const Int vlo = std::max<Int>(lo, 0), vhi = std::min<Int>(hi, m_image.width() - 1);
        m_clipped += (hi - lo + 1) - std::max<Int>(0, vhi - vlo + 1);
        for (Int x = vlo; x <= vhi; ++x) m_image.setPixel(static_cast<int>(x), static_cast<int>(y), m_pen);
    };
    for (Int y = y0; y < y1; ++y) {
        const Run run = box.row(y);
        if (run.empty()) continue;
        // An inside pixel is an outline pixel unless both row neighbours and the pixels above and below
        // are inside; those interior pixels form one run as well.
        const Run above = box.row(y - 1);
        const Run below = box.row(y + 1);
        Run interior{std::max({run.lo + 1, above.lo, below.lo}), std::min({run.hi - 1, above.hi, below.hi})};
        if (above.empty() || below.empty()) interior = {};
        if (interior.empty()) {
            drawRun(y, run.lo, run.hi);
        } else {
            drawRun(y, run.lo, interior.lo - 1);
            drawRun(y, interior.hi + 1, run.hi);
        }
    }
}

void Canvas::text(int x, int y, std::string_view text) {
    m_text.drawText(m_image, x, y, m_font, text);
}

int Canvas::textWidth(std::string_view text) {
    return m_text.textWidth(m_font, text);
}

}  // namespace hlx::charts
