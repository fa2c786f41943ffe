// hlx-virtual-monitor: a simulated HLX monitor on a pseudo-terminal, or with --lpc-isp the boot loader of
// its microcontroller. Start it, type the device path it prints into COM-Nr (or pass it to `hlx flash ...
// --port`), and run a firmware download or use the terminal against it. Runs until Ctrl-C, SIGTERM or
// SIGHUP.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <CLI/CLI.hpp>

#include "base/stop_signals.h"
#include "tools/lpc_isp_program.h"
#include "tools/simulator_program.h"
#include "tools/virtual_monitor.h"

namespace {

using namespace hlx::tools;

struct MonitorOptions {
    MonitorConfig config;
    MonitorFaults faults;
    std::string imageOut;     // empty: the received memory is not written
    std::string receivedOut;  // empty: the received lines or frames are not written
    bool answerEmptyLines = false;
};

// Adds the monitor's options to app (in groups of their own); they fill options. Returns them all, so
// that they can be refused together with --lpc-isp.
std::vector<CLI::Option*> addMonitorOptions(CLI::App& app, MonitorOptions& options) {
    MonitorConfig& config = options.config;
    MonitorFaults& faults = options.faults;
    using std::chrono::milliseconds;
    std::vector<CLI::Option*> o;
    auto number = [&](const std::string& name, const std::string& typeName, auto set, const std::string& what,
                      const std::string& group) {
        CLI::Option* option = app.add_option_function<long>(name, set, what)
                                  ->type_name(typeName)
                                  ->check(numberCheck())
                                  ->group(group);
        o.push_back(option);
        return option;
    };

    const std::string monitor = "Monitor";
    o.push_back(app.add_option("--reply", config.replyLine,
                               fmt::format("answer to each binary record and unknown command (default {})",
                                           config.replyLine))
                    ->type_name("TEXT")
                    ->group(monitor));
    o.push_back(app.add_option("--say", config.periodicText,
                               "send TEXT (with CR LF) every MS milliseconds (--every MS)")
                    ->type_name("TEXT")
                    ->group(monitor));
    number(
        "--every", "MS", [&config](long v) { config.period = milliseconds(v); },
        "the period of --say in milliseconds", monitor);
    o.push_back(app.add_option("--image-out", options.imageOut,
                               "after every completed download write the received memory to FILE as Intel "
                               "HEX (16-byte data records, a type 4 record per 64 KiB page)")
                    ->type_name("FILE")
                    ->group(monitor));
    number(
        "--xoff-every", "K", [&config](long v) { config.xoffEvery = static_cast<int>(v); },
        fmt::format("HEX line download: XOFF after every K lines (default {}, 0: never)", config.xoffEvery),
        monitor);
    number(
        "--xoff-ms", "W", [&config](long v) { config.xoffPause = milliseconds(v); },
        fmt::format("... and XON W ms later (default {})", config.xoffPause.count()), monitor);
    number(
        "--inactivity-ms", "T", [&config](long v) { config.inactivity = milliseconds(v); },
        fmt::format("a download without a byte for T ms is abandoned (default {})",
                    config.inactivity.count()),
        monitor);
    o.push_back(app.add_flag("--restart-after-download", config.restartAfterDownload,
                             "after each download's closing lines restart, as a monitor whose USB service "
                             "port leaves the bus: the pseudo-terminal closes and a new one appears (use "
                             "--link for a path that stays the same)")
                    ->group(monitor));
    number(
        "--restart-ms", "MS", [&config](long v) { config.restartTime = milliseconds(v); },
        fmt::format("... off the bus for MS milliseconds (default {})", config.restartTime.count()), monitor);
    o.push_back(app.add_option("--restart-command", config.restartCommand,
                               "a command line that restarts the monitor the same way (e.g. \"Reset!\")")
                    ->type_name("TEXT")
                    ->group(monitor));
    o.push_back(app.add_option("--boot-line", config.bootLines,
                               "a line the monitor sends when it is back on the bus (may be repeated)")
                    ->type_name("TEXT")
                    ->allow_extra_args(false)
                    ->group(monitor));

    const std::string receiving = "Receiving files and the terminal's text";
    o.push_back(app.add_flag("--frames", config.fileFrames,
                             "take the file sender's binary frames instead of command lines")
                    ->group(receiving));
    o.push_back(app.add_flag("--ignore-empty-lines", config.ignoreEmptyLines,
                             "leave empty lines unanswered (by default every line is answered)")
                    ->group(receiving));
    // Refused after parsing with a message of its own: empty lines used to go unanswered by default.
    o.push_back(app.add_flag("--answer-empty-lines", options.answerEmptyLines)->group(""));
    o.push_back(app.add_option("--received-out", options.receivedOut,
                               "write every byte of the lines (or frames' contents) received to FILE")
                    ->type_name("FILE")
                    ->group(receiving));

    const std::string faultGroup = "Faults (records count from 1 in each download)";
    number(
        "--fault-error-at", "N", [&faults](long v) { faults.errorAt = static_cast<int>(v); },
        fmt::format("answer record N with an error byte (default 0x{:02X} ERR_WRONGCRC)", faults.errorByte),
        faultGroup);
    o.push_back(app.add_option_function<long>(
                       "--error-byte", [&faults](long v) { faults.errorByte = static_cast<std::uint8_t>(v); },
                       "the error byte to use, e.g. 0xFD")
                    ->type_name("B")
                    ->check(numberCheck(0, 0xFF, "takes a byte, e.g. 0xFA"))
                    ->group(faultGroup));
    number(
        "--fault-silent-at", "N", [&faults](long v) { faults.silentAt = static_cast<int>(v); },
        "send nothing from record N on", faultGroup);
    number(
        "--delay-ms", "D", [&faults](long v) { faults.delay = milliseconds(v); },
        "delay the reply to every record by D ms ...", faultGroup);
    number(
        "--delay-at", "N", [&faults](long v) { faults.delayAt = static_cast<int>(v); },
        "... or only the reply to record N", faultGroup);
    number(
        "--xoff-hold-at", "N", [&faults](long v) { faults.xoffHoldAt = static_cast<int>(v); },
        "after record N send XOFF and never XON", faultGroup);
    number(
        "--fault-closing-error-ms", "D", [&faults](long v) { faults.closingErrorAfter = milliseconds(v); },
        "send the error byte D ms after a download's closing lines (its flash write failed)", faultGroup);
    number(
        "--fault-line-error-at", "N", [&faults](long v) { faults.lineErrorAt = static_cast<int>(v); },
        "answer received line or frame N with the error byte", faultGroup);
    number(
        "--fault-line-silent-at", "N", [&faults](long v) { faults.lineSilentAt = static_cast<int>(v); },
        "answer no received line or frame from N on", faultGroup);
    return o;
}

// Runs the simulated monitor until a stop signal; returns the program's exit status.
int runMonitor(MonitorOptions options, hlx::base::StopSignals& signals) {
    MonitorConfig& config = options.config;
    config.onEvent = [](const std::string& text) {
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
    };
    if (!options.imageOut.empty()) {
        config.onDownloadEnd = [imageOut = options.imageOut](const MemoryImage& image) {
            if (writeImageFile(imageOut, image))
                std::printf("memory image (%zu bytes) written to %s\n", image.size(), imageOut.c_str());
            else
                std::fprintf(stderr, "hlx-virtual-monitor: cannot write %s: %s\n", imageOut.c_str(),
                             std::strerror(errno));
            std::fflush(stdout);
        };
    }
    // Closed after the monitor, whose thread writes into it.
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> receivedFile(nullptr, std::fclose);
    if (!options.receivedOut.empty()) {
        receivedFile.reset(std::fopen(options.receivedOut.c_str(), "wb"));
        if (!receivedFile) {
            std::fprintf(stderr, "hlx-virtual-monitor: cannot write %s: %s\n", options.receivedOut.c_str(),
                         std::strerror(errno));
            return 1;
        }
        config.onReceived = [file = receivedFile.get()](const std::string& bytes) {
            std::fwrite(bytes.data(), 1, bytes.size(), file);
            std::fflush(file);
        };
    }
    try {
        VirtualMonitor monitor(config);
        monitor.setFaults(options.faults);
        if (!config.linkPath.empty())
            std::printf("service port %s linked as %s\n", monitor.slavePath().c_str(),
                        config.linkPath.c_str());
        std::printf("Virtual monitor on %s - type this into COM-Nr\n", monitor.path().c_str());
        std::fflush(stdout);
        waitForStopSignal(signals);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "hlx-virtual-monitor: %s\n", e.what());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app(
        "A simulated HLX monitor on a pseudo-terminal; with --lpc-isp the NXP LPC ISP boot loader of "
        "its microcontroller. It prints the device path to type into COM-Nr and runs until Ctrl-C, "
        "SIGTERM or SIGHUP.");
    setUpCommandLine(app);
    std::string linkPath;
    app.add_option("--link", linkPath, "also reachable as the symbolic link PATH (a stable name to type)")
        ->type_name("PATH");
    MonitorOptions monitor;
    const std::vector<CLI::Option*> monitorOnly = addMonitorOptions(app, monitor);
    LpcIspOptions bootLoader;
    const LpcIspOptionSet lpc = addLpcIspOptions(app, bootLoader);
    if (const auto exit = parseCommandLine(app, argc, argv)) return *exit;

    if (lpc.lpcIsp->count() > 0) {
        if (const auto refused = refuseGiven(monitorOnly, "is not an option of the boot loader (--lpc-isp)"))
            return *refused;
    } else {
        if (const auto refused = refuseGiven(lpc.options, "needs --lpc-isp")) return *refused;
        if (monitor.answerEmptyLines)
            return usageError(
                "empty lines are answered by default now; --ignore-empty-lines leaves them unanswered");
        if (!monitor.config.periodicText.empty() && monitor.config.period.count() == 0)
            return usageError("--say needs --every MS");
    }

    // Blocked before the simulator's thread starts, so that thread inherits the mask and never sees them.
    hlx::base::StopSignals signals;
    if (lpc.lpcIsp->count() > 0) return runLpcIspSimulator(bootLoader, linkPath, signals);
    monitor.config.linkPath = linkPath;
    return runMonitor(std::move(monitor), signals);
}
