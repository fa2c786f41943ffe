#include "cli/job_command.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include <fmt/format.h>

#include "base/atomic_file.h"
#include "base/console.h"
#include "base/file_buffer.h"
#include "base/stop_signals.h"
#include "base/user_folders.h"
#include "cli/command_line.h"
#include "cli/console_output.h"
#include "cli/console_view.h"
#include "jobs/job_frame.h"
#include "jobs/job_slot.h"
#include "runner/job_catalogue.h"
#include "runner/job_run.h"
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
    if (ports == PortCount::One) {
        addPortOption(command, options.port);
    } else {
        // One value per --port, so that a FILE written after it is not taken for a second port.
        command
            .add_option("--port", options.ports,
                        portOptionHelp() +
                            "; give it once per monitor to update several at once, each on a thread "
                            "of its own")
            ->required()
            ->allow_extra_args(false)
            ->type_name("TEXT");
    }
    addSettingsOption(command, options.settings);
    command.add_flag("--print-result", options.printResult, "end with the line JobResult=0x... on stderr");
    command
        .add_option("--report", options.reportPath,
                    "write the run's record as JSON to this file (replaced atomically; schema: " +
                        reportSchemaPath() + ")")
        ->type_name("FILE.json");
}

int runJob(jobs::JobKind kind, const JobOptions& options) {
    const std::optional<jobs::JobDefinition> job = runner::jobDefinition(kind);
    if (!job) return reportUnusable("this build has no such job");
    return runJob(*job, options);
}

namespace {

// Whether the job's own output file can be written: not something that must never be replaced, and its
// folder takes a file of the size the job will write (a temporary file, removed again).
base::Status checkOutFile(const JobOptions& options) {
    if (base::Status s = runner::checkWriteTarget(options.outFile, options.file, "the file"); !s) return s;
    base::FileReplacement probe(options.outFile, 0644);
    base::Status s = probe.status();
    if (s) s = probe.probe(static_cast<std::size_t>(std::max<std::uint64_t>(options.outFileBytes, 4096)));
    if (!s) return base::Status::error(s.code(), options.outFile + ": " + s.message());
    return s;
}

// One job on one port, to its end or its stop; what it says goes through the console's writer.
int runOne(const jobs::JobDefinition& job, const JobOptions& options, base::StopSignals& signals,
           ConsoleOutput& console) {
    if (!options.outFile.empty()) {
        if (const base::Status s = checkOutFile(options); !s)
            return unusable(console, "the file cannot be written: " + s.message());
    }
    std::optional<runner::ReportTarget> reportTarget;
    if (!options.reportPath.empty()) {
        reportTarget.emplace(options.reportPath, options.file.empty() ? options.outFile : options.file);
        if (!reportTarget->status())
            return unusable(console, "the report cannot be written: " + reportTarget->status().message());
    }
    serial::SerialPort port(serial::makeSystemSerialDevice());
    ConsoleJobView view(base::stderrIsTerminal(), &console);
    ConsoleWindow window(view);
    window.setText(options.windowText);
    serial::Deadline replyDeadline;
    base::FileBuffer file;
    jobs::JobInputs inputs;
    inputs.comText = options.port;
    inputs.settingsEntry = options.settings;
    inputs.filePath = options.file;
    inputs.parameter = options.parameter;
    inputs.windowText = options.windowText;
    runner::JobRun run(job, std::move(inputs));

    base::Notice done;  // the job thread has returned from the frame
    jobs::JobSlot slot;
    slot.init();
    slot.setParameter(options.parameter);
    slot.start([&](std::stop_token stop) {
        run.run({port, replyDeadline, window, view, file}, slot, stop);
        done.notify();
    });
    const int signal = signals.waitForSignalOr(done);
    if (signal != 0) slot.requestStop();
    slot.wait();
    view.finish();
    run.releaseIfStopped();  // stopped: released before anything else

    int reportFailed = kExitOk;
    if (reportTarget && run.recorded()) {
        if (const base::Status s = reportTarget->commit(runner::runReport("hlx", job.kind, {&run})); !s)
            reportFailed = unusable(console, "the report was not written: " + s.message());
    }

    if (run.stopped()) {  // stopped before its report; a job that finished first keeps its result
        if (signal == 0) return unusable(console, "the job ended without its report");
        const std::string note = job.deviceNote ? job.deviceNote() : std::string();
        console.errLine("hlx: " + runner::stoppedLine(signal, note.empty() ? options.stoppedNote : note));
        return 128 + signal;
    }
    if (const std::string reason = run.portReason(); !reason.empty()) console.errLine("hlx: " + reason);
    // A file that cannot be used is a fault of the command line, as for every other command: its reason
    // goes to stderr and the exit code is 2.
    if (run.fileUnusable()) console.errLine("hlx: " + run.fileReason());
    if (options.printResult) console.errLine(fmt::format("JobResult=0x{:X}", *run.reported()));
    if (run.fileUnusable()) return kExitUsage;
    if (reportFailed != kExitOk) return reportFailed;
    return run.succeeded() ? kExitOk : kExitFailed;
}

}  // namespace

int unusable(ConsoleOutput& console, std::string_view message) {
    console.errLine("hlx: " + std::string(message));
    return kExitUsage;
}

int endRun(ConsoleOutput& console, base::StopSignals& signals, int exitCode) {
    // After a stop the output gets a moment; otherwise it is waited for (as any program in a pipe waits
    // for its reader), unless a stop signal comes meanwhile.
    const bool stopped = exitCode > 128;
    int signal = 0;
    bool written = console.finish(
        signals, stopped ? std::chrono::milliseconds(300) : std::chrono::milliseconds(-1), &signal);
    if (signal != 0 && !stopped) {
        exitCode = 128 + signal;
        console.errLine("hlx: " + base::StopSignals::name(signal) +
                        " while the output was waited for; the jobs had ended");
        written = console.drain(signals, std::chrono::milliseconds(300));
    }
    // A writer still blocked holds the stream: the process ends without flushing it (nothing else is left:
    // the ports are released and the report is written).
    if (!written) std::_Exit(exitCode);
    return exitCode;
}

int runJob(const jobs::JobDefinition& job, const JobOptions& options) {
    // First of all, so that a stop signal from here on (while the file is read, say) is taken as one: the
    // run ends with 128 + its number and leaves no temporary file.
    base::StopSignals signals;
    ConsoleOutput console;
    const int exitCode = runOne(job, options, signals, console);
    return endRun(console, signals, exitCode);
}

}  // namespace hlx::cli
