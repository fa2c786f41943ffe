#include "tools/lpc_isp_program.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <thread>

#include <fmt/format.h>

#include "tools/monitor_image.h"
#include "tools/simulated_line.h"
#include "tools/simulator_program.h"

namespace hlx::tools {
namespace {

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

// A check for an option's value: one of two words.
CLI::Validator choiceCheck(std::string first, std::string second) {
    return CLI::Validator(
        [first, second](std::string& value) {
            return value == first || value == second ? std::string() : "takes " + first + " or " + second;
        },
        "");
}

MemoryImage programmedBytes(const std::vector<std::uint8_t>& flash) {
    MemoryImage image;
    for (std::uint32_t i = 0; i < flash.size(); ++i)
        if (flash[i] != 0xFF) image[i] = flash[i];
    return image;
}

}  // namespace

LpcIspOptionSet addLpcIspOptions(CLI::App& app, LpcIspOptions& options) {
    LpcIspConfig& config = options.config;
    LpcIspFaults& faults = options.faults;
    LpcIspOptionSet set;
    set.lpcIsp = app.add_flag("--lpc-isp")
                     ->description(
                         "play the NXP LPC ISP boot loader of the monitor's microcontroller (LPC2378 flash, "
                         "sectors 0-27) "
                         "instead of the monitor");
    const std::string boot = "Boot loader (with --lpc-isp)";
    const std::string bootFaults = "Boot loader faults (with --lpc-isp)";
    auto& o = set.options;
    o.push_back(app.add_option_function<std::string>(
                       "--echo",
                       [&config](const std::string& v) {
                           config.echo = v == "line" ? IspEcho::Line : IspEcho::Character;
                       },
                       "echo each line after its end (default) or each character as it arrives")
                    ->type_name("line|char")
                    ->check(choiceCheck("line", "char"))
                    ->group(boot));
    o.push_back(app.add_option_function<long>(
                       "--baud", [&config](long v) { config.baud = static_cast<int>(v); },
                       "pace the line at N baud, 8N1 (default: the rate set on the line; 0: no pacing)")
                    ->type_name("N")
                    ->check(numberCheck())
                    ->group(boot));
    o.push_back(app.add_option_function<long>(
                       "--erase-ms",
                       [&config](long v) { config.eraseTimePerSector = std::chrono::milliseconds(v); },
                       "time to erase one sector (default 0)")
                    ->type_name("MS")
                    ->check(numberCheck())
                    ->group(boot));
    o.push_back(app.add_option_function<long>(
                       "--copy-us",
                       [&config](long v) { config.copyTimePer256 = std::chrono::microseconds(v); },
                       "time to program 256 bytes (default 0)")
                    ->type_name("US")
                    ->check(numberCheck())
                    ->group(boot));
    o.push_back(app.add_option_function<long>(
                       "--answer-delay-ms",
                       [&config](long v) { config.answerDelay = std::chrono::milliseconds(v); },
                       "send every answer this much later (a slow boot loader; default 0)")
                    ->type_name("MS")
                    ->check(numberCheck())
                    ->group(boot));
    o.push_back(app.add_option_function<long>(
                       "--part-id", [&config](long v) { config.partId = static_cast<std::uint32_t>(v); },
                       "the part id \"J\" answers (default 0x1700FD25, an LPC2378; decimal or 0x...)")
                    ->type_name("ID")
                    ->check(numberCheck(0, 0xFFFFFFFFL, "takes a 32-bit part id"))
                    ->group(boot));
    o.push_back(app.add_option_function<long>(
                       "--crp", [&config](long v) { config.crp = static_cast<int>(v); },
                       "code read protection level 1-3: \"R\" answers CODE_READ_PROTECTION_ENABLED")
                    ->type_name("LEVEL")
                    ->check(numberCheck(0, 3, "takes 0 to 3"))
                    ->group(boot));
    o.push_back(app.add_option_function<std::string>(
                       "--read-zero",
                       [&config](const std::string& v) { config.readZero = v == "grave" ? '`' : ' '; },
                       "the character read-back data uses for 0 (default grave)")
                    ->type_name("grave|space")
                    ->check(choiceCheck("grave", "space"))
                    ->group(boot));
    o.push_back(app.add_option("--greeting", config.greeting,
                               fmt::format("what the started firmware says after \"G\" (default \"{}\")",
                                           config.greeting))
                    ->type_name("TEXT")
                    ->group(boot));
    o.push_back(app.add_option("--flash-out", options.flashOut,
                               "after every \"G\" write the flash's programmed bytes to FILE as Intel HEX")
                    ->type_name("FILE")
                    ->group(boot));

    o.push_back(app.add_flag("--no-sync", faults.silentToSync, "never answer \"?\"")->group(bootFaults));
    o.push_back(app.add_option_function<long>(
                       "--miss-sync", [&faults](long v) { faults.missedSyncs = static_cast<int>(v); },
                       "leave the first N \"?\" unanswered")
                    ->type_name("N")
                    ->check(numberCheck())
                    ->group(bootFaults));
    o.push_back(app.add_option_function<long>(
                       "--resend-at", [&faults](long v) { faults.resendAtChecksum = static_cast<int>(v); },
                       "answer the N-th checksum line of written data with RESEND")
                    ->type_name("N")
                    ->check(numberCheck())
                    ->group(bootFaults));
    o.push_back(app.add_option_function<std::string>(
                       "--fail", [&faults](const std::string& v) { parseFailure(v, faults); },
                       "answer the N-th (default first) command X with return code CODE, e.g. C:3 "
                       "(DST_ADDR_ERROR for the first copy)")
                    ->type_name("X:CODE[:N]")
                    ->check(CLI::Validator(
                        [](std::string& value) {
                            LpcIspFaults parsed;
                            return parseFailure(value, parsed) ? std::string() : "takes X:CODE[:N], e.g. C:3";
                        },
                        ""))
                    ->group(bootFaults));
    o.push_back(app.add_option_function<std::string>(
                       "--hang-up-at", [&faults](const std::string& v) { faults.hangUpAt = v[0]; },
                       "close the line when command X arrives (an unplugged cable)")
                    ->type_name("X")
                    ->check(CLI::Validator(
                        [](std::string& value) {
                            return value.size() == 1 ? std::string() : "takes a command letter";
                        },
                        ""))
                    ->group(bootFaults));
    o.push_back(app.add_option_function<long>(
                       "--hang-up-after", [&faults](long v) { faults.hangUpAfter = v; },
                       "close the line once N bytes have arrived (a cable pulled in the middle of a job)")
                    ->type_name("N")
                    ->check(numberCheck())
                    ->group(bootFaults));
    o.push_back(app.add_option_function<long>(
                       "--stuck-byte", [&faults](long v) { faults.stuckAddress = v; },
                       "a flash byte that programming leaves unchanged")
                    ->type_name("ADDR")
                    ->check(numberCheck())
                    ->group(bootFaults));
    o.push_back(app.add_option_function<long>(
                       "--garble-read", [&faults](long v) { faults.garbleReadGroup = static_cast<int>(v); },
                       "send read-back group N once with a wrong checksum")
                    ->type_name("N")
                    ->check(numberCheck())
                    ->group(bootFaults));
    return set;
}

int runLpcIspSimulator(LpcIspOptions options, const std::string& linkPath, base::StopSignals& signals) {
    options.config.onEvent = [](const std::string& text) {
        std::printf("%s\n", text.c_str());
        std::fflush(stdout);
    };
    try {
        LpcIspSim sim(options.config);
        sim.setFaults(options.faults);
        if (!linkPath.empty()) {
            publishLink(linkPath, sim.slavePath());
            std::printf("boot loader's port %s linked as %s\n", sim.slavePath().c_str(), linkPath.c_str());
        }
        std::printf("LPC ISP boot loader on %s - type this into COM-Nr\n",
                    (linkPath.empty() ? sim.slavePath() : linkPath).c_str());
        std::fflush(stdout);
        std::jthread writer;  // stopped and joined before the simulation ends, also on an exception
        if (const std::string flashOut = options.flashOut; !flashOut.empty()) {
            // Writes the flash after every start of the user code, until the program ends.
            writer = std::jthread([&sim, flashOut](std::stop_token stop) {
                for (int seen = 1; !stop.stop_requested();) {
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
        waitForStopSignal(signals);
        writer.request_stop();
        if (writer.joinable()) writer.join();
        if (!linkPath.empty()) removeLink(linkPath, sim.slavePath());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "hlx-virtual-monitor: %s\n", e.what());
        return 1;
    }
    return 0;
}

}  // namespace hlx::tools
