#pragma once
// SettingsStore: the per-user memory of the main window's controls (COM number, COM settings entry, the
// three firmware files and the six send files), read once when the window is built and written once when
// it closes.
//
// The settings live where the registry keeps them on Windows, below HKEY_CURRENT_USER "\QUENDAL\RTQ1.0\":
// every setting has a key of its own ("\QUENDAL\RTQ1.0\COMNO"), and inside it one value whose name is
// that same path text, backslashes included. loadSettings and saveSettings do this against the Registry
// interface; SettingsStore chooses the store of the system:
// - Linux (app/reg_file_settings_store.cpp): the hive is a file in the registry's export format (see
//   RegistryFile), at $XDG_CONFIG_HOME/QUENDAL/RTQ1.0.reg, else $HOME/.config/QUENDAL/RTQ1.0.reg, so it
//   can be read by a person and imported on Windows.
// - Windows (app/win32_settings_store.cpp): the real registry (Win32Registry); the store's "path" names
//   the key that stands for the hive, "HKEY_CURRENT_USER" unless a test gives a key below it.
//
// Loading: a missing or unreadable file (or hive) is a first start and leaves every value as it is; a
// missing key leaves its value as it is; a key without its string value (or with a value of another type)
// reads as empty text. A COMSETTING key without a 32-bit value leaves the entry as it is: an index cannot
// be "empty", and a stray value should not unselect the technician's entry. 0xffffffff reads as -1.
//
// Saving writes every setting every time, after the write probe REGISTRYACCESSCHECK = 1, and never removes
// a key; keys and values of the existing file that are not ours are kept. The file is replaced at once
// (temporary file in the same folder, fsync, rename), so a failure part way leaves the previous file
// whole: if the folder cannot be created or no file can be made in it (the probe fails), or the existing
// file cannot be read, nothing is written and the Status says why. In the registry, a failed probe writes
// nothing else, and a failed later write stops the save there; the Status names the key and the reason.
//
// Threads: load and save run on the user-interface thread; the object holds only the path and the file
// system it reaches the file through, which must outlive it.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/file_system.h"
#include "base/status.h"

namespace hlx::app {

class Registry;

enum class SettingKind : int {
    RegistryAccessCheck = 0,
    FirmwareFile = 1,
    FirmwareFileRealterm = 2,
    FirmwareFileBootLoader = 3,
    ComNumber = 4,
    ComSetting = 5,
    SendFile = 6,  // with the file number 1 ... 6
};

enum class SettingType { Dword, String };

struct SettingInfo {
    SettingKind kind;
    std::string_view name;  // appended to kSettingsBasePath; SendFile also gets the file number
    SettingType type;
};

inline constexpr std::string_view kSettingsBasePath = "\\QUENDAL\\RTQ1.0\\";
inline constexpr int kSendFileCount = 6;

// Indexed by the SettingKind's value.
inline constexpr std::array<SettingInfo, 7> kSettings{{
    {SettingKind::RegistryAccessCheck, "REGISTRYACCESSCHECK", SettingType::Dword},
    {SettingKind::FirmwareFile, "FWFILE", SettingType::String},
    {SettingKind::FirmwareFileRealterm, "FWFILE_RT", SettingType::String},
    {SettingKind::FirmwareFileBootLoader, "FWFILE_BL", SettingType::String},
    {SettingKind::ComNumber, "COMNO", SettingType::String},
    {SettingKind::ComSetting, "COMSETTING", SettingType::Dword},
    {SettingKind::SendFile, "SENDFILES", SettingType::String},
}};

// "\QUENDAL\RTQ1.0\FWFILE", "\QUENDAL\RTQ1.0\SENDFILES4" (fileNumber 1 ... 6 counts only for SendFile).
// The same text is the key path and the value name.
std::string settingPath(SettingKind kind, int fileNumber = 0);

// The controls' values. What the controls show before any settings are loaded is the window's business
// (the COM number field starts with "1"); a value the file lacks leaves its control as it was.
struct SettingsValues {
    std::string firmwareFile;
    std::string firmwareFileRealterm;
    std::string firmwareFileBootLoader;
    std::string comNumber;
    int comSetting = -1;  // item index of the COM settings box, -1 for none
    std::array<std::string, kSendFileCount> sendFiles;
};

// The load and save steps on a store already in memory, in the order of the registry version: FWFILE,
// FWFILE_RT, FWFILE_BL, COMNO, COMSETTING, SENDFILES1 ... 6 (save: after the probe).
void loadSettings(const Registry& store, SettingsValues& values);
void saveSettings(Registry& store, const SettingsValues& values);

class SettingsStore {
public:
    // Linux: $XDG_CONFIG_HOME/QUENDAL/RTQ1.0.reg when that variable holds an absolute path, else
    // $HOME/.config/QUENDAL/RTQ1.0.reg (the home folder from the user database when HOME is unset).
    // Windows: "HKEY_CURRENT_USER".
    static std::string defaultPath();

    explicit SettingsStore(std::string path, base::FileSystem& files = base::systemFileSystem());
    const std::string& path() const { return m_path; }

    // Overwrites the fields that have a stored setting; see above for what is left unchanged.
    void load(SettingsValues& values) const;
    // Writes all settings; on failure nothing has changed on disk.
    base::Status save(const SettingsValues& values);

private:
    std::string m_path;
    base::FileSystem& m_files;
};

}  // namespace hlx::app
