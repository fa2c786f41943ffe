#include "tools/lpc_isp_commands.h"

#include <algorithm>
#include <charconv>
#include <optional>
#include <sstream>

namespace hlx::tools {
namespace {

constexpr std::size_t kLongestLine = 512;
constexpr std::uint32_t kUnlockCode = 23130;
constexpr int kGroupLines = 20;
constexpr std::size_t kLineBytes = 45;
constexpr std::size_t kKeptBytes = std::size_t{16} << 20;
constexpr std::uint32_t kBaudRates[] = {9600, 19200, 38400, 57600, 115200, 230400};

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

std::string numberLines(std::initializer_list<std::uint64_t> values) {
    std::string text;
    for (std::uint64_t v : values) text += std::to_string(v) + "\r\n";
    return text;
}

}  // namespace

LpcIspCommands::LpcIspCommands(const LpcIspConfig& config, LpcIspMemory& memory, IspWire& wire)
    : m_config(config), m_memory(memory), m_wire(wire), m_echoForm(config.echo) {}

std::vector<std::string> LpcIspCommands::takeEvents() {
    std::vector<std::string> events;
    events.swap(m_events);
    return events;
}

void LpcIspCommands::clear() {
    m_lines.clear();
    m_commands.clear();
    m_copies.clear();
    m_bytesReceived = 0;
    m_erases = 0;
    m_checksumLines = 0;
    m_goCount = 0;
    m_readGroups = 0;
    m_missedSyncs = 0;
    m_received.clear();
    m_commandCounts.fill(0);
    backToAutoBaud();
}

void LpcIspCommands::handleByte(std::uint8_t byte, SimClock::time_point arrival) {
    // Past the cut, nothing arrives any more.
    if (m_faults.hangUpAfter > 0 && static_cast<std::int64_t>(m_bytesReceived) >= m_faults.hangUpAfter)
        return;
    ++m_bytesReceived;
    if (m_faults.hangUpAfter > 0 && static_cast<std::int64_t>(m_bytesReceived) == m_faults.hangUpAfter) {
        m_events.push_back("line closed after " + std::to_string(m_bytesReceived) + " bytes (fault)");
        m_wire.hangUp();  // this last byte is still taken
    }
    if (m_received.size() < kKeptBytes) m_received += static_cast<char>(byte);
    if (m_state == State::AutoBaud) {
        if (byte != '?') return;
        m_lines.push_back("?");
        if (m_missedSyncs < m_faults.missedSyncs) {
            ++m_missedSyncs;
            m_events.push_back("\"?\" missed (fault)");
            return;
        }
        if (m_faults.silentToSync) {
            m_events.push_back("\"?\" left unanswered (fault)");
            return;
        }
        m_wire.rateMeasured();
        m_wire.send("Synchronized\r\n", arrival);
        m_state = State::SyncLine;
        m_line.clear();
        return;
    }
    if (m_echo && m_echoForm == IspEcho::Character)
        m_wire.send(std::string(1, static_cast<char>(byte)), arrival);
    if (byte == '\r' || byte == '\n') {
        if (m_line.empty()) return;
        std::string line;
        line.swap(m_line);
        if (m_echo && m_echoForm == IspEcho::Line) m_wire.send(line + "\r\n", arrival);
        handleLine(line, arrival);
    } else if (m_line.size() < kLongestLine) {
        m_line += static_cast<char>(byte);
    }
}

void LpcIspCommands::handleLine(const std::string& line, SimClock::time_point at) {
    m_lines.push_back(line);
    switch (m_state) {
        case State::SyncLine:
            if (line == "Synchronized") {
                m_wire.send("OK\r\n", at);
                m_state = State::Frequency;
            } else {
                backToAutoBaud();
            }
            break;
        case State::Frequency:
            if (auto khz = parseNumber(line); khz && *khz >= 10 && *khz <= 100000) {
                m_wire.send("OK\r\n", at);
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

void LpcIspCommands::handleCommand(const std::string& line, SimClock::time_point at) {
    m_commands.push_back(line);
    const std::vector<std::string> words = splitWords(line);
    if (words.empty() || words[0].size() != 1 ||
        static_cast<unsigned char>(words[0][0]) >= m_commandCounts.size()) {
        m_events.push_back("unknown command: " + line);
        return m_wire.send(numberLines({kInvalidCommand}), at);
    }
    const char letter = words[0][0];
    const int occurrence = ++m_commandCounts[static_cast<unsigned char>(letter)];
    if (m_faults.slowCommands.find(letter) != std::string::npos) at += m_faults.slowBy;
    if (m_faults.hangUpAt == letter) {
        m_events.push_back(line + ": line closed (fault)");
        return m_wire.hangUp();
    }
    if (m_faults.failCommand == letter && m_faults.failOccurrence == occurrence) {
        m_events.push_back(line + ": answered " + std::to_string(m_faults.failCode) + " (fault)");
        return m_wire.send(numberLines({static_cast<std::uint64_t>(m_faults.failCode)}), at);
    }
    std::string more;  // what follows the return code
    const int code = runCommand(letter, words, at, more);
    if (code != kCmdSuccess && code != kInvalidCommand && letter != 'C')
        m_events.push_back(line + ": answered " + std::to_string(code));
    if (code == kInvalidCommand) m_events.push_back("unknown command: " + line);
    m_wire.send(numberLines({static_cast<std::uint64_t>(code)}) + more, at);
    if (code != kCmdSuccess) return;

    // What runs after the answer has left.
    switch (letter) {
        case 'B':
            m_wire.rateChanged(static_cast<int>(*parseNumber(words[1])),
                               static_cast<int>(*parseNumber(words[2])));
            m_events.push_back("line rate now " + words[1] + " baud, " + words[2] + " stop bit(s)");
            break;
        case 'W':
            m_state = State::WriteData;
            break;
        case 'R':
            sendReadGroup(at);
            break;
        case 'G':
            // The code starts at once and greets: answer and greeting leave together.
            if (!m_config.greeting.empty()) m_wire.send(m_config.greeting + "\r\n", at);
            ++m_goCount;
            m_events.push_back("started the user code at " + words[1] +
                               (m_memory.userCodeValid() ? "" : " (vectors do not sum to 0)"));
            backToAutoBaud();
            break;
        default:
            break;
    }
}

int LpcIspCommands::runCommand(char letter, const std::vector<std::string>& words, SimClock::time_point& at,
                               std::string& more) {
    std::vector<std::uint32_t> args;
    for (std::size_t i = 1; i < words.size(); ++i) {
        if (letter == 'G' && i == 2) break;  // the mode letter
        const auto n = parseNumber(words[i]);
        if (!n) return kParamError;
        args.push_back(*n);
    }
    auto wants = [&](std::size_t n) { return words.size() == n + 1; };

    switch (letter) {
        case 'U':
            if (!wants(1)) return kParamError;
            if (args[0] != kUnlockCode) return kInvalidCode;
            m_unlocked = true;
            return kCmdSuccess;
        case 'A':
            if (!wants(1) || args[0] > 1) return kParamError;
            m_echo = args[0] == 1;
            return kCmdSuccess;
        case 'B':
            if (!wants(2)) return kParamError;
            if (std::find(std::begin(kBaudRates), std::end(kBaudRates), args[0]) == std::end(kBaudRates))
                return kInvalidBaudRate;
            if (args[1] != 1 && args[1] != 2) return kInvalidStopBit;
            return kCmdSuccess;
        case 'P':
        case 'E':
        case 'I':
            if (!wants(2)) return kParamError;
            return sectorCommand(letter, args[0], args[1], at, more);
        case 'W':
            if (!wants(2)) return kParamError;
            if (args[0] % 4 != 0) return kAddrError;
            if (args[1] % 4 != 0 || args[1] == 0) return kCountError;
            if (!LpcIspMemory::inWritableRam(args[0], std::uint64_t{args[0]} + args[1]))
                return kAddrNotMapped;
            m_writeAddress = args[0];
            m_writeCount = args[1];
            m_written = 0;
            m_group.clear();
            m_groupLines = 0;
            m_groupBad = false;
            return kCmdSuccess;
        case 'C': {
            if (!wants(3)) return kParamError;
            const int code = copyCommand(args[0], args[1], args[2]);
            m_copies.push_back({args[0], args[1], args[2], code});
            if (code != kCmdSuccess)
                m_events.push_back("C " + std::to_string(args[0]) + ": answered " + std::to_string(code));
            else
                at += m_config.copyTimePer256 * (args[2] / 256);
            return code;
        }
        case 'R':
            if (!wants(2)) return kParamError;
            if (args[0] % 4 != 0) return kAddrError;
            if (args[1] % 4 != 0 || args[1] == 0) return kCountError;
            if (!LpcIspMemory::readable(args[0], std::uint64_t{args[0]} + args[1])) return kAddrNotMapped;
            if (m_config.crp > 0) return kCodeReadProtectionEnabled;
            m_readAddress = args[0];
            m_readCount = args[1];
            m_readDone = 0;
            return kCmdSuccess;
        case 'M': {
            if (!wants(3)) return kParamError;
            if (args[0] % 4 != 0 || args[1] % 4 != 0) return kAddrError;
            if (args[2] % 4 != 0 || args[2] == 0) return kCountError;
            if (!LpcIspMemory::readable(args[0], std::uint64_t{args[0]} + args[2]) ||
                !LpcIspMemory::readable(args[1], std::uint64_t{args[1]} + args[2]))
                return kAddrNotMapped;
            const auto offset = m_memory.firstDifference(args[0], args[1], args[2]);
            if (!offset) return kCmdSuccess;
            more = numberLines({*offset});
            return kCompareError;
        }
        case 'G':
            if (!wants(2)) return kParamError;
            if (!m_unlocked) return kCmdLocked;
            if (words[2] != "A" && words[2] != "T") return kParamError;
            if (args[0] % 4 != 0) return kAddrError;
            if (!LpcIspMemory::readable(args[0], std::uint64_t{args[0]} + 4)) return kAddrNotMapped;
            return kCmdSuccess;
        case 'J':
            if (!wants(0)) return kParamError;
            more = numberLines({m_config.partId});
            return kCmdSuccess;
        case 'K':
            if (!wants(0)) return kParamError;
            more = numberLines({static_cast<std::uint64_t>(m_config.bootMinor),
                                static_cast<std::uint64_t>(m_config.bootMajor)});
            return kCmdSuccess;
        case 'N':
            if (!wants(0)) return kParamError;
            for (std::uint32_t word : m_config.serialNumber) more += numberLines({word});
            return kCmdSuccess;
        default:
            return kInvalidCommand;
    }
}

int LpcIspCommands::sectorCommand(char letter, std::uint32_t first, std::uint32_t last,
                                  SimClock::time_point& at, std::string& more) {
    if (letter == 'E' && !m_unlocked) return kCmdLocked;
    if (first > last || last >= static_cast<std::uint32_t>(kSimSectors)) return kInvalidSector;
    const int s = static_cast<int>(first);
    const int e = static_cast<int>(last);
    switch (letter) {
        case 'P':
            m_memory.prepare(s, e);
            return kCmdSuccess;
        case 'E':
            if (!m_memory.prepared(s, e)) return kSectorNotPrepared;
            m_memory.erase(s, e);
            ++m_erases;
            m_events.push_back("erased sectors " + std::to_string(first) + " to " + std::to_string(last));
            at += m_config.eraseTimePerSector * (last - first + 1);
            return kCmdSuccess;
        default: {  // I
            const auto address = m_memory.firstNonBlankWord(s, e);
            if (!address) return kCmdSuccess;
            more = numberLines({*address - simSectorStart(s), m_memory.readWord(*address)});
            return kSectorNotBlank;
        }
    }
}

int LpcIspCommands::copyCommand(std::uint32_t destination, std::uint32_t source, std::uint32_t size) {
    if (!m_unlocked) return kCmdLocked;
    if (destination % 256 != 0) return kDstAddrError;
    if (source % 4 != 0) return kSrcAddrError;
    if (size != 256 && size != 512 && size != 1024 && size != 4096) return kCountError;
    if (!LpcIspMemory::inFlash(destination, std::uint64_t{destination} + size)) return kDstAddrNotMapped;
    if (!LpcIspMemory::inWritableRam(source, std::uint64_t{source} + size)) return kSrcAddrNotMapped;
    if (!m_memory.prepared(simSectorOf(destination), simSectorOf(destination + size - 1)))
        return kSectorNotPrepared;
    m_memory.program(destination, source, size, m_faults.stuckAddress);
    return kCmdSuccess;
}

void LpcIspCommands::handleWriteLine(const std::string& line, SimClock::time_point at) {
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
        m_memory.writeRam(m_writeAddress + m_written, m_group);
        m_written += static_cast<std::uint32_t>(m_group.size());
        m_wire.send("OK\r\n", at);
    } else {
        m_events.push_back("checksum line " + std::to_string(m_checksumLines) + " answered RESEND" +
                           (fault ? " (fault)" : ""));
        m_wire.send("RESEND\r\n", at);
    }
    m_group.clear();
    m_groupLines = 0;
    m_groupBad = false;
    if (m_written >= m_writeCount) m_state = State::Command;
}

void LpcIspCommands::sendReadGroup(SimClock::time_point at) {
    m_readGroupSize = std::min<std::uint32_t>(kGroupLines * kLineBytes, m_readCount - m_readDone);
    std::vector<std::uint8_t> bytes(m_readGroupSize);
    std::int64_t sum = 0;
    for (std::uint32_t i = 0; i < m_readGroupSize; ++i) {
        bytes[i] = m_memory.read(m_readAddress + m_readDone + i);
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
    m_wire.send(std::move(text), at);
    m_state = State::ReadAnswer;
}

void LpcIspCommands::handleReadAnswer(const std::string& line, SimClock::time_point at) {
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

void LpcIspCommands::backToAutoBaud() {
    m_state = State::AutoBaud;
    m_echo = true;
    m_unlocked = false;
    m_line.clear();
    m_memory.unprepareAll();
    m_wire.rateForgotten();
}

}  // namespace hlx::tools
