#pragma once
// The terminal input: Enter in the window sends the caret's line to the monitor when it is a command;
// "Bilder" reveals the picture control. (What the monitor sends is shown by IdlePoll.)
//
// Threads: GUI thread only (the idle poll is stopped while a job runs).

#include <string_view>

#include "output/output_window.h"
#include "serial/link.h"

namespace hlx::terminal {

inline constexpr std::string_view kPictureCommand = "Bilder";

struct EnterResult {
    bool sent = false;
    bool showPicture = false;
};

// Enter pressed in the window, before the window inserts its line break.
EnterResult terminalEnter(serial::Link& link, output::OutputWindow& window, bool jobRunning);

// Whether a typed line is a command for the monitor: it holds "=", "!", "?" or "_".
bool isMonitorCommand(std::string_view line8bit);

}  // namespace hlx::terminal
