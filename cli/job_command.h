#pragma once
// What every hlx command that runs a job shares: the options (FILE, --port, --settings, --print-result,
// --report) and the run itself. The job runs through the same JobSlot and job frame as in the window, with
// the console as its view: the output window's lines on stdout, the progress bar on stderr when stderr is a
// terminal.
//
// After the job's report, a port that could not be used is explained on stderr ("hlx: /dev/ttyUSB0:
// Permission denied (...dialout...)"), as the window's status bar does; --print-result then adds the
// line "JobResult=0x..." as the last line on stderr.
//
// A job that writes a file of its own (JobOptions::outFile) has it checked the same way first (exit 2).
//
// --report FILE.json writes the run's record (report/report_json.h) when the job has ended, also after a
// stop; the target is checked first (runner::ReportTarget: a regular file or a new name, not the file the
// run reads, its first block written to the disk), and a report that could not be written there refuses
// the run before the port is touched (exit 2).
//
// What the job shows goes out through a writer thread (cli/console_output.h): a closed or blocked stdout
// or stderr never stops or slows the job.
//
// SIGINT, SIGTERM and SIGHUP during the job stop it (see base/stop_signals.h): the job is asked to stop,
// its thread is joined, the port is released, "hlx: stopped by SIGINT; <stoppedNote>" goes to stderr and
// the exit code is 128 + the signal's number (130 for Ctrl-C).
//
// Threads: runJob on the main thread; the job on the slot's thread.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

#include "base/stop_signals.h"
#include "jobs/job_frame.h"
#include "jobs/job_kind.h"

namespace hlx::cli {

struct JobOptions {
    std::string file;                // the file the job reads, as typed
    std::string port;                // as typed into COM-Nr: a COM number or a device path
    std::vector<std::string> ports;  // with PortCount::Many instead of port: one job per port
    int settings = 0;                // COM settings entry 0 to 4
    bool printResult = false;
    std::string reportPath;  // --report; empty: none

    // Set by the command, not from the command line:
    std::int32_t parameter = 1;  // the job parameter (the slot's cell)
    std::string windowText;      // the output window's text when the job starts
    std::string stoppedNote = "the monitor may be left in the download state";
    // The file the job writes ("": none), checked as the report is before any port is opened: what must
    // never be replaced (a device, FIFO, folder, dangling link) is refused, and its folder must take
    // outFileBytes (a full file system is found before the monitor is touched).
    std::string outFile;
    std::uint64_t outFileBytes = 0;
};

enum class PortCount { One, Many };

// Adds FILE (as a required positional with fileHelp), --port (required; with PortCount::Many it may be
// given several times, into ports), --settings, --print-result and --report.
void addJobOptions(CLI::App& command, JobOptions& options, const std::string& fileHelp,
                   PortCount ports = PortCount::One);

// Runs the job of that kind to its end or until a stop signal; returns the exit code: 0 when the result
// word holds no failure, 1 when it does, 2 when the file cannot be used (its reason on stderr, after the
// job's report), 128 + signal when stopped.
int runJob(jobs::JobKind kind, const JobOptions& options);
// The same for a job defined by the command itself (with options of its own).
int runJob(const jobs::JobDefinition& job, const JobOptions& options);

class ConsoleOutput;
// "hlx: message" on stderr through the console's writer; returns kExitUsage.
int unusable(ConsoleOutput& console, std::string_view message);
// The end of a run that printed through console: waits for the output (a moment after a stop, otherwise
// until it is written or a stop signal comes, which makes the exit code 128 + its number), says when it
// was cut, and returns the exit code, or ends the process with it when a writer is still blocked.
int endRun(ConsoleOutput& console, base::StopSignals& signals, int exitCode);

}  // namespace hlx::cli
