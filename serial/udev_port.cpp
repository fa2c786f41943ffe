#include "serial/udev_port.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace hlx::serial {
namespace {

constexpr std::string_view kByIdFolder = "/dev/serial/by-id/";

std::string valueOf(const std::map<std::string, std::string>& values, const std::string& key) {
    const auto it = values.find(key);
    return it == values.end() ? std::string() : it->second;
}

std::string trimmed(std::string text) {
    const auto isSpace = [](unsigned char c) { return std::isspace(c) != 0; };
    while (!text.empty() && isSpace(static_cast<unsigned char>(text.back()))) text.pop_back();
    const auto first = std::find_if_not(text.begin(), text.end(), [&](char c) { return isSpace(c); });
    text.erase(text.begin(), first);
    return text;
}

std::string joined(const std::string& first, const std::string& second) {
    if (first.empty()) return second;
    if (second.empty()) return first;
    return first + " " + second;
}

// ttyS<digits>: the digits' value, else -1.
int ttySNumber(const std::string& sysname) {
    constexpr std::string_view kPrefix = "ttyS";
    if (sysname.size() <= kPrefix.size() || sysname.compare(0, kPrefix.size(), kPrefix) != 0) return -1;
    int value = 0;
    for (std::size_t i = kPrefix.size(); i < sysname.size(); ++i) {
        const char c = sysname[i];
        if (c < '0' || c > '9' || value > 100'000) return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string driverOf(const UdevTty& tty) {
    for (const UdevDevice& parent : tty.parents)
        if (!parent.driver.empty() && parent.subsystem != "serial-base") return parent.driver;
    return valueOf(tty.properties, "ID_USB_DRIVER");
}

// The maker's string from the properties: the encoded form keeps spaces and punctuation, the database
// form is the registered name when the device itself has none.
std::string propertyString(const UdevTty& tty, const std::string& encodedKey,
                           const std::string& databaseKey) {
    std::string text = trimmed(decodeUdevString(valueOf(tty.properties, encodedKey)));
    return text.empty() ? trimmed(valueOf(tty.properties, databaseKey)) : text;
}

void fillUsb(const UdevTty& tty, PortInfo& info) {
    const auto usbDevice = std::find_if(tty.parents.begin(), tty.parents.end(), [](const UdevDevice& d) {
        return d.subsystem == "usb" && d.devtype == "usb_device";
    });
    if (usbDevice != tty.parents.end()) {
        info.usbVendorId = trimmed(valueOf(usbDevice->attributes, "idVendor"));
        info.usbProductId = trimmed(valueOf(usbDevice->attributes, "idProduct"));
        info.description = joined(trimmed(valueOf(usbDevice->attributes, "manufacturer")),
                                  trimmed(valueOf(usbDevice->attributes, "product")));
        info.usbSerial = trimmed(valueOf(usbDevice->attributes, "serial"));
    }
    if (info.usbSerial.empty()) info.usbSerial = trimmed(valueOf(tty.properties, "ID_SERIAL_SHORT"));
    if (info.usbVendorId.empty()) info.usbVendorId = valueOf(tty.properties, "ID_VENDOR_ID");
    if (info.usbProductId.empty()) info.usbProductId = valueOf(tty.properties, "ID_MODEL_ID");
    if (info.description.empty())
        info.description = joined(propertyString(tty, "ID_VENDOR_ENC", "ID_VENDOR_FROM_DATABASE"),
                                  propertyString(tty, "ID_MODEL_ENC", "ID_MODEL_FROM_DATABASE"));
}

}  // namespace

std::string decodeUdevString(const std::string& encoded) {
    const auto hexValue = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string text;
    text.reserve(encoded.size());
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (encoded[i] == '\\' && i + 3 < encoded.size() && encoded[i + 1] == 'x') {
            const int high = hexValue(encoded[i + 2]);
            const int low = hexValue(encoded[i + 3]);
            if (high >= 0 && low >= 0) {
                text += static_cast<char>(high * 16 + low);
                i += 3;
                continue;
            }
        }
        text += encoded[i];
    }
    return text;
}

bool portNameLess(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    std::size_t j = 0;
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            std::size_t iEnd = i;
            std::size_t jEnd = j;
            while (iEnd < a.size() && a[iEnd] == '0') ++iEnd;
            while (jEnd < b.size() && b[jEnd] == '0') ++jEnd;
            const std::size_t iStart = iEnd;
            const std::size_t jStart = jEnd;
            while (iEnd < a.size() && digit(a[iEnd])) ++iEnd;
            while (jEnd < b.size() && digit(b[jEnd])) ++jEnd;
            const std::string_view x(a.data() + iStart, iEnd - iStart);
            const std::string_view y(b.data() + jStart, jEnd - jStart);
            if (x.size() != y.size()) return x.size() < y.size();
            if (x != y) return x < y;
            i = iEnd;
            j = jEnd;
        } else {
            if (a[i] != b[j]) return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

std::optional<PortInfo> portFromUdev(const UdevTty& tty) {
    if (tty.devnode.empty()) return std::nullopt;
    const bool bluetooth = tty.sysname.rfind("rfcomm", 0) == 0;
    if (tty.parents.empty() && !bluetooth) return std::nullopt;
    const int ttyS = ttySNumber(tty.sysname);
    if (ttyS >= 0 && trimmed(valueOf(tty.attributes, "type")) == "0") return std::nullopt;

    PortInfo info;
    info.device = tty.devnode;
    info.comNumber = ttyS >= 0 ? ttyS + 1 : 0;
    info.driver = driverOf(tty);
    fillUsb(tty, info);
    std::vector<std::string> links = tty.devlinks;
    std::sort(links.begin(), links.end());
    for (const std::string& link : links) {
        if (link.size() > kByIdFolder.size() && link.compare(0, kByIdFolder.size(), kByIdFolder) == 0) {
            info.byId = link;
            break;
        }
    }
    return info;
}

}  // namespace hlx::serial
