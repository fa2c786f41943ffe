#pragma once
// What udev knows about one tty, and the pure mapping from it to a PortInfo. listSerialPorts fills a
// UdevTty per tty through libudev and hands it to portFromUdev; tests build UdevTty values by hand, so the
// rules below are checked for adapters and kernels this machine does not have.
//
// Rules of portFromUdev:
// - A tty without a device node, or without a hardware device behind it (virtual consoles, ptmx,
//   pseudo-terminals), is no port. Bluetooth serial links (rfcomm*) are virtual too, but are ports.
// - ttyS<n> whose "type" attribute is 0 is an 8250 slot without a UART: no port. Otherwise its COM
//   number is n + 1.
// - driver: the nearest parent device bound to a driver, skipping the kernel's "serial-base" port and
//   controller devices (6.5 and later put them between a UART and its platform, PnP or PCI device);
//   else the udev property ID_USB_DRIVER.
// - USB ids and strings: from the nearest parent of device type usb_device (sysfs attributes idVendor,
//   idProduct, manufacturer, product, which need no udev database); else from the udev properties
//   ID_VENDOR_ID, ID_MODEL_ID and ID_VENDOR_ENC / ID_MODEL_ENC (\xHH escapes decoded) or
//   ID_VENDOR_FROM_DATABASE / ID_MODEL_FROM_DATABASE. description is "manufacturer product", either
//   part alone when the other is unknown. usbSerial: the usb_device's "serial" attribute, else the
//   property ID_SERIAL_SHORT.
// - byId: the first device link under /dev/serial/by-id/ in name order.
// accessible is not set here: it depends on the device node and the user, not on udev's data.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "serial/port_list.h"

namespace hlx::serial {

// One device of the tty's chain, as libudev reports it.
struct UdevDevice {
    std::string subsystem;  // "usb-serial", "usb", "serial-base", "pnp", "platform", "pci", ...
    std::string devtype;    // "usb_device", "usb_interface", ... (often empty)
    std::string driver;     // empty when no driver is bound
    std::map<std::string, std::string> attributes;  // the sysfs attributes read (see posix_port_list.cpp)
};

struct UdevTty {
    std::string sysname;                            // ttyUSB0
    std::string devnode;                            // /dev/ttyUSB0
    std::map<std::string, std::string> attributes;  // of the tty itself: "type" for 8250 ports
    std::map<std::string, std::string> properties;  // from the udev database, empty without one
    std::vector<std::string> devlinks;              // /dev/serial/by-id/..., /dev/serial/by-path/...
    std::vector<UdevDevice> parents;                // nearest first; empty for a virtual tty
};

std::optional<PortInfo> portFromUdev(const UdevTty& tty);

// The order of the port list: names compared piece by piece, runs of digits by their value, so that
// /dev/ttyS2 comes before /dev/ttyS10 and /dev/ttyUSB1 before /dev/ttyUSB10.
bool portNameLess(const std::string& a, const std::string& b);

// udev's property encoding (ID_VENDOR_ENC): "\x20" and the like become the byte they name.
std::string decodeUdevString(const std::string& encoded);

}  // namespace hlx::serial
