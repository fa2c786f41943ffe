#include "tools/simulator_program.h"

#include <cstdio>
#include <cstdlib>

namespace hlx::tools {
namespace {

constexpr const char* kProgram = "hlx-virtual-monitor";

}  // namespace

std::optional<long> parseNumber(const std::string& text, long minimum, long maximum) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0' || value < minimum || value > maximum) return std::nullopt;
    return value;
}

CLI::Validator numberCheck(long minimum, long maximum, std::string refusal) {
    return CLI::Validator(
        [minimum, maximum, refusal](std::string& value) {
            return parseNumber(value, minimum, maximum) ? std::string() : refusal + ", not '" + value + "'";
        },
        "");
}

void setUpCommandLine(CLI::App& app) {
    app.name(kProgram);
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.failure_message([](const CLI::App*, const CLI::Error& e) {
        return std::string(kProgram) + ": " + e.what() + " (see --help)\n";
    });
}

std::optional<int> parseCommandLine(CLI::App& app, int argc, const char* const* argv) {
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? 0 : kExitUsage;
    }
    return std::nullopt;
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "%s: %s (see --help)\n", kProgram, message.c_str());
    return kExitUsage;
}

std::optional<int> refuseGiven(const std::vector<CLI::Option*>& options, const std::string& reason) {
    for (const CLI::Option* option : options)
        if (option->count() > 0) return usageError(option->get_name() + " " + reason);
    return std::nullopt;
}

void waitForStopSignal(base::StopSignals& signals) {
    const base::Notice never;  // nothing ends the wait but a signal
    const int signal = signals.waitForSignalOr(never);
    std::printf("%s: stopping\n", base::StopSignals::name(signal).c_str());
    std::fflush(stdout);
}

}  // namespace hlx::tools
