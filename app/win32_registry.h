#pragma once
// Win32Registry: the Registry interface over the real registry of Windows, below a root key that stands
// for HKEY_CURRENT_USER (the hive itself, or a key below it that a test uses instead).
//
// The settings' key paths ("\QUENDAL\RTQ1.0\COMNO") are taken relative to the root (the leading backslash
// dropped, as the registry functions want it); value names are used as they are, backslashes included.
// Strings are REG_SZ, read and written as UTF-16 and handed out as UTF-8; 32-bit values are REG_DWORD.
// Reading a string value of another type (or a REG_SZ read as a number) gives nothing, as in a .reg file.
//
// Writing: the first write that fails is kept as failure() and every later write is skipped, so the
// settings' write probe stops a save before anything else is written. Reading never writes.
//
// Threads: an object is used by one thread. Windows only.

#include <string>

#include "app/registry.h"
#include "base/status.h"

namespace hlx::app {

class Win32Registry : public Registry {
public:
    // rootPath: "HKEY_CURRENT_USER" or "HKEY_CURRENT_USER\Some\Key" (made when writing if missing).
    // Any other hive is refused: every read finds nothing and failure() says why.
    explicit Win32Registry(std::string rootPath);
    ~Win32Registry() override;
    Win32Registry(const Win32Registry&) = delete;
    Win32Registry& operator=(const Win32Registry&) = delete;

    bool keyExists(std::string_view keyPath) const override;
    void createKey(std::string_view keyPath) override;
    std::optional<std::string> readString(std::string_view keyPath,
                                          std::string_view valueName) const override;
    std::optional<std::uint32_t> readDword(std::string_view keyPath,
                                           std::string_view valueName) const override;
    void writeString(std::string_view keyPath, std::string_view valueName, std::string_view text) override;
    void writeDword(std::string_view keyPath, std::string_view valueName, std::uint32_t number) override;

    // ok, or the first write that failed ("HKEY_CURRENT_USER\QUENDAL\RTQ1.0\COMNO: Access is denied.").
    const base::Status& failure() const { return m_failure; }

private:
    std::wstring subKey(std::string_view keyPath) const;  // below HKEY_CURRENT_USER
    std::string displayName(std::string_view keyPath) const;
    bool writeValue(std::string_view keyPath, std::string_view valueName, unsigned long type,
                    const void* data, unsigned long size);

    std::string m_rootPath;
    std::wstring m_rootBelowHive;  // "" for the hive itself, else "Some\Key"
    bool m_validRoot = true;
    base::Status m_failure;
};

}  // namespace hlx::app
