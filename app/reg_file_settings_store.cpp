// SettingsStore over a .reg file (Linux): see app/settings_store.h.

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "app/registry_file.h"
#include "app/settings_store.h"
#include "base/atomic_file.h"
#include "base/file_reader.h"

namespace hlx::app {
namespace {

constexpr std::string_view kFolderName = "QUENDAL";
constexpr std::string_view kFileName = "RTQ1.0.reg";
// Far above any settings file; a larger file is not ours and is neither read nor replaced.
constexpr std::size_t kMaxFileSize = std::size_t{64} << 20;

// The whole file into out, without ever waiting on it (a FIFO or a device there is refused). Returns 0 or
// the errno of the failure (ENOENT or ENOTDIR: there is no file).
int readWholeFile(const std::string& path, std::string& out) {
    const base::FileRead r = base::readRegularFile(path, out, kMaxFileSize);
    return r.status ? 0 : r.error;
}

bool isMissing(int err) {
    return err == ENOENT || err == ENOTDIR;
}

// Creates the folder and its missing parents, new ones private to the user. Returns 0 or an errno.
int makeFolders(const std::string& folder) {
    for (std::size_t pos = 1;; ++pos) {
        pos = folder.find('/', pos);
        const std::string prefix = folder.substr(0, pos);
        if (::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return errno;
        if (pos == std::string::npos) break;
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

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

}  // namespace

std::string SettingsStore::defaultPath() {
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    // Only an absolute XDG_CONFIG_HOME counts; an empty or relative one is ignored.
    std::string path =
        (configHome != nullptr && configHome[0] == '/') ? std::string(configHome) : homeFolder() + "/.config";
    path += '/';
    path += kFolderName;
    path += '/';
    path += kFileName;
    return path;
}

SettingsStore::SettingsStore(std::string path) : m_path(std::move(path)) {}

void SettingsStore::load(SettingsValues& values) const {
    std::string text;
    if (readWholeFile(m_path, text) != 0) return;  // none yet, or not readable: a first start
    loadSettings(RegistryFile::parse(text), values);
}

base::Status SettingsStore::save(const SettingsValues& values) {
    // A settings file that is a symbolic link (a managed dotfile) stays one: the file it points to is
    // replaced.
    const std::string target = base::resolveSymlink(m_path);
    std::string existing;
    const int readError = readWholeFile(target, existing);
    if (readError != 0 && !isMissing(readError))
        return base::systemError("Cannot read the settings file " + target + ", so it is left as it is",
                                 readError);

    // The write probe: the folder must exist and take a new file, else nothing is written.
    const std::string folder = base::folderOf(target);
    if (const int err = makeFolders(folder); err != 0)
        return base::systemError("Cannot create the settings folder " + folder, err);
    base::FileReplacement replacement(target, 0600);
    if (replacement.error() != 0)
        return base::systemError("Cannot write in the settings folder " + folder, replacement.error());

    RegistryFile store = RegistryFile::parse(existing);
    saveSettings(store, values);
    if (const int err = replacement.commit(store.serialise()); err != 0)
        return base::systemError("Cannot write the settings file " + target, err);
    return base::Status::ok();
}

}  // namespace hlx::app
