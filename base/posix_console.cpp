#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "base/console.h"

namespace hlx::base {

void setUpConsole() {}

// The stream's own lock keeps each call's text whole; a lock per stream, so that a blocked stdout (a full
// pipe nobody reads) never holds up what goes to stderr.
bool writeText(std::FILE* out, std::string_view utf8) {
    ::flockfile(out);
    const bool written =
        std::fwrite(utf8.data(), 1, utf8.size(), out) == utf8.size() && std::fflush(out) == 0;
    ::funlockfile(out);
    return written;
}

void clearLine(std::FILE* out) {
    writeText(out, "\r\033[K");
}

void moveUp(std::FILE* out, int lines) {
    if (lines > 0) writeText(out, "\033[" + std::to_string(lines) + "F");
}

bool stderrIsTerminal() {
    return ::isatty(STDERR_FILENO) != 0;
}

bool stdoutIsTerminal() {
    return ::isatty(STDOUT_FILENO) != 0;
}

int terminalColumns(std::FILE* out) {
    winsize size{};
    if (::ioctl(::fileno(out), TIOCGWINSZ, &size) != 0) return 0;
    return size.ws_col;
}

int terminalRows(std::FILE* out) {
    winsize size{};
    if (::ioctl(::fileno(out), TIOCGWINSZ, &size) != 0) return 0;
    return size.ws_row;
}

}  // namespace hlx::base
