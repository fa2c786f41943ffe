// hlx-virtual-monitor: a simulated HLX monitor on a pseudo-terminal. Start it, type the device path it
// prints into COM-Nr (or pass it to `hlx flash ... --port`), and run a firmware download or use the
// terminal against it. Runs until Ctrl-C or SIGTERM.

#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "tools/lpc_isp_main.h"
#include "tools/virtual_monitor.h"

namespace {

using namespace hlx::tools;

void printUsage(std::FILE* out) {
    std::fprintf(
        out,
        "hlx-virtual-monitor - a simulated HLX monitor on a pseudo-terminal\n"
        "\n"
        "Usage: hlx-virtual-monitor [options]\n"
        "  --reply TEXT          answer to each binary record and unknown command (default OK)\n"
        "  --say TEXT --every MS send TEXT (with CR LF) every MS milliseconds\n"
        "  --image-out FILE      after every completed download write the received memory to FILE\n"
        "                        as Intel HEX (16-byte data records, a type 4 record per 64 KiB page)\n"
        "  --xoff-every K        HEX line download: XOFF after every K lines (default 16, 0: never)\n"
        "  --xoff-ms W           ... and XON W ms later (default 30)\n"
        "  --inactivity-ms T     a download without a byte for T ms is abandoned (default 3000)\n"
        "  --link PATH           also reachable as the symbolic link PATH (a stable name to type)\n"
        "  --restart-after-download  after each download's closing lines restart, as a monitor whose\n"
        "                        USB service port leaves the bus: the pseudo-terminal closes and a new\n"
        "                        one appears (use --link for a path that stays the same)\n"
        "  --restart-ms MS       ... off the bus for MS milliseconds (default 1000)\n"
        "Receiving files and the terminal's text:\n"
        "  --frames              take the file sender's binary frames instead of command lines\n"
        "  --ignore-empty-lines  leave empty lines unanswered (by default every line is answered)\n"
        "  --received-out FILE   write every byte of the lines (or frames' contents) received to FILE\n"
        "Faults (records count from 1 in each download):\n"
        "  --fault-error-at N    answer record N with an error byte (default 0xFA ERR_WRONGCRC)\n"
        "  --error-byte B        the error byte to use, e.g. 0xFD\n"
        "  --fault-silent-at N   send nothing from record N on\n"
        "  --delay-ms D          delay the reply to every record by D ms ...\n"
        "  --delay-at N          ... or only the reply to record N\n"
        "  --xoff-hold-at N      after record N send XOFF and never XON\n"
        "  --fault-line-error-at N   answer received line or frame N with the error byte\n"
        "  --fault-line-silent-at N  answer no received line or frame from N on\n");
    hlx::tools::printLpcIspUsage(out);
}

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

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (wantsLpcIsp(args)) return runLpcIspSimulator(args);
    MonitorConfig config;
    MonitorFaults faults;
    std::string imageOut;
    std::string receivedOut;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (option == "--help" || option == "-h") {
            printUsage(stdout);
            return 0;
        }
        if (option == "--frames" || option == "--ignore-empty-lines" ||
            option == "--restart-after-download") {
            (option == "--frames"               ? config.fileFrames
             : option == "--ignore-empty-lines" ? config.ignoreEmptyLines
                                                : config.restartAfterDownload) = true;
            continue;
        }
        if (option == "--answer-empty-lines")
            return usageError(
                "empty lines are answered by default now; --ignore-empty-lines leaves them unanswered");
        if (i + 1 >= args.size()) return usageError("unknown option or missing value: " + option);
        const std::string& value = args[++i];
        auto number = [&](long minimum, long maximum) { return parseNumber(value, minimum, maximum); };
        if (option == "--reply") {
            config.replyLine = value;
        } else if (option == "--say") {
            config.periodicText = value;
        } else if (option == "--image-out") {
            imageOut = value;
        } else if (option == "--received-out") {
            receivedOut = value;
        } else if (option == "--link") {
            config.linkPath = value;
        } else if (auto n = number(0, 100000000); !n) {
            return usageError(option + " takes a number, not '" + value + "'");
        } else if (option == "--every") {
            config.period = std::chrono::milliseconds(*n);
        } else if (option == "--xoff-every") {
            config.xoffEvery = static_cast<int>(*n);
        } else if (option == "--xoff-ms") {
            config.xoffPause = std::chrono::milliseconds(*n);
        } else if (option == "--inactivity-ms") {
            config.inactivity = std::chrono::milliseconds(*n);
        } else if (option == "--restart-ms") {
            config.restartTime = std::chrono::milliseconds(*n);
        } else if (option == "--fault-error-at") {
            faults.errorAt = static_cast<int>(*n);
        } else if (option == "--error-byte") {
            if (*n > 0xFF) return usageError("--error-byte takes a byte, e.g. 0xFA");
            faults.errorByte = static_cast<std::uint8_t>(*n);
        } else if (option == "--fault-silent-at") {
            faults.silentAt = static_cast<int>(*n);
        } else if (option == "--delay-ms") {
            faults.delay = std::chrono::milliseconds(*n);
        } else if (option == "--delay-at") {
            faults.delayAt = static_cast<int>(*n);
        } else if (option == "--xoff-hold-at") {
            faults.xoffHoldAt = static_cast<int>(*n);
        } else if (option == "--fault-line-error-at") {
            faults.lineErrorAt = static_cast<int>(*n);
        } else if (option == "--fault-line-silent-at") {
            faults.lineSilentAt = static_cast<int>(*n);
        } else {
            return usageError("unknown option " + option);
        }
    }
    if (!config.periodicText.empty() && config.period.count() == 0)
        return usageError("--say needs --every MS");

    config.onEvent = [](const std::string& text) {
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
    };
    if (!imageOut.empty()) {
        config.onDownloadEnd = [imageOut](const MemoryImage& image) {
            if (writeImageFile(imageOut, image))
                std::printf("memory image (%zu bytes) written to %s\n", image.size(), imageOut.c_str());
            else
                std::fprintf(stderr, "hlx-virtual-monitor: cannot write %s: %s\n", imageOut.c_str(),
                             std::strerror(errno));
            std::fflush(stdout);
        };
    }

    std::FILE* receivedFile = nullptr;
    if (!receivedOut.empty()) {
        receivedFile = std::fopen(receivedOut.c_str(), "wb");
        if (!receivedFile) {
            std::fprintf(stderr, "hlx-virtual-monitor: cannot write %s: %s\n", receivedOut.c_str(),
                         std::strerror(errno));
            return 1;
        }
        config.onReceived = [receivedFile](const std::string& bytes) {
            std::fwrite(bytes.data(), 1, bytes.size(), receivedFile);
            std::fflush(receivedFile);
        };
    }

    // The signals are taken by sigwait below; blocked before the monitor's thread starts, so that thread
    // inherits the mask and never sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    try {
        VirtualMonitor monitor(config);
        monitor.setFaults(faults);
        if (!config.linkPath.empty())
            std::printf("service port %s linked as %s\n", monitor.slavePath().c_str(),
                        config.linkPath.c_str());
        std::printf("Virtual monitor on %s - type this into COM-Nr\n", monitor.path().c_str());
        std::fflush(stdout);
        int signal = 0;
        sigwait(&stopSignals, &signal);
        std::printf("%s: stopping\n", signal == SIGINT ? "SIGINT" : "SIGTERM");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "hlx-virtual-monitor: %s\n", e.what());
        if (receivedFile) std::fclose(receivedFile);
        return 1;
    }
    if (receivedFile) std::fclose(receivedFile);  // the monitor's thread has ended with the monitor
    return 0;
}
