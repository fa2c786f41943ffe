#pragma once
// JobContext: everything a job works through, handed to it by the job frame. A job never reads a widget:
// the frame copies its inputs (file path, job parameter, the window's text) when the job starts.
//
// Threads: the context lives on the job thread for the job's whole run. The port, reply deadline and
// views behind it are shared with the GUI thread under their own rules.

#include <cstdint>
#include <string>

#include "serial/link.h"
#include "terminal/job_view.h"

namespace hlx {

struct JobInputs {
    std::string comText;      // COM-Nr as typed
    int settingsEntry = -1;   // the selected item of the COM settings
    std::string filePath;     // the file edit this job reads, as typed (UTF-8)
    std::int32_t parameter = 1;
    std::string windowText;   // the output window's text, for the terminal sender
};

struct JobContext {
    serial::Link link;
    JobView& view;
    JobInputs inputs;
};

// What a job's own part hands back to the frame: its result word and, where the job has one, the line
// written right after the result report (the byte count).
struct JobOutcome {
    std::int32_t word = 0;
    std::string closingLine;  // empty: none
};

}  // namespace hlx
