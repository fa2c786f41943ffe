// SettingsStore over a .reg file (Linux): see app/settings_store.h.

#include "app/registry_file.h"
#include "app/settings_store.h"
#include "base/atomic_file.h"
#include "base/file_reader.h"
#include "base/user_folders.h"

namespace hlx::app {
namespace {

constexpr std::string_view kFolderName = "QUENDAL";
constexpr std::string_view kFileName = "RTQ1.0.reg";
// Far above any settings file; a larger file is not ours and is neither read nor replaced.
constexpr std::size_t kMaxFileSize = std::size_t{64} << 20;

// The whole file into out, without ever waiting on it (a FIFO or a device there is refused). NotFound:
// there is no file.
base::Status readWholeFile(const std::string& path, std::string& out, base::FileSystem& files) {
    return base::readRegularFile(path, out, kMaxFileSize, files).status;
}

}  // namespace

std::string SettingsStore::defaultPath() {
    std::string path = base::userFolder("XDG_CONFIG_HOME", ".config");
    path += '/';
    path += kFolderName;
    path += '/';
    path += kFileName;
    return path;
}

SettingsStore::SettingsStore(std::string path, base::FileSystem& files)
    : m_path(std::move(path)), m_files(files) {}

void SettingsStore::load(SettingsValues& values) const {
    std::string text;
    if (!readWholeFile(m_path, text, m_files)) return;  // none yet, or not readable: a first start
    loadSettings(RegistryFile::parse(text), values);
}

base::Status SettingsStore::save(const SettingsValues& values) {
    // A settings file that is a symbolic link (a managed dotfile) stays one: the file it points to is
    // replaced.
    const std::string target = m_files.resolveLink(m_path);
    std::string existing;
    if (base::Status read = readWholeFile(target, existing, m_files); !read && !read.isNotFound())
        return read.withContext("Cannot read the settings file, so it is left as it is");

    // The write probe: the folder must exist and take a new file, else nothing is written.
    const std::string folder = base::folderOf(target);
    if (base::Status s = base::makeFolders(folder, m_files); !s)
        return s.withContext("Cannot create the settings folder " + folder);
    base::FileReplacement replacement(target, 0600, m_files);
    if (!replacement.status())
        return replacement.status().withContext("Cannot write in the settings folder " + folder);

    RegistryFile store = RegistryFile::parse(existing);
    saveSettings(store, values);
    return replacement.commit(store.serialise()).withContext("Cannot write the settings file " + target);
}

}  // namespace hlx::app
