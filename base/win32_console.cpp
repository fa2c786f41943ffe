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

}  // namespace hlx::base
