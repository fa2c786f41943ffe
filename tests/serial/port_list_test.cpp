// The port list: the mapping from what udev reports about a tty to a PortInfo, as a table of the adapters
// and kernels a technician meets (with and without a udev database), and a smoke test of the real
// enumeration on this machine, checked against sysfs read directly.

#include "serial/port_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "serial/udev_port.h"

namespace hlx::serial {

void PrintTo(const PortInfo& p, std::ostream* os) {
    *os << "{" << p.device << " byId=" << p.byId << " driver=" << p.driver << " usb=" << p.usbVendorId << ":"
        << p.usbProductId << " '" << p.description << "' serial=" << p.usbSerial << " COM" << p.comNumber
        << "}";
}

namespace {

// The chain of a USB adapter below the tty, as the kernel builds it for a usb-serial driver.
std::vector<UdevDevice> usbSerialChain(const std::string& driver,
                                       std::map<std::string, std::string> usbAttributes) {
    return {
        {"usb-serial", "", driver, {}},
        {"usb", "usb_interface", driver, {}},
        {"usb", "usb_device", "usb", std::move(usbAttributes)},
        {"usb",
         "usb_device",
         "usb",
         {{"idVendor", "1d6b"}, {"idProduct", "0002"}, {"product", "xHCI Host Controller"}}},
        {"pci", "", "xhci_hcd", {}},
    };
}

const std::map<std::string, std::string> kFtdiAttributes{{"idVendor", "0403"},
                                                         {"idProduct", "6001"},
                                                         {"manufacturer", "FTDI"},
                                                         {"product", "FT232R USB UART"},
                                                         {"serial", "A50285BI\n"}};
const std::string kFtdiById = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";

// Expected ports, by kind.
PortInfo usbPort(std::string device, std::string byId, std::string driver, std::string vendor,
                 std::string product, std::string description, std::string serial = {}) {
    PortInfo p;
    p.usbSerial = std::move(serial);
    p.device = std::move(device);
    p.byId = std::move(byId);
    p.driver = std::move(driver);
    p.usbVendorId = std::move(vendor);
    p.usbProductId = std::move(product);
    p.description = std::move(description);
    return p;
}

PortInfo otherPort(std::string device, std::string driver, int comNumber = 0) {
    PortInfo p;
    p.device = std::move(device);
    p.driver = std::move(driver);
    p.comNumber = comNumber;
    return p;
}

struct UdevCase {
    const char* name;
    UdevTty tty;
    std::optional<PortInfo> expected;
};

const UdevCase kUdevCases[] = {
    {"FtdiAdapterWithUdevDatabase",
     {"ttyUSB0",
      "/dev/ttyUSB0",
      {},
      {{"ID_VENDOR_ID", "0403"},
       {"ID_MODEL_ID", "6001"},
       {"ID_VENDOR_ENC", "FTDI"},
       {"ID_MODEL_ENC", "FT232R\\x20USB\\x20UART"},
       {"ID_USB_DRIVER", "ftdi_sio"}},
      {"/dev/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0", kFtdiById},
      usbSerialChain("ftdi_sio", kFtdiAttributes)},
     usbPort("/dev/ttyUSB0", kFtdiById, "ftdi_sio", "0403", "6001", "FTDI FT232R USB UART", "A50285BI")},
    {"FtdiAdapterWithoutUdevDatabase",
     {"ttyUSB0", "/dev/ttyUSB0", {}, {}, {}, usbSerialChain("ftdi_sio", kFtdiAttributes)},
     usbPort("/dev/ttyUSB0", "", "ftdi_sio", "0403", "6001", "FTDI FT232R USB UART", "A50285BI")},
    {"Cp210xWithPaddedStrings",
     {"ttyUSB1",
      "/dev/ttyUSB1",
      {},
      {},
      {},
      usbSerialChain("cp210x", {{"idVendor", "10c4"},
                                {"idProduct", "ea60"},
                                {"manufacturer", "Silicon Labs\n"},
                                {"product", " CP2102 USB to UART Bridge Controller "}})},
     usbPort("/dev/ttyUSB1", "", "cp210x", "10c4", "ea60",
             "Silicon Labs CP2102 USB to UART Bridge Controller")},
    {"CdcAcmWithoutStringsNamedByTheDatabase",
     {"ttyACM0",
      "/dev/ttyACM0",
      {},
      {{"ID_VENDOR_ID", "2341"},
       {"ID_MODEL_ID", "0043"},
       {"ID_SERIAL_SHORT", "7563"},
       {"ID_VENDOR_FROM_DATABASE", "Arduino SA"},
       {"ID_MODEL_FROM_DATABASE", "Uno R3 (CDC ACM)"}},
      {"/dev/serial/by-id/usb-Arduino__www.arduino.cc__0043_7563-if00"},
      {{"usb", "usb_interface", "cdc_acm", {}},
       {"usb", "usb_device", "usb", {{"idVendor", "2341"}, {"idProduct", "0043"}}}}},
     usbPort("/dev/ttyACM0", "/dev/serial/by-id/usb-Arduino__www.arduino.cc__0043_7563-if00", "cdc_acm",
             "2341", "0043", "Arduino SA Uno R3 (CDC ACM)", "7563")},
    {"OnlyUdevPropertiesWithEncodedVendor",
     {"ttyUSB2",
      "/dev/ttyUSB2",
      {},
      {{"ID_VENDOR_ID", "067b"},
       {"ID_MODEL_ID", "2303"},
       {"ID_VENDOR_ENC", "Prolific\\x20Technology\\x20Inc.\\x20"},
       {"ID_USB_DRIVER", "pl2303"}},
      {},
      {{"usb-serial", "", "", {}}}},
     usbPort("/dev/ttyUSB2", "", "pl2303", "067b", "2303", "Prolific Technology Inc.")},
    {"Uart8250BehindSerialBaseOnPnp",
     {"ttyS0",
      "/dev/ttyS0",
      {{"type", "4"}},
      {},
      {},
      {{"serial-base", "", "port", {}}, {"serial-base", "", "ctrl", {}}, {"pnp", "", "serial", {}}}},
     otherPort("/dev/ttyS0", "serial", 1)},
    {"Uart8250OnPlatformDevice",
     {"ttyS11", "/dev/ttyS11", {{"type", "4\n"}}, {}, {}, {{"platform", "", "serial8250", {}}}},
     otherPort("/dev/ttyS11", "serial8250", 12)},
    {"Slot8250WithoutUartIsLeftOut",
     {"ttyS5", "/dev/ttyS5", {{"type", "0"}}, {}, {}, {{"platform", "", "serial8250", {}}}},
     std::nullopt},
    {"OtherDriverNamedLikeTtySKeepsNoComNumber",
     {"ttySC0", "/dev/ttySC0", {{"type", "0"}}, {}, {}, {{"spi", "", "sc16is7xx", {}}}},
     otherPort("/dev/ttySC0", "sc16is7xx")},
    {"VirtualConsoleIsNoPort", {"tty1", "/dev/tty1", {}, {}, {}, {}}, std::nullopt},
    {"PseudoTerminalMasterIsNoPort", {"ptmx", "/dev/ptmx", {}, {}, {}, {}}, std::nullopt},
    {"BluetoothLinkIsAPort", {"rfcomm0", "/dev/rfcomm0", {}, {}, {}, {}}, otherPort("/dev/rfcomm0", "")},
    {"TtyWithoutDeviceNodeIsNoPort",
     {"ttyUSB3", "", {}, {}, {}, usbSerialChain("ftdi_sio", kFtdiAttributes)},
     std::nullopt},
};

class PortFromUdevTest : public ::testing::TestWithParam<UdevCase> {};

TEST_P(PortFromUdevTest, MapsAsATechnicianExpects) {
    const std::optional<PortInfo> port = portFromUdev(GetParam().tty);
    EXPECT_EQ(GetParam().expected, port);
}

INSTANTIATE_TEST_SUITE_P(Ports, PortFromUdevTest, ::testing::ValuesIn(kUdevCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PortList, FieldTextPrefersComNumberThenStableName) {
    EXPECT_EQ("1", otherPort("/dev/ttyS0", "serial8250", 1).fieldText());
    EXPECT_EQ(kFtdiById, usbPort("/dev/ttyUSB0", kFtdiById, "ftdi_sio", "0403", "6001", "").fieldText());
    EXPECT_EQ("/dev/ttyACM0", otherPort("/dev/ttyACM0", "cdc_acm").fieldText());
}

TEST(PortList, NamesOrderedWithNumbersAsNumbers) {
    std::vector<std::string> names{"/dev/ttyUSB10", "/dev/ttyS10", "/dev/ttyACM0", "/dev/ttyS2",
                                   "/dev/ttyUSB1",  "/dev/ttyS1",  "/dev/ttyS02",  "/dev/rfcomm0"};
    std::sort(names.begin(), names.end(), portNameLess);
    const std::vector<std::string> expected{"/dev/rfcomm0", "/dev/ttyACM0", "/dev/ttyS1",   "/dev/ttyS2",
                                            "/dev/ttyS02",  "/dev/ttyS10",  "/dev/ttyUSB1", "/dev/ttyUSB10"};
    EXPECT_EQ(expected, names);
    EXPECT_FALSE(portNameLess("/dev/ttyS2", "/dev/ttyS2"));
}

TEST(PortList, UdevEscapesDecoded) {
    EXPECT_EQ("FT232R USB UART", decodeUdevString("FT232R\\x20USB\\x20UART"));
    EXPECT_EQ("A/B", decodeUdevString("A\\x2fB"));
    EXPECT_EQ("\\x2", decodeUdevString("\\x2")) << "a cut-off escape stays as it is";
    EXPECT_EQ("\\xZZ", decodeUdevString("\\xZZ"));
}

std::string sysfsLine(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// On this machine, whatever ports it has: each listed port is a character device of /dev, the COM number
// matches the name, access is what the kernel grants, and every 8250 port with a UART is listed while
// the empty slots are not.
TEST(PortList, SmokeOnThisMachine) {
    const std::vector<PortInfo> ports = listSerialPorts();
    if (ports.empty()) GTEST_SKIP() << "no serial port on this machine";
    for (const PortInfo& port : ports) {
        SCOPED_TRACE(port.device);
        struct stat st {};
        ASSERT_EQ(0, ::stat(port.device.c_str(), &st));
        EXPECT_TRUE(S_ISCHR(st.st_mode));
        if (port.comNumber > 0) {
            EXPECT_EQ("/dev/ttyS" + std::to_string(port.comNumber - 1), port.device);
        }
        EXPECT_EQ(::access(port.device.c_str(), R_OK | W_OK) == 0, port.accessible);
        EXPECT_FALSE(port.fieldText().empty());
    }
    EXPECT_TRUE(std::is_sorted(ports.begin(), ports.end(), [](const PortInfo& a, const PortInfo& b) {
        return portNameLess(a.device, b.device);
    }));

    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator("/sys/class/tty", ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("ttyS", 0) != 0 || name.size() == 4 ||
            !std::all_of(name.begin() + 4, name.end(), ::isdigit))
            continue;
        const bool hasUart = sysfsLine(entry.path() / "type") != "0";
        const bool listed = std::any_of(ports.begin(), ports.end(),
                                        [&](const PortInfo& p) { return p.device == "/dev/" + name; });
        EXPECT_EQ(hasUart, listed) << name;
    }
}

}  // namespace
}  // namespace hlx::serial
