#pragma once
// hlx flash isp FILE: the window's "Update (Bootloader)", the firmware programmed through the NXP LPC ISP
// boot loader, run as the window runs it. The job talks at 115200,8,N,1 whatever --settings says;
// --settings is the entry the port is returned to at the end. --verify reads every programmed range back
// with the boot loader's read command before "G 0 A" and lists each range that differs from the file.
// Other options and exit codes: cli/job_command.h; several --port: cli/gang_run.h.

namespace hlx::cli {

class CommandLine;
void addFlashIspCommand(CommandLine& commands);

}  // namespace hlx::cli
