#include "app/settings_store.h"

#include <cassert>
#include <cerrno>

#include "app/registry_file.h"
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

void loadString(const RegistryFile& store, SettingKind kind, int fileNumber, std::string& field) {
    const std::string path = settingPath(kind, fileNumber);
    if (!store.keyExists(path)) return;
    field = store.readString(path, path).value_or(std::string{});
}

void saveString(RegistryFile& store, SettingKind kind, int fileNumber, const std::string& text) {
    const std::string path = settingPath(kind, fileNumber);
    store.createKey(path);
    store.writeString(path, path, text);
}

}  // namespace

std::string settingPath(SettingKind kind, int fileNumber) {
    const auto index = static_cast<std::size_t>(kind);
    assert(index < kSettings.size());
    std::string path(kSettingsBasePath);
    if (index >= kSettings.size()) return path;
    path += kSettings[index].name;
    if (kind == SettingKind::SendFile) path += std::to_string(fileNumber);
    return path;
}

void loadSettings(const RegistryFile& store, SettingsValues& values) {
    loadString(store, SettingKind::FirmwareFile, 0, values.firmwareFile);
    loadString(store, SettingKind::FirmwareFileRealterm, 0, values.firmwareFileRealterm);
    loadString(store, SettingKind::FirmwareFileBootLoader, 0, values.firmwareFileBootLoader);
    loadString(store, SettingKind::ComNumber, 0, values.comNumber);
    const std::string comSetting = settingPath(SettingKind::ComSetting);
    if (store.keyExists(comSetting)) {
        if (const std::optional<std::uint32_t> index = store.readDword(comSetting, comSetting))
            values.comSetting = static_cast<std::int32_t>(*index);  // 0xffffffff: no entry selected
    }
    for (int number = 1; number <= kSendFileCount; ++number)
        loadString(store, SettingKind::SendFile, number, values.sendFiles[number - 1]);
}

void saveSettings(RegistryFile& store, const SettingsValues& values) {
    const std::string probe = settingPath(SettingKind::RegistryAccessCheck);
    store.createKey(probe);
    store.writeDword(probe, probe, 1);
    saveString(store, SettingKind::FirmwareFile, 0, values.firmwareFile);
    saveString(store, SettingKind::FirmwareFileRealterm, 0, values.firmwareFileRealterm);
    saveString(store, SettingKind::FirmwareFileBootLoader, 0, values.firmwareFileBootLoader);
    saveString(store, SettingKind::ComNumber, 0, values.comNumber);
    const std::string comSetting = settingPath(SettingKind::ComSetting);
    store.createKey(comSetting);
    store.writeDword(comSetting, comSetting, static_cast<std::uint32_t>(values.comSetting));
    for (int number = 1; number <= kSendFileCount; ++number)
        saveString(store, SettingKind::SendFile, number, values.sendFiles[number - 1]);
}

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
