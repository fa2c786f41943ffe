#include "cli/job_command.h"

#include <cstdio>
#include <optional>

#include "app/job_catalogue.h"
#include "base/console.h"
#include "base/file_buffer.h"
#include "base/stop_signals.h"
#include "cli/command_line.h"
#include "cli/console_view.h"
#include "jobs/job_frame.h"
#include "jobs/job_slot.h"
#include "output/job_result.h"
#include "serial/port_name.h"
#include "serial/serial_port.h"
#include "serial/system_serial_device.h"

namespace hlx::cli {

void addJobOptions(CLI::App& command, JobOptions& options, const std::string& fileHelp) {
    command.add_option("FILE", options.file, fileHelp)->required()->type_name("");
    command
        .add_option("--port", options.port, "as typed into COM-Nr: " + std::string(serial::portTextHelp()))
        ->required()
        ->type_name("TEXT");
    command
        .add_option("--settings", options.settings,
                    "COM settings entry: 0 115200,8,E,1  1 460800,8,E,1  2 115200,8,N,1  3 9600,8,E,1  "
                    "4 57600,8,E,1")
        ->check(CLI::Range(0, 4))
        ->type_name("N")
        ->capture_default_str();
    command.add_flag("--print-result", options.printResult, "end with the line JobResult=0x... on stderr");
}

int runJob(jobs::JobKind kind, const JobOptions& options) {
    const std::optional<jobs::JobDefinition> job = app::jobDefinition(kind);
    if (!job) return reportUnusable("this build has no such job");
    return runJob(*job, options);
}

int runJob(const jobs::JobDefinition& job, const JobOptions& options) {
    serial::SerialPort port(serial::makeSystemSerialDevice());
    ConsoleWindow window;
    window.setText(options.windowText);
    ConsoleJobView view(base::stderrIsTerminal());
    window.setProgressBar(&view);
    output::OutputLog log(window);
    serial::Deadline replyDeadline;
    base::FileBuffer file;
    jobs::JobInputs inputs;
    inputs.comText = options.port;
    inputs.settingsEntry = options.settings;
    inputs.filePath = options.file;
    inputs.parameter = options.parameter;
    inputs.windowText = options.windowText;

    // Before the job thread starts, so that it inherits the blocked signals.
    base::StopSignals signals;
    base::Notice done;  // the job thread has returned from the frame
    jobs::JobSlot slot;
    slot.init();
    slot.setParameter(options.parameter);
    std::optional<std::int32_t> reported;
    slot.start([&](std::stop_token stop) {
        jobs::JobContext context{{port, replyDeadline, log, stop}, view, file, inputs};
        reported = jobs::runJobFrame(job, context, slot);
        done.notify();
    });
    const int signal = signals.waitForSignalOr(done);
    if (signal != 0) slot.requestStop();
    slot.wait();
    view.finish();

    if (!reported) {  // stopped before its report; a job that finished first keeps its result
        port.close();
        if (signal == 0) return reportUnusable("the job ended without its report");
        std::fprintf(stderr, "hlx: stopped by %s; %s\n", base::StopSignals::name(signal).c_str(),
                     options.stoppedNote.c_str());
        return 128 + signal;
    }
    if (const serial::PortState state = port.state(); !state.error.empty())
        std::fprintf(stderr, "hlx: %s\n", state.error.c_str());
    if (options.printResult) std::fprintf(stderr, "JobResult=0x%X\n", static_cast<unsigned>(*reported));
    return (*reported & ~output::result::kNoSuccessLine) == 0 ? kExitOk : kExitFailed;
}

}  // namespace hlx::cli
