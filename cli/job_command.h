#pragma once
// What every hlx command that runs a job shares: the options (FILE, --port, --settings, --print-result)
// and the run itself. The job runs through the same JobSlot and job frame as in the window, with the
// console as its view: the output window's lines on stdout, the progress bar on stderr when stderr is
// a terminal.
//
// After the job's report, a port that could not be used is explained on stderr ("hlx: /dev/ttyUSB0:
// Permission denied (...dialout...)"), as the window's status bar does; --print-result then adds the
// line "JobResult=0x..." as the last line on stderr.
//
// SIGINT, SIGTERM and SIGHUP during the job stop it (see base/stop_signals.h): the job is asked to stop,
// its thread is joined, the port is released, "hlx: stopped by SIGINT; <stoppedNote>" goes to stderr and
// the exit code is 128 + the signal's number (130 for Ctrl-C).
//
// Threads: runJob on the main thread; the job on the slot's thread.

#include <cstdint>
#include <string>
#include <string_view>

#include <CLI/CLI.hpp>

#include "jobs/job_frame.h"
#include "jobs/job_kind.h"

namespace hlx::cli {

struct JobOptions {
    std::string file;  // the file the job reads, as typed
    std::string port;  // as typed into COM-Nr: a COM number or a device path
    int settings = 0;  // COM settings entry 0 to 4
    bool printResult = false;

    // Set by the command, not from the command line:
    std::int32_t parameter = 1;  // the job parameter (the slot's cell)
    std::string windowText;      // the output window's text when the job starts
    std::string stoppedNote = "the monitor may be left in the download state";
};

// Adds FILE (as a required positional with fileHelp), --port (required), --settings and --print-result.
void addJobOptions(CLI::App& command, JobOptions& options, const std::string& fileHelp);

// Runs the job of that kind to its end or until a stop signal; returns the exit code: 0 when the result
// word holds no failure, 1 when it does, 2 when the file cannot be used (its reason on stderr, after the
// job's report), 128 + signal when stopped.
int runJob(jobs::JobKind kind, const JobOptions& options);
// The same for a job defined by the command itself (with options of its own).
int runJob(const jobs::JobDefinition& job, const JobOptions& options);

}  // namespace hlx::cli
