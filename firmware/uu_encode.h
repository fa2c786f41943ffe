#pragma once
// UU lines: how the LPC ISP boot loader carries binary data over its text protocol, in both directions
// ("W" writes to the target's RAM, "R" reads memory back).
//
//   line   := count group* CR LF
//   count  := 0x20 + n for n = 1..45 data bytes ("M" for 45); n = 0 is written as the grave accent (0x60)
//   group  := three bytes b0 b1 b2 as the 24-bit value b0 << 16 | b1 << 8 | b2, cut into four 6-bit values
//             from the most significant; a value v is written as 0x20 + v, except 0, which is written as the
//             grave accent (0x60)
//
// A final group of one or two bytes is completed with the bytes that follow it in the sender's area; the
// receiver decodes only n bytes, so their values do not matter. A line of n bytes has 1 + 4 * ceil(n / 3)
// characters and CR LF: 63 for 45 bytes. Receivers take either space or grave accent for 0.
//
// After every 20 lines, and after the last line of a transfer, the sender writes a checksum line: the plain
// decimal sum of the data bytes (each 0..255) of the lines since the previous checksum line.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace hlx::firmware {

inline constexpr std::size_t kUuMaxBytes = 45;       // data bytes of a full line
inline constexpr std::size_t kUuMaxLineLength = 63;  // a full line with its CR LF
inline constexpr int kUuLinesPerChecksum = 20;

// One encoded line with its CR LF, held without allocation.
struct UuLine {
    std::array<std::uint8_t, kUuMaxLineLength> chars{};
    std::size_t length = 0;

    std::span<const std::uint8_t> bytes() const { return {chars.data(), length}; }
    std::string_view text() const { return {reinterpret_cast<const char*>(chars.data()), length}; }
};

// Encodes the first count bytes of area (count 0..45; more is a caller's bug and is cut to 45). A final
// group of one or two bytes is completed from the bytes that follow in area, or with 0 where area ends.
UuLine encodeUuLine(std::span<const std::uint8_t> area, std::size_t count);

// Decodes one received line without its line end into out. Returns the number of data bytes, or nothing
// when the line is not a UU line: an empty line, a count above 45, a length other than
// 1 + 4 * ceil(count / 3), or a character outside 0x20..0x60.
std::optional<std::size_t> decodeUuLine(std::string_view line, std::span<std::uint8_t, kUuMaxBytes> out);

// The sum the checksum line carries for these bytes.
std::int32_t uuChecksum(std::span<const std::uint8_t> bytes);

}  // namespace hlx::firmware
