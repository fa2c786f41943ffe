#pragma once
// The file sender (job kind 4): sends one of the six prepared files, chosen by the job parameter 1 to 6,
// to the monitor. The file is loaded whole into the job's file buffer and sent as text or as binary,
// decided by its bytes alone:
//
//   text    every byte is TAB (0x09), LF (0x0A), CR (0x0D) or 0x20..0x7F; an empty file is text
//   binary  anything else: one byte of 0x80 or above, or one other control byte, is enough
//
// Text goes out unchanged, without framing, in chunks of whole lines whose total length stays below 250
// bytes (a line ends after its LF, or at the end of the file; CR is an ordinary byte of its line), one
// write per chunk. The monitor answers every line with a reply line, so a chunk waits for as many line
// ends as it holds lines. A line of 250 bytes or more does not fit a chunk: it becomes a chunk of its own,
// written in pieces of at most 249 bytes (what the monitor's line buffer takes in one go), and is answered
// by one reply line as a whole.
//
// Binary goes out in frames of at most 250 bytes of the file, each written in two writes and answered by
// one reply line:
//
//   offset  width    content
//   0       1 byte   n + 1, the frame's length counting this byte (2 to 251)
//   1       n bytes  the next n bytes of the file (1 <= n <= 250), unchanged
//
// Timing: the reply deadline is armed 500 ms before the first chunk and only the reply reader moves it
// afterwards, 1500 ms past every line end or XON. The transfer goes on while nothing failed, bytes are
// left and the deadline has not passed. A chunk answered by fewer lines than it holds ends the transfer at
// the deadline as a time-out: a line the monitor did not answer may not have arrived.
//
// Result word: 0x80 the file cannot be read (with a line of its own for a file above the buffer's
// capacity); 0x01 an error byte in a reply (the reply text shows its name); 0x20 no reply line to a
// chunk, fewer reply lines than lines in it, or a write the monitor held with XOFF until the deadline
// passed; 0x10 the port is open but took fewer bytes than given. The port bits of the job's start stand:
// with a port that did not open (0x800) or refused its settings (0x400) the file is still read (its
// "geöffnet" and "Bytes gelesen" lines are shown), and nothing is sent.
//
// A transfer that started but did not complete says how far it got, after the report: "Fehler: nur <x> von
// <y> Bytes übertragen" when it ended before the end of the file (x and y count the file's bytes, without
// frame bytes), or "Fehler: nur <a> von <n> Zeilen beantwortet" ("Blöcken" for frames) when all of it went
// out but not every line was answered. The last line is "<n> Bytes übertragen", n counting every byte the
// port took (frame bytes included; a write the port did not take whole counts nothing), also 0 when nothing
// was sent.
//
// Threads: runs on the job thread inside the job frame; the file buffer is the running job's alone.

#include <cstdint>
#include <string_view>

#include "jobs/job_frame.h"

namespace hlx::terminal {

inline constexpr std::int32_t kChunkLimit = 250;  // a text chunk stays below it; a frame holds at most this
inline constexpr std::int32_t kLongLinePiece = 249;
inline constexpr serial::Milliseconds kFirstReplyWindow{500};
inline constexpr serial::Milliseconds kClosingWindow{1000};
inline constexpr int kClosingLines = 20;

inline constexpr std::string_view kOpenedSuffix = " geöffnet";
inline constexpr std::string_view kBytesReadSuffix = " Bytes gelesen";
inline constexpr std::string_view kSendingText = "Übertrage Textdatei";
inline constexpr std::string_view kSendingBinary = "Übertrage Binärdatei";
inline constexpr std::string_view kBytesSentSuffix = " Bytes übertragen";

// Whether the file goes out as text (see above).
bool isTextFile(std::string_view bytes);

// One pass of the transfer: the file bytes it takes from the send position, and the reply lines it waits
// for. A binary chunk goes out framed, so it puts length + 1 bytes on the wire.
struct Chunk {
    std::int32_t length = 0;
    int replies = 0;
    friend bool operator==(const Chunk&, const Chunk&) = default;
};

// The chunk that starts at position (which must lie before the end of bytes).
Chunk nextChunk(std::string_view bytes, std::int32_t position, bool text);

// position x 100 / size, truncated, computed in 64 bits so that no file size overflows it; 0 when empty.
int sendPercent(std::int64_t position, std::int64_t size);

// The job's own part, run inside the job frame. Reads the file named by inputs.filePath.
jobs::JobOutcome runFileSender(jobs::JobContext& context, std::int32_t word);

// The whole definition of the job for the frame.
jobs::JobDefinition fileSenderJob();

}  // namespace hlx::terminal
