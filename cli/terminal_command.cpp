#include "cli/terminal_command.h"

#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <deque>
#include <memory>
#include <optional>
#include <string>

#include "base/stop_signals.h"
#include "base/text_codec.h"
#include "cli/command_line.h"
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

struct TerminalOptions {
    std::string port;
    int settings = 0;
    std::string logPath;
    bool timestamps = false;
    bool noReconnect = false;
};

// The console's terminal in raw mode for as long as the object lives: keys one by one, no echo, no
// signals from keys; output keeps its line-break translation.
class RawMode {
public:
    explicit RawMode(int fd) : m_fd(fd) {
        if (::tcgetattr(fd, &m_saved) != 0) return;
        termios raw = m_saved;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
        raw.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL | INLCR | IGNCR | ISTRIP);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        m_active = ::tcsetattr(fd, TCSANOW, &raw) == 0;
    }
    ~RawMode() {
        if (m_active) (void)::tcsetattr(m_fd, TCSANOW, &m_saved);
    }
    RawMode(const RawMode&) = delete;
    RawMode& operator=(const RawMode&) = delete;

private:
    int m_fd;
    termios m_saved{};
    bool m_active = false;
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
                    output::SessionLog* log, base::StopSignals& signals, bool interactive)
        : m_options(options),
          m_line(line),
          m_watcher(watcher),
          m_log(log),
          m_signals(signals),
          m_interactive(interactive) {}

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
    base::StopSignals& m_signals;
    bool m_interactive;

    bool m_waiting = false;  // the port has gone; waiting for it to come back
    Clock::time_point m_nextLook{};
    bool m_pendingCr = false;
    bool m_monitorLineOpen = false;  // the monitor's text on the screen does not end with a line break
    std::string m_typed;             // what the technician has typed of the current line (UTF-8)
    bool m_typedShown = true;
    int m_escape = 0;  // inside an escape sequence (arrow keys and the like): 1 after ESC, 2 after ESC [
    bool m_outputCut = false;
    bool m_logFailureSaid = false;
    // Without a TTY: the lines read and not yet sent, the piece of a line read so far, the end of input.
    std::deque<std::string> m_lines;
    std::string m_partialInput;
    bool m_inputOpen = true;
    Clock::time_point m_lastActivity = Clock::now();
};

bool TerminalSession::write(std::string_view text) {
    if (m_outputCut) return false;
    if (writeAll(STDOUT_FILENO, text, m_signals.fd())) return true;
    // A stop signal broke the write off: the loop takes it. Otherwise the reader has gone (`| head`): the
    // session goes on without the screen (the lines still go to the monitor and into the log).
    pollfd stop{m_signals.fd(), POLLIN, 0};
    if (::poll(&stop, 1, 0) <= 0) m_outputCut = true;
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
    std::fprintf(stderr, "hlx: %s%.*s\n", text.c_str(), static_cast<int>(screenOnly.size()),
                 screenOnly.data());
    std::fflush(stderr);
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
        if (c == kInterruptKey) return 128 + SIGINT;
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

        std::vector<pollfd> fds;
        fds.push_back({m_signals.fd(), POLLIN, 0});
        const int portFd = m_waiting ? -1 : m_line.pollHandle();
        fds.push_back({portFd, POLLIN, 0});
        fds.push_back({m_waiting ? m_watcher.notifyFd() : -1, POLLIN, 0});
        const bool readInput = m_inputOpen && (m_interactive || m_lines.empty());
        fds.push_back({readInput ? STDIN_FILENO : -1, POLLIN, 0});

        std::optional<Clock::time_point> wakeAt;
        if (m_waiting) wakeAt = m_nextLook;
        if (!m_interactive && !m_waiting && (!m_lines.empty() || !m_inputOpen)) {
            const Clock::time_point quietAt = m_lastActivity + quiet;
            if (!wakeAt || quietAt < *wakeAt) wakeAt = quietAt;
        }
        int timeout = -1;
        if (wakeAt) {
            const auto left = std::chrono::ceil<milliseconds>(*wakeAt - Clock::now());
            timeout = static_cast<int>(std::max<milliseconds::rep>(left.count(), 0));
        }
        if (::poll(fds.data(), fds.size(), timeout) < 0) continue;  // EINTR

        if (fds[0].revents & POLLIN) {
            if (const int signal = m_signals.take(); signal != 0) return 128 + signal;
        }
        if (portFd >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL))) {
            if (const std::optional<int> exit = handlePort()) return *exit;
        }
        if (m_waiting && ((fds[2].revents & POLLIN) || Clock::now() >= m_nextLook)) tryReconnect();
        if (readInput && (fds[3].revents & (POLLIN | POLLHUP | POLLERR))) {
            char buffer[4096];
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n > 0) {
                const std::string_view bytes(buffer, static_cast<std::size_t>(n));
                if (m_interactive) {
                    if (const std::optional<int> exit = handleKeys(bytes)) return *exit;
                } else {
                    handleInputLines(bytes);
                }
            } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                m_inputOpen = false;
                if (!m_partialInput.empty()) m_lines.push_back(std::move(m_partialInput));
                m_partialInput.clear();
                if (m_interactive) return kExitOk;  // the terminal itself went away
            }
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
    ::signal(SIGPIPE, SIG_IGN);  // a closed stdout is a failed write, not the end of the process
    base::StopSignals signals;
    TerminalLine line(serial::portDevicePath(base::to8Bit(options.port)), options.settings);
    std::unique_ptr<serial::PortWatcher> watcher = serial::makeSystemPortWatcher();
    watcher->watch(line.device());
    if (!line.open()) {
        std::fprintf(stderr, "hlx: %s\n", line.reason().c_str());
        if (log) log->note(line.reason());
        return kExitFailed;
    }
    const bool interactive = ::isatty(STDIN_FILENO) == 1;
    std::fprintf(stderr, "hlx: terminal on %s (%s)%s\n", line.device().c_str(),
                 settingsText(options.settings).c_str(), interactive ? "; Ctrl-] leaves" : "");
    std::fflush(stderr);
    if (log) log->note("terminal on " + line.device());
    int exit = kExitOk;
    bool cut = false;
    {
        std::optional<RawMode> raw;
        if (interactive) raw.emplace(STDIN_FILENO);
        TerminalSession session(options, line, *watcher, log.get(), signals, interactive);
        exit = session.run();
        cut = session.outputCut();
    }
    // A closed stdout changes nothing but this line: the exit status is the terminal's own.
    if (cut) std::fprintf(stderr, "hlx: %s\n", outputCutLine("the terminal").c_str());
    if (exit > 128)
        std::fprintf(stderr, "\nhlx: stopped by %s\n", base::StopSignals::name(exit - 128).c_str());
    if (log) {
        if (base::Status s = log->close(); !s && exit == kExitOk)
            std::fprintf(stderr, "hlx: the log is incomplete: %s\n", s.message().c_str());
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
