#pragma once
// The frame every job follows on the job thread:
//   1. stop the idle poll; clear the window where the kind does; re-open the port (with the kind's fixed
//      entry or the selected one) and, if it opened, set its line; a port that cannot be opened starts
//      the word with 0x800 for every kind (and nothing else: no settings were tried), settings refused
//      on an open port with 0x400 where the kind records it; a body given a word with 0x800 sends
//      nothing;
//   2. the kind's body, which returns its outcome; if the port went away meanwhile, a line says so and the
//      word gets 0x20 unless a write or reply step already recorded the failure; when the body says the
//      transfer was complete by then (completeBeforeLoss), the line says the monitor closed the
//      connection instead, and nothing is recorded;
//   3. the kind's beforeReport step (if any; it may add failure bits); the result report (0x1000 added
//      where the kind prints no success line); the body's failure lines; the closing line; the kind's
//      afterReport step (if any); the caret to the end where the kind does;
//   4. start the idle poll again and mark the slot finished (finished first where the kind says so).
// The frame asks no question about which kind it runs: all differences are in the JobDefinition.
//
// A stop request (the window closes) ends the frame at once: after it the job touches neither port nor
// window, and the slot is left to end(), which joins the thread.
//
// An exception out of any step (an allocation that fails, a library call that throws) ends the job, not
// the program: the frame writes jobAbortedLine(reason), hands 0x2000 to the result report, restarts the
// idle poll and marks the slot finished (whatever of that the job had not done yet), so the window goes
// on and the next job can start.
//
// A definition may hold state for the run in progress (the boot loader's echo state): it serves one job
// at a time. Jobs that run at once (a gang run, one job per port) each get a definition of their own.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "jobs/job_context.h"
#include "jobs/job_kind.h"
#include "jobs/job_slot.h"

namespace hlx::jobs {

// The job's own part: gets the word the common start left (port bits) and returns its outcome.
using JobBody = std::function<JobOutcome(JobContext&, std::int32_t word)>;
// The step before the report; it may add failure bits (a closing command whose answer fails).
using JobClosingStep = std::function<void(JobContext&, JobOutcome&)>;
// A step after the report; it sees the outcome (and may not change it).
using JobStep = std::function<void(JobContext&, const JobOutcome&)>;

struct JobDefinition {
    JobKind kind;
    JobBody body;
    JobClosingStep beforeReport;  // may be empty
    JobStep afterReport;          // may be empty
    // What a job that did not succeed (stopped by a signal, or failed) has left on the device, for a runner
    // that does not show the job's own lines: a stop line, a gang's summary (English, as the command
    // line's own lines). May be empty, or return "" where there is nothing to add. Asked only after the
    // job thread has returned.
    std::function<std::string()> deviceNote = {};
    const JobTraits& traits() const { return traitsOf(kind); }
};

// The line written before the report when the port went away during the job.
std::string connectionLostLine(std::string_view device);
// The line written instead when the port went away after the transfer was complete.
std::string closedByMonitorLine(std::string_view device);
// The line written when an exception ended the job.
std::string jobAbortedLine(std::string_view reason);

// Runs the whole job on the calling (job) thread and marks the slot finished unless stopped. Returns the
// word handed to the result report (0x1000 included where the kind adds it), or nothing when stopped.
// With finalOutcome, the outcome as reported (its word that word) is also stored there; when stopped,
// it holds what the body had returned by then (or stays as it was if the stop came before).
std::optional<std::int32_t> runJobFrame(const JobDefinition& job, JobContext& context, JobSlot& slot,
                                        JobOutcome* finalOutcome = nullptr);

}  // namespace hlx::jobs
