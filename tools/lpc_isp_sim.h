#pragma once
// LpcIspSim: the ISP boot loader of an NXP LPC2378-class microcontroller, simulated on a pseudo-terminal,
// for demonstrations and end-to-end tests of the boot loader job. The tool opens slavePath() like any
// serial port; the simulation plays the microcontroller on the master side. It shares no code with the
// tool, so a fault in the tool's encoding cannot hide behind the same fault here.
//
// Conversation (lines end in CR, LF or CR LF; every answer ends in CR LF):
//   autobaud     "?" is answered "Synchronized"; the line "Synchronized" then "OK" (any other line returns to
//                autobaud), and a crystal frequency in kHz "OK"; then commands, with echo on
//   echo         line form: each line is sent back after its end, with CR LF, before the answer;
//                character form: each character as it arrives, so a command that runs at its CR answers
//                before its LF comes back. "A 0" turns echo off, "A 1" on.
//   U 23130      unlock; W, E, C and G answer CMD_LOCKED without it
//   P s e        prepare sectors s..e (0..27) for erase or copy; both unprepare the sectors they touch
//   E s e        erase sectors s..e
//   W a n        n bytes (a multiple of 4) to RAM at a: then UU lines (space or grave accent for 0), and a
//                checksum line after every 20 lines and after the last, answered "OK" (the group is taken)
//                or "RESEND" (the group is dropped and expected again)
//   C d s n      copy n bytes (256, 512, 1024 or 4096) from RAM at s to flash at d; d must be a multiple of
//                256 (DST_ADDR_ERROR) and its sectors prepared
//   R a n        n bytes from a as UU lines with a checksum line after every 20 lines and after the last;
//                the host answers each checksum line with OK or RESEND. Reads of 0x00..0x3F give the boot
//                loader's own vectors, which it maps there while it runs.
//   G a A|T      answered 0; the started firmware then says `greeting` and the simulation returns to
//                autobaud, locked, echo on (as a technician resets the monitor into the boot loader)
//   others       INVALID_COMMAND; wrong parameters PARAM_ERROR, ADDR_ERROR, COUNT_ERROR, ...
//
// Memory: flash 0x00000000..0x0007DFFF in 28 sectors (0..7 of 4 KiB, 8..21 of 32 KiB, 22..27 of 4 KiB),
// filled with an old firmware's bytes at the start; RAM 0x40000200..0x40007EFF for W and C. Programming only
// clears bits, as flash cells do; every byte programmed again since its sector was erased is counted
// (flash with error correction must never see that).
//
// Faults (LpcIspFaults): no answer to "?", RESEND for a checksum line, a return code for a command, a line
// that closes (the tool then sees a hang-up), a flash byte that does not program, a garbled read-back group.
//
// Line pacing: bytes in both directions take the time they need on a wire at the baud rate (10 bit times
// for 8N1, as the frame format set on the line says): the simulation answers when the last byte of a
// command would have arrived, and a reply reaches the tool when its last byte would have.
//
// Threads: the simulation runs on a thread of its own, sleeping in poll() on the pseudo-terminal and an
// eventfd; every public function may be called from any thread. The destructor stops the thread and closes
// the pseudo-terminal. The callback of the configuration runs on the simulation's thread.

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

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
};

inline constexpr std::uint32_t kSimFlashSize = 0x7E000;
inline constexpr int kSimSectors = 28;
inline constexpr std::uint32_t kSimRamBegin = 0x40000200;
inline constexpr std::uint32_t kSimRamEnd = 0x40007F00;

// Sector number of a flash address (below kSimFlashSize), and the first address of a sector (0..28).
int simSectorOf(std::uint32_t address);
std::uint32_t simSectorStart(int sector);

struct LpcIspConfig {
    IspEcho echo = IspEcho::Line;
    int baud = -1;  // -1: pace at the rate set on the line; 0: no pacing; otherwise this rate, 8N1
    std::chrono::microseconds eraseTimePerSector{0};
    std::chrono::microseconds copyTimePer256{0};
    char readZero = '`';  // the character R data uses for 0: grave accent or space
    std::string greeting = "HLX firmware started";
    std::uint8_t oldFirmware = 0x5A;  // what the flash holds before the first erase (pattern seed)
    std::function<void(const std::string&)> onEvent;  // a short line for each command and fault
};

// Faults to inject; counters start at 1 and count since the simulation started (or clear()).
struct LpcIspFaults {
    bool silentToSync = false;       // never answer "?"
    int resendAtChecksum = 0;        // answer this checksum line of W data with RESEND
    char failCommand = 0;            // answer this command letter ...
    int failOccurrence = 1;          // ... at its n-th occurrence ...
    int failCode = 0;                // ... with this return code, without running it
    char hangUpAt = 0;               // close the line (an unplugged cable) when this command letter arrives
    std::int64_t stuckAddress = -1;  // a flash byte that programming leaves unchanged (a worn cell)
    int garbleReadGroup = 0;         // send this group of R data (counted from 1) once with a wrong checksum
};

struct SimCopy {
    std::uint32_t destination;
    std::uint32_t source;
    std::uint32_t size;
    int returnCode;
};

class LpcIspSim {
public:
    explicit LpcIspSim(LpcIspConfig config = {});
    ~LpcIspSim();
    LpcIspSim(const LpcIspSim&) = delete;
    LpcIspSim& operator=(const LpcIspSim&) = delete;

    const std::string& slavePath() const { return m_slavePath; }
    void setFaults(const LpcIspFaults& faults);
    void setEcho(IspEcho echo);

    std::vector<std::uint8_t> flash() const;
    // Every line received (data and checksum lines too, without line ends); "?" for a synchronisation byte.
    std::vector<std::string> lines() const;
    std::vector<std::string> commands() const;  // the command lines alone
    std::vector<SimCopy> copies() const;
    std::size_t bytesProgrammedTwice() const;
    std::size_t bytesReceived() const;
    // Every byte received, as it came (at most the first 16 MiB).
    std::string received() const;
    int erases() const;
    int checksumLines() const;
    // The eight vector words at 0 sum to 0 (the boot loader would start the user code).
    bool userCodeValid() const;
    int goCount() const;
    bool waitForGo(int count, std::chrono::milliseconds timeout) const;
    // Forgets lines, copies and counters; back to autobaud, locked, echo on (the flash stays).
    void clear();

private:
    enum class State { AutoBaud, SyncLine, Frequency, Command, WriteData, ReadAnswer };

    void run();
    void handleByte(std::uint8_t byte, SimClock::time_point arrival);
    void handleLine(const std::string& line, SimClock::time_point at);
    void handleCommand(const std::string& line, SimClock::time_point at);
    void handleWriteLine(const std::string& line, SimClock::time_point at);
    void handleReadAnswer(const std::string& line, SimClock::time_point at);
    int copyToFlash(std::uint32_t destination, std::uint32_t source, std::uint32_t size);
    void sendReadGroup(SimClock::time_point at);
    std::uint8_t readMemory(std::uint32_t address) const;
    bool inRam(std::uint64_t begin, std::uint64_t end) const;
    void answer(int code, SimClock::time_point at);
    void send(std::string bytes, SimClock::time_point due);
    void flushDueLocked(SimClock::time_point now);
    SimClock::duration byteTime() const;
    void backToAutoBaud();
    bool userCodeValidLocked() const;

    LpcIspConfig m_config;
    int m_master = -1;
    int m_slaveKeep = -1;
    int m_wakeFd = -1;
    std::string m_slavePath;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_goSeen;
    bool m_stop = false;
    bool m_hungUp = false;
    LpcIspFaults m_faults;
    IspEcho m_echoForm;

    State m_state = State::AutoBaud;
    bool m_echo = true;
    bool m_unlocked = false;
    std::string m_line;
    std::array<bool, kSimSectors> m_prepared{};
    std::vector<std::uint8_t> m_flash;
    std::vector<std::uint8_t> m_programs;  // programs of each flash byte since its erase
    std::vector<std::uint8_t> m_ram;       // kSimRamBegin .. kSimRamEnd

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
    std::size_t m_twice = 0;
    std::size_t m_bytesReceived = 0;
    int m_erases = 0;
    int m_checksumLines = 0;
    int m_goCount = 0;
    int m_readGroups = 0;
    std::string m_received;
    std::array<int, 128> m_commandCounts{};

    SimClock::time_point m_inClock{};   // when the last received byte has arrived on the simulated wire
    SimClock::time_point m_outClock{};  // when the last scheduled byte reaches the tool
    std::deque<std::pair<SimClock::time_point, std::string>> m_scheduled;
    std::string m_unwritten;
    std::vector<std::string> m_events;

    std::thread m_thread;
};

}  // namespace hlx::tools
