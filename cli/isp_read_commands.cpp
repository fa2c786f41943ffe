#include "cli/isp_read_commands.h"

#include <memory>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/flash_isp_command.h"
#include "cli/job_command.h"
#include "firmware/isp_download.h"
#include "firmware/isp_read.h"

namespace hlx::cli {
namespace {

// A whole number of 32-bit words: the boot loader reads nothing else.
CLI::Validator wordMultiple() {
    return CLI::Validator(
        [](std::string& value) {
            char* end = nullptr;
            const unsigned long long n = std::strtoull(value.c_str(), &end, 0);
            if (value.empty() || *end != '\0') return std::string("takes a number (decimal or 0x...)");
            return n % 4 == 0 ? std::string() : std::string("takes a multiple of 4");
        },
        "");
}

CLI::Option* addIspBaud(CLI::App& command, int& baud) {
    return addIspBaudOption(command, baud,
                            "once synchronised at 115200, ask the boot loader for this rate and read at it");
}

}  // namespace

void addIspReadCommands(CommandLine& commands) {
    struct ReadOptions {
        JobOptions job;
        std::string start = "0";
        std::string length;
        int baud = 0;
    };
    auto read = std::make_shared<ReadOptions>();
    read->job.stoppedNote = "the boot loader is left as the last command put it";
    CLI::App& readCommand = commands.add(
        "isp-read", "read the monitor's flash through the LPC ISP boot loader into an Intel HEX file",
        [read] {
            firmware::IspReadOptions options{.out = read->job.file,
                                             .start = std::stoull(read->start, nullptr, 0),
                                             .length = std::nullopt,
                                             .baud = read->baud};
            if (!read->length.empty()) options.length = std::stoull(read->length, nullptr, 0);
            JobOptions job = read->job;
            job.file.clear();  // the job writes FILE, it reads none
            // Checked before the port is opened, as the report is: never a device, FIFO or folder, and
            // room for the whole file.
            job.outFile = options.out;
            job.outFileBytes = firmware::readFileSize(options.start, options.length);
            return runJob(firmware::ispReadJob(options), job);
        });
    addJobOptions(readCommand, read->job, "the Intel HEX file to write (replaced atomically)");
    readCommand.add_option("--start", read->start, "first address to read (default 0)")
        ->check(wordMultiple())
        ->type_name("ADDR");
    readCommand.add_option("--length", read->length, "bytes to read (default: to the end of the user flash)")
        ->check(wordMultiple())
        ->type_name("N");
    addIspBaud(readCommand, read->baud);

    struct InfoOptions {
        JobOptions job;
        int baud = 0;
    };
    auto info = std::make_shared<InfoOptions>();
    info->job.stoppedNote = "the boot loader is left as the last command put it";
    CLI::App& infoCommand = commands.add(
        "isp-info", "the part id, boot code version and serial number through the LPC ISP boot loader",
        [info] { return runJob(firmware::ispInfoJob(info->baud), info->job); });
    addPortOption(infoCommand, info->job.port);
    infoCommand.add_flag("--print-result", info->job.printResult,
                         "end with the line JobResult=0x... on stderr");
    infoCommand
        .add_option("--report", info->job.reportPath,
                    "write the run's record as JSON to this file (replaced atomically)")
        ->type_name("FILE.json");
    addIspBaud(infoCommand, info->baud);
}

}  // namespace hlx::cli
