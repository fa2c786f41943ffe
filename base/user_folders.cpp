#include "base/user_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace hlx::base {

std::string homeFolder() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr)
        return found->pw_dir;
    return ".";
}

std::string userFolder(const char* variable, const char* fallbackBelowHome) {
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] == '/') return value;
    return homeFolder() + "/" + fallbackBelowHome;
}

Status makeFolders(const std::string& folder, FileSystem& files) {
    for (std::size_t pos = 1;; ++pos) {
        pos = folder.find('/', pos);
        const std::string prefix = folder.substr(0, pos);
        if (Status s = files.createFolder(prefix, 0700); !s && !s.isAlreadyExists()) return s;
        if (pos == std::string::npos) break;
    }
    FileInfo info;
    if (Status s = files.info(folder, info); !s) return s;
    return info.kind == FileKind::Folder ? Status::ok() : systemError(ENOTDIR);
}

}  // namespace hlx::base
