#include "cli/flash_isp_command.h"

#include <memory>
#include <vector>

#include "cli/command_line.h"
#include "cli/gang_run.h"
#include "cli/job_command.h"
#include "firmware/isp_download.h"

namespace hlx::cli {

void addFlashIspCommand(CommandLine& commands) {
    struct Options {
        JobOptions job;
        bool verify = false;
        int baud = 0;
    };
    auto options = std::make_shared<Options>();
    options->job.stoppedNote = "the boot loader is left as the last command put it";
    CLI::App& command = commands.add(
        "flash isp", "firmware update through the LPC ISP boot loader (\"Update (Bootloader)\")", [options] {
            return runFlash(
                [options] {
                    return firmware::ispDownloadJob({.verify = options->verify, .baud = options->baud});
                },
                options->job);
        });
    addJobOptions(command, options->job, "the firmware as an Intel HEX file", PortCount::Many);
    command.add_flag("--verify", options->verify,
                     "read every programmed range back before the code is started and list what differs");
    command
        .add_option(
            "--isp-baud", options->baud,
            "once synchronised at 115200, ask the boot loader for this rate (\"B <rate> 1\") and program "
            "at it; a refusal leaves the job at 115200 with a line saying so")
        ->check(
            CLI::IsMember(std::vector<int>(firmware::kIspBaudRates.begin(), firmware::kIspBaudRates.end())))
        ->type_name("BAUD");
}

}  // namespace hlx::cli
