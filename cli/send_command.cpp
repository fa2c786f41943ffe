#include "cli/send_command.h"

#include <memory>

#include "base/text_file.h"
#include "cli/command_line.h"
#include "cli/job_command.h"

namespace hlx::cli {
namespace {

constexpr const char* kStoppedNote = "the monitor may have taken only part of the file";

int sendTerminal(JobOptions options) {
    base::DecodedText decoded;
    if (base::Status s = base::readTextFile(options.file, decoded); !s) return reportUnusable(s.message());
    options.windowText = decoded.text;
    return runJob(jobs::JobKind::TerminalSender, options);
}

}  // namespace

void addSendCommands(CommandLine& commands) {
    auto file = std::make_shared<JobOptions>();
    file->parameter = 1;
    file->stoppedNote = kStoppedNote;
    CLI::App& sendFile =
        commands.add("send-file", "send a prepared file (\"Send File 1\" to \"Send File 6\")",
                     [file] { return runJob(jobs::JobKind::FileSender, *file); });
    addJobOptions(sendFile, *file, "the file to send: a text line by line, anything else in binary frames");

    auto terminal = std::make_shared<JobOptions>();
    terminal->parameter = 0;
    terminal->stoppedNote = kStoppedNote;
    CLI::App& sendTerminalCommand =
        commands.add("send-terminal", "send a text file line by line, as \"Send Terminal\" sends the window",
                     [terminal] { return sendTerminal(*terminal); });
    addJobOptions(sendTerminalCommand, *terminal, "the text file, read as \"Load Terminal\" reads it");
}

}  // namespace hlx::cli
