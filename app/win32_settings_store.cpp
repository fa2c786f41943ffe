// SettingsStore over the real registry (Windows): see app/settings_store.h and app/win32_registry.h.

#include "app/settings_store.h"
#include "app/win32_registry.h"

namespace hlx::app {

std::string SettingsStore::defaultPath() {
    return "HKEY_CURRENT_USER";
}

SettingsStore::SettingsStore(std::string path, base::FileSystem& files)
    : m_path(std::move(path)), m_files(files) {}

void SettingsStore::load(SettingsValues& values) const {
    const Win32Registry hive(m_path);
    loadSettings(hive, values);
}

base::Status SettingsStore::save(const SettingsValues& values) {
    Win32Registry hive(m_path);
    if (!hive.failure()) return hive.failure();
    saveSettings(hive, values);
    if (!hive.failure())
        return base::Status::error("Cannot write the settings to the registry: " + hive.failure().message());
    return base::Status::ok();
}

}  // namespace hlx::app
