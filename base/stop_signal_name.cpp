#include "base/stop_signals.h"

#include <string>

#ifndef _WIN32
#include <csignal>
#endif

namespace hlx::base {

// The numbers are Linux's; Windows records its console events under the same numbers.
namespace {
constexpr int kSigHup = 1;
constexpr int kSigInt = 2;
constexpr int kSigTerm = 15;
#ifndef _WIN32
static_assert(SIGHUP == kSigHup && SIGINT == kSigInt && SIGTERM == kSigTerm);
#endif
}  // namespace

std::string StopSignals::name(int signal) {
    switch (signal) {
        case kSigInt:
            return "SIGINT";
        case kSigTerm:
            return "SIGTERM";
        case kSigHup:
            return "SIGHUP";
        default:
            return "signal " + std::to_string(signal);
    }
}

}  // namespace hlx::base
