#include "cli/ports_command.h"

#include <cstdio>

#include "cli/command_line.h"
#include "serial/port_list.h"

namespace hlx::cli {
namespace {

int listPorts() {
    const std::vector<serial::PortInfo> ports = serial::listSerialPorts();
    if (ports.empty()) {
        std::printf("No serial ports found.\n");
        return kExitOk;
    }
    bool denied = false;
    for (const serial::PortInfo& p : ports) {
        std::printf("%s\n", p.device.c_str());
        std::printf("    COM-Nr:  %s\n", p.fieldText().c_str());
        if (!p.driver.empty()) std::printf("    driver:  %s\n", p.driver.c_str());
        if (!p.usbVendorId.empty())
            std::printf("    USB:     %s:%s %s\n", p.usbVendorId.c_str(), p.usbProductId.c_str(),
                        p.description.c_str());
        else if (!p.description.empty())
            std::printf("    name:    %s\n", p.description.c_str());
        if (!p.byId.empty()) std::printf("    by-id:   %s\n", p.byId.c_str());
        if (!p.accessible) {
            std::printf("    access:  no permission to open it\n");
            denied = true;
        }
    }
    if (denied)
        std::printf(
            "\nTo use a port without permission, add yourself to its group (usually dialout):\n"
            "  sudo usermod -aG dialout $USER   (then log in again)\n");
    return kExitOk;
}

}  // namespace

void addPortsCommand(CommandLine& commands) {
    commands.add("ports", "list the serial ports present and what to type into COM-Nr", listPorts);
}

}  // namespace hlx::cli
