#include "tools/lpc_isp_main.h"

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <thread>

#include "tools/lpc_isp_sim.h"
#include "tools/monitor_image.h"
#include "tools/simulated_line.h"

namespace hlx::tools {
namespace {

std::optional<long> parseNumber(const std::string& text, long minimum, long maximum) {
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0' || value < minimum || value > maximum) return std::nullopt;
    return value;
}

int usageError(const std::string& message) {
    std::fprintf(stderr, "hlx-virtual-monitor: %s (see --help)\n", message.c_str());
    return 2;
}

// "C:3" or "C:3:2": command letter, return code, occurrence.
bool parseFailure(const std::string& text, LpcIspFaults& faults) {
    if (text.size() < 3 || text[1] != ':') return false;
    const std::string rest = text.substr(2);
    const std::size_t colon = rest.find(':');
    const auto code = parseNumber(rest.substr(0, colon), 0, 99);
    const auto occurrence =
        colon == std::string::npos ? std::optional<long>(1) : parseNumber(rest.substr(colon + 1), 1, 1000000);
    if (!code || !occurrence) return false;
    faults.failCommand = text[0];
    faults.failCode = static_cast<int>(*code);
    faults.failOccurrence = static_cast<int>(*occurrence);
    return true;
}

MemoryImage programmedBytes(const std::vector<std::uint8_t>& flash) {
    MemoryImage image;
    for (std::uint32_t i = 0; i < flash.size(); ++i)
        if (flash[i] != 0xFF) image[i] = flash[i];
    return image;
}

}  // namespace

bool wantsLpcIsp(const std::vector<std::string>& args) {
    return std::find(args.begin(), args.end(), "--lpc-isp") != args.end();
}

void printLpcIspUsage(std::FILE* out) {
    std::fprintf(
        out,
        "\n"
        "Usage: hlx-virtual-monitor --lpc-isp [options]\n"
        "  the NXP LPC ISP boot loader of the monitor's microcontroller (LPC2378 flash, sectors 0-27)\n"
        "  --echo line|char      echo each line after its end (default) or each character as it arrives\n"
        "  --baud N              pace the line at N baud, 8N1 (default: the rate set on the line;\n"
        "                        0: no pacing)\n"
        "  --erase-ms MS         time to erase one sector (default 0)\n"
        "  --copy-us US          time to program 256 bytes (default 0)\n"
        "  --read-zero grave|space  the character read-back data uses for 0 (default grave)\n"
        "  --greeting TEXT       what the started firmware says after \"G\" (default \"HLX firmware "
        "started\")\n"
        "  --flash-out FILE      after every \"G\" write the flash's programmed bytes to FILE as Intel HEX\n"
        "  --link PATH           also reachable as the symbolic link PATH (a stable name to type)\n"
        "Faults:\n"
        "  --no-sync             never answer \"?\"\n"
        "  --resend-at N         answer the N-th checksum line of written data with RESEND\n"
        "  --fail X:CODE[:N]     answer the N-th (default first) command X with return code CODE,\n"
        "                        e.g. C:3 (DST_ADDR_ERROR for the first copy)\n"
        "  --hang-up-at X        close the line when command X arrives (an unplugged cable)\n"
        "  --stuck-byte ADDR     a flash byte that programming leaves unchanged\n"
        "  --garble-read N       send read-back group N once with a wrong checksum\n");
}

int runLpcIspSimulator(const std::vector<std::string>& args) {
    LpcIspConfig config;
    LpcIspFaults faults;
    std::string flashOut;
    std::string linkPath;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (option == "--lpc-isp") continue;
        if (option == "--help" || option == "-h") {
            std::printf("hlx-virtual-monitor --lpc-isp - the NXP LPC ISP boot loader on a pseudo-terminal\n");
            printLpcIspUsage(stdout);
            return 0;
        }
        if (option == "--no-sync") {
            faults.silentToSync = true;
            continue;
        }
        if (i + 1 >= args.size()) return usageError("unknown option or missing value: " + option);
        const std::string& value = args[++i];
        if (option == "--echo") {
            if (value != "line" && value != "char") return usageError("--echo takes line or char");
            config.echo = value == "line" ? IspEcho::Line : IspEcho::Character;
        } else if (option == "--read-zero") {
            if (value != "grave" && value != "space") return usageError("--read-zero takes grave or space");
            config.readZero = value == "grave" ? '`' : ' ';
        } else if (option == "--greeting") {
            config.greeting = value;
        } else if (option == "--flash-out") {
            flashOut = value;
        } else if (option == "--link") {
            linkPath = value;
        } else if (option == "--hang-up-at") {
            if (value.size() != 1) return usageError("--hang-up-at takes a command letter");
            faults.hangUpAt = value[0];
        } else if (option == "--fail") {
            if (!parseFailure(value, faults)) return usageError("--fail takes X:CODE[:N], e.g. C:3");
        } else if (auto n = parseNumber(value, 0, 100000000); !n) {
            return usageError(option + " takes a number, not '" + value + "'");
        } else if (option == "--baud") {
            config.baud = static_cast<int>(*n);
        } else if (option == "--erase-ms") {
            config.eraseTimePerSector = std::chrono::milliseconds(*n);
        } else if (option == "--copy-us") {
            config.copyTimePer256 = std::chrono::microseconds(*n);
        } else if (option == "--stuck-byte") {
            faults.stuckAddress = *n;
        } else if (option == "--garble-read") {
            faults.garbleReadGroup = static_cast<int>(*n);
        } else if (option == "--resend-at") {
            faults.resendAtChecksum = static_cast<int>(*n);
        } else {
            return usageError("unknown option " + option);
        }
    }
    config.onEvent = [](const std::string& text) {
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
    };

    // Taken by sigwait below; blocked before the simulation's thread starts, so that thread never sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    try {
        LpcIspSim sim(config);
        sim.setFaults(faults);
        if (!linkPath.empty()) {
            publishLink(linkPath, sim.slavePath());
            std::printf("boot loader's port %s linked as %s\n", sim.slavePath().c_str(), linkPath.c_str());
        }
        std::printf("LPC ISP boot loader on %s - type this into COM-Nr\n",
                    (linkPath.empty() ? sim.slavePath() : linkPath).c_str());
        std::fflush(stdout);
        std::atomic<bool> stopping{false};
        std::thread writer;
        if (!flashOut.empty()) {
            // Writes the flash after every start of the user code, until the program ends.
            writer = std::thread([&sim, &stopping, flashOut] {
                for (int seen = 1; !stopping;) {
                    if (!sim.waitForGo(seen, std::chrono::milliseconds(250))) continue;
                    ++seen;
                    const MemoryImage image = programmedBytes(sim.flash());
                    if (writeImageFile(flashOut, image))
                        std::printf("flash (%zu programmed bytes) written to %s\n", image.size(),
                                    flashOut.c_str());
                    else
                        std::fprintf(stderr, "hlx-virtual-monitor: cannot write %s: %s\n", flashOut.c_str(),
                                     std::strerror(errno));
                    std::fflush(stdout);
                }
            });
        }
        int signal = 0;
        sigwait(&stopSignals, &signal);
        std::printf("%s: stopping\n", signal == SIGINT ? "SIGINT" : "SIGTERM");
        stopping = true;
        if (writer.joinable()) writer.join();
        if (!linkPath.empty()) removeLink(linkPath, sim.slavePath());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "hlx-virtual-monitor: %s\n", e.what());
        return 1;
    }
    return 0;
}

}  // namespace hlx::tools
