#include "cli/flash_isp_command.h"

#include <memory>
#include <string>
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
        std::string backup;
    };
    auto options = std::make_shared<Options>();
    options->job.stoppedNote = "the boot loader is left as the last command put it";
    CLI::App& command = commands.add(
        "flash isp", "firmware update through the LPC ISP boot loader (\"Update (Bootloader)\")", [options] {
            // One backup file cannot hold several monitors' flash.
            if (!options->backup.empty() && options->job.ports.size() > 1) {
                return reportUnusable("flash isp: --backup takes a single --port");
            }
            return runFlash(
                [options] {
                    return firmware::ispDownloadJob(
                        {.verify = options->verify, .baud = options->baud, .backupPath = options->backup});
                },
                options->job);
        });
    addJobOptions(command, options->job, "the firmware as an Intel HEX file", PortCount::Many);
    command.add_flag("--verify", options->verify,
                     "read every programmed range back before the code is started and list what differs");
    command
        .add_option("--backup", options->backup,
                    "before anything is erased, read every sector the update erases into this Intel HEX file "
                    "(replaced atomically); flashing it restores them. Without a backup nothing is erased")
        ->type_name("OLD.hex");
    addIspBaudOption(command, options->baud,
                     "once synchronised at 115200, ask the boot loader for this rate (\"B <rate> 1\") and "
                     "program at it; a refusal leaves the job at 115200 with a line saying so");
}

CLI::Option* addIspBaudOption(CLI::App& command, int& baud, const std::string& help) {
    return command
        .add_option("--isp-baud", baud, help)
        // An empty value is no rate: refused before it could be read as "no rate change".
        ->check(CLI::Validator(
            [](std::string& value) {
                return value.empty() ? std::string("takes a rate, not ''") : std::string();
            },
            ""))
        ->check(
            CLI::IsMember(std::vector<int>(firmware::kIspBaudRates.begin(), firmware::kIspBaudRates.end())))
        ->type_name("BAUD");
}

}  // namespace hlx::cli
