#pragma once
// JobRun: one job on one port, run to its end or its stop, the same for the window, `hlx` with one port
// and each port of a gang run. It runs the job in the job frame through an OutputLog of its own, keeps
// the job's record (runner/job_records.h) and, once the job thread has returned, says what a runner
// reports besides the job's own lines: whether the job was stopped or failed, why its port could not be
// used, why its file could not be used.
//
// ReportTarget: the report file a run writes at its end (`--report FILE.json`), checked before any port is
// opened (see the class).
//
// Threads: run() on the job thread; everything else once that thread has returned from run() (joined, or
// after the notice it gives), on the thread that started it.

#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_buffer.h"
#include "base/file_system.h"
#include "base/status.h"
#include "jobs/job_frame.h"
#include "jobs/job_slot.h"
#include "output/job_view.h"
#include "output/output_window.h"
#include "report/report_files.h"
#include "runner/job_records.h"
#include "serial/deadline.h"
#include "serial/serial_port.h"

namespace hlx::runner {

// What a job works through besides its definition and inputs; owned by whoever runs it and outliving the
// run. The window hands in its own port, file buffer and view; a gang run one set per port.
struct JobPlace {
    serial::SerialPort& port;
    serial::Deadline& replyDeadline;
    output::OutputWindow& window;
    output::JobView& view;
    base::FileBuffer& file;
};

class JobRun {
public:
    JobRun(jobs::JobDefinition job, jobs::JobInputs inputs);
    JobRun(const JobRun&) = delete;
    JobRun& operator=(const JobRun&) = delete;

    // Job thread: runs the job to its end or its stop. Its record goes to keep when one is given (on the
    // job thread, at the moment runRecordedJob hands it over); otherwise it is kept here (recorded()).
    void run(const JobPlace& place, jobs::JobSlot& slot, std::stop_token stop, const KeepRecord& keep = {});

    const jobs::JobDefinition& definition() const { return m_job; }
    const jobs::JobInputs& inputs() const { return m_inputs; }

    // After run() has returned:
    // The word handed to the result report; nothing when the job was stopped before its report.
    const std::optional<std::int32_t>& reported() const { return m_reported; }
    bool stopped() const { return !m_reported; }
    // Reported, and its word holds no failure.
    bool succeeded() const;
    // The record, unless it went to keep.
    std::optional<RecordedJob>& recorded() { return m_recorded; }
    // Releases the port of a job stopped before its report, before anything else is done.
    void releaseIfStopped();
    // Why the port could not be used ("" when nothing is worth saying). A port the monitor left after a
    // complete transfer (it restarted) is no failure, and its loss is not reported as one.
    std::string portReason() const;
    // Whether the job's file could not be read (a fault of the command line, not of the monitor), and why.
    bool fileUnusable() const;
    std::string fileReason() const;

private:
    jobs::JobDefinition m_job;
    jobs::JobInputs m_inputs;
    serial::SerialPort* m_port = nullptr;
    base::FileBuffer* m_file = nullptr;
    std::optional<std::int32_t> m_reported;
    std::optional<RecordedJob> m_recorded;
};

// The report's failure lines of a word, joined by "; "; empty when nothing failed.
std::string failureText(std::int32_t word);
// "stopped by SIGINT; <note>": what a runner says when a stop signal ended its jobs.
std::string stoppedLine(int signal, std::string_view note);

// Why path must not be replaced by a file a run writes (what: "a report", "the Intel HEX file"); ok when it
// may. Refused are a device node, FIFO, socket or folder, a symbolic link that does not lead to a regular
// file (a dangling one, /dev/stdout on a pipe), and ownFile (the file the run reads, or another file it
// writes; "": none) under whatever name, a new one too. A link to a regular file is followed.
[[nodiscard]] base::Status checkWriteTarget(const std::string& path, const std::string& ownFile,
                                            std::string_view what,
                                            base::FileSystem& files = base::systemFileSystem());

// The report file of a run, named before it starts and written at its end. Before any port is opened it
// refuses what must never be replaced by a report, and finds out, as far as the file system can tell,
// whether the report will be written:
// - the target must be a regular file or a new name; a device node, FIFO, socket or folder is refused,
//   and so is a symbolic link that does not lead to a regular file (a dangling one, /dev/stdout on a
//   pipe); a link that leads to a regular file is followed and that file replaced;
// - the target must not be the file the run reads (the firmware), under whatever name;
// - the temporary file beside it is made and its first block (4 KiB) written and flushed to the disk, so a
//   folder without write permission or a full file system is found before a monitor is touched.
// The target is replaced (atomically) only by commit.
class ReportTarget {
public:
    // inputFile: the file the run reads, or the file it writes besides the report ("" when none).
    ReportTarget(const std::string& path, const std::string& inputFile,
                 base::FileSystem& files = base::systemFileSystem());
    const std::string& path() const { return m_path; }
    // Ok, or "path: reason" for a target refused or that cannot be written.
    const base::Status& status() const { return m_status; }
    [[nodiscard]] base::Status commit(const report::RunReport& report);

private:
    std::string m_path;
    std::optional<report::ReportFile> m_file;
    base::Status m_status;
};

// The document of a run: the tool, the method of the jobs' kind, the file described once for all jobs
// (a gang) or the single job's own, and the record of every job that left one.
report::RunReport runReport(std::string toolName, jobs::JobKind kind, std::vector<JobRun*> runs,
                            std::optional<report::FileFacts> sharedFile = std::nullopt);

}  // namespace hlx::runner
