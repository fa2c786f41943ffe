#pragma once
// runCommand: runs a shell command line and collects what it prints on stdout and stderr together, with
// its exit code (-1 when it did not exit normally). For tests that run the programs as a technician
// would. Header only; blocks until the command ends.

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

namespace hlx::test {

struct CommandOutcome {
    int exitCode = -1;
    std::string out;  // stdout and stderr
};

inline CommandOutcome runCommand(const std::string& commandLine) {
    CommandOutcome run;
    FILE* pipe = ::popen((commandLine + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return run;
    std::array<char, 4096> buffer;
    while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe))
        run.out.append(buffer.data(), n);
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

}  // namespace hlx::test
