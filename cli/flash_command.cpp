#include "cli/flash_command.h"

#include <memory>

#include "cli/command_line.h"
#include "cli/gang_run.h"
#include "cli/job_command.h"
#include "runner/job_catalogue.h"

namespace hlx::cli {
namespace {

void addFlashMethod(CommandLine& commands, const char* path, const char* description, jobs::JobKind kind) {
    auto options = std::make_shared<JobOptions>();
    CLI::App& command = commands.add(path, description, [options, kind] {
        if (!runner::jobDefinition(kind)) return reportUnusable("this build has no such job");
        return runFlash([kind] { return *runner::jobDefinition(kind); }, *options);
    });
    addJobOptions(command, *options, "the firmware as an Intel HEX file", PortCount::Many);
}

}  // namespace

void addFlashCommands(CommandLine& commands) {
    addFlashMethod(commands, "flash rtq", "firmware update by binary records (\"Update (RTQ)\")",
                   jobs::JobKind::RtqDownload);
    addFlashMethod(commands, "flash realterm", "firmware update by HEX text lines (\"Update (Realterm)\")",
                   jobs::JobKind::RealtermDownload);
}

}  // namespace hlx::cli
