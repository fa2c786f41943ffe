#include "base/console.h"

#include <unistd.h>

namespace hlx::base {

void useUtf8Console() {}

bool stderrIsTerminal() {
    return ::isatty(STDERR_FILENO) != 0;
}

}  // namespace hlx::base
