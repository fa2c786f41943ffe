#include "cli/terminal_command.h"

#include <chrono>
#include <cstdio>
#include <deque>
#include <memory>
#include <optional>
#include <string>

#include "base/console.h"
#include "base/stop_signals.h"
#include "base/text_codec.h"
#include "cli/command_line.h"
#include "cli/terminal_console.h"
#include "cli/terminal_line.h"
#include "output/session_log.h"
#include "serial/port_name.h"
#include "serial/port_watcher.h"
#include "terminal/terminal_io.h"

namespace hlx::cli {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr char kLeaveKey = 0x1D;      // Ctrl-]
constexpr char kInterruptKey = 0x03;  // Ctrl-C
constexpr char kEscape = 0x1B;
constexpr int kSigInt = 2;  // Ctrl-C leaves as SIGINT does, with 128 + its number on every system

struct TerminalOptions {
    std::string port;
    int settings = 0;
    std::string logPath;
    bool timestamps = false;
    bool noReconnect = false;
};

std::size_t codePoints(std::string_view utf8) {
    std::size_t n = 0;
    for (const char c : utf8)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
    return n;
}

class TerminalSession {
public:
    TerminalSession(const TerminalOptions& options, TerminalLine& line, serial::PortWatcher& watcher,
                    output::SessionLog* log, TerminalConsole& console)
        : m_options(options),
          m_line(line),
          m_watcher(watcher),
          m_log(log),
          m_console(console),
          m_interactive(console.input() == ConsoleInput::Keys) {}

    int run();
    // Whether stdout was closed or could not be written (the session went on without it).
    bool outputCut() const { return m_outputCut; }

private:
    enum class Step { Go, Leave };

    std::optional<int> handlePort();
    std::optional<int> portGone();
    void tryReconnect();
    std::optional<int> handleKeys(std::string_view keys);
    void handleInputLines(std::string_view bytes);
    void sendLine(const std::string& utf8);
    void show(std::string_view text);
    void note(const std::string& text, std::string_view screenOnly = {});
    void logNote(const std::string& text);
    void hideTyped();
    void showTyped();
    bool write(std::string_view text);

    const TerminalOptions& m_options;
    TerminalLine& m_line;
    serial::PortWatcher& m_watcher;
    output::SessionLog* m_log;
    TerminalConsole& m_console;
    bool m_interactive;

    bool m_waiting = false;  // the port has gone; waiting for it to come back
    Clock::time_point m_nextLook{};
    bool m_pendingCr = false;
    bool m_monitorLineOpen = false;  // the monitor's text on the screen does not end with a line break
    std::string m_typed;             // what the technician has typed of the current line (UTF-8)
    bool m_typedShown = true;
    int m_escape = 0;  // inside an escape sequence (arrow keys and the like): 1 after ESC, 2 after ESC [
    bool m_outputCut = false;
    int m_stopSignal = 0;  // a stop signal that broke a write off, for the loop to end with
    bool m_logFailureSaid = false;
    // Without a TTY: the lines read and not yet sent, the piece of a line read so far, the end of input.
    std::deque<std::string> m_lines;
    std::string m_partialInput;
    bool m_inputOpen = true;
    Clock::time_point m_lastActivity = Clock::now();
};

bool TerminalSession::write(std::string_view text) {
    if (m_outputCut || m_stopSignal != 0) return false;
    if (m_console.write(text)) return true;
    // A stop signal broke the write off: the loop ends with it. Otherwise the reader has gone (`| head`):
    // the session goes on without the screen (the lines still go to the monitor and into the log).
    m_stopSignal = m_console.takeSignal();
    if (m_stopSignal == 0) m_outputCut = true;
    return false;
}

void TerminalSession::hideTyped() {
    if (!m_interactive || m_typed.empty() || !m_typedShown) return;
    std::string erase;
    for (std::size_t i = codePoints(m_typed); i > 0; --i) erase += "\b \b";
    write(erase);
    m_typedShown = false;
}

void TerminalSession::showTyped() {
    if (!m_interactive || m_typedShown) return;
    write(m_typed);
    m_typedShown = true;
}

void TerminalSession::show(std::string_view text) {
    if (text.empty()) return;
    hideTyped();
    write(text);
    m_monitorLineOpen = text.back() != '\n';
    // Typed text comes back below a whole line; after a line in progress it waits for the next key.
    if (!m_monitorLineOpen) showTyped();
}

void TerminalSession::logNote(const std::string& text) {
    if (m_log == nullptr) return;
    m_log->note(text);
}

// A line of the tool itself, on its own line of the screen (stderr) and in the log; screenOnly is added on
// the screen alone (a hint at the keys).
void TerminalSession::note(const std::string& text, std::string_view screenOnly) {
    hideTyped();
    if (m_monitorLineOpen) write("\n");
    m_monitorLineOpen = false;
    (void)base::writeText(stderr, "hlx: " + text + std::string(screenOnly) + "\n");
    logNote(text);
    showTyped();
}

void TerminalSession::sendLine(const std::string& utf8) {
    const std::optional<serial::SendOutcome> outcome = terminal::sendTypedLine(m_line.link(), utf8);
    m_lastActivity = Clock::now();
    if (!outcome) {
        if (!utf8.empty())
            note("not sent: \"" + utf8 + "\" is no command for the monitor (a command holds =, !, ? or _)");
        return;
    }
    if (*outcome == serial::SendOutcome::Sent) {
        if (m_log != nullptr) m_log->sent(utf8);
        return;
    }
    note(std::string(terminal::notSentLine(*outcome)) + ": " + utf8);
}

std::optional<int> TerminalSession::portGone() {
    m_waiting = true;
    m_pendingCr = false;
    if (m_options.noReconnect) {
        note(m_line.reason());
        return kExitFailed;
    }
    note(m_line.device() + " has gone; waiting for it to come back", m_interactive ? " (Ctrl-] leaves)" : "");
    m_watcher.takeNotices();
    m_nextLook = Clock::now();  // it may be back already
    return std::nullopt;
}

void TerminalSession::tryReconnect() {
    m_watcher.takeNotices();
    m_nextLook = Clock::now() + m_watcher.quietPoll();
    if (!m_watcher.present() || !m_line.open()) return;
    m_waiting = false;
    m_lastActivity = Clock::now();
    note(m_line.device() + " is back; the terminal goes on");
}

std::optional<int> TerminalSession::handlePort() {
    std::string raw;
    const std::size_t got = serial::readNow(m_line.link(), raw);
    if (got > 0) m_lastActivity = Clock::now();
    if (!raw.empty()) {
        if (m_log != nullptr) m_log->received(raw);
        show(consoleText(raw, m_pendingCr));
    }
    if (m_line.lost()) return portGone();
    return std::nullopt;
}

std::optional<int> TerminalSession::handleKeys(std::string_view keys) {
    for (const char c : keys) {
        const auto byte = static_cast<unsigned char>(c);
        if (m_escape == 1) {
            m_escape = c == '[' || c == 'O' ? 2 : 0;
            continue;
        }
        if (m_escape == 2) {
            if (byte >= 0x40 && byte <= 0x7E) m_escape = 0;  // the sequence's final byte
            continue;
        }
        if (c == kLeaveKey) return kExitOk;
        if (c == kInterruptKey) return 128 + kSigInt;
        if (c == kEscape) {
            m_escape = 1;
            continue;
        }
        if (c == '\r' || c == '\n') {
            showTyped();
            write("\n");
            m_monitorLineOpen = false;
            const std::string line = std::move(m_typed);
            m_typed.clear();
            m_typedShown = true;
            sendLine(line);
            continue;
        }
        if (byte == 0x7F || byte == 0x08) {
            if (m_typed.empty()) continue;
            showTyped();
            std::size_t cut = m_typed.size() - 1;
            while (cut > 0 && (static_cast<unsigned char>(m_typed[cut]) & 0xC0) == 0x80) --cut;
            m_typed.erase(cut);
            write("\b \b");
            continue;
        }
        if (byte < 0x20) continue;  // other control keys type nothing
        showTyped();
        m_typed += c;
        write(std::string_view(&c, 1));
    }
    return std::nullopt;
}

void TerminalSession::handleInputLines(std::string_view bytes) {
    for (const char c : bytes) {
        if (c == '\n') {
            if (!m_partialInput.empty() && m_partialInput.back() == '\r') m_partialInput.pop_back();
            m_lines.push_back(std::move(m_partialInput));
            m_partialInput.clear();
        } else {
            m_partialInput += c;
        }
    }
}

int TerminalSession::run() {
    const milliseconds quiet = kDefaultQuiet;
    for (;;) {
        if (m_stopSignal != 0) return 128 + m_stopSignal;
        if (m_log != nullptr && !m_log->status() && !m_logFailureSaid) {
            m_logFailureSaid = true;
            note("the log stopped: " + m_log->status().message());
        }
        const Clock::time_point now = Clock::now();
        // Without a TTY: the next line goes once the monitor has been quiet; the end of the input ends the
        // terminal once the monitor has been quiet.
        if (!m_interactive && !m_waiting && now - m_lastActivity >= quiet) {
            if (!m_lines.empty()) {
                const std::string next = std::move(m_lines.front());
                m_lines.pop_front();
                sendLine(next);
                continue;
            }
            if (!m_inputOpen) return kExitOk;
        }
        if (!m_interactive && m_waiting && !m_inputOpen && m_lines.empty()) return kExitOk;

        std::optional<Clock::time_point> wakeAt;
        if (m_waiting) wakeAt = m_nextLook;
        if (!m_interactive && !m_waiting && (!m_lines.empty() || !m_inputOpen)) {
            const Clock::time_point quietAt = m_lastActivity + quiet;
            if (!wakeAt || quietAt < *wakeAt) wakeAt = quietAt;
        }
        const bool readInput = m_inputOpen && (m_interactive || m_lines.empty());
        const ConsoleEvents events = m_console.wait(m_waiting ? nullptr : &m_line,
                                                    m_waiting ? &m_watcher : nullptr, readInput, wakeAt);

        if (events.signal != 0) return 128 + events.signal;
        if (!m_waiting && events.port) {
            if (const std::optional<int> exit = handlePort()) return *exit;
        }
        if (m_waiting && (events.watcher || Clock::now() >= m_nextLook)) tryReconnect();
        if (!events.input.empty()) {
            if (m_interactive) {
                if (const std::optional<int> exit = handleKeys(events.input)) return *exit;
            } else {
                handleInputLines(events.input);
            }
        }
        if (events.inputEnded) {
            m_inputOpen = false;
            if (!m_partialInput.empty()) m_lines.push_back(std::move(m_partialInput));
            m_partialInput.clear();
            if (m_interactive) return kExitOk;  // the terminal itself went away
        }
    }
}

std::string settingsText(int entry) {
    static const char* const kTexts[] = {"115200,8,E,1", "460800,8,E,1", "115200,8,N,1", "9600,8,E,1",
                                         "57600,8,E,1"};
    return entry >= 0 && entry < 5 ? kTexts[entry] : "460800,8,E,1";
}

int runTerminal(const TerminalOptions& options) {
    if (options.timestamps && options.logPath.empty()) return reportUnusable("--timestamps needs --log FILE");
    std::unique_ptr<output::SessionLog> log;
    if (!options.logPath.empty()) {
        if (base::Status s = output::SessionLog::open(options.logPath, options.timestamps, log); !s)
            return reportUnusable("the log cannot be written: " + s.message());
    }
    base::StopSignals signals;
    TerminalLine line(serial::portDevicePath(base::to8Bit(options.port)), options.settings);
    std::unique_ptr<serial::PortWatcher> watcher = serial::makeSystemPortWatcher();
    watcher->watch(line.device());
    int exit = kExitOk;
    bool cut = false;
    {
        // The console (in raw mode for keys) from here to the end of the session, whatever ends it.
        const std::unique_ptr<TerminalConsole> console = makeTerminalConsole(signals, true);
        if (!line.open()) {
            (void)base::writeText(stderr, "hlx: " + line.reason() + "\n");
            if (log) log->note(line.reason());
            return kExitFailed;
        }
        const bool interactive = console->input() == ConsoleInput::Keys;
        (void)base::writeText(stderr, "hlx: terminal on " + line.device() + " (" +
                                          settingsText(options.settings) + ")" +
                                          (interactive ? "; Ctrl-] leaves" : "") + "\n");
        if (log) log->note("terminal on " + line.device());
        TerminalSession session(options, line, *watcher, log.get(), *console);
        exit = session.run();
        cut = session.outputCut();
    }
    // A closed stdout changes nothing but this line: the exit status is the terminal's own.
    if (cut) (void)base::writeText(stderr, "hlx: " + outputCutLine("the terminal") + "\n");
    if (exit > 128)
        (void)base::writeText(stderr, "\nhlx: stopped by " + base::StopSignals::name(exit - 128) + "\n");
    if (log) {
        if (base::Status s = log->close(); !s && exit == kExitOk)
            (void)base::writeText(stderr, "hlx: the log is incomplete: " + s.message() + "\n");
    }
    return exit;
}

}  // namespace

void addTerminalCommand(CommandLine& commands) {
    auto options = std::make_shared<TerminalOptions>();
    CLI::App& command =
        commands.add("terminal", "talk to the monitor as in the window's terminal (Ctrl-] leaves)",
                     [options] { return runTerminal(*options); });
    addPortOption(command, options->port);
    addSettingsOption(command, options->settings);
    command.add_option("--log", options->logPath, "append the session to FILE, line by line")
        ->type_name("FILE");
    command.add_flag("--timestamps", options->timestamps,
                     "start each line of the log with the local time (2026-12-11T09:15:02.347)");
    command.add_flag("--no-reconnect", options->noReconnect,
                     "end with exit 1 when the port goes away, instead of waiting for it to come back");
}

}  // namespace hlx::cli
