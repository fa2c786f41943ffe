#include "tools/lpc_isp_sim.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

namespace hlx::tools {

LpcIspSim::LpcIspSim(LpcIspConfig config)
    : m_config(std::move(config)),
      m_line(openSimulatedLine("LPC boot loader simulation")),
      m_memory(m_config.oldFirmware, m_config.flash),
      m_commands(m_config, m_memory, *this) {
    rateForgotten();
    m_thread = std::thread([this] { run(); });
}

LpcIspSim::~LpcIspSim() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] auto written = ::write(m_line.wakeFd, &one, sizeof one);
    if (m_thread.joinable()) m_thread.join();
    closeSimulatedLine(m_line);
}

void LpcIspSim::setFaults(const LpcIspFaults& faults) {
    std::lock_guard lock(m_mutex);
    m_commands.setFaults(faults);
}

void LpcIspSim::setEcho(IspEcho echo) {
    std::lock_guard lock(m_mutex);
    m_commands.setEcho(echo);
}

std::vector<std::uint8_t> LpcIspSim::flash() const {
    std::lock_guard lock(m_mutex);
    return m_memory.flash();
}

std::vector<std::string> LpcIspSim::lines() const {
    std::lock_guard lock(m_mutex);
    return m_commands.lines();
}

std::vector<std::string> LpcIspSim::commands() const {
    std::lock_guard lock(m_mutex);
    return m_commands.commands();
}

std::vector<SimCopy> LpcIspSim::copies() const {
    std::lock_guard lock(m_mutex);
    return m_commands.copies();
}

std::size_t LpcIspSim::bytesProgrammedTwice() const {
    std::lock_guard lock(m_mutex);
    return m_memory.bytesProgrammedTwice();
}

std::size_t LpcIspSim::bytesReceived() const {
    std::lock_guard lock(m_mutex);
    return m_commands.bytesReceived();
}

std::string LpcIspSim::received() const {
    std::lock_guard lock(m_mutex);
    return m_commands.received();
}

int LpcIspSim::erases() const {
    std::lock_guard lock(m_mutex);
    return m_commands.erases();
}

int LpcIspSim::checksumLines() const {
    std::lock_guard lock(m_mutex);
    return m_commands.checksumLines();
}

bool LpcIspSim::userCodeValid() const {
    std::lock_guard lock(m_mutex);
    return m_memory.userCodeValid();
}

int LpcIspSim::goCount() const {
    std::lock_guard lock(m_mutex);
    return m_commands.goCount();
}

bool LpcIspSim::waitForGo(int count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_goSeen.wait_for(lock, timeout, [&] { return m_commands.goCount() >= count; });
}

void LpcIspSim::clear() {
    std::lock_guard lock(m_mutex);
    m_commands.clear();
}

void LpcIspSim::run() {
    std::array<std::uint8_t, 4096> buffer;
    for (;;) {
        int timeoutMs = -1;
        bool wantWrite = false;
        {
            std::lock_guard lock(m_mutex);
            if (m_stop) return;
            wantWrite = !m_unwritten.empty();
            if (!m_scheduled.empty()) {
                const auto left =
                    std::chrono::ceil<std::chrono::milliseconds>(m_scheduled.front().due - SimClock::now());
                timeoutMs = static_cast<int>(std::max<std::int64_t>(left.count(), 0));
            }
        }
        pollfd fds[2] = {{m_line.master, static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0},
                         {m_line.wakeFd, POLLIN, 0}};
        if (::poll(fds, 2, timeoutMs) < 0 && errno != EINTR) return;
        if (fds[1].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] auto got = ::read(m_line.wakeFd, &count, sizeof count);
        }
        std::vector<std::string> events;
        bool closed = false;
        {
            std::lock_guard lock(m_mutex);
            if (m_stop) return;
            const int goes = m_commands.goCount();
            if (fds[0].revents & POLLIN) {
                const ssize_t n = ::read(m_line.master, buffer.data(), buffer.size());
                if (n > 0) receiveLocked(buffer.data(), static_cast<std::size_t>(n));
            }
            if (m_hungUp) {
                // The tool then sees a hang-up on its side, as on an unplugged adapter.
                closePseudoTerminal(m_line);
                m_scheduled.clear();
                m_unwritten.clear();
                closed = true;
            } else {
                flushDueLocked(SimClock::now());
            }
            for (std::string& e : m_commands.takeEvents()) m_events.push_back(std::move(e));
            events.swap(m_events);
            if (m_commands.goCount() != goes) m_goSeen.notify_all();
        }
        if (m_config.onEvent)
            for (const std::string& e : events) m_config.onEvent(e);
        if (closed) return;
    }
}

void LpcIspSim::receiveLocked(const std::uint8_t* bytes, std::size_t count) {
    if (!m_commands.awaitingSync() && rateMismatch(m_baud)) {
        if (!m_mismatchReported)
            m_events.push_back("bytes at " + std::to_string(lineRate(m_line).baud) +
                               " baud while the boot loader talks at " + std::to_string(m_baud) + ": lost");
        m_mismatchReported = true;
        return;
    }
    m_mismatchReported = false;
    const SimClock::time_point now = SimClock::now();
    for (std::size_t i = 0; i < count; ++i) {
        // Each byte arrives when the wire has carried it: no earlier than the one before it plus its own
        // time.
        m_inClock = std::max(m_inClock, now) + byteTime();
        m_commands.handleByte(bytes[i], m_inClock);
    }
}

bool LpcIspSim::rateMismatch(int partBaud) const {
    if (!followsLine() || partBaud <= 0) return false;
    const int lineBaud = lineRate(m_line).baud;
    return lineBaud > 0 && lineBaud != partBaud;
}

SimClock::duration LpcIspSim::byteTime() const {
    if (m_baud <= 0) return {};
    return std::chrono::duration_cast<SimClock::duration>(
        std::chrono::nanoseconds(1'000'000'000LL * m_bitsPerByte / m_baud));
}

void LpcIspSim::send(std::string bytes, SimClock::time_point due) {
    // Out on the simulated wire after whatever is already on its way; it reaches the tool with its last byte.
    const SimClock::time_point start = std::max(due + m_config.answerDelay, m_outClock);
    m_outClock = start + byteTime() * static_cast<int>(bytes.size());
    if (!m_scheduled.empty() && m_scheduled.back().due == m_outClock && m_scheduled.back().baud == m_baud)
        m_scheduled.back().bytes += bytes;
    else
        m_scheduled.push_back({m_outClock, std::move(bytes), m_baud});
}

void LpcIspSim::rateMeasured() {
    if (!followsLine()) return;
    const LineRate rate = lineRate(m_line);
    m_baud = rate.baud;
    m_bitsPerByte = rate.bitsPerByte;
}

void LpcIspSim::rateChanged(int baud, int stopBits) {
    if (m_config.baud == 0) return;  // an unpaced simulation stays unpaced
    m_baud = baud;
    m_bitsPerByte = 1 + 8 + stopBits;
}

void LpcIspSim::rateForgotten() {
    // Until the next "?" the part listens at whatever rate the line has.
    if (followsLine()) {
        rateMeasured();
    } else {
        m_baud = m_config.baud;
        m_bitsPerByte = 10;
    }
}

void LpcIspSim::hangUp() {
    m_hungUp = true;
}

void LpcIspSim::flushDueLocked(SimClock::time_point now) {
    while (!m_scheduled.empty() && m_scheduled.front().due <= now) {
        Outgoing& out = m_scheduled.front();
        if (rateMismatch(out.baud)) std::fill(out.bytes.begin(), out.bytes.end(), '\xFF');
        m_unwritten += out.bytes;
        m_scheduled.pop_front();
    }
    while (!m_unwritten.empty()) {
        const ssize_t n = ::write(m_line.master, m_unwritten.data(), m_unwritten.size());
        if (n <= 0) break;  // the pseudo-terminal is full; poll() says when it takes more
        m_unwritten.erase(0, static_cast<std::size_t>(n));
    }
}

}  // namespace hlx::tools
