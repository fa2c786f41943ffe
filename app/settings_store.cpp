#include "app/settings_store.h"

#include <cassert>

#include "app/registry.h"

namespace hlx::app {
namespace {

void loadString(const Registry& store, SettingKind kind, int fileNumber, std::string& field) {
    const std::string path = settingPath(kind, fileNumber);
    if (!store.keyExists(path)) return;
    field = store.readString(path, path).value_or(std::string{});
}

void saveString(Registry& store, SettingKind kind, int fileNumber, const std::string& text) {
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

void loadSettings(const Registry& store, SettingsValues& values) {
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

void saveSettings(Registry& store, const SettingsValues& values) {
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

}  // namespace hlx::app
