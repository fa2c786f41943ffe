#pragma once
// VirtualMonitor: a simulated HLX monitor on a pseudo-terminal, for demonstrations without hardware and
// for end-to-end tests of the service tool. The tool opens slavePath() like any serial port (it is what
// a technician types into COM-Nr); the monitor plays the device on the master side.
//
// What it speaks:
// - Command mode: lines ending in LF (a CR before it is dropped). "LoadFWRTQ?" is answered with
//   rtqAnswer and switches to binary records; "LoadFW?" is answered with hexAnswer and switches to HEX
//   text lines; any other non-empty line is answered with replyLine. Every answer ends in CR LF.
// - Binary records (after "LoadFWRTQ?"): a byte count n, then 4 + n more bytes (address high, low, type,
//   data, checksum). A record whose bytes do not add up to 0 is answered with ERR_WRONGCRC (0xFA) and LF
//   and ends the download; a good one is placed into the memory image and answered with replyLine. The
//   end record (type 1) is followed by the closing lines and returns to command mode.
// - HEX text lines (after "LoadFW?"): each ":..." line is decoded (either case of digits) and placed into
//   the image, with no reply line. A malformed line is answered with ERR_WRONGLINEFORMAT (0xFB), a wrong
//   checksum with ERR_WRONGCRC (0xFA), each followed by LF, and ends the download. Flash writing is
//   emulated: after every xoffEvery lines XOFF (0x13) is sent and, xoffPause later, XON (0x11). The end
//   record sends the closing lines and returns to command mode.
// - In either download mode, no byte for `inactivity` returns to command mode, dropping a partial record.
// - Receiving a text (the tool's file sender and terminal sender): command lines are what a text file's
//   lines are to the monitor, each answered with replyLine, the empty ones too (the monitor answers every
//   line; with ignoreEmptyLines an empty line is no command and goes unanswered). With fileFrames, command
//   mode takes the file sender's binary frames instead of lines: a length byte L (2 to 251, the frame's
//   length counting itself), then L - 1 bytes of the file; each frame is answered with replyLine. A length
//   byte below 2 is answered with ERR_WRONGLINEFORMAT (0xFB), one above 251 with ERR_TOMANYBYTES (0xF7), each
//   followed by LF; a frame broken off for `inactivity` is dropped when the next byte comes. What arrives is
//   recorded (received(), frames()).
// Records are counted from 1 in each download (both modes); the fault settings refer to those numbers.
// Replies leave in the order they were made: a delayed reply holds back everything after it, as a busy
// monitor would.
//
// Path and restart: with linkPath the pseudo-terminal is also reachable as that symbolic link, a stable
// name as /dev/serial/by-id gives a USB serial port. With restartAfterDownload the monitor restarts after
// every download's closing lines, as a monitor whose USB service port leaves the bus meanwhile: once the
// tool has read the closing lines (at least 100 ms, at most 2 s after they went out) it removes the link
// and closes its pseudo-terminal, so the tool sees a hang-up; after `restartTime` it opens a new
// pseudo-terminal (a new device path) and points the link at it. From its closing lines until it is back
// it takes nothing, and off the bus it sends nothing. The command line restartCommand restarts it the same
// way, and bootLines are sent once it is back on the bus.
//
// Threads: the monitor runs on a thread of its own, sleeping in poll() on the pseudo-terminal and an
// eventfd (no busy waiting); every public function may be called from any thread. The destructor stops
// the thread and closes the pseudo-terminal; output still scheduled then is dropped. The callbacks of
// MonitorConfig run on the monitor's thread.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "tools/monitor_image.h"
#include "tools/simulated_line.h"

namespace hlx::tools {

using MonitorClock = std::chrono::steady_clock;

struct MonitorConfig {
    std::string replyLine = "OK";  // answer to each binary record and to unknown commands
    std::string rtqAnswer = "LoadFWRTQ OK";
    std::string hexAnswer = "LoadFW OK";
    std::vector<std::string> closingLines{"Flash geschrieben", "Neustart"};
    int xoffEvery = 16;  // HEX text mode: flow-control pause after this many lines (0: never)
    std::chrono::milliseconds xoffPause{30};
    std::chrono::milliseconds inactivity{3000};
    std::string periodicText;  // sent with CR LF every `period`, in any mode (empty or 0: never)
    std::chrono::milliseconds period{0};
    // Called after every end record with the memory image, and with a short line for each event
    // (command received, download started or ended, error answered, time-out).
    std::function<void(const MemoryImage&)> onDownloadEnd;
    std::function<void(const std::string&)> onEvent;
    bool fileFrames = false;        // command mode takes file frames instead of lines (see above)
    bool ignoreEmptyLines = false;  // an empty line is no command and goes unanswered
    std::string linkPath;           // a symbolic link to the pseudo-terminal (empty: none)
    bool restartAfterDownload = false;
    std::chrono::milliseconds restartTime{1000};  // how long the service port is off the bus
    // A command line that makes the monitor restart as after a download (answered with replyLine first;
    // empty: none), and the lines it sends when it is back on the bus, as a monitor's boot messages.
    std::string restartCommand;
    std::vector<std::string> bootLines;
    // Called with the bytes recorded by received(), as they arrive.
    std::function<void(const std::string&)> onReceived;
};

// Faults to inject into the next downloads; record numbers count from 1, 0 means "off".
struct MonitorFaults {
    int errorAt = 0;  // answer this record with errorByte and LF instead of the reply; ends the download
    std::uint8_t errorByte = kErrWrongCrc;
    int silentAt = 0;                    // from this record on send nothing until the download ends
    std::chrono::milliseconds delay{0};  // delay the reply ...
    int delayAt = 0;                     // ... to this record, or (0) to every record
    int xoffHoldAt = 0;                  // after this record send XOFF and never the XON
    // Lines and frames that command mode answers with replyLine, counted from 1 since setFaults or clear:
    int lineErrorAt = 0;   // answer this one with errorByte and LF instead
    int lineSilentAt = 0;  // answer nothing from this one on
    // A flash write that fails after the download: errorByte and LF this long after the closing lines
    // (each download's; nothing: never).
    std::optional<std::chrono::milliseconds> closingErrorAfter{};
};

enum class MonitorMode { Command, BinaryRecords, HexLines };

struct ReceivedRecord {
    MonitorMode mode;
    std::uint8_t type;
    std::uint32_t address;  // base + offset
    std::size_t wireSize;   // bytes on the wire: n + 5 for a binary record, the line's length without CR LF
    bool accepted;
};

class VirtualMonitor {
public:
    explicit VirtualMonitor(MonitorConfig config = {});
    ~VirtualMonitor();
    VirtualMonitor(const VirtualMonitor&) = delete;
    VirtualMonitor& operator=(const VirtualMonitor&) = delete;

    // The pseudo-terminal's device path, e.g. "/dev/pts/5" (a new one after each restart).
    std::string slavePath() const;
    // What the tool opens: the link if there is one, else the device path.
    std::string path() const;

    // Sends text followed by CR LF, after whatever is already scheduled.
    void say(std::string_view text);
    void setFaults(const MonitorFaults& faults);

    MonitorMode mode() const;
    MemoryImage image() const;
    std::vector<ReceivedRecord> records() const;
    std::vector<std::string> commands() const;
    // Binary mode: from the moment the last byte of a reply line was written to the moment the first
    // byte of the next record arrived, for every record that followed a reply.
    std::vector<std::chrono::nanoseconds> turnarounds() const;
    int downloadsEnded() const;
    // What command mode took: every byte of its lines as it arrived (line ends included) or, with
    // fileFrames, the frames' contents without their length bytes.
    std::string received() const;
    // With fileFrames: the content size of every complete frame, in order.
    std::vector<std::size_t> frames() const;
    // Waits until `count` end records have been handled in total; false on time-out.
    bool waitForDownloads(int count, std::chrono::milliseconds timeout) const;
    // Restarts completed (back on the bus), and a wait for them; false on time-out.
    int restarts() const;
    bool waitForRestarts(int count, std::chrono::milliseconds timeout) const;
    // Forgets image, records, commands, turnarounds and what command mode received.
    void clear();

private:
    struct Outgoing {
        MonitorClock::time_point due;
        std::string bytes;
        bool replyEnd;  // the end of a reply line whose turnaround is measured
    };

    void run();
    std::optional<MonitorClock::time_point> nextTimerLocked() const;
    void handleBytes(const std::uint8_t* data, std::size_t count, MonitorClock::time_point now);
    void handleCommandLine(const std::string& line, MonitorClock::time_point now);
    void handleBinaryRecord(MonitorClock::time_point now);
    void handleHexLine(const std::string& line, MonitorClock::time_point now);
    void handleFrameByte(std::uint8_t byte, MonitorClock::time_point now);
    // Answers a received line or frame with replyLine, unless a line fault says otherwise.
    void answerReceived(MonitorClock::time_point now);
    void takeReceived(std::uint8_t byte);
    // Answers the current record with an error byte and LF, then returns to command mode.
    void answerError(std::uint8_t errorByte, MonitorClock::time_point now);
    void finishDownload(MonitorClock::time_point now);
    void startDownload(MonitorMode mode, MonitorClock::time_point now);
    void backToCommandMode();
    MonitorClock::time_point replyDue(MonitorClock::time_point now) const;
    void send(std::string bytes, MonitorClock::time_point due, bool replyEnd = false);
    void sendLine(const std::string& text, MonitorClock::time_point due, bool replyEnd = false);
    void flushDueLocked(MonitorClock::time_point now);
    // Leaves the bus once the closing lines are read, comes back after restartTime.
    void restartStepLocked(MonitorClock::time_point now);

    MonitorConfig m_config;
    SimulatedLine m_pty;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;  // a download ended or a restart completed
    bool m_stop = false;
    MonitorFaults m_faults;
    MonitorMode m_mode = MonitorMode::Command;
    std::string m_line;                  // command or HEX line being collected
    std::vector<std::uint8_t> m_record;  // binary record being collected
    int m_recordNumber = 0;
    int m_linesSincePause = 0;
    bool m_silent = false;
    bool m_xoffHeld = false;
    MonitorClock::time_point m_lastByte{};
    MonitorClock::time_point m_nextPeriodic{};
    std::optional<MonitorClock::time_point> m_replyWritten;
    std::deque<Outgoing> m_scheduled;
    std::string m_unwritten;  // due bytes the pseudo-terminal did not take yet
    bool m_unwrittenReplyEnd = false;

    MemoryImage m_image;
    AddressSpace m_addresses{m_image};
    std::vector<ReceivedRecord> m_records;
    std::vector<std::string> m_commands;
    std::vector<std::chrono::nanoseconds> m_turnarounds;
    int m_downloadsEnded = 0;
    std::vector<std::string> m_events;  // collected under the lock, handed to onEvent outside it
    std::vector<std::uint8_t> m_frame;  // file frame being collected, its length byte first
    MonitorClock::time_point m_lastFrameByte{};
    int m_lineNumber = 0;  // lines and frames answered (or meant to be) since setFaults or clear
    std::string m_received;
    std::string m_receivedNew;  // collected under the lock, handed to onReceived outside it
    std::vector<std::size_t> m_frames;

    bool m_restartPending = false;  // the closing lines of a download are on their way; then the restart
    std::optional<MonitorClock::time_point> m_closingWritten;
    bool m_offBus = false;
    MonitorClock::time_point m_backOnBus{};
    int m_restarts = 0;

    std::thread m_thread;
};

}  // namespace hlx::tools
