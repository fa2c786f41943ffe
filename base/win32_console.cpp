#include <io.h>
#include <windows.h>

#include "base/console.h"

namespace hlx::base {

void useUtf8Console() {
    (void)::SetConsoleOutputCP(CP_UTF8);  // without a console (output redirected) there is nothing to set
}

bool stderrIsTerminal() {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

bool stdoutIsTerminal() {
    const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (!::GetConsoleMode(out, &mode)) return false;
    if (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) return true;
    return ::SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

int terminalColumns(std::FILE* out) {
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(out)));
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (handle == INVALID_HANDLE_VALUE || !::GetConsoleScreenBufferInfo(handle, &info)) return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

}  // namespace hlx::base
