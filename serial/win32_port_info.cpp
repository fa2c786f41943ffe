#include "serial/win32_port_info.h"

#include <algorithm>
#include <cctype>
#include <set>

namespace hlx::serial {
namespace {

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// The four hex digits after key ("VID_") in an upper-cased hardware id, lower-cased; empty when absent.
std::string idAfter(const std::string& id, const std::string& key) {
    const std::size_t at = id.find(key);
    if (at == std::string::npos || at + key.size() + 4 > id.size()) return {};
    std::string digits = id.substr(at + key.size(), 4);
    if (!std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isxdigit(c) != 0; }))
        return {};
    for (char& c : digits) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return digits;
}

}  // namespace

int comNumberOf(const std::string& name) {
    const std::string text = upper(name);
    if (text.size() < 4 || text.compare(0, 3, "COM") != 0) return 0;
    long long number = 0;
    for (std::size_t i = 3; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return 0;
        number = number * 10 + (text[i] - '0');
        if (number > 0x7FFFFFFF) return 0;
    }
    return static_cast<int>(number);
}

std::optional<PortInfo> portFromWindows(const WindowsPort& port) {
    const int number = comNumberOf(port.portName);
    if (number < 1) return std::nullopt;
    PortInfo info;
    info.device = "COM" + std::to_string(number);
    info.comNumber = number;
    info.driver = port.service;
    info.description = port.friendlyName.empty() ? port.manufacturer : port.friendlyName;
    for (const std::string& id : port.hardwareIds) {
        const std::string text = upper(id);
        std::string vendor = idAfter(text, "VID_");
        std::string product = idAfter(text, "PID_");
        if (vendor.empty() || product.empty()) continue;
        info.usbVendorId = std::move(vendor);
        info.usbProductId = std::move(product);
        break;
    }
    info.accessible = true;
    return info;
}

std::vector<PortInfo> mergePorts(const std::vector<WindowsPort>& setupApi,
                                 const std::vector<std::string>& registryNames) {
    std::vector<PortInfo> ports;
    std::set<int> seen;
    for (const WindowsPort& port : setupApi) {
        std::optional<PortInfo> info = portFromWindows(port);
        if (!info || !seen.insert(info->comNumber).second) continue;
        ports.push_back(std::move(*info));
    }
    for (const std::string& name : registryNames) {
        std::optional<PortInfo> info = portFromWindows(WindowsPort{name, {}, {}, {}, {}});
        if (!info || !seen.insert(info->comNumber).second) continue;
        ports.push_back(std::move(*info));
    }
    std::sort(ports.begin(), ports.end(),
              [](const PortInfo& a, const PortInfo& b) { return a.comNumber < b.comNumber; });
    return ports;
}

}  // namespace hlx::serial
