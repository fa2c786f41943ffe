#pragma once
// The VXC image stream: the monitor firmware's own compact form for start-up screens, logos and
// backgrounds. Every picture row is stored in whichever of three forms is smallest, and rows that are one
// flat colour continuing the previous row shrink to one byte for one or two rows. No general-purpose
// compressor is involved, so the firmware decodes it with a few lines of code.
//
// Pixel word (VxcPixel), 16 bits, stored low byte first wherever it appears:
//
//   bit  15 14 13 12 11 | 10  9  8  7  6  5 |  4  3  2  1  0
//        blue (5 bits)  | green (6 bits)    |  red (5 bits)
//
//   packing:   (B >> 3) << 11 | (G >> 2) << 5 | (R >> 3)          channels truncated, never rounded
//   unpacking: R = (w & 0x1F) << 3, G = ((w >> 5) & 0x3F) << 2, B = (w >> 11) << 3
//              the low bits stay zero (no bit replication), so white 0xFFFF shows as (248, 252, 248)
//
// Stream: a sequence of records, each starting with a one-byte code; every number is little-endian. There
// is no end marker and no checksum: the container (".vxc" file or C array) carries the length.
//
//   code  name           bytes after the code          meaning
//   0x80  VXC_HEADER     10: "VXP1", width u16,        always first, exactly once (11 bytes in all);
//                        height u16, 0x00 0x00         the two zero bytes are not read
//   0x81  VXC_ROW_RAW    width x 2: pixel words        one row, left to right
//   0x82  VXC_ROW_RUN8   n x 3: pixel word, count u8   one row as runs; an entry paints count + 1 pixels
//                                                      (1 ... 256); the runs add up to exactly the width
//   0x83  VXC_ROW_RUN16  n x 4: pixel word, count u16  the same with 1 ... 65,536 pixels per entry
//   0x65  VXC_REPEAT_1   none                          one row entirely in the current colour
//   0x55  VXC_REPEAT_2   none                          two rows entirely in the current colour
//
// Rows follow the header from the top row down. The current colour is the last pixel word read from the
// stream, black (0) before the first one; the encoder writes a repeat record only where that colour is
// the row's single colour, so a decoder needs no other state. A decoder paints rows until the stream ends;
// the height field is informative.
//
// Containers of a stream of N bytes: a ".vxc" file is N as u32 little-endian followed by the N bytes; the
// C array vxc_stream holds the same 4 + N bytes followed by one extra 0x00.
//
// Limits of this program: a row of at most 20,000 pixels and a stream of at most 10,000,000 bytes (the
// monitor's picture buffers); width and height fields are 16 bits, so neither exceeds 65,535. A stream
// never exceeds 11 + height x (1 + 2 x width) bytes, since the plain form is always a candidate.

#include <cstddef>
#include <cstdint>

namespace hlx::imaging {

using VxcPixel = std::uint16_t;

inline constexpr std::uint8_t VXC_HEADER = 0x80;
inline constexpr std::uint8_t VXC_ROW_RAW = 0x81;
inline constexpr std::uint8_t VXC_ROW_RUN8 = 0x82;
inline constexpr std::uint8_t VXC_ROW_RUN16 = 0x83;
inline constexpr std::uint8_t VXC_REPEAT_1 = 0x65;
inline constexpr std::uint8_t VXC_REPEAT_2 = 0x55;

inline constexpr char kVxcMagic[4] = {'V', 'X', 'P', '1'};
inline constexpr std::size_t kVxcHeaderSize = 11;

inline constexpr int kMaxRowPixels = 20'000;
inline constexpr std::size_t kMaxStreamBytes = 10'000'000;
inline constexpr int kMaxFieldValue = 65'535;  // width and height are 16-bit fields

// 8 bits per channel.
struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    friend constexpr bool operator==(Rgb, Rgb) = default;
};

constexpr VxcPixel packVxcPixel(Rgb c) {
    return static_cast<VxcPixel>((c.b >> 3) << 11 | (c.g >> 2) << 5 | (c.r >> 3));
}

constexpr Rgb unpackVxcPixel(VxcPixel w) {
    return {static_cast<std::uint8_t>((w & 0x1F) << 3), static_cast<std::uint8_t>(((w >> 5) & 0x3F) << 2),
            static_cast<std::uint8_t>((w >> 11) << 3)};
}

// The colour as the stream carries it: red and blue cut to 5 bits, green to 6.
constexpr Rgb truncateToVxc(Rgb c) {
    return unpackVxcPixel(packVxcPixel(c));
}

// The largest stream a picture of this size can give (every row in plain form).
constexpr std::size_t maxVxcStreamSize(int width, int height) {
    return kVxcHeaderSize + static_cast<std::size_t>(height) * (1 + 2 * static_cast<std::size_t>(width));
}

}  // namespace hlx::imaging
