#pragma once
// hlx terminal --port P [--settings N] [--log FILE] [--timestamps] [--no-reconnect]: the window's terminal
// on a console, for a machine without a desktop.
//
// On a terminal (stdin a TTY, or a Windows console) it runs in raw mode, restored on every way out
// (Ctrl-], Ctrl-C, a stop signal, an error; cli/terminal_console.h has what differs between the systems).
// What the monitor sends shows as it arrives; typed text is echoed (Backspace edits it) and sent on Enter by
// the window's rule: a line holding "=", "!", "?" or "_" goes out with CR LF, any other line is not sent (a
// note says so); a line the monitor's XOFF holds back is not sent either, as in the window. Ctrl-] leaves
// with exit 0 (the first line says so); Ctrl-C leaves with 130, as SIGINT does.
//
// Without a TTY on stdin the lines read from stdin are sent by the same rule, each once the monitor has
// been quiet for 300 ms since the last line went out or arrived, and the terminal ends at the end of the
// input once the monitor has been quiet.
//
// When the port goes away (an unplugged adapter, a monitor restarting) a line says so and the terminal
// waits for the same device to come back (serial/port_watcher.h: the same path; for a by-id path the same
// adapter), then opens it again and says so; with --no-reconnect it ends with exit 1 instead.
//
// --log FILE appends the session to FILE (output/session_log.h: every line received and sent, and the
// tool's notes, flushed line by line); --timestamps starts each line with the local time
// ("2026-12-11T09:15:02.347"). A log that cannot be opened ends the command with exit 2 before the port is
// touched; one that fails later says so once and the terminal goes on without it.
//
// A closed stdout (`| head -n 1`) does not end the session: the lines still go to the monitor and into the
// log, the exit status is as without it, and a line on stderr at the end says that the output was cut. A
// blocked stdout holds the session up, but a stop signal still ends it at once.
//
// Exit codes: 0 left with Ctrl-] or at the end of the input; 1 the port cannot be used at the start, or
// went away with --no-reconnect; 2 the command line or the log file; 128 + signal for SIGINT, SIGTERM,
// SIGHUP. A terminal session is not a job: no report, no job log.

namespace hlx::cli {

class CommandLine;
void addTerminalCommand(CommandLine& commands);

}  // namespace hlx::cli
