#pragma once
// TextPainter: the one thing the charts leave to a toolkit, drawing and measuring text. The chart code
// states what to write, where and in which font; glyph shapes, hinting and smoothing are the toolkit's.
// The Qt program implements it with QPainter (app/qt_chart_text.h); tests record the calls instead.
//
// Font sizes are in points at 96 pixels per inch, so size 6 is an 8-pixel and size 8 an 11-pixel font.
// Text is UTF-8. A painter is used from one thread at a time.

#include <string_view>

#include "charts/colour.h"

namespace hlx::charts {

class RgbImage;

// The face of every chart text. A toolkit without it substitutes its nearest sans-serif face.
inline constexpr std::string_view kChartFontFamily = "DejaVu Sans";

struct Font {
    std::string_view family = kChartFontFamily;  // points at static text
    int points = 8;
    Rgb colour = kBlack;

    friend constexpr bool operator==(const Font&, const Font&) = default;
};

class TextPainter {
public:
    virtual ~TextPainter() = default;

    // The advance width in pixels of text as drawText would draw it in font.
    virtual int textWidth(const Font& font, std::string_view text) = 0;

    // Draws text in font.colour with the top-left corner of its line (the top of the ascent, not the
    // baseline) at (x, y). The background stays as it is; whatever falls outside the image is dropped.
    virtual void drawText(RgbImage& image, int x, int y, const Font& font, std::string_view text) = 0;
};

}  // namespace hlx::charts
