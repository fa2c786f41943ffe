#pragma once
// The job kinds, what the common frame does differently for each, and the facts a job's record
// gives of its kind. A kind's own steps (its body and what it adds before and after the result report)
// belong to the kind's folder; the table here holds only the frame's switches and the record's facts.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace hlx::jobs {

enum class JobKind : int {
    RtqDownload = 0,
    RealtermDownload = 1,
    BootLoader = 2,
    TerminalSender = 3,
    FileSender = 4,
    IspRead = 5,  // reads through the boot loader (hlx isp-read)
    IspInfo = 6,  // the part's facts through the boot loader (hlx isp-info)
};
enum class JobState : std::int32_t { Idle = 0, Running = 1, Finished = 2 };

struct JobTraits {
    JobKind kind;
    bool clearsWindow;         // the output window is emptied before the job starts
    bool refreshAfterClear;    // and drawn at once, before the port is opened
    bool recordsConfigureBit;  // settings refused on an open port (0x400) start the word; a port that
                               // cannot be opened (0x800) does for every kind
    bool noSuccessLine;        // 0x1000 is added for the report, so a clean run shows no success line
    bool caretToEnd;           // the caret goes to the end of the text after the report
    bool finishedBeforePoll;   // the slot is marked finished before the idle poll restarts
    int fixedEntry;            // settings entry the job opens the port with; -1: the selected one
    // What a job's record says of its kind (runner/job_records.h):
    // the method word: "rtq", "realterm", "isp", "send-terminal", "send-file", "isp-read", "isp-info"
    std::string_view method;
    bool firmware;      // its file is firmware: the record also gives the memory image's SHA-256
    bool readsFile;     // it reads a file of its own (the terminal sender sends the window's text)
    bool sendsRecords;  // what it sent is counted in hex records; otherwise in lines
};

// Every field is named in every row, so a row reads without counting positions.
inline constexpr std::array<JobTraits, 7> kJobTraits{{
    {.kind = JobKind::RtqDownload,
     .clearsWindow = true,
     .refreshAfterClear = true,
     .recordsConfigureBit = true,
     .noSuccessLine = true,
     .caretToEnd = true,
     .finishedBeforePoll = false,
     .fixedEntry = -1,
     .method = "rtq",
     .firmware = true,
     .readsFile = true,
     .sendsRecords = true},
    {.kind = JobKind::RealtermDownload,
     .clearsWindow = true,
     .refreshAfterClear = false,
     .recordsConfigureBit = true,
     .noSuccessLine = false,
     .caretToEnd = false,
     .finishedBeforePoll = false,
     .fixedEntry = -1,
     .method = "realterm",
     .firmware = true,
     .readsFile = true,
     .sendsRecords = false},
    {.kind = JobKind::BootLoader,
     .clearsWindow = true,
     .refreshAfterClear = true,
     .recordsConfigureBit = true,
     .noSuccessLine = false,
     .caretToEnd = false,
     .finishedBeforePoll = true,
     .fixedEntry = 2,
     .method = "isp",
     .firmware = true,
     .readsFile = true,
     .sendsRecords = false},
    {.kind = JobKind::TerminalSender,
     .clearsWindow = false,
     .refreshAfterClear = false,
     .recordsConfigureBit = false,
     .noSuccessLine = true,
     .caretToEnd = true,
     .finishedBeforePoll = false,
     .fixedEntry = -1,
     .method = "send-terminal",
     .firmware = false,
     .readsFile = false,
     .sendsRecords = false},
    {.kind = JobKind::FileSender,
     .clearsWindow = true,
     .refreshAfterClear = true,
     .recordsConfigureBit = true,
     .noSuccessLine = true,
     .caretToEnd = true,
     .finishedBeforePoll = false,
     .fixedEntry = -1,
     .method = "send-file",
     .firmware = false,
     .readsFile = true,
     .sendsRecords = false},
    {.kind = JobKind::IspRead,
     .clearsWindow = true,
     .refreshAfterClear = true,
     .recordsConfigureBit = true,
     .noSuccessLine = true,
     .caretToEnd = false,
     .finishedBeforePoll = true,
     .fixedEntry = 2,
     .method = "isp-read",
     .firmware = false,
     .readsFile = false,  // it writes its file
     .sendsRecords = false},
    {.kind = JobKind::IspInfo,
     .clearsWindow = true,
     .refreshAfterClear = true,
     .recordsConfigureBit = true,
     .noSuccessLine = true,
     .caretToEnd = false,
     .finishedBeforePoll = true,
     .fixedEntry = 2,
     .method = "isp-info",
     .firmware = false,
     .readsFile = false,
     .sendsRecords = false},
}};

// The table is indexed by the kind's value.
constexpr bool traitsInKindOrder() {
    for (std::size_t i = 0; i < kJobTraits.size(); ++i)
        if (static_cast<std::size_t>(kJobTraits[i].kind) != i) return false;
    return true;
}
static_assert(traitsInKindOrder(), "kJobTraits rows must follow the JobKind values");

constexpr const JobTraits& traitsOf(JobKind kind) {
    return kJobTraits[static_cast<int>(kind)];
}

}  // namespace hlx::jobs
