#pragma once
// Registry: the registry's notions below HKEY_CURRENT_USER as the settings need them: keys (tested,
// created), and string and 32-bit values in them. Key paths are given as the registry functions take them
// below the hive, with a leading backslash ("\QUENDAL\RTQ1.0\COMNO"); key paths and value names are
// compared without regard to ASCII case. A value of another type than the one asked for reads as nothing.
//
// Two stores implement it: RegistryFile, a .reg file held in memory (Linux), and Win32Registry, the real
// hive (Windows). loadSettings and saveSettings are written once against this interface, so both stores
// keep the same keys, value names and types, and a .reg export of one imports into the other.
//
// Writes report nothing here: a store whose write fails keeps its first failure and skips every later
// write (Win32Registry::failure), so a failed write probe leaves everything else unwritten.
//
// Threads: an object is used by one thread.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace hlx::app {

class Registry {
public:
    virtual ~Registry() = default;

    virtual bool keyExists(std::string_view keyPath) const = 0;
    // Creates the key if it does not exist yet; an existing key is left as it is.
    virtual void createKey(std::string_view keyPath) = 0;

    virtual std::optional<std::string> readString(std::string_view keyPath,
                                                  std::string_view valueName) const = 0;
    virtual std::optional<std::uint32_t> readDword(std::string_view keyPath,
                                                   std::string_view valueName) const = 0;

    // Creates the key if needed and sets the value, replacing a value of the same name and any type.
    virtual void writeString(std::string_view keyPath, std::string_view valueName, std::string_view text) = 0;
    virtual void writeDword(std::string_view keyPath, std::string_view valueName, std::uint32_t number) = 0;
};

}  // namespace hlx::app
