#pragma once
// openableByAnotherProgram: whether another program can open a port now, to prove that a tool released
// it (a stopped job, a gang run after Ctrl-C). A simulator keeps its pseudo-terminal open, so an exclusive
// mark the tool left on it would still be there; root is not held back by that mark, so where the test
// runs as root the other program runs as an unprivileged user (nobody). Header-only.

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "serial/posix_serial_device.h"
#include "serial/serial_port.h"

namespace hlx::test {

inline constexpr uid_t kNobody = 65534;

inline bool openableByAnotherProgram(const std::string& path) {
    const bool asRoot = ::geteuid() == 0;
    if (asRoot) ::chmod(path.c_str(), 0666);
    const pid_t child = ::fork();
    if (child == 0) {
        if (asRoot && (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
            ::_exit(2);
        serial::SerialPort port(std::make_unique<serial::PosixSerialDevice>());
        ::_exit(port.open(path, 0, true) ? 0 : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace hlx::test
