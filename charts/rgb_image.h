#pragma once
// RgbImage: a chart bitmap, a plain buffer of width × height pixels. The rows run from top to bottom, each
// row holds width pixels of three bytes (red, green, blue) with no padding, so a row is 3 × width bytes;
// that is the layout toolkits call RGB888 and can wrap without copying. A new image is black.
//
// Sizes are a caller's choice from constant tables; a negative size or one above kMaxSide is a caller's bug
// (asserted). Pixel access outside the image is a caller's bug too; drawing that may leave the image goes
// through Canvas, which clips. Not thread-safe; an image is a value and may be moved between threads.

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "charts/colour.h"

namespace hlx::charts {

class RgbImage {
public:
    static constexpr int kMaxSide = 8192;

    RgbImage() = default;
    RgbImage(int width, int height)
        : m_width(width), m_height(height), m_bytes(byteCount(width, height), std::uint8_t{0}) {}

    int width() const { return m_width; }
    int height() const { return m_height; }
    int bytesPerLine() const { return 3 * m_width; }
    bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < m_width && y < m_height; }

    Rgb pixel(int x, int y) const {
        assert(contains(x, y));
        const std::uint8_t* p = &m_bytes[offset(x, y)];
        return Rgb{p[0], p[1], p[2]};
    }
    void setPixel(int x, int y, Rgb colour) {
        assert(contains(x, y));
        std::uint8_t* p = &m_bytes[offset(x, y)];
        p[0] = colour.r;
        p[1] = colour.g;
        p[2] = colour.b;
    }

    std::span<std::uint8_t> bytes() { return m_bytes; }
    std::span<const std::uint8_t> bytes() const { return m_bytes; }

private:
    static std::size_t byteCount(int width, int height) {
        assert(width >= 0 && height >= 0 && width <= kMaxSide && height <= kMaxSide);
        return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3;
    }
    std::size_t offset(int x, int y) const {
        return (static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width) +
                static_cast<std::size_t>(x)) *
               3;
    }

    int m_width = 0;
    int m_height = 0;
    std::vector<std::uint8_t> m_bytes;
};

}  // namespace hlx::charts
