#pragma once
// What Windows knows about one COM port, and the pure mapping from it to a PortInfo. listSerialPorts
// fills a WindowsPort per device of the "Ports (COM & LPT)" class through SetupAPI, and per entry of the
// registry's list of serial devices (HARDWARE\DEVICEMAP\SERIALCOMM, which also holds ports without a
// Plug and Play device, such as those of emulators); tests build WindowsPort values by hand.
//
// Rules of portFromWindows:
// - Only COMn names are ports (n from 1); LPT and other names of the class are not.
// - device is the COM name ("COM5"), comNumber its number; what to type into COM-Nr is the number.
// - description: the friendly name ("USB Serial Port (COM5)"), else the maker's name.
// - driver: the driver's service name (FTDIBUS, usbser, Serial, ...).
// - USB ids: the first hardware id that names VID_xxxx and PID_xxxx (any case, any enumerator:
//   USB\VID_0403&PID_6001, FTDIBUS\COMPORT&VID_0403&PID_6001), as four lower-case hex digits each, as
//   the Linux list gives them.
// - accessible: Windows has no per-user permission on COM ports; a port held by another program is found
//   when it is opened.
// mergePorts: the SetupAPI ports, then the registry's ports of numbers SetupAPI did not list; ordered by
// COM number.

#include <optional>
#include <string>
#include <vector>

#include "serial/port_list.h"

namespace hlx::serial {

struct WindowsPort {
    std::string portName;      // "COM5", from the device's "PortName" value or the SERIALCOMM list
    std::string friendlyName;  // SPDRP_FRIENDLYNAME
    std::string manufacturer;  // SPDRP_MFG
    std::string service;       // SPDRP_SERVICE
    std::vector<std::string> hardwareIds;  // SPDRP_HARDWAREID
};

std::optional<PortInfo> portFromWindows(const WindowsPort& port);
std::vector<PortInfo> mergePorts(const std::vector<WindowsPort>& setupApi,
                                 const std::vector<std::string>& registryNames);

// "COM5" -> 5; 0 for anything that is not COM followed by a number from 1.
int comNumberOf(const std::string& name);

}  // namespace hlx::serial
