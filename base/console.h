#pragma once
// The console seam: every byte hlx shows on its standard output and error goes through here, so that a
// person at a terminal or a Windows console reads the program's UTF-8 text ("Prüfe Hex File") as it is,
// and files and pipes get the UTF-8 bytes unchanged.
//
// - writeText / printText: UTF-8 text to out (stdout or stderr), flushed; whether all of it was
//   written. On Windows a console gets the text as UTF-16 through WriteConsoleW, whatever its code page
//   (437, 850, 65001): the C library would send the bytes through the code page and show "PrÃ¼fe".
//   Anything else (a file, a pipe, NUL, another FILE) gets the bytes as they are. A UTF-8 sequence split
//   between two calls is written whole.
// - Drawing in place (the progress bar, a gang run's status lines) uses two escapes, "\r\033[K" (clear
//   the line) and "\033[nF" (to the start of the line n above); clearLine and moveUp write them. Terminals
//   on Linux take them as they are; on a Windows console writeText carries them out through the console
//   API, with virtual-terminal processing or without (Wine's console with it on moved no line up), so
//   no "[K" ever shows as text. Output that is no console gets the bytes.
// - setUpConsole: once at the start of main. Windows: virtual-terminal processing turned on for the
//   consoles of stdout and stderr where the console has it, and the consoles' modes restored at exit.
//   Linux: nothing.
// - stderrIsTerminal / stdoutIsTerminal: whether the stream is a terminal (a console window on Windows),
//   so that drawing in place happens only where a person watches it. On Windows a redirection to NUL or
//   a file is no console, although the C library calls NUL a terminal.
// - terminalColumns, terminalRows: the width and height of the terminal (console window) out writes to,
//   0 when it is none or unknown.
//
// Threads: any thread; each call's text reaches the stream whole (never interleaved with another
// call's).

#include <cstdio>
#include <string_view>

namespace hlx::base {

void setUpConsole();

bool writeText(std::FILE* out, std::string_view utf8);
#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void printText(std::FILE* out, const char* format, ...);

// The cursor to the start of its line, which is then empty.
void clearLine(std::FILE* out);
// The cursor to the start of the line `lines` above its own.
void moveUp(std::FILE* out, int lines);

bool stderrIsTerminal();
bool stdoutIsTerminal();
int terminalColumns(std::FILE* out);
int terminalRows(std::FILE* out);

}  // namespace hlx::base
