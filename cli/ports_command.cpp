#include "cli/ports_command.h"

#include <cstdio>

#include "base/console.h"
#include "cli/command_line.h"
#include "serial/port_list.h"

namespace hlx::cli {
namespace {

int listPorts() {
    const std::vector<serial::PortInfo> ports = serial::listSerialPorts();
    if (ports.empty()) {
        base::printText(stdout, "No serial ports found.\n");
        return kExitOk;
    }
    bool denied = false;
    for (const serial::PortInfo& p : ports) {
        base::printText(stdout, "%s\n", p.device.c_str());
        base::printText(stdout, "    COM-Nr:  %s\n", p.fieldText().c_str());
        if (!p.driver.empty()) base::printText(stdout, "    driver:  %s\n", p.driver.c_str());
        if (!p.usbVendorId.empty())
            base::printText(stdout, "    USB:     %s:%s %s\n", p.usbVendorId.c_str(), p.usbProductId.c_str(),
                            p.description.c_str());
        else if (!p.description.empty())
            base::printText(stdout, "    name:    %s\n", p.description.c_str());
        if (!p.byId.empty()) base::printText(stdout, "    by-id:   %s\n", p.byId.c_str());
        if (!p.accessible) {
            base::printText(stdout, "    access:  no permission to open it\n");
            denied = true;
        }
    }
    if (denied)
        base::printText(stdout,
                        "\nTo use a port without permission, add yourself to its group (usually dialout):\n"
                        "  sudo usermod -aG dialout $USER   (then log in again)\n");
    return kExitOk;
}

}  // namespace

void addPortsCommand(CommandLine& commands) {
    commands.add("ports", "list the serial ports present and what to type into COM-Nr", listPorts);
}

}  // namespace hlx::cli
