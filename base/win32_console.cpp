#include <windows.h>

#include "base/console.h"

namespace hlx::base {

void useUtf8Console() {
    (void)::SetConsoleOutputCP(CP_UTF8);  // without a console (output redirected) there is nothing to set
}

namespace {

bool isConsole(DWORD which) {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(which), &mode) != 0;
}

}  // namespace

bool stderrIsTerminal() {
    return isConsole(STD_ERROR_HANDLE);
}

bool stdoutIsTerminal() {
    return isConsole(STD_OUTPUT_HANDLE);
}

int terminalColumns(std::FILE* out) {
    const DWORD which = out == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE;
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!::GetConsoleScreenBufferInfo(::GetStdHandle(which), &info)) return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

int terminalRows(std::FILE* out) {
    const DWORD which = out == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE;
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!::GetConsoleScreenBufferInfo(::GetStdHandle(which), &info)) return 0;
    return info.srWindow.Bottom - info.srWindow.Top + 1;
}

}  // namespace hlx::base
