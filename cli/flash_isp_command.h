#pragma once
// hlx flash isp FILE: the window's "Update (Bootloader)", the firmware programmed through the NXP LPC ISP
// boot loader, run as the window runs it. The job talks at 115200,8,N,1 whatever --settings says;
// --settings is the entry the port is returned to at the end. --verify reads every programmed range back
// with the boot loader's read command before "G 0 A" and lists each range that differs from the file.
// --isp-baud 230400 (or 9600 to 230400, the rates the boot loader takes) programs at that rate: after the
// synchronisation at 115200 the job sends "B 230400 1" and, on its answer 0, changes its own line too.
// Other options and exit codes: cli/job_command.h; several --port: cli/gang_run.h.

#include <string>

#include <CLI/CLI.hpp>

namespace hlx::cli {

class CommandLine;
void addFlashIspCommand(CommandLine& commands);

// --isp-baud with the rates the boot loader takes (an empty value refused); help says what the job does
// at that rate. Shared by every boot-loader command.
CLI::Option* addIspBaudOption(CLI::App& command, int& baud, const std::string& help);

}  // namespace hlx::cli
