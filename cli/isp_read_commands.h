#pragma once
// hlx isp-read OUT.hex --port P [--start ADDR] [--length N] [--isp-baud BAUD]: reads a part of the user
// flash of the monitor's microcontroller through its LPC ISP boot loader (default: all of it) into an
// Intel HEX file, replaced atomically; OUT.hex is checked before the port is opened (a device, FIFO, folder
// or dangling link is refused, and so is a folder without room for the whole file: exit 2). The bytes
// 0x00..0x3F cannot be read (the boot loader maps its own vectors there) and are left out. hlx isp-info
// --port P [--isp-baud BAUD]: the part id (and the part's name where known), the boot code version and the
// serial number. Both are jobs like every other (report, job log); a part whose code is read protected says
// so. Other options and exit codes: cli/job_command.h.

namespace hlx::cli {

class CommandLine;
void addIspReadCommands(CommandLine& commands);

}  // namespace hlx::cli
