#pragma once
// Gathering a job's record (report/job_record.h) from what its runner saw: the job's inputs and outcome,
// the port it used, the text it showed and when it ran. The window (its job log), `hlx ... --report` and
// the gang runs of `hlx flash` all build their records here, so a job's record is the same wherever it
// ran.
//
// Threads: any thread; portFacts asks udev, runRecordedJob runs on the job thread.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/file_buffer.h"
#include "jobs/job_frame.h"
#include "jobs/job_slot.h"
#include "report/job_record.h"

namespace hlx::runner {

// "rtq", "realterm", "isp", "send-terminal", "send-file": the method word of a kind in records.
std::string_view methodName(jobs::JobKind kind);

// The tool's name and this build's version.
report::ToolFacts toolFacts(std::string name);

// Size and SHA-256 of the file's bytes; for firmware also the SHA-256 of the memory image it programs.
report::FileFacts fileFacts(const std::string& pathAsTyped, std::string_view bytes, bool firmware);

// The port as typed and the device it named, with the stable by-id name and the USB serial number where
// udev knows the device (a pseudo-terminal has neither).
report::PortFacts portFacts(const std::string& typed, const std::string& device);

// A job's record and the file it read (nothing when it read none: a terminal sender, a file that could not
// be read, a job stopped before it read it; nothing either for a job given a prepared file, whose runner
// describes that file once for all its jobs).
struct RecordedJob {
    report::JobRecord record;
    std::optional<report::FileFacts> file;
};

// Reads, on the job thread, the text the job has shown so far in its window.
using ShownText = std::function<std::string()>;
using KeepRecord = std::function<void(RecordedJob)>;

// Runs the job in the job frame (as runJobFrame, with the same result) and hands its record to keep, on
// the job thread: after the job's last step following its report, before the slot is marked finished, so
// the window text and the file buffer it is made from are still the job's own (a next job may start as
// soon as the slot is finished); for a job stopped before that, once the frame has returned (its slot is
// then not finished). Every job thus gets exactly one record.
std::optional<std::int32_t> runRecordedJob(const jobs::JobDefinition& job, jobs::JobContext& context,
                                           jobs::JobSlot& slot, const ShownText& shown,
                                           const KeepRecord& keep);

// The run of one recorded job, as the window's job log keeps it.
report::RunReport runOf(std::string toolName, jobs::JobKind kind, RecordedJob job);

}  // namespace hlx::runner
