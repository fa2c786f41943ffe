#pragma once
// The link operations through which the jobs and the terminal talk to the monitor.
//
// The monitor answers with short text lines ending in LF or ETX, signals trouble with single error bytes
// and, while it writes its flash, pauses the sender with XOFF (0x13) and releases it with XON (0x11).
//
//   byte        meaning for readReply
//   0x0A, 0x03  a line end (LF is shown, ETX is not); re-arms the reply deadline by 1500 ms
//   0x11        XON: flow released; re-arms the reply deadline by 1500 ms
//   0x13        XOFF: flow held
//   0x0E        ERR_NACK (shown as its name only)
//   0xF0..0xFE  error bytes; 0xF7..0xFE are shown as their character followed by their name
//   0xFF        ignored entirely
//   other < 0x20 (except CR) are not shown
//
// Every wait sleeps in poll() on the port with the time left as its time-out, and every wait ends at once
// when the link's stop token is triggered (the job frame wakes the port then). Operations on a port that
// is not open do nothing. Received bytes are shown as Windows-1252 characters.
//
// Flow control is kept across calls: an XOFF that arrives in or after a reply holds every later write
// until XON. A sender writes nothing while the flow is held; if no XON comes before the reply deadline,
// the write sends nothing, returns false and leaves the deadline expired (so the caller's time-out check
// fires). Before each write the previous one must have left the driver, so no more than one line waits
// in the driver when an XOFF arrives.
//
// A port that goes away (or is not open) while a reader waits for line ends cannot deliver them: the
// reader then expires the reply deadline, so the caller's time-out check reports the missing reply.
//
// Threads: one caller at a time per link (the idle poll is stopped while a job runs).

#include <cstdint>
#include <optional>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>

#include "output/job_result.h"
#include "output/output_log.h"
#include "serial/deadline.h"
#include "serial/serial_port.h"

namespace hlx::serial {

// What the link remembers between the calls of one job: whether the monitor holds the flow (XOFF seen,
// no XON since), and bytes a sender read while it looked for XON/XOFF before writing, which the next
// reader takes first, so nothing the monitor sent is lost or shown twice.
struct FlowState {
    bool held = false;
    std::string early;        // bytes read ahead, not yet handled by a reader
    std::size_t scanned = 0;  // how much of early has been looked at for XON/XOFF
};

struct Link {
    SerialPort& port;
    Deadline& replyDeadline;  // the one shared reply deadline; its clock is the link's clock
    output::OutputLog& log;
    std::stop_token stop;
    FlowState flow{};
};

enum class ReplyMode { Drain = 0, Lines = 1, FlowWait = 2 };

inline constexpr std::uint8_t kXon = 0x11;
inline constexpr std::uint8_t kXoff = 0x13;
inline constexpr std::uint8_t kEtx = 0x03;
inline constexpr Milliseconds kLineRearm{1500};
inline constexpr Milliseconds kFlowPause{20};
inline constexpr Milliseconds kTerminalQuiet{100};
inline constexpr std::size_t kReadChunk = 256;

// The name of a monitor error byte ("ERR_NACK" ... "ERR_TOMANYBYTES"), or nothing for bytes without one.
std::optional<std::string_view> replyCodeName(std::uint8_t byte);
bool isErrorByte(std::uint8_t byte);

// The reply reader. True when no error byte arrived; a time-out is not an error here: callers test the
// reply deadline afterwards. In Drain mode linesSeen is left unchanged.
bool readReply(Link& link, ReplyMode mode, int maxLines, int& linesSeen);

// Sends the text (turned into 8-bit characters, control characters dropped) and CR LF in one write.
// True when every byte was written.
bool sendLine(Link& link, std::string_view text);

// One write of all bytes; true when all were written.
bool writeBytes(Link& link, std::span<const std::uint8_t> bytes);

// The terminal reader: reads until the reply deadline has passed with no byte arriving; every byte moves
// the deadline 100 ms on. With a cap, returns after at most that long even under a continuous stream
// (what is not read stays in the port for the next call). True when at least one byte arrived; text is
// UTF-8 (each byte one Windows-1252 character).
bool readAvailable(Link& link, std::string& text, std::optional<Milliseconds> cap = std::nullopt);

// Reads, without waiting, what has arrived (bytes read ahead by a sender first) and appends it to raw as
// it came, at most about kReadNowLimit bytes a call. Returns the number of bytes read. XON and XOFF
// among them set the link's flow state, as for every other reader, and are not added to raw: they are
// the monitor's flow control, not text (shown, a lone XON after a line's CR would join that line with
// the next one typed). For the idle poll, which must never hold up the window.
inline constexpr std::size_t kReadNowLimit = 64 * 1024;
std::size_t readNow(Link& link, std::string& raw);

enum class SendOutcome { Sent, NotOpen, FlowHeld, NotWritten };

// The terminal's line sender, for the GUI thread: never waits for the monitor. It first reads what has
// arrived (kept for the next reader) so a fresh XOFF or XON counts; while the monitor holds the flow the
// line is not sent. Otherwise as sendLine (8-bit characters, CR LF, one write).
SendOutcome sendLineNow(Link& link, std::string_view text);

// Whether the monitor holds the flow (XOFF seen, no XON since).
inline bool flowHeld(const Link& link) {
    return link.flow.held;
}

// The result bit for a write that did not go out: 0x20 when the monitor held the flow with XOFF until the
// reply deadline passed (nothing was sent), else 0x10.
inline std::int32_t writeFailure(const Link& link) {
    return flowHeld(link) ? output::result::kTimeout : output::result::kShortWrite;
}

}  // namespace hlx::serial
