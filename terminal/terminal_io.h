#pragma once
// The terminal on the serial line while no job runs: the idle poll shows what the monitor sends, and
// Enter in the window sends the caret's line.
//
// Idle poll: the received text goes in with one space before it, one character before the caret (so
// after Enter at the end of the text it lands between that line's CR and LF), and the caret moves on by
// the text's length + 2. Under a continuous stream one tick reads for at most kTickCap and leaves the
// rest for the next tick, so the window stays responsive; nothing is lost.
//
// Threads: GUI thread only (the idle poll is stopped while a job runs).

#include <string_view>

#include "serial/link.h"
#include "output/output_window.h"

namespace hlx::terminal {

inline constexpr serial::Milliseconds kTickCap{1000};
inline constexpr std::string_view kPictureCommand = "Bilder";

// One tick of the idle poll. Returns whether anything was shown.
bool idlePoll(serial::Link& link, output::OutputWindow& window);

struct EnterResult {
    bool sent = false;
    bool showPicture = false;
};

// Enter pressed in the window, before the window inserts its line break.
EnterResult terminalEnter(serial::Link& link, output::OutputWindow& window, bool jobRunning);

// Whether a typed line is a command for the monitor: it holds "=", "!", "?" or "_".
bool isMonitorCommand(std::string_view line8bit);

}  // namespace hlx::terminal
