#pragma once
// useUtf8Console: the program's text is UTF-8 ("Prüfe Hex File"); a Windows console shows bytes in its own
// code page (850 or 437 for a German or English installation) unless told otherwise, so on Windows the
// console's output code page is set to UTF-8 for the life of the process. Linux terminals take UTF-8 as
// it is: there it does nothing. Output into a file or a pipe is unchanged on both systems.
//
// stderrIsTerminal: whether the standard error output is a terminal (a console window on Windows), so
// that a progress bar drawn with carriage returns is drawn only where a person watches it. On Windows a
// redirection to NUL or a file is no console, although the C library calls NUL a terminal.
//
// stdoutIsTerminal: the same for the standard output (the live status lines of a gang run).
// terminalColumns, terminalRows: the width and height of the terminal (console window) out writes to, 0
// when it is none or unknown.
//
// Threads: useUtf8Console once at the start of main; stderrIsTerminal from any thread.

#include <cstdio>

namespace hlx::base {

void useUtf8Console();
bool stderrIsTerminal();
bool stdoutIsTerminal();
int terminalColumns(std::FILE* out);
int terminalRows(std::FILE* out);

}  // namespace hlx::base
