#pragma once
// The terminal input: Enter in the window sends the caret's line to the monitor when it is a command;
// "Bilder" reveals the picture control. (What the monitor sends is shown by IdlePoll.)
//
// Sending never waits for the monitor: while it holds the flow with XOFF (seen by any reader of the
// terminal's link, the idle poll included) the line is not sent. A command line that cannot go out, for
// that or any other reason, gets a line at the end of the window saying why; the technician types it
// again once the monitor is ready. During a job nothing typed is sent, by design, and nothing is said.
//
// Threads: GUI thread only (the idle poll is stopped while a job runs).

#include <optional>
#include <string>
#include <string_view>

#include "output/output_window.h"
#include "serial/link.h"

namespace hlx::terminal {

inline constexpr std::string_view kPictureCommand = "Bilder";

struct EnterResult {
    // What became of a command line; nothing when the line was not one or a job runs.
    std::optional<serial::SendOutcome> send;
    std::string line;  // the caret's line (UTF-8)
    bool showPicture = false;
    bool sent() const { return send == serial::SendOutcome::Sent; }
};

// Enter pressed in the window, before the window inserts its line break.
EnterResult terminalEnter(serial::Link& link, output::OutputWindow& window, bool jobRunning);

// Whether a typed line is a command for the monitor: it holds "=", "!", "?" or "_".
bool isMonitorCommand(std::string_view line8bit);

// The terminal's sending rule, for the window and hlx alike: a typed line (UTF-8) that is a command for the
// monitor is sent at once (8-bit characters, CR LF; never waiting, see sendLineNow); any other line is not
// sent (nothing is returned).
std::optional<serial::SendOutcome> sendTypedLine(serial::Link& link, std::string_view line);

// The line shown for a command line that did not go out (empty for Sent).
std::string_view notSentLine(serial::SendOutcome outcome);

}  // namespace hlx::terminal
