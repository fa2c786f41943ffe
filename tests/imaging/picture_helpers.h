#pragma once
// Small hand-made and generated pictures for the imaging tests, and the bytes of a VXC header.

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "imaging/vxc_stream.h"
#include "tests/support/memory_bitmap.h"

namespace hlx::test {

inline constexpr imaging::Rgb kBlack{0, 0, 0};
inline constexpr imaging::Rgb kWhite{255, 255, 255};
inline constexpr imaging::Rgb kRed{255, 0, 0};    // word 0x001F
inline constexpr imaging::Rgb kGreen{0, 255, 0};  // word 0x07E0
inline constexpr imaging::Rgb kBlue{0, 0, 255};   // word 0xF800

using Bytes = std::vector<std::uint8_t>;
using Row = std::vector<imaging::Rgb>;

// A picture from its rows (all of the same width).
inline MemoryBitmap pictureOf(const std::vector<Row>& rows) {
    MemoryBitmap picture(static_cast<int>(rows.front().size()), static_cast<int>(rows.size()));
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) picture.setPixel(x, y, rows[y][x]);
    return picture;
}

inline Row rowOf(int count, imaging::Rgb colour) {
    return Row(static_cast<std::size_t>(count), colour);
}

inline Row joined(std::initializer_list<Row> parts) {
    Row row;
    for (const Row& part : parts) row.insert(row.end(), part.begin(), part.end());
    return row;
}

// 0x80 "VXP1" width height 0x00 0x00
inline Bytes headerBytes(int width, int height) {
    return {0x80,
            'V',
            'X',
            'P',
            '1',
            static_cast<std::uint8_t>(width & 0xFF),
            static_cast<std::uint8_t>(width >> 8),
            static_cast<std::uint8_t>(height & 0xFF),
            static_cast<std::uint8_t>(height >> 8),
            0x00,
            0x00};
}

inline Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

// Pseudo-random colours in which no two neighbours in a row share a 16-bit word, so every row is plain.
inline MemoryBitmap noisePicture(int width, int height, std::uint32_t seed = 1) {
    MemoryBitmap picture(width, height);
    std::uint32_t state = seed;
    for (int y = 0; y < height; ++y) {
        imaging::VxcPixel previous = 0;
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            imaging::Rgb c{static_cast<std::uint8_t>(state >> 24), static_cast<std::uint8_t>(state >> 16),
                           static_cast<std::uint8_t>(state >> 8)};
            if (x > 0 && imaging::packVxcPixel(c) == previous) c.r = static_cast<std::uint8_t>(c.r ^ 0x80);
            previous = imaging::packVxcPixel(c);
            picture.setPixel(x, y, c);
        }
    }
    return picture;
}

}  // namespace hlx::test
