#pragma once
// Where a run's record is kept:
// - writeRunReport: the report file of `hlx ... --report FILE.json`, replaced atomically (see
//   base/atomic_file.h), so a quality system that collects it finds the old file or the whole new one,
//   never half a report.
// - appendJobLog: the window's job log, one JSON line per job, in the user's state folder
//   ($XDG_STATE_HOME/QUENDAL/hlx-jobs.jsonl, else ~/.local/state/QUENDAL/hlx-jobs.jsonl). Each line is
//   appended with one write to a file opened with O_APPEND, so lines of several windows (or processes)
//   never mix; a write the disk cuts short is reported, never completed by a second write that another
//   writer's line could split.
// Failures come back as a Status naming the path and the reason; nothing is thrown.
//
// Threads: no shared state; a job thread may call them.

#include <string>

#include "base/atomic_file.h"
#include "base/status.h"
#include "report/job_record.h"

namespace hlx::report {

inline constexpr const char kJobLogFolder[] = "QUENDAL";
inline constexpr const char kJobLogName[] = "hlx-jobs.jsonl";

base::Status writeRunReport(const std::string& path, const RunReport& report);

// A report file named before a run and written at its end: the folder is tried at the start (a temporary
// file is made beside the target and its first block written and flushed to the disk), so a run whose
// report could not be kept (no permission, a full file system) is refused before it touches a monitor.
// The target is replaced only by commit.
class ReportFile {
public:
    explicit ReportFile(std::string path, base::FileSystem& files = base::systemFileSystem());
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;

    const std::string& path() const { return m_path; }
    // Whether the report can be written there ("path: reason" otherwise).
    const base::Status& status() const { return m_status; }
    // Writes the report over the target; at most once, and only when status() is ok.
    base::Status commit(const RunReport& report);

private:
    std::string m_path;
    base::FileReplacement m_replacement;
    base::Status m_status;
};

// The job log's path for this user (the environment read now).
std::string jobLogPath();
// Appends the run (normally of one job) as one line; creates the folders and the file as needed.
base::Status appendJobLog(const std::string& path, const RunReport& run,
                          base::FileSystem& files = base::systemFileSystem());

}  // namespace hlx::report
