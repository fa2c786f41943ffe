// Fuzz target for the settings file: parsing arbitrary bytes must never fail, writing the result out and
// parsing that again must give the same file (so a damaged or foreign file settles after one save), and
// loading the settings from whatever was parsed, then saving them, must work on any input.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/registry_file.h"
#include "app/settings_store.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace hlx::app;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    RegistryFile file = RegistryFile::parse(bytes);
    const std::string first = file.serialise();
    const std::string second = RegistryFile::parse(first).serialise();
    if (second != first) std::abort();

    SettingsValues values;
    loadSettings(file, values);
    saveSettings(file, values);
    SettingsValues reloaded;
    loadSettings(RegistryFile::parse(file.serialise()), reloaded);
    if (reloaded.comSetting != values.comSetting || reloaded.comNumber != values.comNumber ||
        reloaded.sendFiles != values.sendFiles || reloaded.firmwareFile != values.firmwareFile)
        std::abort();
    return 0;
}
