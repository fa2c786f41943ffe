#include "runner/job_run.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "base/stop_signals.h"
#include "output/job_result.h"
#include "output/output_log.h"

namespace hlx::runner {

JobRun::JobRun(jobs::JobDefinition job, jobs::JobInputs inputs)
    : m_job(std::move(job)), m_inputs(std::move(inputs)) {}

void JobRun::run(const JobPlace& place, jobs::JobSlot& slot, std::stop_token stop, const KeepRecord& keep) {
    m_port = &place.port;
    m_file = &place.file;
    // The job's own knowledge of its lines. Its record takes them from the transcript (what the job
    // wrote), not from the window: a window that closes (and so stops the job) gives no text any more.
    std::string shown;
    output::OutputLog log(place.window, &shown);
    jobs::JobContext context{{place.port, place.replyDeadline, log, stop}, place.view, place.file, m_inputs};
    m_reported = runRecordedJob(
        m_job, context, slot, [&shown] { return shown; },
        [&](RecordedJob recorded) {
            if (keep)
                keep(std::move(recorded));
            else
                m_recorded = std::move(recorded);
        });
}

bool JobRun::succeeded() const {
    return m_reported && (*m_reported & ~output::result::kNoSuccessLine) == 0;
}

void JobRun::releaseIfStopped() {
    if (stopped() && m_port) m_port->close();
}

std::string JobRun::portReason() const {
    if (!m_port) return {};
    const serial::PortState state = m_port->state();
    if (state.status.isOk() || (succeeded() && state.lost())) return {};
    return state.status.message();  // it names the device
}

bool JobRun::fileUnusable() const {
    return m_reported && (*m_reported & output::result::kFileOpen) != 0;
}

std::string JobRun::fileReason() const {
    if (!fileUnusable()) return {};
    const std::string reason = m_file ? m_file->lastError().message() : std::string();
    return reason.empty() ? m_inputs.filePath + ": cannot be read" : reason;
}

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

std::string stoppedLine(int signal, std::string_view note) {
    return "stopped by " + base::StopSignals::name(signal) + "; " + std::string(note);
}

namespace {

base::Status refused(const std::string& path, const std::string& why, std::string_view what) {
    return base::Status::error(
        base::StatusCode::NotRegularFile,
        path + ": " + why + "; " + std::string(what) + " is written only to a regular file or a new name");
}

// The same place under two spellings (a new name has no file to compare yet).
bool samePlace(const std::string& a, const std::string& b) {
    std::error_code ea, eb;
    const std::filesystem::path pa = std::filesystem::weakly_canonical(a, ea);
    const std::filesystem::path pb = std::filesystem::weakly_canonical(b, eb);
    return !ea && !eb && pa == pb;
}

}  // namespace

base::Status checkWriteTarget(const std::string& path, const std::string& ownFile, std::string_view what,
                              base::FileSystem& files) {
    const std::string own = "the file this run reads or writes (" + ownFile + ")";
    base::FileInfo entry;
    if (base::Status s = files.entryInfo(path, entry); !s) {
        if (!s.isNotFound()) return s.withContext(path);
        // A new name (its folder is tried by the probe), unless it is the run's own new file.
        if (!ownFile.empty() && samePlace(path, ownFile)) return refused(path, own, what);
        return base::Status::ok();
    }
    if (entry.kind == base::FileKind::Link) {
        base::FileInfo target;
        if (base::Status s = files.info(path, target); !s)
            return refused(path, "a symbolic link that leads to no file (" + s.message() + ")", what);
        if (target.kind != base::FileKind::Regular)
            return refused(path, "a symbolic link to something that is not a regular file", what);
        entry = target;
    }
    if (entry.kind == base::FileKind::Folder) return refused(path, "a folder", what);
    if (entry.kind != base::FileKind::Regular) return refused(path, "a device, FIFO or socket", what);
    base::FileInfo input;
    if (!ownFile.empty() && files.info(ownFile, input).isOk() && base::sameFile(entry, input))
        return refused(path, own, what);
    return base::Status::ok();
}

ReportTarget::ReportTarget(const std::string& path, const std::string& inputFile, base::FileSystem& files)
    : m_path(path) {
    m_status = checkWriteTarget(path, inputFile, "a report", files);
    if (!m_status) return;
    m_file.emplace(path, files);
    m_status = m_file->status();
}

base::Status ReportTarget::commit(const report::RunReport& report) {
    if (!m_status) return m_status;
    return m_file->commit(report);
}

report::RunReport runReport(std::string toolName, jobs::JobKind kind, std::vector<JobRun*> runs,
                            std::optional<report::FileFacts> sharedFile) {
    report::RunReport run;
    run.tool = toolFacts(std::move(toolName));
    run.method = methodName(kind);
    run.file = std::move(sharedFile);
    for (JobRun* job : runs) {
        if (!job->recorded()) continue;
        if (!run.file && job->recorded()->file) run.file = job->recorded()->file;
        run.jobs.push_back(job->recorded()->record);
    }
    return run;
}

}  // namespace hlx::runner
