#pragma once
// The text download: after "LoadFW?" the monitor takes the Intel HEX lines as text. Each record goes
// out as ":" and two upper-case hex digits per decoded byte, then CR LF, with the file's own checksum.
// The job waits for no acknowledgement: after each line (but the first) it pauses 20 ms and reads flow
// control; XOFF holds it until XON or the deadline (5 s after the line, or 1.5 s after the last line end
// or XON received). After the last line it reads the monitor's closing lines until 20 have come or 1.5 s
// have passed since the last of them (or since the last line, if none comes), so that an error byte sent
// while the monitor writes its flash is not missed (0x40) and its closing lines are shown. A port that goes
// away after those closing lines (the monitor restarts) is no failure.

#include <cstdint>
#include <span>

#include "jobs/job_frame.h"

namespace hlx::firmware {

// ":" + "%02X" per byte + CR LF in one write; true when all 2 * n + 3 bytes were written.
bool writeHexLine(serial::Link& link, std::span<const std::uint8_t> record);

// The job's own part (job kind 1), run inside the job frame.
jobs::JobOutcome runRealtermDownload(jobs::JobContext& context, std::int32_t word);

// The whole definition of the job for the frame.
jobs::JobDefinition realtermDownloadJob();

}  // namespace hlx::firmware
