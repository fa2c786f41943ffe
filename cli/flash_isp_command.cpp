#include "cli/flash_isp_command.h"

#include <memory>

#include "cli/command_line.h"
#include "cli/gang_run.h"
#include "cli/job_command.h"
#include "firmware/isp_download.h"

namespace hlx::cli {

void addFlashIspCommand(CommandLine& commands) {
    struct Options {
        JobOptions job;
        bool verify = false;
    };
    auto options = std::make_shared<Options>();
    options->job.stoppedNote = "the boot loader is left as the last command put it";
    CLI::App& command = commands.add(
        "flash isp", "firmware update through the LPC ISP boot loader (\"Update (Bootloader)\")", [options] {
            return runFlash([options] { return firmware::ispDownloadJob({.verify = options->verify}); },
                            options->job);
        });
    addJobOptions(command, options->job, "the firmware as an Intel HEX file", PortCount::Many);
    command.add_flag("--verify", options->verify,
                     "read every programmed range back before the code is started and list what differs");
}

}  // namespace hlx::cli
