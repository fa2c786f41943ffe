#pragma once
// The record of a run: what was done to which monitor, kept so that a quality system can collect it and a
// technician can show later what happened. A run is one method (a firmware download, a sender) with one
// file, over one port or several at once; each port's job gets a JobRecord of its own. The same shape
// serves the report of `hlx ... --report FILE.json` (a run with every port) and each line of the window's
// job log (a run with the one job it ran). The JSON form is in report/report_json.h, its schema in
// docs/job-report.schema.json.
//
// The records hold plain values; what they are filled from (the result word, the lines a job showed, the
// port's udev data, the file's digests) is gathered by whoever runs the jobs.
//
// Threads: plain values; no shared state.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace hlx::report {

using WallTime = std::chrono::system_clock::time_point;

struct ToolFacts {
    std::string name;  // "hlx", "hlx-service-tool"
    std::string version;
};

struct FileFacts {
    std::string path;    // as the technician named it
    std::int64_t size;   // bytes
    std::string sha256;  // of the file's bytes, 64 lower-case hex digits
    // Of the memory image the file programs (see firmware/hex_info.h); only for firmware files.
    std::optional<std::string> imageSha256;
};

struct PortFacts {
    std::string port;       // as typed into COM-Nr or given to --port
    std::string device;     // the device path it named (/dev/ttyUSB0)
    std::string byId;       // the stable /dev/serial/by-id name, empty when the port has none
    std::string usbSerial;  // the USB adapter's serial number, empty when it has none
};

// One failure bit of the result word: a short stable name for machines and the line the report showed.
struct Failure {
    std::int32_t bit;
    std::string name;     // "timeout", "error-reply", ...
    std::string message;  // "Fehler: Zeitüberschreitung"; empty for a bit that writes no line
};

enum class SentUnit { Records, Lines };

struct JobRecord {
    PortFacts port;
    int settingsEntry = -1;    // the COM settings entry the job opened the port with
    std::string settingsText;  // "115200,8,N,1"
    WallTime start{};
    WallTime end{};
    double durationSeconds = 0;  // measured on the monotonic clock
    std::int64_t bytesSent = 0;  // what the driver took, not what the monitor received
    SentUnit sentUnit = SentUnit::Lines;
    std::int64_t unitsSent = 0;
    // What the monitor confirmed of it (see jobs::JobOutcome); nothing for a method that does not count it.
    std::optional<std::int64_t> bytesConfirmed{};
    std::optional<std::int64_t> unitsConfirmed{};
    std::int32_t resultWord = 0;  // as handed to the result report (0x1000 included where the kind adds it)
    bool stopped = false;         // ended by a stop request (Ctrl-C, the window closing) before its report
    std::vector<std::string> lines;  // the lines the job showed, UTF-8, without line ends

    // Nothing failed and the job ran to its report.
    bool success() const;
    std::vector<Failure> failures() const { return failuresOf(resultWord); }
    static std::vector<Failure> failuresOf(std::int32_t word);
};

struct RunReport {
    ToolFacts tool;
    std::string method;  // "rtq", "realterm", "isp", "send-file", "send-terminal"
    std::optional<FileFacts> file;
    std::vector<JobRecord> jobs;

    bool success() const;  // every job succeeded (and there was one)
};

// The window's text split into its lines: CR LF, a lone CR and a lone LF each end a line; a last line
// without a line end is kept, an empty text gives no line.
std::vector<std::string> splitLines(std::string_view text);

// "2024-05-17T09:41:07.250Z": UTC, milliseconds.
std::string utcText(WallTime time);

}  // namespace hlx::report
