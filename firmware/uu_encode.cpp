#include "firmware/uu_encode.h"

#include <algorithm>

namespace hlx::firmware {
namespace {

constexpr std::uint8_t kGrave = 0x60;

std::uint8_t sixBitChar(std::uint32_t value) {
    const std::uint8_t v = static_cast<std::uint8_t>(value & 0x3F);
    return v == 0 ? kGrave : static_cast<std::uint8_t>(0x20 + v);
}

// 0..63 for the characters 0x20..0x60 (space and grave accent both 0); nothing for any other.
std::optional<std::uint32_t> sixBitValue(char c) {
    const auto u = static_cast<std::uint8_t>(c);
    if (u < 0x20 || u > 0x60) return std::nullopt;
    return static_cast<std::uint32_t>((u - 0x20) & 0x3F);
}

}  // namespace

UuLine encodeUuLine(std::span<const std::uint8_t> area, std::size_t count) {
    count = std::min(count, kUuMaxBytes);
    UuLine line;
    std::size_t n = 0;
    line.chars[n++] = sixBitChar(static_cast<std::uint32_t>(count));
    auto byteAt = [&area](std::size_t i) -> std::uint32_t { return i < area.size() ? area[i] : 0; };
    for (std::size_t i = 0; i < count; i += 3) {
        const std::uint32_t group = byteAt(i) << 16 | byteAt(i + 1) << 8 | byteAt(i + 2);
        line.chars[n++] = sixBitChar(group >> 18);
        line.chars[n++] = sixBitChar(group >> 12);
        line.chars[n++] = sixBitChar(group >> 6);
        line.chars[n++] = sixBitChar(group);
    }
    line.chars[n++] = '\r';
    line.chars[n++] = '\n';
    line.length = n;
    return line;
}

std::optional<std::size_t> decodeUuLine(std::string_view line, std::span<std::uint8_t, kUuMaxBytes> out) {
    if (line.empty()) return std::nullopt;
    const auto count = sixBitValue(line[0]);
    if (!count || *count > kUuMaxBytes) return std::nullopt;
    const std::size_t groups = (*count + 2) / 3;
    if (line.size() != 1 + 4 * groups) return std::nullopt;
    std::size_t written = 0;
    for (std::size_t g = 0; g < groups; ++g) {
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const auto v = sixBitValue(line[1 + 4 * g + k]);
            if (!v) return std::nullopt;
            group = group << 6 | *v;
        }
        for (int shift = 16; shift >= 0 && written < *count; shift -= 8)
            out[written++] = static_cast<std::uint8_t>(group >> shift);
    }
    return written;
}

std::int32_t uuChecksum(std::span<const std::uint8_t> bytes) {
    std::int32_t sum = 0;
    for (std::uint8_t b : bytes) sum += b;
    return sum;
}

}  // namespace hlx::firmware
