#include "serial/port_list.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace hlx::serial {
namespace fs = std::filesystem;
namespace {

std::string readLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == '\n' || line.back() == ' ')) line.pop_back();
    return line;
}

bool isSerialName(const std::string& name) {
    static const char* const kPrefixes[] = {"ttyS", "ttyUSB", "ttyACM", "ttyAMA", "ttyXRUSB", "rfcomm", "ttyO"};
    return std::any_of(std::begin(kPrefixes), std::end(kPrefixes),
                       [&](const char* p) { return name.rfind(p, 0) == 0; });
}

// Walks up from the tty's device to the USB device that carries idVendor.
void fillUsb(const fs::path& deviceLink, PortInfo& info) {
    std::error_code ec;
    fs::path dir = fs::canonical(deviceLink, ec);
    for (int depth = 0; !ec && depth < 6 && !dir.empty() && dir != dir.root_path(); ++depth, dir = dir.parent_path()) {
        if (fs::exists(dir / "idVendor", ec)) {
            info.usbVendorId = readLine(dir / "idVendor");
            info.usbProductId = readLine(dir / "idProduct");
            std::string maker = readLine(dir / "manufacturer");
            std::string product = readLine(dir / "product");
            info.description = maker.empty() ? product : (product.empty() ? maker : maker + " " + product);
            return;
        }
    }
}

}  // namespace

std::string PortInfo::fieldText() const {
    if (comNumber > 0) return std::to_string(comNumber);
    return byId.empty() ? device : byId;
}

std::vector<PortInfo> listSerialPorts(const std::string& sysRoot, const std::string& devRoot) {
    std::vector<PortInfo> ports;
    std::error_code ec;
    const fs::path ttyClass = fs::path(sysRoot) / "class/tty";
    for (const fs::directory_entry& entry : fs::directory_iterator(ttyClass, ec)) {
        const std::string name = entry.path().filename().string();
        if (!isSerialName(name)) continue;
        const fs::path deviceLink = entry.path() / "device";
        if (!fs::exists(deviceLink, ec)) continue;
        PortInfo info;
        info.device = (fs::path(devRoot) / name).string();
        info.driver = fs::read_symlink(deviceLink / "driver", ec).filename().string();
        if (ec) info.driver.clear();
        // An 8250 slot without a UART behind it reports type 0.
        if (name.rfind("ttyS", 0) == 0) {
            const std::string type = readLine(entry.path() / "type");
            if (type == "0") continue;
            info.comNumber = std::atoi(name.c_str() + 4) + 1;
        }
        fillUsb(deviceLink, info);
        info.accessible = ::access(info.device.c_str(), R_OK | W_OK) == 0;
        ports.push_back(std::move(info));
    }
    // Stable names: /dev/serial/by-id/* are links to ../../ttyUSB0 and the like.
    for (const fs::directory_entry& link : fs::directory_iterator(fs::path(devRoot) / "serial/by-id", ec)) {
        std::error_code lec;
        const fs::path target = fs::read_symlink(link.path(), lec);
        if (lec) continue;
        const std::string targetName = target.filename().string();
        for (PortInfo& p : ports)
            if (fs::path(p.device).filename() == targetName) p.byId = link.path().string();
    }
    std::sort(ports.begin(), ports.end(), [](const PortInfo& a, const PortInfo& b) { return a.device < b.device; });
    return ports;
}

}  // namespace hlx::serial
