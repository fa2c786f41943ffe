// The user's folders on Linux: the XDG base-directory variables, else the folders below $HOME.

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "base/user_folders.h"

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

}  // namespace hlx::base
