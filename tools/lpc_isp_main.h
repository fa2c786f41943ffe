#pragma once
// The command line of hlx-virtual-monitor when it plays the NXP LPC ISP boot loader (--lpc-isp): options,
// start-up message, and running until Ctrl-C or SIGTERM.

#include <cstdio>
#include <string>
#include <vector>

namespace hlx::tools {

// True when the arguments ask for the boot loader (they contain --lpc-isp).
bool wantsLpcIsp(const std::vector<std::string>& args);

// The usage lines of the boot loader's options.
void printLpcIspUsage(std::FILE* out);

// Runs the simulated boot loader with the options in args; returns the program's exit status (2 for a
// usage error).
int runLpcIspSimulator(const std::vector<std::string>& args);

}  // namespace hlx::tools
