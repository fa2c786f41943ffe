// The terminal's console on Windows (see terminal_console.h). The main thread sleeps in the port's own
// wait (overlapped, woken by the port's wake()), or, while the port is gone, in the watcher's quiet poll
// on a wake-up notice; what else may come is read by threads of the console, which queue it and wake the
// main thread:
// - stdin: a console's key events (ReadConsoleInputW, read only once the console's input handle says that
//   there are some, so the thread can be ended at once), or the bytes of a file or pipe (ReadFile, which
//   only the end of the input or the end of the process ends);
// - the stop signals: the console's control events, taken from base::StopSignals;
// - stdout, where it is no console (a file, a pipe): written by a thread of its own (OutWriter), so that
//   an output nobody reads (a full pipe) never holds the main thread past a stop signal. A write waits
//   while more than kMaxQueued bytes are queued, until they drain or a stop signal comes; at the end the
//   console waits for the queue to drain unless a stop signal came, and a writer still blocked then is
//   left to the process's end (it writes with WriteFile, beside the C library, so the library's own
//   flush at the end finds nothing held).

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
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

constexpr std::size_t kMaxQueued = 1 << 20;

// The writer of a stdout that is no console. Shared with its thread by a shared_ptr: a writer blocked in
// a pipe nobody reads is left behind and may outlive the console.
struct OutWriter {
    explicit OutWriter(HANDLE out) : out(out) {}

    HANDLE out;
    std::mutex mutex;
    std::condition_variable changed;  // queued, drained, failed, a stop signal, the end
    std::string queued;
    bool writing = false;
    bool failed = false;  // the output took no more (its reader went away): what comes is dropped
    bool stopping = false;

    void run() {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return !queued.empty() || stopping; });
            if (queued.empty()) return;
            std::string text = std::move(queued);
            queued.clear();
            writing = true;
            lock.unlock();
            bool ok = true;
            for (std::size_t at = 0; ok && at < text.size();) {
                DWORD done = 0;
                const DWORD size = static_cast<DWORD>(std::min<std::size_t>(text.size() - at, 1 << 16));
                ok = WriteFile(out, text.data() + at, size, &done, nullptr) && done > 0;
                at += done;
            }
            lock.lock();
            writing = false;
            failed = failed || !ok;
            if (failed) queued.clear();
            changed.notify_all();
        }
    }
    bool idle() const { return queued.empty() && !writing; }
};

class Win32TerminalConsole final : public TerminalConsole {
public:
    Win32TerminalConsole(base::StopSignals& signals, bool readInput)
        : m_signals(signals), m_inbox(std::make_shared<Inbox>()) {
        const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
        DWORD outMode = 0;
        if (out != nullptr && out != INVALID_HANDLE_VALUE && !GetConsoleMode(out, &outMode)) {
            m_out = std::make_shared<OutWriter>(out);
            m_outThread = std::thread([writer = m_out] { writer->run(); });
        }
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
        if (m_out) {
            // What is queued goes out first, unless a stop signal came (the signal thread still runs).
            std::unique_lock lock(m_out->mutex);
            m_out->changed.wait(lock, [&] { return m_out->idle() || m_out->failed || m_stopSeen.load(); });
            m_out->stopping = true;
            m_out->changed.notify_all();
            const bool idle = m_out->idle() || m_out->failed;
            lock.unlock();
            if (idle)
                m_outThread.join();
            else
                m_outThread.detach();  // blocked in a write: left to the process's end
        }
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
        if (!m_out) return base::writeText(stdout, utf8Text);
        std::unique_lock lock(m_out->mutex);
        m_out->changed.wait(lock, [&] {
            return m_out->queued.size() < kMaxQueued || m_out->failed || m_inbox->signal.load() != 0;
        });
        if (m_out->failed || m_inbox->signal.load() != 0) return false;
        m_out->queued += utf8Text;
        m_out->changed.notify_all();
        return true;
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
            m_stopSeen = true;
            m_inbox->notify();
            if (m_out) {
                const std::lock_guard lock(m_out->mutex);
                m_out->changed.notify_all();  // a write or the end waiting for room or the drain
            }
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
    std::shared_ptr<OutWriter> m_out;  // stdout when it is no console
    std::thread m_outThread;
    std::atomic<bool> m_stopSeen{false};
    std::thread m_keyThread;
    std::thread m_signalThread;
};

}  // namespace

std::unique_ptr<TerminalConsole> makeTerminalConsole(base::StopSignals& signals, bool readInput) {
    return std::make_unique<Win32TerminalConsole>(signals, readInput);
}

}  // namespace hlx::cli
