#include "base/console.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace hlx::base {

void useUtf8Console() {}

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
