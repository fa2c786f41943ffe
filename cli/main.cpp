// hlx: the service tool's command-line companion. It runs the very same jobs as the window, through the
// same job slot, with the console as their view. Each command is one function in cli/<name>_command.cpp;
// adding one is a line in kCommands (and its source in cli/CMakeLists.txt).

#include "base/console.h"
#include "cli/check_hex_command.h"
#include "cli/command_command.h"
#include "cli/command_line.h"
#include "cli/flash_command.h"
#include "cli/flash_isp_command.h"
#include "cli/hex_info_command.h"
#include "cli/imaging_commands.h"
#include "cli/isp_read_commands.h"
#include "cli/ports_command.h"
#include "cli/render_charts_command.h"
#include "cli/send_command.h"
#include "cli/terminal_command.h"

namespace {

using namespace hlx::cli;

struct Group {
    const char* name;
    const char* description;
};

// Groups of commands, added before the commands that name them ("flash rtq").
constexpr Group kGroups[] = {
    {"flash", "update the monitor's firmware from an Intel HEX file"},
};

constexpr void (*kCommands[])(CommandLine&) = {
    addPortsCommand,    addCheckHexCommand,     addHexInfoCommand,  addFlashCommands,
    addFlashIspCommand, addRenderChartsCommand, addSendCommands,    addImagingCommands,
    addIspReadCommands, addCommandCommand,      addTerminalCommand,
};

}  // namespace

int main(int argc, char** argv) {
    hlx::base::setUpConsole();
    CommandLine commands;
    for (const Group& group : kGroups) commands.addGroup(group.name, group.description);
    for (auto addCommand : kCommands) addCommand(commands);
    return commands.run(argc, argv);
}
