#pragma once
// The terminal sender (job kind 3): sends the output window's text back to the monitor line by line, as
// command lines, and shows each answer beside its line.
//
// The text is the snapshot taken when the job started (the window shows it in its hidden memo); what the
// job itself writes into the window is not sent. It is split into lines at LF, a CR right before the LF
// belonging to the line end (the window's CR LF, and a lone LF, which the window also shows as a line
// break); a lone CR is not a line break. An empty last line (text ending in a line break) does not count,
// an empty line elsewhere is sent as CR LF alone and must be answered like any other.
//
// Before the first line, whatever the monitor is still sending is read and dropped until the line has
// been quiet for 100 ms (for at most kDrainCap, so a monitor that never falls quiet cannot hold the job).
// Each line then goes out with sendLine (8-bit, CR LF added), is shown in the window followed by one space
// (the monitor's answer follows on the same line), and gets 1000 ms for its answer line; an answer line
// end or XON moves that deadline 1500 ms on.
//
// Result word: 0x20 when a line gets no answer line in time (the remaining lines are not sent), 0x01 when
// an answer holds an error byte after at least one line end (the answer shows its name; no report line),
// 0x10 when the port is open but took fewer bytes than given (0x20 when the monitor held the flow with
// XOFF for longer than the answer window); 0x800 when the port did not open, and then no line is tried
// (settings the port refused are not recorded). An empty text sends nothing and ends at once.
//
// Progress bar: 0 to the number of lines; it shows how many lines have gone out, the line being sent
// included, and keeps that value when the job stops.
//
// Threads: runs on the job thread inside the job frame.

#include <string>
#include <string_view>
#include <vector>

#include "jobs/job_frame.h"

namespace hlx::terminal {

inline constexpr serial::Milliseconds kTerminalSendArm{2};
inline constexpr serial::Milliseconds kDrainCap{1000};
inline constexpr serial::Milliseconds kLineAnswerWindow{1000};

// The lines the job sends for a window text, without their line breaks.
std::vector<std::string> terminalLines(std::string_view text);

// The job's own part, run inside the job frame. Sends inputs.windowText.
jobs::JobOutcome runTerminalSender(jobs::JobContext& context, std::int32_t word);

// The whole definition of the job for the frame.
jobs::JobDefinition terminalSenderJob();

}  // namespace hlx::terminal
