#include "charts/chromaticity.h"

#include <algorithm>
#include <cmath>

namespace hlx::charts {

namespace {

// XYZ to linear sRGB.
constexpr double kXyzToRgb[3][3] = {
    {3.240479, -1.53715, -0.498535},
    {-0.969256, 1.875992, 0.041556},
    {0.055648, -0.204043, 1.057311},
};
constexpr double kGamma = 2.2;

std::uint8_t channelByte(double linear) {
    if (linear <= 0) return 0;
    const double value = std::pow(linear, 1.0 / kGamma) * 255.0;
    return static_cast<std::uint8_t>(std::clamp(static_cast<int>(value), 0, 255));
}

}  // namespace

XyPoint uvToXy(UvPoint uv) {
    const double d = 6 * uv.u - 16 * uv.v + 12;
    return {9 * uv.u / d, 4 * uv.v / d};
}

Rgb chromaticityColour(ChromaticityMode mode, double a, double b) {
    if (!(b > 0)) return kBlack;
    double xyz[3];
    if (mode == ChromaticityMode::Xy) {
        xyz[0] = a / b;
        xyz[2] = (1 - a - b) / b;
    } else {
        xyz[0] = 9 * a / (4 * b);
        xyz[2] = (12 - 3 * a - 20 * b) / (4 * b);
    }
    xyz[1] = 1;
    double rgb[3];
    for (int i = 0; i < 3; ++i)
        rgb[i] = kXyzToRgb[i][0] * xyz[0] + kXyzToRgb[i][1] * xyz[1] + kXyzToRgb[i][2] * xyz[2];
    if (!std::isfinite(rgb[0]) || !std::isfinite(rgb[1]) || !std::isfinite(rgb[2])) return kBlack;
    const double largest = std::max({rgb[0], rgb[1], rgb[2]});
    if (!(largest > 0)) return kBlack;
    return Rgb{channelByte(rgb[0] / largest), channelByte(rgb[1] / largest), channelByte(rgb[2] / largest)};
}

}  // namespace hlx::charts
