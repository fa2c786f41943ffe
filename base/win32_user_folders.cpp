// The user's folders on Windows: the profile folder (%USERPROFILE%) is the home folder, and what Linux
// keeps in the XDG folders (state such as the job log, configuration, caches) goes to the user's local
// application data (%LOCALAPPDATA%, C:\Users\NAME\AppData\Local), which stays on this PC rather than
// roaming with the profile. An XDG variable that holds an absolute path still counts, as on Linux.
// Environment texts are read in UTF-16 and handed on as UTF-8.

#include <windows.h>

#include "base/system.h"
#include "base/user_folders.h"
#include "base/win32_system.h"

namespace hlx::base {
namespace {

// The variable's value, or empty when it is not set.
std::string environment(const char* name) {
    const std::wstring wide = widen(name);
    const DWORD size = ::GetEnvironmentVariableW(wide.c_str(), nullptr, 0);
    if (size == 0) return {};
    std::wstring value(size, L'\0');
    const DWORD length = ::GetEnvironmentVariableW(wide.c_str(), value.data(), size);
    if (length == 0 || length >= size) return {};
    value.resize(length);
    return narrow(value);
}

bool isAbsolute(const std::string& path) {
    return rootLength(path) >= 3 ||
           (path.size() >= 2 && isPathSeparator(path[0]) && isPathSeparator(path[1]));
}

}  // namespace

std::string homeFolder() {
    if (std::string profile = environment("USERPROFILE"); !profile.empty()) return profile;
    const std::string drive = environment("HOMEDRIVE");
    const std::string path = environment("HOMEPATH");
    if (!drive.empty() && !path.empty()) return drive + path;
    return ".";
}

std::string userFolder(const char* variable, const char* /*fallbackBelowHome*/) {
    if (std::string value = environment(variable); isAbsolute(value)) return value;
    if (std::string local = environment("LOCALAPPDATA"); isAbsolute(local)) return local;
    return homeFolder() + "\\AppData\\Local";
}

}  // namespace hlx::base
