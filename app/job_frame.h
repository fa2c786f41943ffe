#pragma once
// The frame every job follows on the job thread: stop the idle poll, clear the window (not for the
// terminal sender, whose input is that text), re-open the port, run the job's own part while its result
// word is 0, hand the word to the result report, write the job's closing line, put the caret at the end
// where the kind does, start the idle poll again and mark the slot finished. The per-kind differences are
// the table kJobTraits.
//
// A stop request (the window closes) ends the frame at once: after it the job touches neither port nor
// window.

#include <array>
#include <functional>
#include <optional>

#include "app/job_slot.h"
#include "serial/job_context.h"

namespace hlx::app {

struct JobTraits {
    bool clearsWindow;
    bool refreshAfterClear;
    bool recordsPortBits;      // 0x800 / 0x400 start the word
    bool noSuccessLine;        // 0x1000 added for the report
    bool caretToEnd;
    bool finishedBeforePoll;   // the boot loader marks the slot finished before restarting the poll
    int fixedEntry;            // settings entry the job opens the port with; -1: the selected one
};

inline constexpr std::array<JobTraits, 5> kJobTraits{{
    /* RtqDownload      */ {true, true, true, true, true, false, -1},
    /* RealtermDownload */ {true, false, true, false, false, false, -1},
    /* BootLoader       */ {true, true, true, false, false, true, 2},
    /* TerminalSender   */ {false, false, false, true, true, false, -1},
    /* FileSender       */ {true, true, true, true, true, false, -1},
}};

constexpr const JobTraits& traitsOf(JobKind kind) { return kJobTraits[static_cast<int>(kind)]; }

// The job's own part: gets the word the common start left (port bits) and returns its outcome.
using JobBody = std::function<JobOutcome(JobContext&, std::int32_t word)>;

// Runs the whole job on the calling (job) thread. Marks the slot finished unless stopped. Returns the word
// handed to the result report (0x1000 included where the kind adds it), or nothing when stopped.
std::optional<std::int32_t> runJobFrame(JobKind kind, const JobBody& body, JobContext& context, JobSlot& slot);

// The job's own part for a kind, or an empty function for a kind this build does not have.
JobBody jobBodyFor(JobKind kind);

}  // namespace hlx::app
