#include "terminal/terminal_io.h"

#include <algorithm>
#include <string>

#include "base/text_codec.h"

namespace hlx::terminal {

bool isMonitorCommand(std::string_view line) {
    return line.find_first_of("=!?_") != std::string_view::npos;
}

EnterResult terminalEnter(serial::Link& link, output::OutputWindow& window, bool jobRunning) {
    const std::string line = window.lineAt(window.selectionStart());
    const std::string eight = base::to8Bit(line);
    EnterResult result;
    if (isMonitorCommand(eight) && !jobRunning) result.sent = serial::sendLine(link, line);
    result.showPicture = eight.find(kPictureCommand) != std::string::npos;
    return result;
}

}  // namespace hlx::terminal
