#pragma once
// Rgb: one pixel of a chart bitmap, eight bits per channel, and the few named colours the charts draw in.
// (Other programs of the monitor family write these as 24-bit words with blue in the high byte, so red is
// 0x0000FF there; here the channels are named.)

#include <cstdint>

namespace hlx::charts {

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;

    friend constexpr bool operator==(Rgb, Rgb) = default;
};

inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kGrey{128, 128, 128};
inline constexpr Rgb kBlue{0, 0, 255};
inline constexpr Rgb kPurple{128, 0, 128};
inline constexpr Rgb kRed{255, 0, 0};

}  // namespace hlx::charts
