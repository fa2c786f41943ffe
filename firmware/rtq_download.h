#pragma once
// The binary record download: after "LoadFWRTQ?" the monitor takes Intel HEX records as binary bytes,
// one record per write, and answers each with a reply line.
//
// Wire format of one record, written in one write, all fields binary, nothing around it:
//   offset 0      byte count n
//   offset 1..2   load address, high byte first
//   offset 3      record type, as in the file
//   offset 4..    n data bytes
//   offset 4+n    checksum: two's complement of the 8-bit sum of bytes 0..3+n
// Runs of data records whose addresses follow on (compared as 16-bit values) are joined into records of
// at most 249 data bytes, with the checksum recomputed; any other record goes out exactly as decoded.
// Each record's reply line must end within 1.5 s of the previous reply's line end. Once every record is
// acknowledged, the monitor's closing lines are read; a port that goes away then (the monitor restarts and
// its USB port leaves the bus) is no failure.

#include "jobs/job_frame.h"

namespace hlx::firmware {

inline constexpr int kMaxJoinedBytes = 249;

// The job's own part (job kind 0), run inside the job frame. Reads the file named by inputs.filePath.
jobs::JobOutcome runRtqDownload(jobs::JobContext& context, std::int32_t word);

// The whole definition of the job for the frame.
jobs::JobDefinition rtqDownloadJob();

}  // namespace hlx::firmware
