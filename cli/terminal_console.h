#pragma once
// TerminalConsole: the system's part of `hlx terminal` and `hlx command`; everything else of both (the
// sending rule, the reply wait, the screen, the log, the reconnect) is standard C++ shared by every
// system. A console waits for whatever comes first, the port (something to read, or gone), a key or a
// piece of stdin, a stop signal, a notice of the port watcher, or a time, and writes the screen.
//
// - Linux (posix_terminal_console.cpp): one poll() over the port's descriptor, stdin, the signalfd and
//   the watcher's descriptor. Keys: the terminal in raw mode (termios) while the object lives: keys one by
//   one, no echo, no signals from keys; restored on every way out. A closed stdout is a failed write
//   (SIGPIPE ignored), and a stop signal ends a write that a full pipe holds up.
// - Windows (win32_terminal_console.cpp): the port's own wait (or, while the port is gone, the watcher's
//   quiet poll), woken at once by a thread that reads stdin and by one that takes the console's control
//   events (Ctrl-C, Ctrl-Break, the console closed). Keys: the console's input mode without line input,
//   echo and Ctrl-C processing while the object lives, its key events read one by one
//   (ReadConsoleInputW); restored on every way out. Text reaches the console through the console seam
//   (base/console.h); a stdout that is no console is written by a thread of its own, so a stop signal
//   ends the terminal also while a full pipe holds that thread up.
//
// Keys arrive as a terminal sends them: text as UTF-8, Enter as CR (or LF), Backspace as 0x7F or 0x08,
// Ctrl-] as 0x1D, Ctrl-C as 0x03; on Linux other keys as their escape sequences, on Windows as nothing.
//
// Threads: the main thread only (a console's own threads are its business).

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace hlx::base {
class StopSignals;
}
namespace hlx::serial {
class PortWatcher;
}

namespace hlx::cli {

class TerminalLine;

using TerminalClock = std::chrono::steady_clock;

// What stdin is to the console: keys of a person at a terminal, lines of something else (a file, a
// pipe), or nothing (not read at all).
enum class ConsoleInput { None, Keys, Lines };

struct ConsoleEvents {
    int signal = 0;           // a stop signal arrived (its number; taken)
    bool port = false;        // the port has something to read, or has gone
    bool watcher = false;     // the watcher has news: look whether the device is back
    std::string input;        // keys or bytes of stdin
    bool inputEnded = false;  // stdin has ended (the terminal itself went away, or the end of the input)
};

class TerminalConsole {
public:
    virtual ~TerminalConsole() = default;

    virtual ConsoleInput input() const = 0;
    // Sleeps until something comes or `until` (none: no time-out): the port when line is given and open,
    // the watcher's news when watcher is given, stdin when readInput, a stop signal always.
    virtual ConsoleEvents wait(TerminalLine* line, serial::PortWatcher* watcher, bool readInput,
                               std::optional<TerminalClock::time_point> until) = 0;
    // Writes UTF-8 text to stdout, whole. False when it cannot be written (a closed pipe) or a stop signal
    // came first (takeSignal says which).
    virtual bool write(std::string_view utf8) = 0;
    // A stop signal that arrived and was not handed out by wait (0 when none), taken.
    virtual int takeSignal() = 0;
};

// readInput: whether stdin is read at all (hlx command reads none, and leaves the terminal as it is).
std::unique_ptr<TerminalConsole> makeTerminalConsole(base::StopSignals& signals, bool readInput);

}  // namespace hlx::cli
