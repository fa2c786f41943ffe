#pragma once
// The five job kinds and what the common frame does differently for each. A kind's own steps (its body
// and what it adds before and after the result report) belong to the kind's folder; the table here holds
// only the frame's switches.

#include <array>
#include <cstdint>

namespace hlx::jobs {

enum class JobKind : int {
    RtqDownload = 0,
    RealtermDownload = 1,
    BootLoader = 2,
    TerminalSender = 3,
    FileSender = 4
};
enum class JobState : std::int32_t { Idle = 0, Running = 1, Finished = 2 };

struct JobTraits {
    bool clearsWindow;
    bool refreshAfterClear;
    bool recordsPortBits;  // 0x800 / 0x400 start the word
    bool noSuccessLine;    // 0x1000 added for the report
    bool caretToEnd;
    bool finishedBeforePoll;  // the slot is marked finished before the idle poll restarts
    int fixedEntry;           // settings entry the job opens the port with; -1: the selected one
};

inline constexpr std::array<JobTraits, 5> kJobTraits{{
    /* RtqDownload      */ {true, true, true, true, true, false, -1},
    /* RealtermDownload */ {true, false, true, false, false, false, -1},
    /* BootLoader       */ {true, true, true, false, false, true, 2},
    /* TerminalSender   */ {false, false, false, true, true, false, -1},
    /* FileSender       */ {true, true, true, true, true, false, -1},
}};

constexpr const JobTraits& traitsOf(JobKind kind) {
    return kJobTraits[static_cast<int>(kind)];
}

}  // namespace hlx::jobs
