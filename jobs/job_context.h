#pragma once
// JobContext: everything a job works through, handed to it by the job frame: the link (port, reply
// deadline, output log, clock, stop request), the view (progress bar, idle poll), the program's file
// buffer and the inputs copied when the job started. A job never reads a widget.
//
// Threads: the context lives on the job thread for the job's whole run. The port, reply deadline and
// views behind it are shared with the GUI thread under their own rules; the file buffer belongs to the
// running job alone (one job at a time).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/file_buffer.h"
#include "output/job_view.h"
#include "serial/link.h"

namespace hlx::jobs {

// A file read and checked once before several jobs start (a gang run over many ports). Each job then
// takes the bytes from its file buffer (a read-only view of the one copy) and the check's outcome from
// here, instead of reading and checking the file itself; its window shows the same lines either way.
struct PreparedFile {
    base::Status loaded = base::Status::error("not read");  // what loading the file returned
    std::int64_t fileSize = -1;  // as the load found it (also for a file refused as too large)
    std::string checkText;       // what the check wrote into the window, line ends included
    int checkErrors = 0;
};

struct JobInputs {
    std::string comText;     // COM-Nr as typed
    int settingsEntry = -1;  // the selected item of the COM settings
    std::string filePath;    // the file edit this job reads, as typed (UTF-8)
    std::int32_t parameter = 1;
    std::string windowText;                        // the output window's text, for the terminal sender
    std::shared_ptr<const PreparedFile> prepared;  // set: the file was read and checked for the job
};

struct JobContext {
    serial::Link link;
    output::JobView& view;
    base::FileBuffer& file;
    JobInputs inputs;
};

// What a job's own part hands back to the frame: its result word, where the job has one the line written
// last (the byte count), and failure lines of its own, written right after the result report's lines and
// before that closing line; and for the job's record, what of its transfer went out whole: bytes and units
// (binary records, HEX or UU lines, chunks or frames, text lines), and what of that the monitor confirmed
// (nothing when the method does not count it).
struct JobOutcome {
    std::int32_t word = 0;
    std::string closingLine{};  // empty: none
    std::vector<std::string> failureLines{};
    // Every part of the transfer had been confirmed when the port went away, if it did: a monitor whose
    // service port is a USB device leaves the bus as it restarts after its download. The frame then says
    // that the monitor closed the connection, and records no failure for it.
    bool completeBeforeLoss = false;
    std::int64_t bytesSent = 0;  // what the driver took: the monitor may not have received all of it
    std::int64_t unitsSent = 0;
    // The line settings the job ended up talking at, when it changed them itself ("230400,8,N,1"); empty:
    // those of the entry it opened the port with.
    std::string lineSettings{};
    // Of those, what the monitor confirmed: a binary record, a chunk (frame) or a terminal line answered
    // in full without an error byte; every HEX line once the monitor answered the end of the download with
    // its closing lines and no error byte.
    std::optional<std::int64_t> bytesConfirmed{};
    std::optional<std::int64_t> unitsConfirmed{};
};

}  // namespace hlx::jobs
