#pragma once
// LpcIspCommands: the command handler of an NXP LPC2378's ISP boot loader, byte by byte, for the simulated
// boot loader. It decides what the part answers and when; the simulation (LpcIspSim) carries it out on a
// pseudo-terminal through IspWire. Memory is an LpcIspMemory.
//
// Conversation (lines end in CR, LF or CR LF; every answer ends in CR LF; numbers are decimal):
//   autobaud     "?" is answered "Synchronized" and the rate the "?" came at is kept; the line
//                "Synchronized" then "OK" (any other line returns to autobaud), and a crystal frequency in
//                kHz "OK"; then commands, with echo on
//   echo         line form: each line is sent back after its end, with CR LF, before the answer;
//                character form: each character as it arrives, so a command that runs at its CR answers
//                before its LF comes back. "A 0" turns echo off, "A 1" on.
//   U 23130      unlock; C, E and G answer CMD_LOCKED without it
//   B baud stop  the line's rate (9600, 19200, 38400, 57600, 115200, 230400) and stop bits (1, 2), in force
//                from the byte after the answer
//   P s e        prepare sectors s..e (0..27) for erase or copy; both unprepare the sectors they touch
//   E s e        erase sectors s..e
//   I s e        blank check: 0, or SECTOR_NOT_BLANK followed by the offset of the first word that is not
//                0xFFFFFFFF (from the start of sector s) and that word; sector 0 is never blank, as the boot
//                loader's vectors are read there
//   W a n        n bytes (a multiple of 4) to RAM at a: then UU lines (space or grave accent for 0), and a
//                checksum line after every 20 lines and after the last, answered "OK" (the group is taken)
//                or "RESEND" (the group is dropped and expected again)
//   C d s n      copy n bytes (256, 512, 1024 or 4096) from RAM at s to flash at d; d must be a multiple of
//                256 (DST_ADDR_ERROR) and its sectors prepared
//   R a n        n bytes from a as UU lines with a checksum line after every 20 lines and after the last;
//                the host answers each checksum line with OK or RESEND
//   M a b n      compare n bytes (a multiple of 4) at a and b: 0, or COMPARE_ERROR followed by the offset of
//                the first word that differs; reads of 0x00..0x3F give the boot loader's vectors
//   J            0 and the part ID (0x1700FD25 for the LPC2378); K: 0, the boot code's minor and major
//                version; N: 0 and the serial number in four words
//   read protection (crp 1..3): R answers CODE_READ_PROTECTION_ENABLED, as a part whose code is
//                protected does; J, K and N still answer
//   G a A|T      answered 0; the started firmware then says `greeting` and the part returns to autobaud,
//                locked, echo on (as a technician resets the monitor into the boot loader)
//   others       INVALID_COMMAND; wrong parameters PARAM_ERROR, ADDR_ERROR, COUNT_ERROR, ADDR_NOT_MAPPED, ...
//
// Faults (LpcIspFaults): no answer to "?", the first n "?" missed, RESEND for a checksum line, a return code
// for a command, a line that closes (the tool then sees a hang-up), a flash byte that does not program, a
// garbled read-back group.
//
// Threads: a plain value; the simulation calls it under its own mutex.

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/lpc_isp_memory.h"

namespace hlx::tools {

using SimClock = std::chrono::steady_clock;

enum class IspEcho { Line, Character };

// The return codes of the LPC ISP commands.
enum IspReturnCode : int {
    kCmdSuccess = 0,
    kInvalidCommand = 1,
    kSrcAddrError = 2,
    kDstAddrError = 3,
    kSrcAddrNotMapped = 4,
    kDstAddrNotMapped = 5,
    kCountError = 6,
    kInvalidSector = 7,
    kSectorNotBlank = 8,
    kSectorNotPrepared = 9,
    kCompareError = 10,
    kBusy = 11,
    kParamError = 12,
    kAddrError = 13,
    kAddrNotMapped = 14,
    kCmdLocked = 15,
    kInvalidCode = 16,
    kInvalidBaudRate = 17,
    kInvalidStopBit = 18,
    kCodeReadProtectionEnabled = 19,
};

inline constexpr std::uint32_t kLpc2378PartId = 0x1700FD25;

struct LpcIspConfig {
    IspEcho echo = IspEcho::Line;
    int baud = -1;  // -1: talk at the rate of the line when "?" came; 0: no pacing; otherwise this rate, 8N1
    std::chrono::microseconds eraseTimePerSector{0};
    std::chrono::microseconds copyTimePer256{0};
    std::chrono::microseconds answerDelay{0};  // every answer (and echo) leaves this much later
    int crp = 0;                               // code read protection level (0: none)
    char readZero = '`';                       // the character R data uses for 0: grave accent or space
    std::string greeting = "HLX firmware started";
    std::uint8_t oldFirmware = 0x5A;  // what the flash holds before the first erase (pattern seed)
    std::uint32_t partId = kLpc2378PartId;
    int bootMajor = 8;  // boot code version major.minor
    int bootMinor = 1;
    std::array<std::uint32_t, 4> serialNumber{0x2378A001u, 0x4C5C1E07u, 0x00000F1Bu, 0x15050C33u};
    // Not empty: the flash at start (kSimFlashSize bytes), e.g. a part's flash after an earlier session.
    std::vector<std::uint8_t> flash = {};
    std::function<void(const std::string&)> onEvent;  // a short line for each command and fault
};

// Faults to inject; counters start at 1 and count since the simulation started (or clear()).
struct LpcIspFaults {
    bool silentToSync = false;       // never answer "?"
    int missedSyncs = 0;             // leave the first n "?" unanswered (the part was not listening yet)
    int resendAtChecksum = 0;        // answer this checksum line of W data with RESEND
    char failCommand = 0;            // answer this command letter ...
    int failOccurrence = 1;          // ... at its n-th occurrence ...
    int failCode = 0;                // ... with this return code, without running it
    char hangUpAt = 0;               // close the line (an unplugged cable) when this command letter arrives
    std::int64_t hangUpAfter = 0;    // close the line once this many bytes have arrived (0: never)
    std::int64_t stuckAddress = -1;  // a flash byte that programming leaves unchanged (a worn cell)
    int garbleReadGroup = 0;         // send this group of R data (counted from 1) once with a wrong checksum
    std::string slowCommands = {};   // answer every command whose letter is one of these ...
    std::chrono::milliseconds slowBy{0};  // ... this much later (a part busy with it)
};

struct SimCopy {
    std::uint32_t destination;
    std::uint32_t source;
    std::uint32_t size;
    int returnCode;
};

// What the command handler does on the line; the simulation carries it out.
class IspWire {
public:
    virtual ~IspWire() = default;
    // Bytes that leave at due, behind whatever is already on its way.
    virtual void send(std::string bytes, SimClock::time_point due) = 0;
    // "?" has arrived: from now on the part talks at the rate the "?" came at.
    virtual void rateMeasured() = 0;
    // From the next byte on the part talks at baud with stopBits (8 data bits, no parity).
    virtual void rateChanged(int baud, int stopBits) = 0;
    // Back in autobaud: the rate is measured again at the next "?".
    virtual void rateForgotten() = 0;
    // The line closes, as an unplugged cable.
    virtual void hangUp() = 0;
};

class LpcIspCommands {
public:
    LpcIspCommands(const LpcIspConfig& config, LpcIspMemory& memory, IspWire& wire);

    void setFaults(const LpcIspFaults& faults) { m_faults = faults; }
    void setEcho(IspEcho echo) { m_echoForm = echo; }

    // One byte from the host, which has arrived (on the simulated wire) at `arrival`.
    void handleByte(std::uint8_t byte, SimClock::time_point arrival);
    // True while the part waits for "?".
    bool awaitingSync() const { return m_state == State::AutoBaud; }

    // Every line received (data and checksum lines too, without line ends); "?" for a synchronisation byte.
    const std::vector<std::string>& lines() const { return m_lines; }
    const std::vector<std::string>& commands() const { return m_commands; }
    const std::vector<SimCopy>& copies() const { return m_copies; }
    // Every byte received, as it came (at most the first 16 MiB).
    const std::string& received() const { return m_received; }
    std::size_t bytesReceived() const { return m_bytesReceived; }
    int erases() const { return m_erases; }
    int checksumLines() const { return m_checksumLines; }
    int goCount() const { return m_goCount; }
    // The events since the last call (for the simulation's onEvent).
    std::vector<std::string> takeEvents();
    // Forgets lines, copies and counters; back to autobaud, locked, echo on.
    void clear();

private:
    enum class State { AutoBaud, SyncLine, Frequency, Command, WriteData, ReadAnswer };

    void handleLine(const std::string& line, SimClock::time_point at);
    void handleCommand(const std::string& line, SimClock::time_point at);
    int runCommand(char letter, const std::vector<std::string>& words, SimClock::time_point& at,
                   std::string& more);
    int sectorCommand(char letter, std::uint32_t first, std::uint32_t last, SimClock::time_point& at,
                      std::string& more);
    int copyCommand(std::uint32_t destination, std::uint32_t source, std::uint32_t size);
    void handleWriteLine(const std::string& line, SimClock::time_point at);
    void handleReadAnswer(const std::string& line, SimClock::time_point at);
    void sendReadGroup(SimClock::time_point at);
    void backToAutoBaud();

    const LpcIspConfig& m_config;
    LpcIspMemory& m_memory;
    IspWire& m_wire;
    LpcIspFaults m_faults;
    IspEcho m_echoForm;

    State m_state = State::AutoBaud;
    bool m_echo = true;
    bool m_unlocked = false;
    std::string m_line;

    // W data in progress
    std::uint32_t m_writeAddress = 0;
    std::uint32_t m_writeCount = 0;
    std::uint32_t m_written = 0;
    std::vector<std::uint8_t> m_group;
    int m_groupLines = 0;
    bool m_groupBad = false;

    // R data in progress
    std::uint32_t m_readAddress = 0;
    std::uint32_t m_readCount = 0;
    std::uint32_t m_readDone = 0;
    std::uint32_t m_readGroupSize = 0;

    std::vector<std::string> m_lines;
    std::vector<std::string> m_commands;
    std::vector<SimCopy> m_copies;
    std::size_t m_bytesReceived = 0;
    int m_erases = 0;
    int m_checksumLines = 0;
    int m_goCount = 0;
    int m_readGroups = 0;
    int m_missedSyncs = 0;
    std::string m_received;
    std::array<int, 128> m_commandCounts{};
    std::vector<std::string> m_events;
};

}  // namespace hlx::tools
