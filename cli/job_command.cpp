#include "cli/job_command.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "app/job_catalogue.h"
#include "app/job_records.h"
#include "base/console.h"
#include "base/file_buffer.h"
#include "base/stop_signals.h"
#include "base/user_folders.h"
#include "cli/command_line.h"
#include "cli/console_view.h"
#include "jobs/job_frame.h"
#include "jobs/job_slot.h"
#include "output/job_result.h"
#include "report/report_files.h"
#include "serial/port_name.h"
#include "serial/serial_port.h"
#include "serial/system_serial_device.h"

namespace hlx::cli {
namespace {

// Where the installation put the schema of the run's record: beside hlx.exe on Windows (the installer
// and the archive), in the documents of the prefix hlx is installed in elsewhere (/usr/bin/hlx:
// /usr/share/doc/hlx-service-tool/job-report.schema.json).
std::string reportSchemaPath() {
    const std::string folder = base::programFolder();
#ifdef _WIN32
    return folder.empty() ? "job-report.schema.json beside hlx.exe" : folder + "\\job-report.schema.json";
#else
    const std::size_t slash = folder.rfind('/');
    const std::string prefix = slash == std::string::npos || slash == 0 ? "/usr" : folder.substr(0, slash);
    return prefix + "/share/doc/hlx-service-tool/job-report.schema.json";
#endif
}

}  // namespace

void addJobOptions(CLI::App& command, JobOptions& options, const std::string& fileHelp, PortCount ports) {
    command.add_option("FILE", options.file, fileHelp)->required()->type_name("");
    const std::string portHelp = "as typed into COM-Nr: " + std::string(serial::portTextHelp());
    if (ports == PortCount::One) {
        command.add_option("--port", options.port, portHelp)->required()->type_name("TEXT");
    } else {
        // One value per --port, so that a FILE written after it is not taken for a second port.
        command
            .add_option("--port", options.ports,
                        portHelp +
                            "; give it once per monitor to update several at once, each on a thread "
                            "of its own")
            ->required()
            ->allow_extra_args(false)
            ->type_name("TEXT");
    }
    command
        .add_option("--settings", options.settings,
                    "COM settings entry: 0 115200,8,E,1  1 460800,8,E,1  2 115200,8,N,1  3 9600,8,E,1  "
                    "4 57600,8,E,1")
        ->check(CLI::Range(0, 4))
        ->type_name("N")
        ->capture_default_str();
    command.add_flag("--print-result", options.printResult, "end with the line JobResult=0x... on stderr");
    command
        .add_option("--report", options.reportPath,
                    "write the run's record as JSON to this file (replaced atomically; schema: " +
                        reportSchemaPath() + ")")
        ->type_name("FILE.json");
}

int runJob(jobs::JobKind kind, const JobOptions& options) {
    const std::optional<jobs::JobDefinition> job = app::jobDefinition(kind);
    if (!job) return reportUnusable("this build has no such job");
    return runJob(*job, options);
}

int runJob(const jobs::JobDefinition& job, const JobOptions& options) {
    std::optional<report::ReportFile> reportFile;
    if (!options.reportPath.empty()) {
        reportFile.emplace(options.reportPath);
        if (!reportFile->status())
            return reportUnusable("the report cannot be written: " + reportFile->status().message());
    }
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
    std::optional<app::RecordedJob> recorded;
    slot.start([&](std::stop_token stop) {
        jobs::JobContext context{{port, replyDeadline, log, stop}, view, file, inputs};
        // What the job showed: the window's text, less the text a terminal sender started from.
        const auto shown = [&] {
            const std::string text = window.text();
            return text.substr(std::min(text.size(), options.windowText.size()));
        };
        reported = app::runRecordedJob(job, context, slot, shown,
                                       [&](app::RecordedJob r) { recorded = std::move(r); });
        done.notify();
    });
    const int signal = signals.waitForSignalOr(done);
    if (signal != 0) slot.requestStop();
    slot.wait();
    view.finish();
    if (!reported) port.close();  // stopped: released before anything else

    int reportFailed = kExitOk;
    if (reportFile && recorded) {
        if (const base::Status s = reportFile->commit(app::runOf("hlx", job.kind, std::move(*recorded))); !s)
            reportFailed = reportUnusable("the report was not written: " + s.message());
    }

    if (!reported) {  // stopped before its report; a job that finished first keeps its result
        if (signal == 0) return reportUnusable("the job ended without its report");
        base::printText(stderr, "hlx: stopped by %s; %s\n", base::StopSignals::name(signal).c_str(),
                        options.stoppedNote.c_str());
        return 128 + signal;
    }
    const bool failed = (*reported & ~output::result::kNoSuccessLine) != 0;
    // A port that went away after a complete transfer (the monitor restarted) is no failure: the job's
    // report already says that the monitor closed the connection.
    if (const serial::PortState state = port.state(); !state.status && (failed || !state.lost()))
        base::printText(stderr, "hlx: %s\n", state.status.message().c_str());
    // A file that cannot be used is a fault of the command line, as for every other command: its reason
    // goes to stderr and the exit code is 2.
    const bool fileUnusable = (*reported & output::result::kFileOpen) != 0;
    if (fileUnusable) {
        const std::string reason = file.lastError().message();
        base::printText(stderr, "hlx: %s\n",
                        reason.empty() ? (options.file + ": cannot be read").c_str() : reason.c_str());
    }
    if (options.printResult) base::printText(stderr, "JobResult=0x%X\n", static_cast<unsigned>(*reported));
    if (fileUnusable) return kExitUsage;
    if (reportFailed != kExitOk) return reportFailed;
    return failed ? kExitFailed : kExitOk;
}

}  // namespace hlx::cli
