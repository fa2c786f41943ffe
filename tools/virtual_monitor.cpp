#include "tools/virtual_monitor.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <fmt/format.h>

namespace hlx::tools {
namespace {

using namespace std::chrono_literals;

constexpr std::uint8_t kXon = 0x11;
constexpr std::uint8_t kXoff = 0x13;
constexpr std::size_t kMaxLine = 1100;  // longest HEX line (523 characters) with room to spare
constexpr std::uint8_t kErrTooManyBytes = 0xF7;
constexpr std::size_t kMinFrame = 2;  // a length byte and one byte of the file
constexpr std::size_t kMaxFrame = 251;
// A restarting monitor leaves the bus no sooner than kRestartAfter after its closing lines went out (bytes
// written to a pseudo-terminal reach the tool's side a moment later) and once the tool has read them, but
// no later than kReadGrace after them; it looks every kReadLook.
constexpr auto kRestartAfter = 100ms;
constexpr auto kReadGrace = 2000ms;
constexpr auto kReadLook = 10ms;

}  // namespace

VirtualMonitor::VirtualMonitor(MonitorConfig config)
    : m_config(std::move(config)), m_pty(openSimulatedLine("virtual monitor")) {
    if (!m_config.linkPath.empty()) {
        try {
            publishLink(m_config.linkPath, m_pty.slavePath);
        } catch (...) {
            closeSimulatedLine(m_pty);
            throw;
        }
    }
    if (!m_config.periodicText.empty() && m_config.period > 0ms)
        m_nextPeriodic = MonitorClock::now() + m_config.period;
    m_thread = std::thread([this] { run(); });
}

VirtualMonitor::~VirtualMonitor() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] auto written = ::write(m_pty.wakeFd, &one, sizeof one);
    if (m_thread.joinable()) m_thread.join();
    if (!m_config.linkPath.empty() && !m_offBus) removeLink(m_config.linkPath, m_pty.slavePath);
    closeSimulatedLine(m_pty);
}

std::string VirtualMonitor::slavePath() const {
    std::lock_guard lock(m_mutex);
    return m_pty.slavePath;
}

std::string VirtualMonitor::path() const {
    if (!m_config.linkPath.empty()) return m_config.linkPath;
    return slavePath();
}

int VirtualMonitor::restarts() const {
    std::lock_guard lock(m_mutex);
    return m_restarts;
}

bool VirtualMonitor::waitForRestarts(int count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_restarts >= count; });
}

void VirtualMonitor::say(std::string_view text) {
    {
        std::lock_guard lock(m_mutex);
        sendLine(std::string(text), MonitorClock::now());
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] auto written = ::write(m_pty.wakeFd, &one, sizeof one);
}

void VirtualMonitor::setFaults(const MonitorFaults& faults) {
    std::lock_guard lock(m_mutex);
    m_faults = faults;
    m_lineNumber = 0;
}

MonitorMode VirtualMonitor::mode() const {
    std::lock_guard lock(m_mutex);
    return m_mode;
}

MemoryImage VirtualMonitor::image() const {
    std::lock_guard lock(m_mutex);
    return m_image;
}

std::vector<ReceivedRecord> VirtualMonitor::records() const {
    std::lock_guard lock(m_mutex);
    return m_records;
}

std::vector<std::string> VirtualMonitor::commands() const {
    std::lock_guard lock(m_mutex);
    return m_commands;
}

std::vector<std::chrono::nanoseconds> VirtualMonitor::turnarounds() const {
    std::lock_guard lock(m_mutex);
    return m_turnarounds;
}

std::string VirtualMonitor::received() const {
    std::lock_guard lock(m_mutex);
    return m_received;
}

std::vector<std::size_t> VirtualMonitor::frames() const {
    std::lock_guard lock(m_mutex);
    return m_frames;
}

int VirtualMonitor::downloadsEnded() const {
    std::lock_guard lock(m_mutex);
    return m_downloadsEnded;
}

bool VirtualMonitor::waitForDownloads(int count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_downloadsEnded >= count; });
}

void VirtualMonitor::clear() {
    std::lock_guard lock(m_mutex);
    m_image.clear();
    m_records.clear();
    m_commands.clear();
    m_turnarounds.clear();
    m_received.clear();
    m_frames.clear();
    m_lineNumber = 0;
}

void VirtualMonitor::run() {
    std::array<std::uint8_t, 4096> buffer;
    for (;;) {
        int timeoutMs = -1;
        bool wantWrite = false;
        {
            std::lock_guard lock(m_mutex);
            if (m_stop) return;
            wantWrite = !m_unwritten.empty();
            if (auto next = nextTimerLocked()) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(*next - MonitorClock::now());
                timeoutMs = static_cast<int>(std::max<std::int64_t>(left.count(), 0));
            }
        }
        // Off the bus there is no pseudo-terminal: poll() skips a negative descriptor.
        pollfd fds[2] = {{m_pty.master, static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0},
                         {m_pty.wakeFd, POLLIN, 0}};
        const int ready = ::poll(fds, 2, timeoutMs);
        if (ready < 0 && errno != EINTR) return;
        if (fds[1].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] auto got = ::read(m_pty.wakeFd, &count, sizeof count);
        }

        std::vector<std::string> events;
        std::string received;
        std::optional<MemoryImage> ended;
        {
            std::lock_guard lock(m_mutex);
            if (m_stop) return;
            const int endedBefore = m_downloadsEnded;
            if (m_pty.master >= 0 && (fds[0].revents & POLLIN)) {
                const ssize_t n = ::read(m_pty.master, buffer.data(), buffer.size());
                // A monitor about to restart takes nothing more.
                if (n > 0 && !m_restartPending)
                    handleBytes(buffer.data(), static_cast<std::size_t>(n), MonitorClock::now());
            }
            const auto now = MonitorClock::now();
            if (m_mode != MonitorMode::Command && now - m_lastByte >= m_config.inactivity) {
                m_events.push_back("no byte for " + std::to_string(m_config.inactivity.count()) +
                                   " ms: back to command mode");
                backToCommandMode();
            }
            if (!m_config.periodicText.empty() && m_config.period > 0ms && now >= m_nextPeriodic) {
                sendLine(m_config.periodicText, now);
                m_nextPeriodic = now + m_config.period;
            }
            flushDueLocked(MonitorClock::now());
            restartStepLocked(MonitorClock::now());
            events.swap(m_events);
            received.swap(m_receivedNew);
            if (m_downloadsEnded != endedBefore && m_config.onDownloadEnd) ended = m_image;
        }
        if (m_config.onEvent)
            for (const std::string& e : events) m_config.onEvent(e);
        if (ended) m_config.onDownloadEnd(*ended);
        if (!received.empty() && m_config.onReceived) m_config.onReceived(received);
    }
}

std::optional<MonitorClock::time_point> VirtualMonitor::nextTimerLocked() const {
    std::optional<MonitorClock::time_point> next;
    auto consider = [&next](MonitorClock::time_point t) {
        if (!next || t < *next) next = t;
    };
    if (!m_scheduled.empty()) consider(m_scheduled.front().due);
    if (m_mode != MonitorMode::Command) consider(m_lastByte + m_config.inactivity);
    if (!m_config.periodicText.empty() && m_config.period > 0ms) consider(m_nextPeriodic);
    if (m_restartPending) consider(MonitorClock::now() + kReadLook);
    if (m_offBus) consider(m_backOnBus);
    return next;
}

void VirtualMonitor::handleBytes(const std::uint8_t* data, std::size_t count, MonitorClock::time_point now) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t b = data[i];
        m_lastByte = now;
        switch (m_mode) {
            case MonitorMode::Command:
                if (m_config.fileFrames) {
                    handleFrameByte(b, now);
                    break;
                }
                takeReceived(b);
                if (b == '\n') {
                    std::string line;
                    line.swap(m_line);
                    if (!line.empty() && line.back() == '\r') line.pop_back();
                    if (!line.empty())
                        handleCommandLine(line, now);
                    else if (!m_config.ignoreEmptyLines)
                        answerReceived(now);
                } else if (m_line.size() < kMaxLine) {
                    m_line += static_cast<char>(b);
                }
                break;
            case MonitorMode::BinaryRecords:
                if (m_record.empty() && m_replyWritten) {
                    m_turnarounds.push_back(now - *m_replyWritten);
                    m_replyWritten.reset();
                }
                m_record.push_back(b);
                if (m_record.size() == m_record[0] + 5u) handleBinaryRecord(now);
                break;
            case MonitorMode::HexLines:
                if (b == '\n') {
                    std::string line;
                    line.swap(m_line);
                    if (!line.empty() && line.back() == '\r') line.pop_back();
                    if (!line.empty()) handleHexLine(line, now);
                } else {
                    m_line += static_cast<char>(b);  // an overlong line is refused when it ends
                    if (m_line.size() > kMaxLine) m_line.resize(kMaxLine + 1);
                }
                break;
        }
    }
}

void VirtualMonitor::handleCommandLine(const std::string& line, MonitorClock::time_point now) {
    m_commands.push_back(line);
    m_events.push_back("command: " + line);
    if (line == "LoadFWRTQ?") {
        sendLine(m_config.rtqAnswer, now, true);
        startDownload(MonitorMode::BinaryRecords, now);
    } else if (line == "LoadFW?") {
        sendLine(m_config.hexAnswer, now);
        startDownload(MonitorMode::HexLines, now);
    } else if (!m_config.restartCommand.empty() && line == m_config.restartCommand) {
        // Answered like any command, then the service port leaves the bus as after a download.
        sendLine(m_config.replyLine, now);
        m_restartPending = true;
        m_closingWritten.reset();
    } else {
        answerReceived(now);
    }
}

void VirtualMonitor::handleFrameByte(std::uint8_t b, MonitorClock::time_point now) {
    if (!m_frame.empty() && now - m_lastFrameByte >= m_config.inactivity) {
        m_events.push_back("frame broken off after " + std::to_string(m_frame.size()) + " of " +
                           std::to_string(m_frame[0]) + " bytes: dropped");
        m_frame.clear();
    }
    m_lastFrameByte = now;
    if (m_frame.empty()) {
        if (b >= kMinFrame && b <= kMaxFrame) {
            m_frame.push_back(b);
            return;
        }
        const std::uint8_t error = b < kMinFrame ? kErrWrongLineFormat : kErrTooManyBytes;
        send(std::string{static_cast<char>(error), '\n'}, now);
        m_events.push_back(
            fmt::format("frame length byte 0x{:02X} answered with error byte 0x{:02X}", b, error));
        return;
    }
    m_frame.push_back(b);
    takeReceived(b);
    if (m_frame.size() < m_frame[0]) return;
    m_frames.push_back(m_frame.size() - 1);
    m_frame.clear();
    answerReceived(now);
}

void VirtualMonitor::answerReceived(MonitorClock::time_point now) {
    ++m_lineNumber;
    if (m_faults.lineSilentAt > 0 && m_lineNumber >= m_faults.lineSilentAt) return;
    if (m_faults.lineErrorAt == m_lineNumber) {
        send(std::string{static_cast<char>(m_faults.errorByte), '\n'}, now);
        m_events.push_back(
            fmt::format("line {} answered with error byte 0x{:02X}", m_lineNumber, m_faults.errorByte));
        return;
    }
    sendLine(m_config.replyLine, now);
}

void VirtualMonitor::takeReceived(std::uint8_t b) {
    m_received += static_cast<char>(b);
    if (m_config.onReceived) m_receivedNew += static_cast<char>(b);
}

void VirtualMonitor::startDownload(MonitorMode mode, MonitorClock::time_point now) {
    m_mode = mode;
    m_record.clear();
    m_line.clear();
    m_recordNumber = 0;
    m_linesSincePause = 0;
    m_silent = false;
    m_xoffHeld = false;
    m_lastByte = now;
    m_addresses.reset();
    m_events.push_back(mode == MonitorMode::BinaryRecords ? "binary record download started"
                                                          : "HEX line download started");
}

void VirtualMonitor::backToCommandMode() {
    m_mode = MonitorMode::Command;
    m_record.clear();
    m_line.clear();
    m_silent = false;
    m_replyWritten.reset();
}

MonitorClock::time_point VirtualMonitor::replyDue(MonitorClock::time_point now) const {
    const bool delayed =
        m_faults.delay > 0ms && (m_faults.delayAt == 0 || m_faults.delayAt == m_recordNumber);
    return delayed ? now + m_faults.delay : now;
}

void VirtualMonitor::handleBinaryRecord(MonitorClock::time_point now) {
    std::vector<std::uint8_t> record;
    record.swap(m_record);
    ++m_recordNumber;
    if (m_faults.silentAt > 0 && m_recordNumber >= m_faults.silentAt) m_silent = true;
    const bool good = checksumOk(record);
    const std::uint32_t address =
        m_addresses.base() + static_cast<std::uint32_t>((record[1] << 8) | record[2]);
    m_records.push_back({MonitorMode::BinaryRecords, record[3], address, record.size(), good});
    if (!good) return answerError(kErrWrongCrc, now);
    if (m_faults.errorAt == m_recordNumber) return answerError(m_faults.errorByte, now);
    m_addresses.apply(record);
    sendLine(m_config.replyLine, replyDue(now), true);
    if (m_faults.xoffHoldAt == m_recordNumber) send(std::string(1, static_cast<char>(kXoff)), now);
    if (record[3] == kTypeEnd) finishDownload(now);
}

void VirtualMonitor::handleHexLine(const std::string& line, MonitorClock::time_point now) {
    ++m_recordNumber;
    if (m_faults.silentAt > 0 && m_recordNumber >= m_faults.silentAt) m_silent = true;
    const DecodedLine decoded =
        line.size() > kMaxLine ? DecodedLine{LineError::Format, {}} : decodeHexLine(line);
    const bool good = decoded.error == LineError::None;
    const std::uint8_t type = decoded.record.size() > 3 ? decoded.record[3] : 0xFF;
    std::uint32_t address = m_addresses.base();
    if (decoded.record.size() > 3)
        address += static_cast<std::uint32_t>((decoded.record[1] << 8) | decoded.record[2]);
    m_records.push_back({MonitorMode::HexLines, type, address, line.size(), good});
    if (decoded.error == LineError::Format) return answerError(kErrWrongLineFormat, now);
    if (decoded.error == LineError::Checksum) return answerError(kErrWrongCrc, now);
    if (m_faults.errorAt == m_recordNumber) return answerError(m_faults.errorByte, now);
    m_addresses.apply(decoded.record);

    // Flash writing: hold the sender while a page is written.
    const auto due = replyDue(now);
    if (m_faults.xoffHoldAt == m_recordNumber) {
        send(std::string(1, static_cast<char>(kXoff)), due);
        m_xoffHeld = true;
    } else if (!m_xoffHeld && m_config.xoffEvery > 0 && ++m_linesSincePause >= m_config.xoffEvery) {
        m_linesSincePause = 0;
        send(std::string(1, static_cast<char>(kXoff)), due);
        send(std::string(1, static_cast<char>(kXon)), due + m_config.xoffPause);
    }
    if (type == kTypeEnd) finishDownload(now);
}

void VirtualMonitor::answerError(std::uint8_t errorByte, MonitorClock::time_point now) {
    std::string bytes(1, static_cast<char>(errorByte));
    bytes += '\n';
    send(std::move(bytes), replyDue(now));
    m_events.push_back(fmt::format("record {} answered with error byte 0x{:02X}", m_recordNumber, errorByte));
    backToCommandMode();
}

void VirtualMonitor::finishDownload(MonitorClock::time_point now) {
    for (const std::string& line : m_config.closingLines) sendLine(line, now);
    if (m_faults.closingErrorAfter) {
        std::string bytes(1, static_cast<char>(m_faults.errorByte));
        bytes += '\n';
        send(std::move(bytes), now + *m_faults.closingErrorAfter);
        m_events.push_back(fmt::format("error byte 0x{:02X} {} ms after the closing lines",
                                       m_faults.errorByte, m_faults.closingErrorAfter->count()));
    }
    ++m_downloadsEnded;
    m_events.push_back("download ended: " + std::to_string(m_recordNumber) + " records, " +
                       std::to_string(m_image.size()) + " bytes in memory");
    backToCommandMode();
    if (m_config.restartAfterDownload) {
        m_restartPending = true;
        m_closingWritten.reset();
    }
    m_changed.notify_all();
}

void VirtualMonitor::restartStepLocked(MonitorClock::time_point now) {
    if (m_restartPending && m_scheduled.empty() && m_unwritten.empty()) {
        if (!m_closingWritten) m_closingWritten = now;
        const auto since = now - *m_closingWritten;
        if (since < kRestartAfter || (unreadByTool(m_pty) > 0 && since < kReadGrace)) return;
        // The service port leaves the bus: the tool sees a hang-up, and the link goes with the device.
        if (!m_config.linkPath.empty()) removeLink(m_config.linkPath, m_pty.slavePath);
        closePseudoTerminal(m_pty);
        m_restartPending = false;
        m_offBus = true;
        m_backOnBus = now + m_config.restartTime;
        backToCommandMode();
        m_frame.clear();
        m_events.push_back("restarting: the service port is off the bus for " +
                           std::to_string(m_config.restartTime.count()) + " ms");
        return;
    }
    if (!m_offBus || now < m_backOnBus) return;
    try {
        openPseudoTerminal(m_pty, "virtual monitor");
        if (!m_config.linkPath.empty()) publishLink(m_config.linkPath, m_pty.slavePath);
    } catch (const std::exception& e) {
        m_events.push_back(std::string("cannot come back on the bus: ") + e.what());
        m_backOnBus = MonitorClock::time_point::max();
        return;
    }
    m_offBus = false;
    for (const std::string& bootLine : m_config.bootLines) sendLine(bootLine, now);
    ++m_restarts;
    m_events.push_back("back on the bus at " + m_pty.slavePath +
                       (m_config.linkPath.empty() ? "" : " (" + m_config.linkPath + ")"));
    m_changed.notify_all();
}

void VirtualMonitor::send(std::string bytes, MonitorClock::time_point due, bool replyEnd) {
    if (m_silent || m_offBus) return;
    // First in, first out: nothing overtakes a reply that is held back.
    if (!m_scheduled.empty()) due = std::max(due, m_scheduled.back().due);
    m_scheduled.push_back({due, std::move(bytes), replyEnd});
}

void VirtualMonitor::sendLine(const std::string& text, MonitorClock::time_point due, bool replyEnd) {
    send(text + "\r\n", due, replyEnd);
}

void VirtualMonitor::flushDueLocked(MonitorClock::time_point now) {
    while (!m_scheduled.empty() && m_scheduled.front().due <= now) {
        m_unwritten += m_scheduled.front().bytes;
        m_unwrittenReplyEnd = m_unwrittenReplyEnd || m_scheduled.front().replyEnd;
        m_scheduled.pop_front();
    }
    while (!m_unwritten.empty()) {
        const ssize_t n = ::write(m_pty.master, m_unwritten.data(), m_unwritten.size());
        if (n <= 0) break;  // the pseudo-terminal is full; poll() says when it takes more
        m_unwritten.erase(0, static_cast<std::size_t>(n));
    }
    if (m_unwritten.empty() && m_unwrittenReplyEnd) {
        m_unwrittenReplyEnd = false;
        if (m_mode == MonitorMode::BinaryRecords) m_replyWritten = MonitorClock::now();
    }
}

}  // namespace hlx::tools
