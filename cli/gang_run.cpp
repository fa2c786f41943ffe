#include "cli/gang_run.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "base/console.h"
#include "base/file_buffer.h"
#include "base/file_system.h"
#include "base/stop_signals.h"
#include "base/text_codec.h"
#include "cli/command_line.h"
#include "cli/console_output.h"
#include "cli/gang_console.h"
#include "firmware/download_common.h"
#include "firmware/hex_image.h"
#include "jobs/job_file.h"
#include "jobs/job_slot.h"
#include "output/text_window.h"
#include "runner/job_records.h"
#include "runner/job_run.h"
#include "serial/port_name.h"
#include "serial/serial_port.h"
#include "serial/system_serial_device.h"

namespace hlx::cli {
namespace {

// A port's progress bar: what the job sets goes to its status line.
class GangJobView : public output::JobView {
public:
    GangJobView(GangConsole& console, std::size_t index) : m_console(console), m_index(index) {}
    void setProgressRange(int minimum, int maximum) override {
        m_minimum = minimum;
        m_maximum = std::max(maximum, minimum + 1);
    }
    void setProgress(int position) override {
        m_console.progress(m_index, (position - m_minimum) * 100 / (m_maximum - m_minimum));
    }
    void setIdlePollEnabled(bool) override {}

private:
    GangConsole& m_console;
    std::size_t m_index;
    int m_minimum = 0;
    int m_maximum = 100;
};

// Everything one port's job works through; nothing of it is shared with another port's job.
struct GangJob {
    GangJob(std::size_t index, GangConsole& console)
        : window([&console, index](std::string_view piece) { console.text(index, piece); }),
          view(console, index) {}

    serial::SerialPort port{serial::makeSystemSerialDevice()};
    output::TextWindow window;
    serial::Deadline replyDeadline;
    GangJobView view;
    std::unique_ptr<base::FileBuffer> file;
    std::optional<runner::JobRun> run;
    jobs::JobSlot slot;  // last: destroyed (and so joined) first
};

// The device a --port names, as the file system sees it, to tell two names of one device apart.
std::string deviceOf(const std::string& typed) {
    return base::systemFileSystem().resolveLink(serial::portDevicePath(base::to8Bit(typed)));
}

// "ok", "stopped", or "failed" followed by the job's failure lines.
std::string resultText(const runner::JobRun& run, bool withFailures) {
    if (run.stopped()) return "stopped";
    if (run.succeeded()) return "ok";
    const std::string failures = withFailures ? runner::failureText(*run.reported()) : std::string();
    return failures.empty() ? "failed" : "failed  " + failures;
}

// One line per port: the port, ok or failed, the bytes sent, the time taken and the failure lines.
void printSummary(const std::vector<std::unique_ptr<GangJob>>& gang, std::size_t labelWidth,
                  ConsoleOutput& out) {
    std::size_t ok = 0;
    for (const auto& job : gang) {
        runner::JobRun& run = *job->run;
        const report::JobRecord* record = run.recorded() ? &run.recorded()->record : nullptr;
        std::string line = run.inputs().comText;
        line.append(labelWidth - line.size(), ' ');
        char figures[64];
        std::snprintf(figures, sizeof figures, "  %-7s %10lld bytes %8.2f s", resultText(run, false).c_str(),
                      static_cast<long long>(record ? record->bytesSent : 0),
                      record ? record->durationSeconds : 0.0);
        line += figures;
        if (const std::string failures = run.stopped() ? std::string() : runner::failureText(*run.reported());
            !failures.empty())
            line += "  " + failures;
        out.out(line + "\n");
        if (run.succeeded()) ++ok;
    }
    out.out(std::to_string(ok) + " of " + std::to_string(gang.size()) + " ports without failure\n");
}

int runGang(const JobFactory& makeJob, const JobOptions& options, base::StopSignals& signals,
            ConsoleOutput& out) {
    // Two names of one device would make the second job fail as "in use" and look like a broken monitor.
    std::vector<std::string> devices;
    std::size_t labelWidth = 0;
    for (const std::string& typed : options.ports) {
        const std::string device = deviceOf(typed);
        if (std::find(devices.begin(), devices.end(), device) != devices.end())
            return unusable(out, "--port " + typed + " names " + device + ", which another --port names too");
        devices.push_back(device);
        labelWidth = std::max(labelWidth, typed.size());
    }
    std::optional<runner::ReportTarget> reportTarget;
    if (!options.reportPath.empty()) {
        reportTarget.emplace(options.reportPath, options.file);
        if (!reportTarget->status())
            return unusable(out, "the report cannot be written: " + reportTarget->status().message());
    }

    // The file, read and checked once for all ports.
    base::FileBuffer file;
    auto prepared =
        std::make_shared<const jobs::PreparedFile>(firmware::prepareFirmwareFile(options.file, file));
    // A stop signal while the file was read ends the run before any port is opened.
    if (const int signal = signals.take(); signal != 0) {
        out.errLine("hlx: " + runner::stoppedLine(signal, "no port was opened"));
        return 128 + signal;
    }
    if (prepared->loaded.isTooLarge())
        return unusable(out, options.file + ": " + jobs::tooLargeLine(prepared->fileSize));
    if (!prepared->loaded) return unusable(out, prepared->loaded.message());
    const report::FileFacts fileFacts = runner::fileFacts(options.file, file.bytes(), /*firmware=*/true);

    GangConsole console(options.ports, base::stdoutIsTerminal(), out);
    base::Notice done;                     // set when a job thread has returned from its frame
    std::atomic<std::size_t> finished{0};  // the job threads that have
    std::vector<std::unique_ptr<GangJob>> gang;
    for (std::size_t i = 0; i < options.ports.size(); ++i) {
        auto job = std::make_unique<GangJob>(i, console);
        job->file = base::FileBuffer::readOnlyView(file);
        jobs::JobInputs inputs;
        inputs.comText = options.ports[i];
        inputs.settingsEntry = options.settings;
        inputs.filePath = options.file;
        inputs.prepared = prepared;
        job->run.emplace(makeJob(), std::move(inputs));
        job->slot.init();
        gang.push_back(std::move(job));
    }
    for (std::size_t i = 0; i < gang.size(); ++i) {
        GangJob& job = *gang[i];
        job.slot.start([&job, &done, &finished, &console, i](std::stop_token stop) {
            job.run->run({job.port, job.replyDeadline, job.window, job.view, *job.file}, job.slot, stop);
            console.result(i, resultText(*job.run, true), job.run->succeeded());
            ++finished;
            done.notify();
        });
    }

    int stopSignal = 0;
    while (finished.load() < gang.size()) {
        // A tick even when nothing wakes us: the status lines redraw what changed within their 100 ms.
        const int signal =
            signals.waitForSignalOrAny({&done, &console.notice()}, std::chrono::milliseconds(100));
        if (signal != 0 && stopSignal == 0) {
            stopSignal = signal;
            for (const auto& job : gang) job->slot.requestStop();
        }
        done.reset();
        console.show();
    }
    for (const auto& job : gang) {
        job->slot.wait();
        job->run->releaseIfStopped();  // stopped: every port released before anything else
    }
    console.finish();
    printSummary(gang, labelWidth, out);

    std::vector<runner::JobRun*> runs;
    for (const auto& job : gang) {
        runner::JobRun& run = *job->run;
        runs.push_back(&run);
        if (const std::string reason = run.portReason(); !reason.empty()) out.errLine("hlx: " + reason);
    }
    int exitCode = kExitOk;
    if (reportTarget) {
        const report::RunReport run =
            runner::runReport("hlx", runs.front()->definition().kind, runs, fileFacts);
        if (const base::Status s = reportTarget->commit(run); !s)
            exitCode = unusable(out, "the report was not written: " + s.message());
    }
    if (stopSignal != 0) out.errLine("hlx: " + runner::stoppedLine(stopSignal, options.stoppedNote));
    // What each port's device was left in, where its job did not succeed and can tell: the job's own lines
    // are not shown in a gang.
    for (runner::JobRun* run : runs) {
        const jobs::JobDefinition& job = run->definition();
        if (run->succeeded() || !job.deviceNote) continue;
        if (const std::string note = job.deviceNote(); !note.empty())
            out.errLine("hlx: " + run->inputs().comText + ": " + note);
    }
    // The run ends with the result words, one line per port that reported (in the order of the --port
    // options), as the manual page says.
    if (options.printResult)
        for (runner::JobRun* run : runs)
            if (run->reported())
                out.errLine(fmt::format("{}: JobResult=0x{:X}", run->inputs().comText, *run->reported()));
    if (stopSignal != 0) return 128 + stopSignal;
    if (exitCode != kExitOk) return exitCode;
    for (runner::JobRun* run : runs)
        if (!run->succeeded()) return kExitFailed;
    return kExitOk;
}

}  // namespace

int runFlash(const JobFactory& makeJob, JobOptions options) {
    if (options.ports.size() == 1) {
        options.port = options.ports.front();
        return runJob(makeJob(), options);
    }
    // First of all, so that a stop signal from here on (while the file is read, say) is taken as one, and
    // the job threads inherit the blocked signals.
    base::StopSignals signals;
    ConsoleOutput out;
    const int exitCode = runGang(makeJob, options, signals, out);
    return endRun(out, signals, exitCode);
}

}  // namespace hlx::cli
