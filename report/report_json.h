#pragma once
// The JSON form of a run's record, as docs/job-report.schema.json describes it:
//
//   { "format": "hlx-job-report", "format_version": 2,
//     "tool": {"name", "version"}, "method", "file": {"path", "size", "sha256", "image_sha256"} | null,
//     "success",
//     "jobs": [ { "port", "device", "by_id", "usb_serial", "settings": {"entry", "text"},
//                 "start_utc", "end_utc", "duration_s", "bytes_sent", "records_sent" | "lines_sent",
//                 "bytes_confirmed", "records_confirmed" | "lines_confirmed", "result_word", "failures":
//                 [{"bit", "name", "message"}], "success", "stopped", "lines": [...] } ] }
//
// Strings are UTF-8 with every control character escaped; text that is not valid UTF-8 (it cannot come
// from the window, whose text is decoded, but a path may hold any bytes) has its broken sequences
// replaced, so the document always parses. Absent facts (no by-id name, no USB serial number, a file that
// could not be read) are null, never left out, so a reader finds every key.
//
// Threads: pure functions.

#include <string>

#include "report/job_record.h"

namespace hlx::report {

inline constexpr const char kFormatName[] = "hlx-job-report";
// 2: what the monitor confirmed (bytes_confirmed, records_confirmed or lines_confirmed) beside what was sent.
inline constexpr int kFormatVersion = 2;

// The whole document; indented for a report file (ends with a line break), or on one line without one
// for a line of the job log.
enum class JsonLayout { Indented, OneLine };
std::string toJson(const RunReport& report, JsonLayout layout);

}  // namespace hlx::report
