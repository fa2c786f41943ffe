#include "tools/lpc_isp_sim.h"

#include "tools/simulated_line.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <optional>
#include <sstream>
#include <stdexcept>

namespace hlx::tools {
namespace {

using namespace std::chrono_literals;

constexpr std::size_t kLongestLine = 512;
constexpr std::uint32_t kUnlockCode = 23130;
constexpr int kGroupLines = 20;
constexpr std::size_t kLineBytes = 45;

std::optional<std::uint32_t> parseNumber(const std::string& text) {
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::vector<std::string> splitWords(const std::string& line) {
    std::vector<std::string> words;
    std::istringstream in(line);
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

// UU decoding as the part does it: the count and every character taken as (c - 0x20) & 0x3F, so space and
// grave accent both mean 0. Nothing for a line of the wrong length or with a character outside 0x20..0x60.
std::optional<std::vector<std::uint8_t>> uuDecode(const std::string& line) {
    auto value = [](char c) -> std::optional<std::uint32_t> {
        const auto u = static_cast<std::uint8_t>(c);
        if (u < 0x20 || u > 0x60) return std::nullopt;
        return (u - 0x20u) & 0x3Fu;
    };
    if (line.empty()) return std::nullopt;
    const auto count = value(line[0]);
    if (!count || *count > kLineBytes || line.size() != 1 + 4 * ((*count + 2) / 3)) return std::nullopt;
    std::vector<std::uint8_t> bytes;
    for (std::size_t at = 1; at < line.size(); at += 4) {
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const auto v = value(line[at + k]);
            if (!v) return std::nullopt;
            group = group << 6 | *v;
        }
        for (int shift = 16; shift >= 0 && bytes.size() < *count; shift -= 8)
            bytes.push_back(static_cast<std::uint8_t>(group >> shift));
    }
    return bytes;
}

std::string uuEncode(const std::uint8_t* data, std::size_t count, char zero) {
    auto character = [zero](std::uint32_t v) { return v == 0 ? zero : static_cast<char>(0x20 + v); };
    std::string line(1, character(static_cast<std::uint32_t>(count)));
    for (std::size_t i = 0; i < count; i += 3) {
        const std::uint32_t group = static_cast<std::uint32_t>(data[i]) << 16 |
                                    (i + 1 < count ? static_cast<std::uint32_t>(data[i + 1]) << 8 : 0) |
                                    (i + 2 < count ? data[i + 2] : 0u);
        for (int shift = 18; shift >= 0; shift -= 6) line += character((group >> shift) & 0x3F);
    }
    return line + "\r\n";
}

bool allDigits(const std::string& line) {
    return !line.empty() &&
           std::all_of(line.begin(), line.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int baudOf(speed_t speed) {
    switch (speed) {
        case B1200:
            return 1200;
        case B2400:
            return 2400;
        case B4800:
            return 4800;
        case B9600:
            return 9600;
        case B19200:
            return 19200;
        case B38400:
            return 38400;
        case B57600:
            return 57600;
        case B115200:
            return 115200;
        case B230400:
            return 230400;
        case B460800:
            return 460800;
        case B921600:
            return 921600;
        default:
            return 0;
    }
}

// The boot loader's own vectors, which reads of 0x00..0x3F return while it runs.
std::uint8_t bootVectorByte(std::uint32_t address) {
    const std::uint32_t word = address < 0x20 ? 0xE59FF018u : 0x7FFFE040u + (address & ~3u);
    return static_cast<std::uint8_t>(word >> (8 * (address % 4)));
}

}  // namespace

int simSectorOf(std::uint32_t address) {
    if (address < 0x8000) return static_cast<int>(address / 0x1000);
    if (address < 0x78000) return 8 + static_cast<int>((address - 0x8000) / 0x8000);
    return 22 + static_cast<int>((address - 0x78000) / 0x1000);
}

std::uint32_t simSectorStart(int sector) {
    if (sector <= 8) return static_cast<std::uint32_t>(sector) * 0x1000;
    if (sector <= 22) return 0x8000 + static_cast<std::uint32_t>(sector - 8) * 0x8000;
    return 0x78000 + static_cast<std::uint32_t>(sector - 22) * 0x1000;
}

LpcIspSim::LpcIspSim(LpcIspConfig config)
    : m_config(std::move(config)),
      m_echoForm(m_config.echo),
      m_flash(kSimFlashSize),
      m_programs(kSimFlashSize, 1),
      m_ram(kSimRamEnd - kSimRamBegin, 0) {
    for (std::uint32_t i = 0; i < kSimFlashSize; ++i)
        m_flash[i] = static_cast<std::uint8_t>((i * 7 + (i >> 8) + m_config.oldFirmware) & 0x7F);

    SimulatedLine line = openSimulatedLine("LPC boot loader simulation");
    m_master = line.master;
    m_slaveKeep = line.slaveKeep;
    m_wakeFd = line.wakeFd;
    m_slavePath = line.slavePath;
    m_thread = std::thread([this] { run(); });
}

LpcIspSim::~LpcIspSim() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] auto written = ::write(m_wakeFd, &one, sizeof one);
    if (m_thread.joinable()) m_thread.join();
    SimulatedLine line{m_master, m_slaveKeep, m_wakeFd, m_slavePath};
    closeSimulatedLine(line);
}

void LpcIspSim::setFaults(const LpcIspFaults& faults) {
    std::lock_guard lock(m_mutex);
    m_faults = faults;
}

void LpcIspSim::setEcho(IspEcho echo) {
    std::lock_guard lock(m_mutex);
    m_echoForm = echo;
}

std::vector<std::uint8_t> LpcIspSim::flash() const {
    std::lock_guard lock(m_mutex);
    return m_flash;
}

std::vector<std::string> LpcIspSim::lines() const {
    std::lock_guard lock(m_mutex);
    return m_lines;
}

std::vector<std::string> LpcIspSim::commands() const {
    std::lock_guard lock(m_mutex);
    return m_commands;
}

std::vector<SimCopy> LpcIspSim::copies() const {
    std::lock_guard lock(m_mutex);
    return m_copies;
}

std::size_t LpcIspSim::bytesProgrammedTwice() const {
    std::lock_guard lock(m_mutex);
    return m_twice;
}

std::size_t LpcIspSim::bytesReceived() const {
    std::lock_guard lock(m_mutex);
    return m_bytesReceived;
}

std::string LpcIspSim::received() const {
    std::lock_guard lock(m_mutex);
    return m_received;
}

int LpcIspSim::erases() const {
    std::lock_guard lock(m_mutex);
    return m_erases;
}

int LpcIspSim::checksumLines() const {
    std::lock_guard lock(m_mutex);
    return m_checksumLines;
}

bool LpcIspSim::userCodeValid() const {
    std::lock_guard lock(m_mutex);
    return userCodeValidLocked();
}

bool LpcIspSim::userCodeValidLocked() const {
    std::uint32_t sum = 0;
    for (std::uint32_t at = 0; at < 32; at += 4)
        sum += static_cast<std::uint32_t>(m_flash[at]) | static_cast<std::uint32_t>(m_flash[at + 1]) << 8 |
               static_cast<std::uint32_t>(m_flash[at + 2]) << 16 |
               static_cast<std::uint32_t>(m_flash[at + 3]) << 24;
    return sum == 0;
}

int LpcIspSim::goCount() const {
    std::lock_guard lock(m_mutex);
    return m_goCount;
}

bool LpcIspSim::waitForGo(int count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_goSeen.wait_for(lock, timeout, [&] { return m_goCount >= count; });
}

void LpcIspSim::clear() {
    std::lock_guard lock(m_mutex);
    m_lines.clear();
    m_commands.clear();
    m_copies.clear();
    m_twice = 0;
    m_bytesReceived = 0;
    m_erases = 0;
    m_checksumLines = 0;
    m_goCount = 0;
    m_readGroups = 0;
    m_received.clear();
    m_commandCounts.fill(0);
    backToAutoBaud();
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
                    std::chrono::ceil<std::chrono::milliseconds>(m_scheduled.front().first - SimClock::now());
                timeoutMs = static_cast<int>(std::max<std::int64_t>(left.count(), 0));
            }
        }
        pollfd fds[2] = {{m_master, static_cast<short>(POLLIN | (wantWrite ? POLLOUT : 0)), 0},
                         {m_wakeFd, POLLIN, 0}};
        if (::poll(fds, 2, timeoutMs) < 0 && errno != EINTR) return;
        if (fds[1].revents & POLLIN) {
            std::uint64_t count = 0;
            [[maybe_unused]] auto got = ::read(m_wakeFd, &count, sizeof count);
        }
        std::vector<std::string> events;
        {
            std::lock_guard lock(m_mutex);
            if (m_stop) return;
            if (fds[0].revents & POLLIN) {
                const ssize_t n = ::read(m_master, buffer.data(), buffer.size());
                const SimClock::time_point now = SimClock::now();
                const SimClock::duration perByte = byteTime();
                for (ssize_t i = 0; i < n; ++i) {
                    // Each byte arrives when the wire has carried it: no earlier than the one before it
                    // plus its own time.
                    m_inClock = std::max(m_inClock, now) + perByte;
                    handleByte(buffer[static_cast<std::size_t>(i)], m_inClock);
                }
            }
            if (m_hungUp) {
                // The tool then sees a hang-up on its side, as on an unplugged adapter.
                ::close(m_master);
                ::close(m_slaveKeep);
                m_master = -1;
                m_slaveKeep = -1;
                m_scheduled.clear();
                m_unwritten.clear();
            } else {
                flushDueLocked(SimClock::now());
            }
            events.swap(m_events);
        }
        if (m_master < 0) {
            if (m_config.onEvent)
                for (const std::string& e : events) m_config.onEvent(e);
            return;
        }
        if (m_config.onEvent)
            for (const std::string& e : events) m_config.onEvent(e);
    }
}

SimClock::duration LpcIspSim::byteTime() const {
    int baud = m_config.baud;
    int bits = 10;
    if (baud < 0) {
        termios t{};
        if (::tcgetattr(m_slaveKeep, &t) != 0) return {};
        baud = baudOf(::cfgetospeed(&t));
        const int dataBits = (t.c_cflag & CSIZE) == CS5   ? 5
                             : (t.c_cflag & CSIZE) == CS6 ? 6
                             : (t.c_cflag & CSIZE) == CS7 ? 7
                                                          : 8;
        bits = 1 + dataBits + ((t.c_cflag & PARENB) ? 1 : 0) + ((t.c_cflag & CSTOPB) ? 2 : 1);
    }
    if (baud <= 0) return {};
    return std::chrono::duration_cast<SimClock::duration>(
        std::chrono::nanoseconds(1'000'000'000LL * bits / baud));
}

void LpcIspSim::handleByte(std::uint8_t byte, SimClock::time_point arrival) {
    ++m_bytesReceived;
    if (m_received.size() < (std::size_t{16} << 20)) m_received += static_cast<char>(byte);
    if (m_state == State::AutoBaud) {
        if (byte != '?') return;
        m_lines.push_back("?");
        if (m_faults.silentToSync) {
            m_events.push_back("\"?\" left unanswered (fault)");
            return;
        }
        send("Synchronized\r\n", arrival);
        m_state = State::SyncLine;
        m_line.clear();
        return;
    }
    if (m_echo && m_echoForm == IspEcho::Character) send(std::string(1, static_cast<char>(byte)), arrival);
    if (byte == '\r' || byte == '\n') {
        if (m_line.empty()) return;
        std::string line;
        line.swap(m_line);
        if (m_echo && m_echoForm == IspEcho::Line) send(line + "\r\n", arrival);
        handleLine(line, arrival);
    } else if (m_line.size() < kLongestLine) {
        m_line += static_cast<char>(byte);
    }
}

void LpcIspSim::handleLine(const std::string& line, SimClock::time_point at) {
    m_lines.push_back(line);
    switch (m_state) {
        case State::SyncLine:
            if (line == "Synchronized") {
                send("OK\r\n", at);
                m_state = State::Frequency;
            } else {
                backToAutoBaud();
            }
            break;
        case State::Frequency:
            if (auto khz = parseNumber(line); khz && *khz >= 10 && *khz <= 100000) {
                send("OK\r\n", at);
                m_state = State::Command;
                m_events.push_back("synchronised, crystal " + line + " kHz");
            } else {
                backToAutoBaud();
            }
            break;
        case State::Command:
            handleCommand(line, at);
            break;
        case State::WriteData:
            handleWriteLine(line, at);
            break;
        case State::ReadAnswer:
            handleReadAnswer(line, at);
            break;
        case State::AutoBaud:
            break;
    }
}

void LpcIspSim::answer(int code, SimClock::time_point at) {
    send(std::to_string(code) + "\r\n", at);
}

void LpcIspSim::handleCommand(const std::string& line, SimClock::time_point at) {
    m_commands.push_back(line);
    const std::vector<std::string> words = splitWords(line);
    if (words.empty() || words[0].size() != 1 ||
        static_cast<unsigned char>(words[0][0]) >= m_commandCounts.size()) {
        m_events.push_back("unknown command: " + line);
        return answer(kInvalidCommand, at);
    }
    const char letter = words[0][0];
    const int occurrence = ++m_commandCounts[static_cast<unsigned char>(letter)];
    if (m_faults.hangUpAt == letter) {
        m_events.push_back(line + ": line closed (fault)");
        m_hungUp = true;
        return;
    }
    if (m_faults.failCommand == letter && m_faults.failOccurrence == occurrence) {
        m_events.push_back(line + ": answered " + std::to_string(m_faults.failCode) + " (fault)");
        return answer(m_faults.failCode, at);
    }
    std::vector<std::uint32_t> args;
    for (std::size_t i = 1; i < words.size(); ++i) {
        if (letter == 'G' && i == 2) break;  // the mode letter
        const auto n = parseNumber(words[i]);
        if (!n) return answer(kParamError, at);
        args.push_back(*n);
    }
    auto wants = [&](std::size_t n) { return words.size() == n + 1; };

    switch (letter) {
        case 'U':
            if (!wants(1)) return answer(kParamError, at);
            if (args[0] != kUnlockCode) return answer(kInvalidCode, at);
            m_unlocked = true;
            return answer(kCmdSuccess, at);
        case 'A':
            if (!wants(1) || args[0] > 1) return answer(kParamError, at);
            m_echo = args[0] == 1;
            return answer(kCmdSuccess, at);
        case 'P':
        case 'E': {
            if (!wants(2)) return answer(kParamError, at);
            if (letter == 'E' && !m_unlocked) return answer(kCmdLocked, at);
            if (args[0] > args[1] || args[1] >= static_cast<std::uint32_t>(kSimSectors))
                return answer(kInvalidSector, at);
            if (letter == 'P') {
                for (std::uint32_t s = args[0]; s <= args[1]; ++s) m_prepared[s] = true;
                return answer(kCmdSuccess, at);
            }
            for (std::uint32_t s = args[0]; s <= args[1]; ++s)
                if (!m_prepared[s]) return answer(kSectorNotPrepared, at);
            for (std::uint32_t s = args[0]; s <= args[1]; ++s) {
                const int sector = static_cast<int>(s);
                std::fill(m_flash.begin() + simSectorStart(sector),
                          m_flash.begin() + simSectorStart(sector + 1), 0xFF);
                std::fill(m_programs.begin() + simSectorStart(sector),
                          m_programs.begin() + simSectorStart(sector + 1), 0);
                m_prepared[s] = false;
            }
            ++m_erases;
            m_events.push_back("erased sectors " + std::to_string(args[0]) + " to " +
                               std::to_string(args[1]));
            return answer(kCmdSuccess, at + m_config.eraseTimePerSector * (args[1] - args[0] + 1));
        }
        case 'W':
            if (!wants(2)) return answer(kParamError, at);
            if (!m_unlocked) return answer(kCmdLocked, at);
            if (args[0] % 4 != 0) return answer(kAddrError, at);
            if (args[1] % 4 != 0 || args[1] == 0) return answer(kCountError, at);
            if (!inRam(args[0], static_cast<std::uint64_t>(args[0]) + args[1]))
                return answer(kAddrNotMapped, at);
            m_writeAddress = args[0];
            m_writeCount = args[1];
            m_written = 0;
            m_group.clear();
            m_groupLines = 0;
            m_groupBad = false;
            m_state = State::WriteData;
            return answer(kCmdSuccess, at);
        case 'C': {
            if (!wants(3)) return answer(kParamError, at);
            const int code = copyToFlash(args[0], args[1], args[2]);
            m_copies.push_back({args[0], args[1], args[2], code});
            if (code != kCmdSuccess) m_events.push_back(line + ": answered " + std::to_string(code));
            return answer(code, at + m_config.copyTimePer256 * (code == kCmdSuccess ? args[2] / 256 : 0));
        }
        case 'R': {
            if (!wants(2)) return answer(kParamError, at);
            if (args[0] % 4 != 0) return answer(kAddrError, at);
            if (args[1] % 4 != 0 || args[1] == 0) return answer(kCountError, at);
            const std::uint64_t end = static_cast<std::uint64_t>(args[0]) + args[1];
            if (!(end <= kSimFlashSize || inRam(args[0], end))) return answer(kAddrNotMapped, at);
            answer(kCmdSuccess, at);
            m_readAddress = args[0];
            m_readCount = args[1];
            m_readDone = 0;
            return sendReadGroup(at);
        }
        case 'G': {
            if (words.size() != 3) return answer(kParamError, at);
            if (!m_unlocked) return answer(kCmdLocked, at);
            if (words[2] != "A" && words[2] != "T") return answer(kParamError, at);
            // The code starts at once and greets; answer and greeting leave together.
            send("0\r\n" + (m_config.greeting.empty() ? std::string{} : m_config.greeting + "\r\n"), at);
            ++m_goCount;
            m_events.push_back("started the user code at " + words[1] +
                               (userCodeValidLocked() ? "" : " (vectors do not sum to 0)"));
            backToAutoBaud();
            m_goSeen.notify_all();
            return;
        }
        default:
            m_events.push_back("unknown command: " + line);
            return answer(kInvalidCommand, at);
    }
}

void LpcIspSim::handleWriteLine(const std::string& line, SimClock::time_point at) {
    bool checksumNow = m_groupLines == kGroupLines || m_written + m_group.size() >= m_writeCount;
    if (!checksumNow) {
        if (auto bytes = uuDecode(line)) {
            if (m_written + m_group.size() + bytes->size() > m_writeCount) m_groupBad = true;
            m_group.insert(m_group.end(), bytes->begin(), bytes->end());
            ++m_groupLines;
            return;
        }
        if (!allDigits(line)) {
            m_groupBad = true;
            ++m_groupLines;
            return;
        }
        m_groupBad = true;  // a checksum line where a data line belongs: lines were lost
    }
    ++m_checksumLines;
    std::int64_t sum = 0;
    for (std::uint8_t b : m_group) sum += b;
    const auto announced = parseNumber(line);
    const bool fault = m_faults.resendAtChecksum == m_checksumLines;
    const bool good =
        !m_groupBad && !fault && announced && *announced == sum && m_written + m_group.size() <= m_writeCount;
    if (good) {
        std::copy(m_group.begin(), m_group.end(),
                  m_ram.begin() + (m_writeAddress - kSimRamBegin + m_written));
        m_written += static_cast<std::uint32_t>(m_group.size());
        send("OK\r\n", at);
    } else {
        m_events.push_back("checksum line " + std::to_string(m_checksumLines) + " answered RESEND" +
                           (fault ? " (fault)" : ""));
        send("RESEND\r\n", at);
    }
    m_group.clear();
    m_groupLines = 0;
    m_groupBad = false;
    if (m_written >= m_writeCount) m_state = State::Command;
}

void LpcIspSim::sendReadGroup(SimClock::time_point at) {
    m_readGroupSize = std::min<std::uint32_t>(kGroupLines * kLineBytes, m_readCount - m_readDone);
    std::vector<std::uint8_t> bytes(m_readGroupSize);
    std::int64_t sum = 0;
    for (std::uint32_t i = 0; i < m_readGroupSize; ++i) {
        bytes[i] = readMemory(m_readAddress + m_readDone + i);
        sum += bytes[i];
    }
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += kLineBytes)
        text += uuEncode(bytes.data() + i, std::min(kLineBytes, bytes.size() - i), m_config.readZero);
    if (++m_readGroups == m_faults.garbleReadGroup) {
        m_events.push_back("read group " + std::to_string(m_readGroups) +
                           " sent with a wrong checksum (fault)");
        ++sum;
    }
    text += std::to_string(sum) + "\r\n";
    send(std::move(text), at);
    m_state = State::ReadAnswer;
}

void LpcIspSim::handleReadAnswer(const std::string& line, SimClock::time_point at) {
    if (line == "RESEND") return sendReadGroup(at);
    if (line != "OK") {
        m_state = State::Command;
        return handleCommand(line, at);
    }
    m_readDone += m_readGroupSize;
    if (m_readDone >= m_readCount)
        m_state = State::Command;
    else
        sendReadGroup(at);
}

int LpcIspSim::copyToFlash(std::uint32_t destination, std::uint32_t source, std::uint32_t size) {
    if (!m_unlocked) return kCmdLocked;
    if (destination % 256 != 0) return kDstAddrError;
    if (source % 4 != 0) return kSrcAddrError;
    if (size != 256 && size != 512 && size != 1024 && size != 4096) return kCountError;
    if (static_cast<std::uint64_t>(destination) + size > kSimFlashSize) return kDstAddrNotMapped;
    if (!inRam(source, static_cast<std::uint64_t>(source) + size)) return kSrcAddrNotMapped;
    const int first = simSectorOf(destination);
    const int last = simSectorOf(destination + size - 1);
    for (int s = first; s <= last; ++s)
        if (!m_prepared[static_cast<std::size_t>(s)]) return kSectorNotPrepared;
    for (std::uint32_t i = 0; i < size; ++i) {
        const std::uint32_t at = destination + i;
        if (static_cast<std::int64_t>(at) == m_faults.stuckAddress) continue;
        if (m_programs[at] > 0) ++m_twice;
        m_programs[at] = static_cast<std::uint8_t>(std::min(m_programs[at] + 1, 255));
        m_flash[at] &= m_ram[source - kSimRamBegin + i];  // programming only clears bits
    }
    for (int s = first; s <= last; ++s) m_prepared[static_cast<std::size_t>(s)] = false;
    return kCmdSuccess;
}

std::uint8_t LpcIspSim::readMemory(std::uint32_t address) const {
    if (address < 0x40) return bootVectorByte(address);
    if (address < kSimFlashSize) return m_flash[address];
    if (address >= kSimRamBegin && address < kSimRamEnd) return m_ram[address - kSimRamBegin];
    return 0;
}

bool LpcIspSim::inRam(std::uint64_t begin, std::uint64_t end) const {
    return begin >= kSimRamBegin && end <= kSimRamEnd && begin < end;
}

void LpcIspSim::send(std::string bytes, SimClock::time_point due) {
    // Out on the simulated wire after whatever is already on its way; it reaches the tool with its last byte.
    const SimClock::time_point start = std::max(due, m_outClock);
    m_outClock = start + byteTime() * static_cast<int>(bytes.size());
    if (!m_scheduled.empty() && m_scheduled.back().first == m_outClock)
        m_scheduled.back().second += bytes;
    else
        m_scheduled.emplace_back(m_outClock, std::move(bytes));
}

void LpcIspSim::flushDueLocked(SimClock::time_point now) {
    while (!m_scheduled.empty() && m_scheduled.front().first <= now) {
        m_unwritten += m_scheduled.front().second;
        m_scheduled.pop_front();
    }
    while (!m_unwritten.empty()) {
        const ssize_t n = ::write(m_master, m_unwritten.data(), m_unwritten.size());
        if (n <= 0) break;  // the pseudo-terminal is full; poll() says when it takes more
        m_unwritten.erase(0, static_cast<std::size_t>(n));
    }
}

void LpcIspSim::backToAutoBaud() {
    m_state = State::AutoBaud;
    m_echo = true;
    m_unlocked = false;
    m_line.clear();
    m_prepared.fill(false);
}

}  // namespace hlx::tools
