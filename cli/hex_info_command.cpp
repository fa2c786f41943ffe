#include "cli/hex_info_command.h"

#include <cstdio>
#include <memory>
#include <string>

#include "base/console.h"
#include "cli/command_line.h"
#include "firmware/hex_image.h"
#include "firmware/hex_info.h"
#include "jobs/job_file.h"

namespace hlx::cli {
namespace {

int hexInfo(const std::string& path) {
    firmware::HexImage image;
    const base::Status loaded = image.load(path);
    if (loaded.isTooLarge()) {
        base::printText(stdout, "%s\n", jobs::tooLargeLine(image.lastFileSize()).c_str());
        return kExitUsage;  // a file the command cannot use, as for every other command
    }
    if (!loaded) return reportUnusable(loaded.message());
    const firmware::HexReport report = firmware::analyseHex(image.bytes());
    for (const std::string& line : firmware::formatHexReport(report))
        base::printText(stdout, "%s\n", line.c_str());
    return report.suspicious() ? kExitFailed : kExitOk;
}

}  // namespace

void addHexInfoCommand(CommandLine& commands) {
    auto file = std::make_shared<std::string>();
    CLI::App& command =
        commands.add("hex-info", "show an Intel HEX file's layout and anything suspicious (exit 1 if any)",
                     [file] { return hexInfo(*file); });
    command.add_option("FILE", *file, "the Intel HEX file")->required()->type_name("");
}

}  // namespace hlx::cli
