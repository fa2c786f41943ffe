#pragma once
// Writing a chart bitmap as a PNG file, so charts can be looked at and compared outside the program.
//
// The file is written whole or not at all: the PNG is encoded in memory and saved through QSaveFile, so
// a failure (no such folder, no permission, disk full) leaves any earlier file of that name untouched.
// The result says why it failed, naming the path. Needs no QGuiApplication; any thread.

#include <string>

namespace hlx::charts {

class RgbImage;

struct PngResult {
    bool ok = false;
    std::string message;  // empty when ok

    explicit operator bool() const { return ok; }
};

[[nodiscard]] PngResult saveChartPng(const charts::RgbImage& image, const std::string& path);

}  // namespace hlx::charts
