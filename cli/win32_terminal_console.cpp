// The terminal's console on Windows (see terminal_console.h). The main thread sleeps in the port's own
// wait (overlapped, woken by the port's wake()), or, while the port is gone, in the watcher's quiet poll
// on a wake-up notice; what else may come is read by threads of the console, which queue it and wake the
// main thread:
// - stdin: a console's key events (ReadConsoleInputW, read only once the console's input handle says that
//   there are some, so the thread can be ended at once), or the bytes of a file or pipe (ReadFile, which
//   only the end of the input or the end of the process ends);
// - the stop signals: the console's control events, taken from base::StopSignals.

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "base/console.h"
#include "base/stop_signals.h"
#include "cli/terminal_console.h"
#include "cli/terminal_line.h"
#include "cli/win32_console_keys.h"
#include "serial/port_watcher.h"

namespace hlx::cli {
namespace {

using std::chrono::milliseconds;

// The longest single sleep without a time-out of the caller; the caller then just waits again.
constexpr milliseconds kLongestSleep{60'000};

// What the threads hand to the main thread. Shared with the stdin thread by a shared_ptr: a pipe's
// reader cannot be ended from outside and may outlive the console by the moment the process takes to end.
struct Inbox {
    std::mutex mutex;
    std::string input;
    bool inputEnded = false;
    std::atomic<int> signal{0};
    base::Notice wake;  // manual reset: something came
    // The port the main thread sleeps on, woken as well; under the mutex, so that no thread still wakes
    // it once the main thread has taken it back.
    TerminalLine* port = nullptr;

    void notify() {
        const std::lock_guard lock(mutex);
        wake.notify();
        if (port != nullptr) port->wake();
    }
    void put(std::string bytes, bool ended) {
        {
            const std::lock_guard lock(mutex);
            input += bytes;
            inputEnded = inputEnded || ended;
        }
        notify();
    }
    void sleepOn(TerminalLine* line) {
        const std::lock_guard lock(mutex);
        port = line;
    }
};

class Win32TerminalConsole final : public TerminalConsole {
public:
    Win32TerminalConsole(base::StopSignals& signals, bool readInput)
        : m_signals(signals), m_inbox(std::make_shared<Inbox>()) {
        m_signalThread = std::thread([this] { takeSignals(); });
        if (!readInput) return;
        m_stdin = GetStdHandle(STD_INPUT_HANDLE);
        DWORD mode = 0;
        if (m_stdin != nullptr && m_stdin != INVALID_HANDLE_VALUE && GetConsoleMode(m_stdin, &mode)) {
            m_input = ConsoleInput::Keys;
            m_savedMode = mode;
            // Keys one by one, no echo, Ctrl-C as a key (the terminal leaves on it as on the signal).
            if (SetConsoleMode(m_stdin, mode & ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT |
                                                                   ENABLE_PROCESSED_INPUT)))
                m_modeSet = true;
            m_keyThread = std::thread([this] { readKeys(); });
        } else if (m_stdin != nullptr && m_stdin != INVALID_HANDLE_VALUE) {
            m_input = ConsoleInput::Lines;
            std::thread([inbox = m_inbox, in = m_stdin] { readStream(*inbox, in); }).detach();
        } else {
            m_input = ConsoleInput::Lines;
            m_inbox->put({}, true);  // no stdin at all: an empty input
        }
    }

    ~Win32TerminalConsole() override {
        m_quit.notify();
        if (m_keyThread.joinable()) m_keyThread.join();
        if (m_signalThread.joinable()) m_signalThread.join();
        if (m_modeSet) SetConsoleMode(m_stdin, m_savedMode);
    }
    Win32TerminalConsole(const Win32TerminalConsole&) = delete;
    Win32TerminalConsole& operator=(const Win32TerminalConsole&) = delete;

    ConsoleInput input() const override { return m_input; }

    ConsoleEvents wait(TerminalLine* line, serial::PortWatcher* watcher, bool readInput,
                       std::optional<TerminalClock::time_point> until) override {
        ConsoleEvents events;
        const bool portOpen = line != nullptr && line->isOpen();
        // First said where the wake-ups go, then looked at what came: whatever comes after the look wakes
        // the sleep below (the notice stays set, the port's wake-up is kept until its next wait).
        m_inbox->sleepOn(portOpen ? line : nullptr);
        m_inbox->wake.reset();
        if (!collect(events, readInput)) {
            milliseconds sleep = kLongestSleep;
            if (until) {
                const auto left = std::chrono::ceil<milliseconds>(*until - TerminalClock::now());
                sleep = std::clamp(left, milliseconds{0}, kLongestSleep);
            }
            if (portOpen) {
                const serial::WaitResult result = line->waitReadable(sleep);
                events.port = result == serial::WaitResult::Readable || result == serial::WaitResult::Gone;
            } else if (watcher != nullptr) {
                events.watcher =
                    serial::waitUntilPresent(*watcher, m_inbox->wake, sleep) == serial::WatchResult::Present;
            } else {
                WaitForSingleObject(reinterpret_cast<HANDLE>(m_inbox->wake.native()),
                                    static_cast<DWORD>(sleep.count()));
            }
            collect(events, readInput);
        }
        m_inbox->sleepOn(nullptr);
        return events;
    }

    bool write(std::string_view utf8Text) override {
        if (m_inbox->signal.load() != 0) return false;
        return base::writeText(stdout, utf8Text);
    }

    int takeSignal() override { return m_inbox->signal.exchange(0); }

private:
    // Takes what the threads queued; whether anything came.
    bool collect(ConsoleEvents& events, bool readInput) {
        events.signal = m_inbox->signal.exchange(0);
        if (readInput) {
            const std::lock_guard lock(m_inbox->mutex);
            events.input += std::move(m_inbox->input);
            m_inbox->input.clear();
            events.inputEnded = m_inbox->inputEnded;
        }
        return events.signal != 0 || !events.input.empty() || events.inputEnded;
    }

    void takeSignals() {
        for (;;) {
            const int signal = m_signals.waitForSignalOrAny({&m_quit}, milliseconds{-1});
            if (signal == 0) return;  // the console ends
            m_inbox->signal = signal;
            m_inbox->notify();
        }
    }

    void readKeys() {
        ConsoleKeys keys;
        const HANDLE handles[2] = {m_stdin, reinterpret_cast<HANDLE>(m_quit.native())};
        INPUT_RECORD records[64];
        for (;;) {
            const DWORD woke = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
            if (woke != WAIT_OBJECT_0) {
                if (woke != WAIT_OBJECT_0 + 1) m_inbox->put({}, true);
                return;
            }
            DWORD count = 0;
            if (!ReadConsoleInputW(m_stdin, records, 64, &count)) {
                m_inbox->put({}, true);  // the console went away
                return;
            }
            std::string bytes = keys.translate(records, count);
            if (!bytes.empty()) m_inbox->put(std::move(bytes), false);
        }
    }

    static void readStream(Inbox& inbox, HANDLE in) {
        char buffer[4096];
        for (;;) {
            DWORD got = 0;
            if (!ReadFile(in, buffer, sizeof buffer, &got, nullptr) || got == 0) {
                inbox.put({}, true);
                return;
            }
            inbox.put(std::string(buffer, got), false);
        }
    }

    base::StopSignals& m_signals;
    std::shared_ptr<Inbox> m_inbox;
    base::Notice m_quit;
    ConsoleInput m_input = ConsoleInput::None;
    HANDLE m_stdin = nullptr;
    DWORD m_savedMode = 0;
    bool m_modeSet = false;
    std::thread m_keyThread;
    std::thread m_signalThread;
};

}  // namespace

std::unique_ptr<TerminalConsole> makeTerminalConsole(base::StopSignals& signals, bool readInput) {
    return std::make_unique<Win32TerminalConsole>(signals, readInput);
}

}  // namespace hlx::cli
