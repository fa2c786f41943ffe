#pragma once
// IspConversation: the boot loader job's side of the ISP conversation over a link. It sends lines, single
// bytes and UU lines, waits for answers with the ISP reply reader, and collects what goes wrong as
// JobResult bits in the job's word:
//   0x10  a line or byte was not written completely (where the job checks the write)
//   0x20  no complete answer before the reply deadline; also a write held back by XOFF until then
//   0x40  the answer reported failure (a return code other than 0, "RESEND")
// A port that goes away while the job uses it (an unplugged adapter) makes the waiting step fail (0x10 for
// a checked write, 0x20 for an answer; the job frame writes the line saying so). On a port that was never
// open (the job recorded 0x800) writes fail and answers are not awaited, as the job then only sends its
// closing command.
//
// Threads: the job thread alone; the link's rules hold.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "firmware/isp_reply.h"
#include "serial/link.h"

namespace hlx::firmware {

// What the parts of one job share: whether the port was open when the job began, whether the boot
// loader has confirmed that its echo is off, whether the flash may have been erased (the erase command
// went out and was not refused), and the UU data lines that went out whole (for the record).
struct IspJobState {
    bool portWasOpen = false;
    bool handshakeRan = false;         // "?" went out: the boot loader may have been touched
    int baud = 115200;                 // the line's rate now (deadlines follow it)
    int lastSector = 27;               // the last sector of the part's user flash
    std::uint64_t flashEnd = 0x7E000;  // one past the part's last user flash byte
    std::int64_t unanswered = 0;       // bytes written since the last complete answer
    bool echoOff = false;
    bool erased = false;
    // The copy that holds the vector table (flash address 0) goes last: until its "C" is confirmed, the
    // vectors read erased and the part starts its boot loader at a reset.
    bool fileHoldsVectors = false;  // the file has data in the vector table: its copy makes them valid
    bool vectorCopySent = false;
    bool vectorCopyDone = false;
    std::int64_t dataLinesSent = 0;
    std::int64_t dataBytesSent = 0;
    // The data lines (and their bytes on the wire) of the copies the boot loader confirmed with its "C"
    // answer: in flash, as far as the boot loader can tell.
    std::int64_t dataLinesConfirmed = 0;
    std::int64_t dataBytesConfirmed = 0;
};

class IspConversation {
public:
    IspConversation(serial::Link& link, std::int32_t& word, IspJobState& state);

    // True while no failure has been recorded and the job has not been asked to stop.
    bool ok() const { return m_word == 0 && !stopped(); }
    bool stopped() const { return m_link.stop.stop_requested(); }
    serial::Link& link() { return m_link; }

    void arm(serial::Milliseconds duration) { m_link.replyDeadline.arm(duration); }
    // The time bytes take on the wire at the line's rate (10 bits each: 8N1), rounded up.
    serial::Milliseconds wireTime(std::int64_t bytes) const;
    // Arms the reply deadline for the next answer: what has been written since the last answer still has to
    // cross the wire, then answerBytes come back, both at the line's rate; own is the boot loader's own time
    // (its reaction, an erase, a copy).
    void armForAnswer(serial::Milliseconds own, std::int64_t answerBytes = 16);
    IspJobState& state() { return m_state; }
    // Records failure bits found by the caller.
    void record(std::int32_t bits) { m_word |= bits; }

    // Text and CR LF in one write; an incomplete write sets 0x10. Returns whether all was written.
    bool sendLine(std::string_view text);
    // The same without looking at the result: a command that did not go out shows as a missing answer.
    void sendUnchecked(std::string_view text);
    // One byte with no line end; an incomplete write sets 0x10.
    bool sendByte(std::uint8_t byte);
    // One UU line of count bytes from area (see uu_encode.h), adding them to checksum; an incomplete write
    // sets 0x10.
    bool sendUuLine(std::span<const std::uint8_t> area, std::size_t count, std::int32_t& checksum);

    // Waits for the answer (the caller has armed the reply deadline) and records its failure.
    IspReplyStatus await(std::string_view echo, IspReplyKind kind);
    // The same, but an answer that reports failure is the caller's to judge (nothing recorded for it), and
    // the answer bytes are kept in answer.
    IspReplyStatus awaitAnswer(std::string_view echo, IspReplyKind kind, std::string& answer);
    // Reads one text line of at most 128 characters (without its line end, empty lines skipped), as the
    // boot loader sends read-back data; a missing line sets 0x20, an overlong one 0x40.
    bool readLine(std::string& line);

private:
    bool writeFailed();

    serial::Link& m_link;
    std::int32_t& m_word;
    IspJobState& m_state;
};

}  // namespace hlx::firmware
