#include "base/user_folders.h"

#ifdef _WIN32
#include <windows.h>

#include "base/win32_system.h"
#else
#include <pwd.h>
#include <unistd.h>
#endif

#include <cctype>
#include <cstdlib>
#include <vector>

namespace hlx::base {
namespace {

bool isAbsolute(const char* path) {
#ifdef _WIN32
    // "C:\..." or "C:/...", or a share "\\server\..."
    return (std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
            (path[2] == '\\' || path[2] == '/')) ||
           (path[0] == '\\' && path[1] == '\\');
#else
    return path[0] == '/';
#endif
}

}  // namespace

std::string homeFolder() {
#ifdef _WIN32
    // Windows: the user's profile folder.
    for (const char* variable : {"USERPROFILE", "HOME"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') return value;
    }
    return ".";
#else
    const char* home = std::getenv("HOME");
    if (home != nullptr && *home != '\0') return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr)
        return found->pw_dir;
    return ".";
#endif
}

std::string userFolder(const char* variable, const char* fallbackBelowHome) {
    const char* value = std::getenv(variable);
    if (value != nullptr && isAbsolute(value)) return value;
#ifdef _WIN32
    // Windows keeps a user's program data in the local application data folder.
    if (const char* local = std::getenv("LOCALAPPDATA"); local != nullptr && isAbsolute(local)) return local;
#endif
    return homeFolder() + "/" + fallbackBelowHome;
}

std::string programFolder() {
#ifdef _WIN32
    std::wstring path(32768, L'\0');
    const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0 || length >= path.size()) return {};
    path.resize(length);
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::string() : narrow(std::wstring_view(path).substr(0, slash));
#else
    std::vector<char> path(4096);
    const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) return {};
    const std::string file(path.data(), static_cast<std::size_t>(length));
    const std::size_t slash = file.rfind('/');
    return slash == std::string::npos ? std::string() : file.substr(0, slash == 0 ? 1 : slash);
#endif
}

Status makeFolders(const std::string& folder, FileSystem& files) {
    for (std::size_t pos = 1;; ++pos) {
        pos = folder.find_first_of(kPathSeparators, pos);
        const std::string prefix = folder.substr(0, pos);
        if (Status s = files.createFolder(prefix, 0700); !s && !s.isAlreadyExists()) {
            // A drive ("C:") or a share's root cannot be created but is there: only a missing folder counts.
            FileInfo info;
            if (pos == std::string::npos || !files.info(prefix, info).isOk() || info.kind != FileKind::Folder)
                return s;
        }
        if (pos == std::string::npos) break;
    }
    FileInfo info;
    if (Status s = files.info(folder, info); !s) return s;
    return info.kind == FileKind::Folder ? Status::ok() : systemError(ENOTDIR);
}

}  // namespace hlx::base
