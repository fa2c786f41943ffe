#pragma once
// hlx send-file FILE and hlx send-terminal FILE: the window's two senders, run as the window runs them.
//
//   send-file      the file sender of "Send File 1" to "Send File 6", with FILE as the send file
//   send-terminal  the terminal sender of "Send Terminal": FILE is decoded as Load Terminal decodes it (a
//                  byte-order mark selects UTF-8 or UTF-16, otherwise UTF-8 or Windows-1252; every line
//                  break becomes CR LF), becomes the output window's text, and is sent line by line
//
// Options and exit codes: cli/job_command.h. A terminal file that cannot be read is reported on stderr
// with exit code 2, before the port is touched.

namespace hlx::cli {

class CommandLine;
void addSendCommands(CommandLine& commands);

}  // namespace hlx::cli
