#pragma once
// LpcIspSim: the ISP boot loader of an NXP LPC2378 microcontroller, simulated on a pseudo-terminal, for
// demonstrations and end-to-end tests of the boot loader job. The tool opens slavePath() like any serial
// port; the simulation plays the microcontroller on the master side. It shares no code with the tool, so a
// fault in the tool's encoding cannot hide behind the same fault here.
//
// What the part answers is LpcIspCommands' business (the conversation is described there), its memory
// LpcIspMemory's. This class is the wire between them and the tool:
//
// Line pacing: bytes in both directions take the time they need on a wire at the part's rate: the
// simulation answers when the last byte of a command would have arrived, and a reply reaches the tool when
// its last byte would have. The part's rate is the one set on the line when "?" arrives (with its frame
// format), the configured rate, or none (no pacing); "B" changes it from the byte after its answer. While
// the part follows the line's rate and the tool's side is set to another rate, what either sends is lost
// to the other: the part drops the bytes it receives (framing errors) and the tool reads 0xFF for each
// byte the part sends.
//
// Threads: the simulation runs on a thread of its own, sleeping in poll() on the pseudo-terminal and an
// eventfd; every public function may be called from any thread. The destructor stops the thread and closes
// the pseudo-terminal. The callback of the configuration runs on the simulation's thread.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tools/lpc_isp_commands.h"
#include "tools/lpc_isp_memory.h"
#include "tools/simulated_line.h"

namespace hlx::tools {

class LpcIspSim : private IspWire {
public:
    explicit LpcIspSim(LpcIspConfig config = {});
    ~LpcIspSim() override;
    LpcIspSim(const LpcIspSim&) = delete;
    LpcIspSim& operator=(const LpcIspSim&) = delete;

    const std::string& slavePath() const { return m_line.slavePath; }
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
    struct Outgoing {
        SimClock::time_point due;
        std::string bytes;
        int baud;  // the part's rate when it sent them
    };

    // IspWire, called by the command handler under m_mutex.
    void send(std::string bytes, SimClock::time_point due) override;
    void rateMeasured() override;
    void rateChanged(int baud, int stopBits) override;
    void rateForgotten() override;
    void hangUp() override;

    void run();
    void receiveLocked(const std::uint8_t* bytes, std::size_t count);
    void flushDueLocked(SimClock::time_point now);
    SimClock::duration byteTime() const;
    bool followsLine() const { return m_config.baud < 0; }
    // The tool's side of the line is set to another rate than the part talks at.
    bool rateMismatch(int partBaud) const;

    LpcIspConfig m_config;
    SimulatedLine m_line;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_goSeen;
    bool m_stop = false;
    bool m_hungUp = false;
    LpcIspMemory m_memory;
    LpcIspCommands m_commands;

    int m_baud = 0;  // the part's rate; 0: not paced
    int m_bitsPerByte = 10;
    bool m_mismatchReported = false;
    SimClock::time_point m_inClock{};   // when the last received byte has arrived on the simulated wire
    SimClock::time_point m_outClock{};  // when the last scheduled byte reaches the tool
    std::deque<Outgoing> m_scheduled;
    std::string m_unwritten;
    std::vector<std::string> m_events;

    std::thread m_thread;
};

}  // namespace hlx::tools
