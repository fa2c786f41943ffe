#include "cli/terminal_line.h"

#include "base/text_codec.h"
#include "serial/system_serial_device.h"

namespace hlx::cli {

TerminalLine::TerminalLine(std::string device, int entry)
    : m_device(std::move(device)),
      m_entry(entry),
      m_port(serial::makeSystemSerialDevice()),
      m_log(m_window),
      m_link{m_port, m_deadline, m_log, {}} {}

bool TerminalLine::open() {
    m_link.flow = {};
    if (!m_port.open(m_device, m_entry, true)) return false;
    return m_port.state().configured;
}

std::string TerminalLine::reason() const {
    const serial::PortState state = m_port.state();
    if (!state.status) return state.status.message();
    return m_device + ": the serial port cannot be used";
}

std::string consoleText(std::string_view bytes, bool& pendingCr) {
    const std::string text = base::windows1252ToUtf8(bytes);
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (pendingCr) {
            pendingCr = false;
            if (c == '\n') continue;
        }
        if (c == '\r') {
            out += '\n';
            pendingCr = true;
        } else {
            out += c;
        }
    }
    return out;
}

std::string outputCutLine(std::string_view who) {
    return "the output was cut (stdout was closed or could not be written); " + std::string(who) +
           " ran to its end";
}

}  // namespace hlx::cli
