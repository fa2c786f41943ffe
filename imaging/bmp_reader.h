#pragma once
// Reading BMP files: the headers, the colour table and the pixel data, all checked against the file's
// bytes before the caller allocates a picture, so a damaged or cut-off file is refused with a reason and
// never turns into a picture of uninitialised memory. Standard C++; imaging/qt_bitmap puts the pixels into a
// QImage.
//
// A BMP file, all numbers little-endian:
//
//   offset  size  content
//   0       2     "BM"
//   10      4     where the pixel data starts (a value inside the headers means: right after them)
//   14      4     header size: 12 (OS/2 core header) or 40 to 124 (Windows headers)
//   core:   18 width (16 bits), 20 height (16 bits), 24 bit depth (16 bits)
//   40+:    18 width, 22 height (negative: rows top-down), 28 bit depth (16 bits), 30 compression
//           (0 none, 1 RLE8, 2 RLE4, 3 bit fields, 6 bit fields with alpha), 46 colours used (0: all)
//   54      bit fields: red, green, blue (and alpha) masks, 4 bytes each; after a 40-byte header or at the
//           same place inside a longer one
//   after the header (and the masks of a 40-byte header): the colour table of 1, 4 and 8-bit pictures,
//           entries of 4 bytes (blue, green, red, 0), 3 bytes after a core header
//   pixel data, uncompressed: rows of ((width x depth + 31) / 32) x 4 bytes, bottom row first unless the
//           height is negative; 1 and 4 bits fill a byte from its top bits
//   pixel data, run-length encoded (8 bits RLE8, 4 bits RLE4), in byte pairs:
//           n c         n pixels of index c (RLE4: the two nibbles of c in turn), n >= 1
//           00 00       end of the row         00 01  end of the picture
//           00 02 x y   move x right, y rows   00 n   n indices follow (n >= 3), padded to 16 bits
//
// Accepted: depths 1, 4 and 8 with a colour table (8 also RLE8, 4 also RLE4), 16 (5-5-5, or bit fields)
// and 24 and 32 (plain or bit fields), at most 65,535 pixels each way and 256 MB of decoded pixels.
// Refused, with the reason in German:
//   - uncompressed pixel data that ends before width x height pixels ("abgeschnitten");
//   - a run-length stream whose bytes end before its picture does (the end-of-picture code, or the end of
//     its last row) is reached, or that is too short to cover its picture at all: a run pair paints at
//     most 255 pixels, so a stream of n bytes is taken for at most 256 x n pixels;
//   - a pixel index beyond the colour table, and colour masks that are not contiguous.
// So the decoded picture costs at most a fixed multiple of the file's size in memory, and every pixel of
// it is a colour of the file: an entry of its colour table, or its own pixel bits. Pixels a run-length
// stream does not paint (after an early row end, a move or the end-of-picture code) take index 0, as the
// picture's background.
//
// Channels narrower than 8 bits are widened by repeating their bits (5-bit 31 becomes 255, 16 becomes
// 132), so white stays white.
//
// Threads: no shared state.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "base/status.h"
#include "imaging/vxc_stream.h"

namespace hlx::imaging {

enum class BmpCompression { None, Rle8, Rle4, BitFields };

// One colour channel of a 16- or 32-bit pixel: the bits of mask, shifted down by shift; bits wide.
struct BmpChannel {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
};

struct BmpInfo {
    int width = 0;
    int height = 0;  // always positive; topDown tells the row order
    int bitDepth = 0;
    bool topDown = false;
    bool green6 = false;       // 16 bits as 5-6-5 rather than 5-5-5
    bool hasAlpha = false;     // 32 bits with an alpha mask
    std::vector<Rgb> palette;  // 1, 4 and 8 bits: the colour table in file order
    BmpCompression compression = BmpCompression::None;
    std::size_t dataOffset = 0;            // where the pixel data starts in the file
    std::size_t rowBytes = 0;              // uncompressed: the bytes of one row, padding included
    std::array<BmpChannel, 4> channels{};  // red, green, blue, alpha for 16 and 32 bits
};

// Reads and checks the headers, the colour table and that the pixel data is all there. The message names
// no path; the caller adds it. On failure info is left as it was.
base::Status readBmpInfo(std::span<const std::uint8_t> file, BmpInfo& info);

// The pixels of a picture readBmpInfo accepted, top row first, into a caller's buffer of height rows of
// stride bytes (stride >= width for indices, >= 4 x width for colours):
//   decodeBmpIndices  1, 4 and 8 bits: one colour-table index per pixel, one byte each;
//   decodeBmpColours  16, 24 and 32 bits: one 0xAARRGGBB word per pixel in the machine's byte order
//                     (alpha 0xFF without an alpha mask).
// Every pixel of the buffer's rows is written. Fails only for an index beyond the colour table.
base::Status decodeBmpIndices(std::span<const std::uint8_t> file, const BmpInfo& info,
                              std::span<std::uint8_t> out, std::size_t stride);
base::Status decodeBmpColours(std::span<const std::uint8_t> file, const BmpInfo& info,
                              std::span<std::uint8_t> out, std::size_t stride);

// An n-bit channel value widened to 8 bits by repeating its bits (n from 1 to 32; above 8 its top 8 bits).
std::uint8_t widenChannel(std::uint32_t value, int bits);

}  // namespace hlx::imaging
