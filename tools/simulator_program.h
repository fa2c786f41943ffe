#pragma once
// What the two simulators of hlx-virtual-monitor (the monitor, and with --lpc-isp the boot loader) share
// on their command line and around their run: checks of option values, the way usage errors are
// reported, and the wait for the signal that ends the program.
//
// Numbers on the command line are read as strtol reads them with base 0: decimal, 0x... hexadecimal or
// 0... octal. A usage error (an unknown option, a missing or bad value, an option of the other simulator)
// is written to stderr as "hlx-virtual-monitor: MESSAGE (see --help)" and ends the program with exit code
// 2; --help prints the options and ends it with 0. An option given twice counts with its last value.
//
// Threads: the main thread.

#include <optional>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "base/stop_signals.h"

namespace hlx::tools {

inline constexpr int kExitUsage = 2;
inline constexpr long kLargestNumber = 100'000'000;

// The whole text as a number from minimum to maximum, or nothing.
std::optional<long> parseNumber(const std::string& text, long minimum, long maximum);

// A check for an option's value: a number from minimum to maximum. A value that is none is refused as
// "OPTION: REFUSAL, not 'VALUE'".
CLI::Validator numberCheck(long minimum = 0, long maximum = kLargestNumber,
                           std::string refusal = "takes a number");

// The program's command line: name, the description --help starts with, and the rules above.
void setUpCommandLine(CLI::App& app);

// Parses the arguments. Nothing when the program goes on; else the exit code, after --help (printed on
// stdout) or a usage error (reported on stderr).
std::optional<int> parseCommandLine(CLI::App& app, int argc, const char* const* argv);

// Reports a usage error found after parsing; returns kExitUsage.
int usageError(const std::string& message);

// A usage error when one of the options was given: they belong to the other simulator (reason says so,
// e.g. "needs --lpc-isp"). Nothing when none was given.
std::optional<int> refuseGiven(const std::vector<CLI::Option*>& options, const std::string& reason);

// Sleeps until SIGINT, SIGTERM or SIGHUP arrives, then prints "SIGTERM: stopping". signals must have been
// made before the simulator's thread started, so that only this wait sees the signals.
void waitForStopSignal(base::StopSignals& signals);

}  // namespace hlx::tools
