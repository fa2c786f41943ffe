#pragma once
// The serial ports present on this machine, for `hlx ports` and the completion list of the COM-Nr field.
// Read from sysfs (/sys/class/tty) and /dev/serial/by-id; ports of the 8250 driver that have no UART
// behind them (type 0) are left out, as are virtual consoles.

#include <string>
#include <vector>

namespace hlx::serial {

struct PortInfo {
    std::string device;       // /dev/ttyUSB0
    std::string byId;         // /dev/serial/by-id/usb-FTDI_..., empty when there is none
    std::string driver;       // ftdi_sio, cp210x, serial8250, ...
    std::string usbVendorId;  // "0403", empty for non-USB ports
    std::string usbProductId;
    std::string description;  // manufacturer and product strings, where known
    int comNumber = 0;        // n for /dev/ttyS(n-1), else 0
    bool accessible = false;  // this user may read and write it
    // What to type into COM-Nr: the COM number for /dev/ttySn, else the stable by-id name or the device.
    std::string fieldText() const;
};

// sysRoot and devRoot let tests point the scan at a fake tree.
std::vector<PortInfo> listSerialPorts(const std::string& sysRoot = "/sys", const std::string& devRoot = "/dev");

}  // namespace hlx::serial
