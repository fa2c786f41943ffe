#pragma once
// Hand-made BMP files for the bitmap tests: the headers are written here field by field, the pixel bytes
// (rows, padding, run-length codes) by each test, so every depth and compression is checked against bytes
// laid out as Windows lays them out, not against what Qt itself writes.

#include <cstdint>
#include <vector>

#include "imaging/vxc_stream.h"

namespace hlx::test {

// Fields left out of a designated initializer take the defaults below.
struct BmpSpec {
    int width = 0;
    int height = 0;  // negative: top-down
    int depth = 0;
    std::uint32_t compression = 0;  // 0 none, 1 RLE8, 2 RLE4, 3 bit fields
    std::vector<imaging::Rgb> palette;
    int headerSize = 40;               // 12 (OS/2 core), 40, 108 or 124
    std::vector<std::uint32_t> masks;  // red, green, blue (and alpha): after a 40-byte header, else inside
    std::vector<std::uint8_t> pixels;
};

inline std::vector<std::uint8_t> buildBmp(const BmpSpec& spec) {
    std::vector<std::uint8_t> header;
    auto put16 = [&header](std::uint32_t v) {
        header.push_back(static_cast<std::uint8_t>(v));
        header.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    auto put32 = [&](std::uint32_t v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    const std::size_t entry = spec.headerSize == 12 ? 3 : 4;
    const std::size_t extraMasks = spec.headerSize == 40 ? 4 * spec.masks.size() : 0;
    const std::size_t offset =
        14 + static_cast<std::size_t>(spec.headerSize) + extraMasks + entry * spec.palette.size();
    header.push_back('B');
    header.push_back('M');
    put32(static_cast<std::uint32_t>(offset + spec.pixels.size()));
    put32(0);
    put32(static_cast<std::uint32_t>(offset));
    put32(static_cast<std::uint32_t>(spec.headerSize));
    if (spec.headerSize == 12) {
        put16(static_cast<std::uint32_t>(spec.width));
        put16(static_cast<std::uint32_t>(spec.height));
        put16(1);
        put16(static_cast<std::uint32_t>(spec.depth));
    } else {
        put32(static_cast<std::uint32_t>(spec.width));
        put32(static_cast<std::uint32_t>(spec.height));
        put16(1);
        put16(static_cast<std::uint32_t>(spec.depth));
        put32(spec.compression);
        put32(static_cast<std::uint32_t>(spec.pixels.size()));
        put32(2835);
        put32(2835);
        put32(static_cast<std::uint32_t>(spec.palette.size()));
        put32(0);
        for (std::uint32_t mask : spec.masks) put32(mask);
        if (spec.headerSize > 40) {
            for (std::size_t i = spec.masks.size(); i < 4; ++i) put32(0);
            put32(0x73524742);  // colour space "sRGB"
            header.resize(14 + static_cast<std::size_t>(spec.headerSize), 0);
        }
    }
    for (const imaging::Rgb& c : spec.palette) {
        header.push_back(c.b);
        header.push_back(c.g);
        header.push_back(c.r);
        if (entry == 4) header.push_back(0);
    }
    header.insert(header.end(), spec.pixels.begin(), spec.pixels.end());
    return header;
}

}  // namespace hlx::test
