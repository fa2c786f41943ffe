#include "imaging/source_path.h"

namespace hlx::imaging {

std::string SourcePathParts::outputFolder() const {
    if (separator == 0) return {};
    return directory + separator;
}

SourcePathParts splitSourcePath(std::string_view path) {
    std::string_view rest = path;
    if (const auto stop = rest.rfind('.'); stop != std::string_view::npos) rest = rest.substr(0, stop);
    SourcePathParts parts;
    const auto cut = rest.find_last_of("\\/");
    if (cut == std::string_view::npos) {
        parts.name = std::string(rest);
        return parts;
    }
    parts.name = std::string(rest.substr(cut + 1));
    parts.directory = std::string(rest.substr(0, cut));
    parts.separator = rest[cut];
    return parts;
}

OutputPaths outputPathsFor(const SourcePathParts& source) {
    const std::string stem = source.outputFolder() + "vxc_" + source.name;
    return {stem + ".c", stem + ".vxc", stem + ".bmp"};
}

}  // namespace hlx::imaging
