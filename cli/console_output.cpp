#include "cli/console_output.h"

#include <algorithm>
#include <condition_variable>
#include <csignal>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace hlx::cli {
namespace {

#ifndef _WIN32
// Whether both streams end in the same place (one terminal, one file), so their order matters.
bool sameDestination(std::FILE* a, std::FILE* b) {
    struct stat sa {
    }, sb{};
    if (::fstat(::fileno(a), &sa) != 0 || ::fstat(::fileno(b), &sb) != 0) return false;
    if (S_ISCHR(sa.st_mode) && S_ISCHR(sb.st_mode)) return sa.st_rdev == sb.st_rdev;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}
#else
bool sameDestination(std::FILE*, std::FILE*) {
    return true;  // the console: one writer keeps the order
}
#endif

}  // namespace

// One thread that writes what is queued, in order, to the stream each piece names.
class ConsoleOutput::Writer {
public:
    Writer() : m_thread([this] { loop(); }) {}
    ~Writer() {
        {
            std::lock_guard lock(m_mutex);
            m_ending = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }

    void push(std::FILE* file, std::string_view text) {
        if (text.empty()) return;
        {
            std::lock_guard lock(m_mutex);
            if (isCut(file)) return;
            m_queue.emplace_back(file, std::string(text));
        }
        m_wake.notify_one();
    }

    // Set when the queue has been written to its end.
    const base::Notice& idle() const { return m_idle; }
    void resetIdle() { m_idle.reset(); }
    bool empty() {
        std::lock_guard lock(m_mutex);
        return m_queue.empty() && !m_writing;
    }
    bool cut(std::FILE* file) {
        std::lock_guard lock(m_mutex);
        return isCut(file);
    }
    bool anyCut() {
        std::lock_guard lock(m_mutex);
        return !m_cut.empty();
    }

private:
    bool isCut(std::FILE* file) const {
        for (std::FILE* f : m_cut)
            if (f == file) return true;
        return false;
    }

    void loop() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [&] { return m_ending || !m_queue.empty(); });
            if (m_queue.empty()) return;  // ending, and everything written
            auto [file, text] = std::move(m_queue.front());
            m_queue.pop_front();
            m_writing = true;
            lock.unlock();
            // The only place that writes to the stream while the object lives: it may block here.
            const bool written =
                std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
            lock.lock();
            m_writing = false;
            if (!written) {
                std::clearerr(file);
                m_cut.push_back(file);
                std::erase_if(m_queue, [file = file](const auto& piece) { return piece.first == file; });
            }
            if (m_queue.empty()) m_idle.notify();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::pair<std::FILE*, std::string>> m_queue;
    std::vector<std::FILE*> m_cut;
    bool m_writing = false;
    bool m_ending = false;
    base::Notice m_idle;
    std::thread m_thread;  // last: started when everything it uses is made
};

ConsoleOutput::ConsoleOutput(std::FILE* out, std::FILE* err) : m_out(out), m_err(err) {
#ifndef _WIN32
    std::signal(SIGPIPE, SIG_IGN);  // a closed pipe is a failed write, not the end of the process
#endif
    m_outWriter = std::make_unique<Writer>();
    if (!sameDestination(out, err)) m_errWriter = std::make_unique<Writer>();
}

ConsoleOutput::~ConsoleOutput() {
    // A writer blocked in a write cannot be joined; it is left to the end of the process, which follows.
    if (!m_outWriter->empty()) (void)m_outWriter.release();
    if (m_errWriter && !m_errWriter->empty()) (void)m_errWriter.release();
}

void ConsoleOutput::out(std::string_view text) {
    m_outWriter->push(m_out, text);
}

void ConsoleOutput::err(std::string_view text) {
    (m_errWriter ? *m_errWriter : *m_outWriter).push(m_err, text);
}

void ConsoleOutput::errLine(std::string_view line) {
    std::string text(line);
    text += '\n';
    err(text);
}

bool ConsoleOutput::cut() const {
    return m_outWriter->anyCut() || (m_errWriter && m_errWriter->anyCut());
}

bool ConsoleOutput::drain(base::StopSignals& signals, std::chrono::milliseconds timeout, int* signal) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        m_outWriter->resetIdle();
        if (m_errWriter) m_errWriter->resetIdle();
        if (m_outWriter->empty() && (!m_errWriter || m_errWriter->empty())) return true;
        std::chrono::milliseconds left{-1};
        if (timeout.count() >= 0) {
            left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                         std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
        }
        const base::Notice* idleErr = m_errWriter ? &m_errWriter->idle() : &m_outWriter->idle();
        if (const int got = signals.waitForSignalOrAny({&m_outWriter->idle(), idleErr}, left); got != 0) {
            if (signal) *signal = got;
            return false;
        }
    }
}

bool ConsoleOutput::finish(base::StopSignals& signals, std::chrono::milliseconds timeout, int* signal) {
    const auto start = std::chrono::steady_clock::now();
    if (!drain(signals, timeout, signal)) return false;
    if (!cut() || m_cutSaid) return true;
    m_cutSaid = true;
    errLine(std::string("hlx: the output was cut (") + (m_outWriter->cut(m_out) ? "stdout" : "stderr") +
            " was closed or could not be written); the jobs ran to their end");
    std::chrono::milliseconds left = timeout;
    if (timeout.count() >= 0)
        left = std::max(std::chrono::milliseconds(0),
                        timeout - std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::chrono::steady_clock::now() - start));
    return drain(signals, left, signal);
}

}  // namespace hlx::cli
