#pragma once
// The serial ports present on this machine, for `hlx ports` and the completion list of the COM-Nr field.
// Enumerated through libudev: every tty with a hardware device behind it (virtual consoles and
// pseudo-terminals have none), with its stable /dev/serial/by-id name, the driver, and for USB adapters
// the vendor and product ids and the maker's strings. Slots of the 8250 driver that have no UART behind
// them (port type 0) are left out: opening one fails, and a PC shows dozens of them. How udev's data is
// turned into a PortInfo is in serial/udev_port.h.
//
// Threads: listSerialPorts may be called from any thread; each call has its own udev context, and calls
// from several threads take turns (libudev keeps process-wide state it does not lock).

#include <string>
#include <vector>

namespace hlx::serial {

struct PortInfo {
    std::string device;       // /dev/ttyUSB0
    std::string byId;         // /dev/serial/by-id/usb-FTDI_..., empty when there is none
    std::string driver;       // ftdi_sio, cp210x, cdc_acm, serial8250, serial (PnP 8250), ...
    std::string usbVendorId;  // "0403", empty for non-USB ports
    std::string usbProductId;
    std::string description;  // manufacturer and product strings, where known
    std::string usbSerial;    // the USB device's serial number string, empty when it has none
    int comNumber = 0;        // n for /dev/ttyS(n-1), else 0
    bool accessible = false;  // this user may read and write it
    // What to type into COM-Nr: the COM number for /dev/ttySn, else the stable by-id name or the device.
    std::string fieldText() const;

    friend bool operator==(const PortInfo&, const PortInfo&) = default;
};

// The ports present, ordered by device name with numbers compared as numbers (ttyS2 before ttyS10).
// Empty when there are none or udev cannot be reached.
std::vector<PortInfo> listSerialPorts();

}  // namespace hlx::serial
