#pragma once
// Steps the download jobs share: loading and checking the firmware file with their lines in the output
// window, the "Page: " line, and the rounding of the progress percentages.

#include <array>
#include <cstdint>
#include <string>

#include "firmware/hex_image.h"
#include "jobs/job_context.h"

namespace hlx::firmware {

inline constexpr std::uint8_t kDataRecord = 0x00;
inline constexpr std::uint8_t kExtendedLinearAddressRecord = 0x04;

// A record area large enough for the longest record a line can hold (255 data bytes: 260 bytes) with room
// to spare; the reader never writes beyond it.
using RecordArea = std::array<std::uint8_t, 512>;

struct PreparedFile {
    bool loaded = false;
};

// Loads inputs.filePath into the image; on success writes "<path> geöffnet" (appendLine, or addLine when
// useAddLine), optionally "<n> Bytes gelesen", runs the check and sets the progress bar to 0..100, 0.
// Sets 0x80 when the file cannot be read (with a line naming the limit for a file that is too large) and
// 0x100 when the check finds errors. With inputs.prepared, the file was read (into the buffer the image
// views) and checked before the job: the same lines are written from what was found then.
PreparedFile loadAndCheck(jobs::JobContext& context, HexImage& image, RecordArea& scratch, std::int32_t& word,
                          bool showBytesRead, bool useAddLine = false);

// Reads the firmware file named by editText into buffer and checks it as loadAndCheck would, keeping what
// the check wrote; for jobs that share the file (their inputs.prepared, their buffers read-only views of
// this one).
jobs::PreparedFile prepareFirmwareFile(const std::string& editText, base::FileBuffer& buffer);

// The closing lines a download reads at most after its last record.
inline constexpr int kClosingLines = 20;

// After the last record: reads the monitor's closing lines (shown in the window) until kClosingLines have
// come or the reply deadline has passed, armed 1.5 s from now and moved 1.5 s past every line end or XON,
// so an error byte the monitor sends while it writes its flash, before, among or after its closing lines,
// is not missed: it sets 0x40. Returns whether a line end arrived (the monitor confirmed the end).
bool readClosingLines(serial::Link& link, std::int32_t& word);

// "Page: 0x0001" for a record of type 4 (its data bytes 0 and 1, as one 16-bit value).
std::string pageLine(const std::uint8_t* record);

// Position x 100 / size + 0.5 in single precision, truncated: rounded to the nearest whole percent.
int roundedPercent(std::int32_t position, std::int32_t size);
// Position / size x 100 in single precision, truncated.
int truncatedPercent(std::int32_t position, std::int32_t size);

}  // namespace hlx::firmware
