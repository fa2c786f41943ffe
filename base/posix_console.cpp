#include <sys/ioctl.h>
#include <unistd.h>

#include <mutex>
#include <string>

#include "base/console.h"

namespace hlx::base {
namespace {

std::mutex& writeMutex() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

void setUpConsole() {}

bool writeText(std::FILE* out, std::string_view utf8) {
    std::lock_guard lock(writeMutex());
    return std::fwrite(utf8.data(), 1, utf8.size(), out) == utf8.size() && std::fflush(out) == 0;
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
