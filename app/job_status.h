#pragma once
// JobStatus: what the status bar says about the last job, so a technician sees at a glance how it went
// without reading the output window: the first failure line, or the job's success line, with a word that
// says which it is (the window colours it too, but never by colour alone). It stands until the next job
// starts.
//
// Threads: plain values; built wherever the job's record is.

#include <string>
#include <string_view>

#include "output/job_view.h"
#include "report/job_record.h"

namespace hlx::app {

enum class JobOutcome {
    None,       // no job yet, or one running
    Succeeded,  // the job ran to its report without a failure
    Failed,
};

struct JobStatus {
    JobOutcome outcome = JobOutcome::None;
    std::string line;  // the output window's line it stands for (UTF-8); empty with None

    bool operator==(const JobStatus&) const = default;
};

inline constexpr std::string_view kSucceededWord = "OK";
inline constexpr std::string_view kFailedWord = "FEHLER";

// The status of a job that ran to its end: failed with its first failure line (a line of the job that
// starts with "Fehler", else the first line the result report writes for its word), or succeeded with
// the success line "Datei fehlerfrei übertragen" where the job wrote it, else its last line (the byte
// count of the kinds without a success line). A job stopped before its report has no status.
JobStatus jobStatusOf(const report::JobRecord& record);

// The status bar's text: the word, then the line ("FEHLER – Fehler: Bestätigungsfehler"); empty for None.
std::string jobStatusText(const JobStatus& status);

// The job's view of the progress bar, passed through to the window, that remembers how far the job got:
// the jobs empty the bar at their end, and showWhereStopped() puts it back where the job stopped (full
// after a transfer that went through, where it broke off after a failure).
//
// Threads: the job thread (one per job).
class ProgressKept : public output::JobView {
public:
    explicit ProgressKept(output::JobView& view) : m_view(view) {}
    void setProgressRange(int minimum, int maximum) override;
    void setProgress(int position) override;
    void setIdlePollEnabled(bool enabled) override { m_view.setIdlePollEnabled(enabled); }
    void showWhereStopped();
    int furthest() const { return m_furthest; }

private:
    output::JobView& m_view;
    int m_furthest = 0;
};

}  // namespace hlx::app
