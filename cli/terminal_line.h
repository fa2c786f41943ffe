#pragma once
// TerminalLine: the serial port of `hlx command` and `hlx terminal`, opened as the window opens it (the
// COM-Nr text turned into a device, the settings entry applied), with the link the window's terminal
// uses. What the monitor sends is shown on the console as the window's terminal shows it: Windows-1252
// text as UTF-8, XON and XOFF taken as flow control, CR LF (and a lone CR) as one line break.
//
// Threads: the main thread only, except wake().

#include <string>
#include <string_view>

#include "output/output_log.h"
#include "output/text_window.h"
#include "serial/deadline.h"
#include "serial/link.h"
#include "serial/serial_port.h"

namespace hlx::cli {

// The one quiet time of both commands: the monitor has answered once it has been quiet this long.
inline constexpr std::chrono::milliseconds kDefaultQuiet{300};

class TerminalLine {
public:
    TerminalLine(std::string device, int entry);

    // Opens (again) and configures the port; false when it cannot be used, reason() says why.
    bool open();
    std::string reason() const;
    bool lost() const { return m_port.state().lost(); }
    bool isOpen() const { return m_port.isOpen(); }
    // Linux: the port's descriptor for poll(), -1 when closed; Windows: always -1.
    int pollHandle() { return m_port.pollHandle(); }
    // Sleeps until the port has something to read (or has gone), the time-out, or wake() from any thread.
    serial::WaitResult waitReadable(std::chrono::milliseconds timeout) {
        return m_port.waitReadable(timeout);
    }
    void wake() { m_port.wake(); }
    const std::string& device() const { return m_device; }
    serial::Link& link() { return m_link; }

private:
    std::string m_device;
    int m_entry;
    serial::SerialPort m_port;
    serial::Deadline m_deadline;
    output::TextWindow m_window;
    output::OutputLog m_log;
    serial::Link m_link;
};

// Turns bytes the monitor sent into console text (see above). pendingCr carries a CR at the end of one
// piece over to the next, so a CR LF split between two reads still gives one line break.
std::string consoleText(std::string_view bytes, bool& pendingCr);

// "the output was cut (stdout was closed or could not be written); <who> ran to its end": the line that
// says so on stderr when the run is over (who: "the command", "the terminal").
std::string outputCutLine(std::string_view who);

}  // namespace hlx::cli
