#include "base/user_folders.h"

#include <cerrno>

#include "base/system.h"

namespace hlx::base {

Status makeFolders(const std::string& folder, FileSystem& files) {
    // Each folder on the way below the root ("/", "C:\", "\\server\share\"), the last one too.
    const std::size_t root = rootLength(folder);
    for (std::size_t pos = root; pos <= folder.size(); ++pos) {
        if (pos < folder.size() && !isPathSeparator(folder[pos])) continue;
        if (pos == 0 || isPathSeparator(folder[pos - 1])) continue;  // "a//b": nothing between
        if (Status s = files.createFolder(folder.substr(0, pos), 0700); !s && !s.isAlreadyExists()) return s;
    }
    FileInfo info;
    if (Status s = files.info(folder, info); !s) return s;
    return info.kind == FileKind::Folder ? Status::ok() : systemError(ENOTDIR);
}

}  // namespace hlx::base
