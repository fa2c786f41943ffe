#include "cli/check_hex_command.h"

#include <memory>
#include <string>

#include "cli/command_line.h"
#include "cli/console_view.h"
#include "firmware/download_common.h"
#include "firmware/hex_image.h"
#include "jobs/job_file.h"
#include "output/output_log.h"

namespace hlx::cli {
namespace {

int checkHex(const std::string& path) {
    firmware::HexImage image;
    ConsoleWindow window;
    output::OutputLog log(window);
    const base::Status loaded = image.load(path);
    if (loaded.isTooLarge()) {
        // A file the command cannot use, as for every other command: not a finding of the check.
        log.appendLine(jobs::tooLargeLine(image.lastFileSize()));
        return kExitUsage;
    }
    if (!loaded) return reportUnusable(loaded.message());
    firmware::RecordArea scratch{};
    return image.checkFile(scratch, log) == 0 ? kExitOk : kExitFailed;
}

}  // namespace

void addCheckHexCommand(CommandLine& commands) {
    auto file = std::make_shared<std::string>();
    CLI::App& command = commands.add("check-hex", "check the syntax of an Intel HEX file (exit 1 on errors)",
                                     [file] { return checkHex(*file); });
    command.add_option("FILE", *file, "the Intel HEX file")->required()->type_name("");
}

}  // namespace hlx::cli
