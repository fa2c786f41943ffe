// listSerialPorts on Windows: the present devices of the "Ports (COM & LPT)" setup class through SetupAPI
// (COM name, friendly name, maker, driver service, hardware ids), joined by the registry's list of serial
// devices for ports that have no Plug and Play device. The mapping is in serial/win32_port_info.h.

#include <windows.h>

#include <setupapi.h>

#include <vector>

#include "base/win32_system.h"
#include "serial/port_list.h"
#include "serial/win32_port_info.h"

namespace hlx::serial {
namespace {

// GUID_DEVCLASS_PORTS, the setup class of serial and parallel ports.
constexpr GUID kPortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

// A REG_SZ or REG_MULTI_SZ property as its strings (one for REG_SZ).
std::vector<std::string> property(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD which) {
    DWORD type = 0;
    DWORD size = 0;
    ::SetupDiGetDeviceRegistryPropertyW(set, &device, which, &type, nullptr, 0, &size);
    if (size == 0 || (type != REG_SZ && type != REG_MULTI_SZ)) return {};
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 2, L'\0');
    if (!::SetupDiGetDeviceRegistryPropertyW(set, &device, which, &type,
                                             reinterpret_cast<BYTE*>(buffer.data()), size, nullptr))
        return {};
    std::vector<std::string> strings;
    for (const wchar_t* p = buffer.data(); *p != L'\0'; p += std::wcslen(p) + 1) {
        strings.push_back(base::narrow(p));
        if (type == REG_SZ) break;
    }
    return strings;
}

std::string first(const std::vector<std::string>& strings) {
    return strings.empty() ? std::string() : strings.front();
}

// A string value of an open key; empty when it is missing or not a string.
std::string stringValue(HKEY key, const wchar_t* name) {
    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_SZ)
        return {};
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size) !=
        ERROR_SUCCESS)
        return {};
    return base::narrow(buffer.data());
}

std::vector<WindowsPort> setupApiPorts() {
    std::vector<WindowsPort> ports;
    HDEVINFO set = ::SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return ports;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD index = 0; ::SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        WindowsPort port;
        HKEY key = ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key != INVALID_HANDLE_VALUE) {
            port.portName = stringValue(key, L"PortName");
            ::RegCloseKey(key);
        }
        port.friendlyName = first(property(set, device, SPDRP_FRIENDLYNAME));
        port.manufacturer = first(property(set, device, SPDRP_MFG));
        port.service = first(property(set, device, SPDRP_SERVICE));
        port.hardwareIds = property(set, device, SPDRP_HARDWAREID);
        ports.push_back(std::move(port));
    }
    ::SetupDiDestroyDeviceInfoList(set);
    return ports;
}

std::vector<std::string> registryPorts() {
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256;
        wchar_t data[64];
        DWORD dataSize = sizeof data - sizeof(wchar_t);
        DWORD type = 0;
        const LONG r = ::RegEnumValueW(key, index, name, &nameLength, nullptr, &type,
                                       reinterpret_cast<BYTE*>(data), &dataSize);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS || type != REG_SZ) continue;
        data[dataSize / sizeof(wchar_t)] = L'\0';
        names.push_back(base::narrow(data));
    }
    ::RegCloseKey(key);
    return names;
}

}  // namespace

std::vector<PortInfo> listSerialPorts() {
    return mergePorts(setupApiPorts(), registryPorts());
}

}  // namespace hlx::serial
