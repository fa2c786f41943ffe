#pragma once
// MemoryBitmap: a 24-bit picture in plain memory for the codec's tests, benchmarks and fuzz targets. It
// counts how often each pixel is painted, so a test can see that a decoder paints every pixel exactly
// once, and it refuses load and save (no files: the real bitmaps over QImage have their own tests).
// Header-only, so targets without GoogleTest can use it. Coordinates outside the picture abort, so a
// decoder that paints out of bounds fails loudly in every build.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "imaging/bitmap.h"

namespace hlx::test {

class MemoryBitmap : public imaging::Bitmap {
public:
    MemoryBitmap() = default;
    MemoryBitmap(int width, int height, imaging::Rgb fill = {}) { resize(width, height, fill); }

    int width() const override { return m_width; }
    int height() const override { return m_height; }
    int bitDepth() const override { return m_width > 0 ? 24 : 0; }
    std::vector<imaging::Rgb> palette() const override { return {}; }

    imaging::Rgb pixel(int x, int y) const override { return m_pixels[index(x, y)]; }
    void readRow(int y, std::span<imaging::Rgb> out) const override {
        if (static_cast<int>(out.size()) != m_width) std::abort();
        const std::size_t start = index(0, y);
        std::copy(m_pixels.begin() + static_cast<std::ptrdiff_t>(start),
                  m_pixels.begin() + static_cast<std::ptrdiff_t>(start + out.size()), out.begin());
    }
    void setPixel(int x, int y, imaging::Rgb colour) override {
        const std::size_t i = index(x, y);
        m_pixels[i] = colour;
        ++m_paints[i];
    }

    base::Status load(const std::string&) override {
        return base::Status::error("MemoryBitmap reads no files");
    }
    base::Status save(const std::string&) const override {
        return base::Status::error("MemoryBitmap writes no files");
    }
    base::Status create(int width, int height) override {
        resize(width, height, {});
        return base::Status::ok();
    }

    void resize(int width, int height, imaging::Rgb fill) {
        m_width = width;
        m_height = height;
        m_pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), fill);
        m_paints.assign(m_pixels.size(), 0);
    }
    // How often pixel (x, y) was painted through setPixel since the picture was made.
    int paints(int x, int y) const { return m_paints[index(x, y)]; }
    const std::vector<imaging::Rgb>& pixels() const { return m_pixels; }

private:
    std::size_t index(int x, int y) const {
        if (x < 0 || y < 0 || x >= m_width || y >= m_height) std::abort();
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width) + static_cast<std::size_t>(x);
    }

    int m_width = 0;
    int m_height = 0;
    std::vector<imaging::Rgb> m_pixels;
    std::vector<int> m_paints;
};

}  // namespace hlx::test
