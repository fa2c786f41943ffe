#include "terminal/terminal_io.h"

#include <string>

#include "base/text_codec.h"
#include "output/output_log.h"

namespace hlx::terminal {

bool isMonitorCommand(std::string_view line) {
    return line.find_first_of("=!?_") != std::string_view::npos;
}

std::string_view notSentLine(serial::SendOutcome outcome) {
    switch (outcome) {
        case serial::SendOutcome::Sent:
            return {};
        case serial::SendOutcome::NotOpen:
            return "Fehler: Zeile nicht gesendet, COM Port nicht geöffnet";
        case serial::SendOutcome::FlowHeld:
            return "Fehler: Zeile nicht gesendet, der Monitor hält die Übertragung an (XOFF)";
        case serial::SendOutcome::NotWritten:
            return "Fehler: Zeile nicht gesendet, nicht alle Daten konnten gesendet werden";
    }
    return {};
}

std::optional<serial::SendOutcome> sendTypedLine(serial::Link& link, std::string_view line) {
    if (!isMonitorCommand(base::to8Bit(line))) return std::nullopt;
    return serial::sendLineNow(link, line);
}

EnterResult terminalEnter(serial::Link& link, output::OutputWindow& window, bool jobRunning) {
    const std::string line = window.lineAt(window.selectionStart());
    const std::string eight = base::to8Bit(line);
    EnterResult result;
    result.line = line;
    if (!jobRunning) result.send = sendTypedLine(link, line);
    if (result.send) {
        if (!result.sent()) {
            output::OutputLog log(window);
            log.addLine(notSentLine(*result.send));
            log.refresh();
        }
    }
    result.showPicture = eight.find(kPictureCommand) != std::string::npos;
    return result;
}

}  // namespace hlx::terminal
