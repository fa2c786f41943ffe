#pragma once
// hlx-virtual-monitor --lpc-isp: the NXP LPC ISP boot loader of the monitor's microcontroller as a program.
// Its options (added to the program's command line), its start-up message, and its run until a stop
// signal, with the flash written to a file after every start of the user code when asked for.

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "base/stop_signals.h"
#include "tools/lpc_isp_sim.h"

namespace hlx::tools {

struct LpcIspOptions {
    LpcIspConfig config;
    LpcIspFaults faults;
    std::string flashOut;  // empty: the flash is not written
};

struct LpcIspOptionSet {
    CLI::Option* lpcIsp;                // the flag that chooses the boot loader
    std::vector<CLI::Option*> options;  // the boot loader's own options: they need the flag
};

// Adds --lpc-isp and the boot loader's options (in groups of their own) to app; they fill options.
LpcIspOptionSet addLpcIspOptions(CLI::App& app, LpcIspOptions& options);

// Runs the simulated boot loader until a stop signal (signals made before anything started); linkPath
// empty: no link. Returns the program's exit status.
int runLpcIspSimulator(LpcIspOptions options, const std::string& linkPath, base::StopSignals& signals);

}  // namespace hlx::tools
