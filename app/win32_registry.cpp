#include "app/win32_registry.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "base/win32_system.h"

namespace hlx::app {
namespace {

constexpr std::string_view kHive = "HKEY_CURRENT_USER";

std::string_view withoutBackslashes(std::string_view path) {
    while (!path.empty() && path.front() == '\\') path.remove_prefix(1);
    while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    return path;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto fold = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

class Key {
public:
    Key() = default;
    ~Key() {
        if (m_key != nullptr) ::RegCloseKey(m_key);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;

    LONG open(const std::wstring& path, REGSAM access) {
        return ::RegOpenKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, access, &m_key);
    }
    LONG create(const std::wstring& path) {
        return ::RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 KEY_SET_VALUE | KEY_QUERY_VALUE, nullptr, &m_key, nullptr);
    }
    HKEY get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

// The value's type and bytes; nullopt when the key or the value is missing.
struct RawValue {
    DWORD type = REG_NONE;
    std::vector<BYTE> bytes;
};

std::optional<RawValue> queryValue(const std::wstring& key, std::string_view valueName) {
    Key k;
    if (k.open(key, KEY_QUERY_VALUE) != ERROR_SUCCESS) return std::nullopt;
    const std::wstring name = base::widen(valueName);
    RawValue value;
    for (int attempt = 0; attempt < 4; ++attempt) {  // the value may grow between the two calls
        DWORD size = 0;
        if (::RegQueryValueExW(k.get(), name.c_str(), nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS)
            return std::nullopt;
        value.bytes.resize(size);
        const LONG r =
            ::RegQueryValueExW(k.get(), name.c_str(), nullptr, &value.type, value.bytes.data(), &size);
        if (r == ERROR_MORE_DATA) continue;
        if (r != ERROR_SUCCESS) return std::nullopt;
        value.bytes.resize(size);
        return value;
    }
    return std::nullopt;
}

}  // namespace

Win32Registry::Win32Registry(std::string rootPath) : m_rootPath(std::move(rootPath)) {
    std::string_view root = withoutBackslashes(m_rootPath);
    const std::size_t slash = root.find('\\');
    const std::string_view hive = root.substr(0, slash);
    if (!equalsIgnoringCase(hive, kHive) && !equalsIgnoringCase(hive, "HKCU")) {
        m_validRoot = false;
        m_failure = base::Status::error(m_rootPath + ": the settings are kept below HKEY_CURRENT_USER only");
        return;
    }
    if (slash != std::string_view::npos)
        m_rootBelowHive = base::widen(withoutBackslashes(root.substr(slash)));
}

Win32Registry::~Win32Registry() = default;

std::wstring Win32Registry::subKey(std::string_view keyPath) const {
    const std::wstring below = base::widen(withoutBackslashes(keyPath));
    if (m_rootBelowHive.empty()) return below;
    if (below.empty()) return m_rootBelowHive;
    return m_rootBelowHive + L"\\" + below;
}

std::string Win32Registry::displayName(std::string_view keyPath) const {
    std::string name(withoutBackslashes(m_rootPath));
    const std::string_view below = withoutBackslashes(keyPath);
    if (!below.empty()) name += "\\" + std::string(below);
    return name;
}

bool Win32Registry::keyExists(std::string_view keyPath) const {
    if (!m_validRoot) return false;
    Key k;
    return k.open(subKey(keyPath), KEY_READ) == ERROR_SUCCESS;
}

void Win32Registry::createKey(std::string_view keyPath) {
    if (!m_validRoot || !m_failure) return;
    Key k;
    if (const LONG r = k.create(subKey(keyPath)); r != ERROR_SUCCESS)
        m_failure = base::windowsError(displayName(keyPath), static_cast<unsigned long>(r));
}

std::optional<std::string> Win32Registry::readString(std::string_view keyPath,
                                                     std::string_view valueName) const {
    if (!m_validRoot) return std::nullopt;
    const std::optional<RawValue> value = queryValue(subKey(keyPath), valueName);
    if (!value || value->type != REG_SZ) return std::nullopt;
    std::wstring text(value->bytes.size() / sizeof(wchar_t), L'\0');
    if (!text.empty()) std::memcpy(text.data(), value->bytes.data(), text.size() * sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();  // the closing NUL, when it was stored
    return base::narrow(text);
}

std::optional<std::uint32_t> Win32Registry::readDword(std::string_view keyPath,
                                                      std::string_view valueName) const {
    if (!m_validRoot) return std::nullopt;
    const std::optional<RawValue> value = queryValue(subKey(keyPath), valueName);
    if (!value || value->type != REG_DWORD || value->bytes.size() != sizeof(std::uint32_t))
        return std::nullopt;
    std::uint32_t number = 0;
    std::memcpy(&number, value->bytes.data(), sizeof number);
    return number;
}

bool Win32Registry::writeValue(std::string_view keyPath, std::string_view valueName, unsigned long type,
                               const void* data, unsigned long size) {
    if (!m_validRoot || !m_failure) return false;
    Key k;
    LONG r = k.create(subKey(keyPath));
    if (r == ERROR_SUCCESS)
        r = ::RegSetValueExW(k.get(), base::widen(valueName).c_str(), 0, type, static_cast<const BYTE*>(data),
                             size);
    if (r != ERROR_SUCCESS) {
        m_failure = base::windowsError(displayName(keyPath), static_cast<unsigned long>(r));
        return false;
    }
    return true;
}

void Win32Registry::writeString(std::string_view keyPath, std::string_view valueName, std::string_view text) {
    const std::wstring wide = base::widen(text);
    // With the closing NUL, as the registry functions expect of REG_SZ.
    writeValue(keyPath, valueName, REG_SZ, wide.c_str(),
               static_cast<unsigned long>((wide.size() + 1) * sizeof(wchar_t)));
}

void Win32Registry::writeDword(std::string_view keyPath, std::string_view valueName, std::uint32_t number) {
    writeValue(keyPath, valueName, REG_DWORD, &number, sizeof number);
}

}  // namespace hlx::app
