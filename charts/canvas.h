#pragma once
// Canvas: the drawing operations of the charts on an RgbImage, with a pen, a brush and a font as state.
// Every pixel rule is ours and exact, so a chart comes out the same on every platform and a test can name
// the pixels a call sets. Only text is drawn by a toolkit (TextPainter).
//
// Pixel rules. x grows to the right, y downwards; pixel (x, y) is the unit square whose top-left corner is
// at (x, y), its centre at (x + ½, y + ½). Pens are one pixel wide.
// - Coordinates are first pinned to ±kCoordinateLimit. Nothing of an image lies that far out, and it keeps
//   every loop and product of these rules bounded whatever a caller computes.
// - Clipping: a pixel outside the image is dropped (and counted by clippedPixels()); nothing else changes.
// - setPixel(x, y, c) sets exactly that pixel to c.
// - line(x0, y0, x1, y1), pen colour: from the start pixel up to, but not including, the end point. Let
//   n = max(|x1 − x0|, |y1 − y0|) (the major axis is x when both are equal) and m the other length; step k
//   = 0 .. n − 1 sets the pixel k steps along the major axis and floor((2km + n) / 2n) steps along the
//   minor one, each toward the end point (the nearest pixel, halves rounded away from the start). So a
//   horizontal or vertical line of length L sets L pixels, and a line whose end is its start sets none.
// - polyline(p0 .. pn), pen colour: line(p0, p1), line(p1, p2), ... in turn. A closed polygon repeats its
//   first point at the end and then sets every corner once.
// - rectangle(x0, y0, x1, y1): the box of pixels x0 ≤ x < x1, y0 ≤ y < y1 (corners in either order). Its
//   outermost ring of pixels takes the pen colour, the inside the brush colour. An empty box sets nothing.
// - ellipse(x0, y0, x1, y1), outline only, pen colour: take the ellipse inscribed in the box's outer edges,
//   (x0, y0) to (x1, y1) (corners in either order). A pixel of the box is inside when its centre lies inside
//   or on that ellipse; in whole numbers, with W = x1 − x0, H = y1 − y0, u = 2x + 1 − x0 − x1 and
//   v = 2y + 1 − y0 − y1: u²H² + v²W² ≤ W²H². An inside pixel is drawn when one of its four neighbours is
//   not inside (pixels outside the box are not). The inside is left as it is.
// - text(x, y, s): the TextPainter draws s in the current font with its top-left corner at (x, y).
//
// Ownership and threads: the image and the text painter must outlive the canvas. One thread at a time.

#include <cstdint>
#include <span>
#include <string_view>

#include "charts/colour.h"
#include "charts/rgb_image.h"
#include "charts/text_painter.h"

namespace hlx::charts {

struct Point {
    int x = 0;
    int y = 0;

    friend constexpr bool operator==(Point, Point) = default;
};

class Canvas {
public:
    static constexpr int kCoordinateLimit = 2 * RgbImage::kMaxSide;

    Canvas(RgbImage& image, TextPainter& text) : m_image(image), m_text(text) {}

    RgbImage& image() { return m_image; }
    const RgbImage& image() const { return m_image; }

    void setPen(Rgb colour) { m_pen = colour; }
    Rgb pen() const { return m_pen; }
    void setBrush(Rgb colour) { m_brush = colour; }
    Rgb brush() const { return m_brush; }
    void setFont(const Font& font) { m_font = font; }
    const Font& font() const { return m_font; }

    void setPixel(int x, int y, Rgb colour);
    void line(int x0, int y0, int x1, int y1);
    void line(Point from, Point to) { line(from.x, from.y, to.x, to.y); }
    void polyline(std::span<const Point> points);
    void rectangle(int x0, int y0, int x1, int y1);
    void ellipse(int x0, int y0, int x1, int y1);

    void text(int x, int y, std::string_view text);
    int textWidth(std::string_view text);

    // Pixels that fell outside the image since the canvas was made (text not counted).
    std::int64_t clippedPixels() const { return m_clipped; }

private:
    RgbImage& m_image;
    TextPainter& m_text;
    Rgb m_pen = kBlack;
    Rgb m_brush = kWhite;
    Font m_font;
    std::int64_t m_clipped = 0;
};

}  // namespace hlx::charts
