#pragma once
// hlx flash rtq FILE and hlx flash realterm FILE: the firmware updates of the window's "Update (RTQ)"
// (binary records after "LoadFWRTQ?") and "Update (Realterm)" (HEX text lines after "LoadFW?"), run as
// the window runs them. Options and exit codes: cli/job_command.h; several --port: cli/gang_run.h.

namespace hlx::cli {

class CommandLine;
void addFlashCommands(CommandLine& commands);

}  // namespace hlx::cli
