#pragma once
// hlx command TEXT --port P [--settings N] [--quiet-ms Q] [--timeout-ms T]: one line to the monitor and
// its answer, for scripts on a production line.
//
// TEXT is sent as the window's terminal sends a typed line: it must be a command for the monitor (hold
// "=", "!", "?" or "_"; otherwise exit 2 before the port is touched), goes out as 8-bit characters with
// CR LF, and is not sent while the monitor holds the flow with XOFF. What the monitor had sent before is
// dropped first, so the answer is the answer to TEXT. The answer is printed on stdout as it arrives (as the
// terminal shows it) until the monitor has been quiet for Q ms (300 by default); it ends with a line break.
// A closed stdout (`| head -n 1`) does not cut the answer short: it is read to its end, the exit status is as
// without it, and a line on stderr says that the output was cut.
//
// Exit codes: 0 an answer came; 1 nothing came within T ms of sending (2000 by default), the line could not
// be sent, or the port cannot be used or went away before an answer (the reason on stderr); 2 the command
// line; 128 + signal for SIGINT, SIGTERM or SIGHUP. A command is not a job: no report, no job log.

namespace hlx::cli {

class CommandLine;
void addCommandCommand(CommandLine& commands);

}  // namespace hlx::cli
