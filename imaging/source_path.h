#pragma once
// The names of a conversion's three output files, made from the source bitmap's path:
//
//   D:\bilder\logo.bmp   gives D:\bilder\vxc_logo.c, D:\bilder\vxc_logo.vxc and D:\bilder\vxc_logo.bmp
//   /home/t/logo.bmp     gives /home/t/vxc_logo.c, /home/t/vxc_logo.vxc and /home/t/vxc_logo.bmp
//
// splitSourcePath first cuts the path at its last full stop, wherever that is, so that the output names
// are the ones every earlier conversion gave: a path whose folder has a full stop while the file name has
// none (/home/t/v1.2/logo) is cut in the folder, to /home/t/v1, which gives the name "v1" in /home/t. The
// rest is split at its last separator; "\" and "/" both separate, and the output names use the separator
// found there, so the files land next to the source (also for a source in the root folder). Without a
// separator the name is the whole rest and the outputs are bare names, next to a source given as a bare
// name.

#include <string>
#include <string_view>

namespace hlx::imaging {

struct SourcePathParts {
    std::string name;       // base name without extension
    std::string directory;  // without its trailing separator; empty for a bare name and for the root
    char separator = 0;     // the separator after directory; 0 when the path has none

    // The folder the output names start with: directory and separator ("/" for the root, "" for none).
    std::string outputFolder() const;
};

SourcePathParts splitSourcePath(std::string_view path);

struct OutputPaths {
    std::string cSource;  // folder + "vxc_" + name + ".c"
    std::string vxc;      // folder + "vxc_" + name + ".vxc"
    std::string preview;  // folder + "vxc_" + name + ".bmp"
};

OutputPaths outputPathsFor(const SourcePathParts& source);

}  // namespace hlx::imaging
