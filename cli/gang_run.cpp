#include "cli/gang_run.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/job_records.h"
#include "base/console.h"
#include "base/file_buffer.h"
#include "base/stop_signals.h"
#include "base/text_codec.h"
#include "cli/command_line.h"
#include "cli/gang_console.h"
#include "firmware/download_common.h"
#include "firmware/hex_image.h"
#include "jobs/job_file.h"
#include "jobs/job_slot.h"
#include "output/job_result.h"
#include "output/text_window.h"
#include "report/report_files.h"
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
    output::OutputLog log{window};
    serial::Deadline replyDeadline;
    GangJobView view;
    std::unique_ptr<base::FileBuffer> file;
    jobs::JobInputs inputs;
    std::optional<jobs::JobDefinition> definition;
    std::optional<std::int32_t> reported;
    std::optional<app::RecordedJob> recorded;
    jobs::JobSlot slot;  // last: destroyed (and so joined) first
};

// The device a --port names, as the file system sees it, to tell two names of one device apart.
std::string deviceOf(const std::string& typed) {
    const std::string device = serial::portDevicePath(base::to8Bit(typed));
    std::error_code ec;
    const std::filesystem::path canonical = std::filesystem::canonical(device, ec);
    return ec ? device : canonical.string();
}

// The report's failure lines of a word, joined; empty when nothing failed.
std::string failureText(std::int32_t word) {
    const std::int32_t failures = word & ~output::result::kNoSuccessLine;
    if (failures == 0) return {};
    std::string text;
    for (const std::string& line : output::reportLines(failures)) {
        if (!text.empty()) text += "; ";
        text += line;
    }
    return text;
}

bool succeeded(const std::optional<std::int32_t>& reported) {
    return reported && (*reported & ~output::result::kNoSuccessLine) == 0;
}

// "ok", "stopped", or "failed" followed by the job's failure lines.
std::string resultText(const std::optional<std::int32_t>& reported, bool withFailures) {
    if (!reported) return "stopped";
    if (succeeded(reported)) return "ok";
    const std::string failures = withFailures ? failureText(*reported) : std::string();
    return failures.empty() ? "failed" : "failed  " + failures;
}

// One line per port: the port, ok or failed, the bytes sent, the time taken and the failure lines.
void printSummary(const std::vector<std::unique_ptr<GangJob>>& gang, std::size_t labelWidth) {
    std::size_t ok = 0;
    for (const auto& job : gang) {
        const report::JobRecord* record = job->recorded ? &job->recorded->record : nullptr;
        std::string line = job->inputs.comText;
        line.append(labelWidth - line.size(), ' ');
        char figures[64];
        std::snprintf(
            figures, sizeof figures, "  %-7s %10lld bytes %8.2f s", resultText(job->reported, false).c_str(),
            static_cast<long long>(record ? record->bytesSent : 0), record ? record->durationSeconds : 0.0);
        line += figures;
        if (const std::string failures = job->reported ? failureText(*job->reported) : std::string();
            !failures.empty())
            line += "  " + failures;
        base::printText(stdout, "%s\n", line.c_str());
        if (succeeded(job->reported)) ++ok;
    }
    base::printText(stdout, "%zu of %zu ports without failure\n", ok, gang.size());
}

int runGang(const JobFactory& makeJob, const JobOptions& options) {
    // Two names of one device would make the second job fail as "in use" and look like a broken monitor.
    std::vector<std::string> devices;
    std::size_t labelWidth = 0;
    for (const std::string& typed : options.ports) {
        const std::string device = deviceOf(typed);
        if (std::find(devices.begin(), devices.end(), device) != devices.end())
            return reportUnusable("--port " + typed + " names " + device +
                                  ", which another --port names too");
        devices.push_back(device);
        labelWidth = std::max(labelWidth, typed.size());
    }
    std::optional<report::ReportFile> reportFile;
    if (!options.reportPath.empty()) {
        reportFile.emplace(options.reportPath);
        if (!reportFile->status())
            return reportUnusable("the report cannot be written: " + reportFile->status().message());
    }

    // The file, read and checked once for all ports.
    base::FileBuffer file;
    auto prepared =
        std::make_shared<const jobs::PreparedFile>(firmware::prepareFirmwareFile(options.file, file));
    if (prepared->loaded.isTooLarge())
        return reportUnusable(options.file + ": " + jobs::tooLargeLine(prepared->fileSize));
    if (!prepared->loaded) return reportUnusable(prepared->loaded.message());
    const report::FileFacts fileFacts = app::fileFacts(options.file, file.bytes(), /*firmware=*/true);

    GangConsole console(options.ports, base::stdoutIsTerminal());
    // Before the job threads start, so that they inherit the blocked signals.
    base::StopSignals signals;
    base::Notice done;                     // set when a job thread has returned from its frame
    std::atomic<std::size_t> finished{0};  // the job threads that have
    std::vector<std::unique_ptr<GangJob>> gang;
    for (std::size_t i = 0; i < options.ports.size(); ++i) {
        auto job = std::make_unique<GangJob>(i, console);
        job->file = base::FileBuffer::readOnlyView(file);
        job->inputs.comText = options.ports[i];
        job->inputs.settingsEntry = options.settings;
        job->inputs.filePath = options.file;
        job->inputs.prepared = prepared;
        job->definition = makeJob();
        job->slot.init();
        gang.push_back(std::move(job));
    }
    for (std::size_t i = 0; i < gang.size(); ++i) {
        GangJob& job = *gang[i];
        job.slot.start([&job, &done, &finished, &console, i](std::stop_token stop) {
            jobs::JobContext context{
                {job.port, job.replyDeadline, job.log, stop}, job.view, *job.file, job.inputs};
            job.reported = app::runRecordedJob(
                *job.definition, context, job.slot, [&job] { return job.window.text(); },
                [&job](app::RecordedJob r) { job.recorded = std::move(r); });
            console.result(i, resultText(job.reported, true));
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
        if (!job->reported) job->port.close();  // stopped: every port released before anything else
    }
    console.finish();
    printSummary(gang, labelWidth);

    for (const auto& job : gang) {
        // As for one port: a monitor that left the bus after a complete transfer (it restarted) is no
        // failure, and its port's loss is not reported as one.
        const bool failed = !job->reported || (*job->reported & ~output::result::kNoSuccessLine) != 0;
        if (const serial::PortState state = job->port.state(); !state.status && (failed || !state.lost()))
            base::printText(stderr, "hlx: %s\n", state.status.message().c_str());  // it names the device
        if (options.printResult && job->reported)
            base::printText(stderr, "%s: JobResult=0x%X\n", job->inputs.comText.c_str(),
                            static_cast<unsigned>(*job->reported));
    }
    int exitCode = kExitOk;
    if (reportFile) {
        report::RunReport run;
        run.tool = app::toolFacts("hlx");
        run.method = app::methodName(gang.front()->definition->kind);
        run.file = fileFacts;
        for (const auto& job : gang)
            if (job->recorded) run.jobs.push_back(job->recorded->record);
        if (const base::Status s = reportFile->commit(run); !s)
            exitCode = reportUnusable("the report was not written: " + s.message());
    }
    if (stopSignal != 0) {
        base::printText(stderr, "hlx: stopped by %s; %s\n", base::StopSignals::name(stopSignal).c_str(),
                        options.stoppedNote.c_str());
        return 128 + stopSignal;
    }
    if (exitCode != kExitOk) return exitCode;
    for (const auto& job : gang)
        if (!succeeded(job->reported)) return kExitFailed;
    return kExitOk;
}

}  // namespace

int runFlash(const JobFactory& makeJob, JobOptions options) {
    if (options.ports.size() == 1) {
        options.port = options.ports.front();
        return runJob(makeJob(), options);
    }
    return runGang(makeJob, options);
}

}  // namespace hlx::cli
