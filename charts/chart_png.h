#pragma once
// Writing a chart bitmap as a PNG file, so charts can be looked at and compared outside the program.
//
// The file is written whole or not at all: the PNG is encoded in memory and replaced atomically (see
// base/atomic_file.h), so a failure (no such folder, no permission, disk full) leaves any earlier file of
// that name untouched. The Status says why, naming the path, and its kind. Needs no QGuiApplication; any
// thread.

#include <string>

#include "base/file_system.h"
#include "base/status.h"

namespace hlx::charts {

class RgbImage;

[[nodiscard]] base::Status saveChartPng(const charts::RgbImage& image, const std::string& path,
                                        base::FileSystem& files = base::systemFileSystem());

}  // namespace hlx::charts
