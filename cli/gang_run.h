#pragma once
// Gang runs: `hlx flash rtq|realterm|isp FILE --port P1 --port P2 ...` updates every named monitor at
// once, as a production line does.
//
// - The file is read and checked once, before any port is touched: a file that cannot be read refuses
//   the run (exit 2). Each job gets a read-only view of the one copy and the check's lines, so every
//   port's window shows what a single run would show.
// - Each port runs its own job on its own thread, through a JobSlot of its own, with its own port, reply
//   deadline, window and view, and a job definition of its own (a definition may hold state for its run).
//   A failure on one port neither stops nor slows the others: nothing is shared between the jobs but the
//   file's bytes (read only) and the console, to which they only queue what they show (GangConsole).
// - At the end, one summary line per port: the port, ok or failed (with its failure lines), the bytes
//   sent and the time taken; the reason a port could not be used on stderr, as for a single run.
// - Exit 0 only when every port succeeded, 1 when any failed.
// - SIGINT, SIGTERM and SIGHUP stop every job and release every port; exit 128 + the signal's number.
// - --report writes one document with a job record per port (also after a stop).
//
// With one --port, runFlash runs the single job exactly as the other commands do (cli/job_command.h).
//
// Threads: runFlash on the main thread; the jobs on their slots' threads.

#include <functional>

#include "cli/job_command.h"
#include "jobs/job_frame.h"

namespace hlx::cli {

// Makes a fresh definition of the job for each port.
using JobFactory = std::function<jobs::JobDefinition()>;

int runFlash(const JobFactory& makeJob, JobOptions options);

}  // namespace hlx::cli
