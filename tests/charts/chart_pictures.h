#pragma once
// Helpers of the chart suites: an image as rows of characters, to compare small drawings as pictures.

#include <string>
#include <vector>

#include "charts/rgb_image.h"

namespace hlx::test {

// One character per pixel: '.' black, 'W' white, 'g' grey, 'b' blue, 'p' purple, 'r' red, '?' any other.
inline std::vector<std::string> picture(const charts::RgbImage& image) {
    using namespace charts;
    std::vector<std::string> rows;
    for (int y = 0; y < image.height(); ++y) {
        std::string row;
        for (int x = 0; x < image.width(); ++x) {
            const Rgb c = image.pixel(x, y);
            row += c == kBlack    ? '.'
                   : c == kWhite  ? 'W'
                   : c == kGrey   ? 'g'
                   : c == kBlue   ? 'b'
                   : c == kPurple ? 'p'
                   : c == kRed    ? 'r'
                                  : '?';
        }
        rows.push_back(row);
    }
    return rows;
}

}  // namespace hlx::test
