#include "cli/command_command.h"

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "base/console.h"
#include "base/stop_signals.h"
#include "base/text_codec.h"
#include "cli/command_line.h"
#include "cli/terminal_console.h"
#include "cli/terminal_line.h"
#include "serial/port_name.h"
#include "terminal/terminal_io.h"

namespace hlx::cli {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

struct CommandOptions {
    std::string text;
    std::string port;
    int settings = 0;
    int quietMs = static_cast<int>(kDefaultQuiet.count());
    int timeoutMs = 2000;
};

int stopped(int signal) {
    (void)base::writeText(stderr, "hlx: stopped by " + base::StopSignals::name(signal) + "\n");
    return 128 + signal;
}

int failed(const std::string& reason) {
    (void)base::writeText(stderr, "hlx: " + reason + "\n");
    return kExitFailed;
}

int runCommand(const CommandOptions& options) {
    if (!terminal::isMonitorCommand(base::to8Bit(options.text)))
        return reportUnusable(
            "\"" + options.text +
            "\" is no command for the monitor: a command holds \"=\", \"!\", \"?\" or \"_\"");
    base::StopSignals signals;
    const std::unique_ptr<TerminalConsole> console = makeTerminalConsole(signals, false);
    TerminalLine line(serial::portDevicePath(base::to8Bit(options.port)), options.settings);
    if (!line.open()) return failed(line.reason());

    // What the monitor sent before the command is no answer to it.
    std::string raw;
    while (serial::readNow(line.link(), raw) > 0) raw.clear();
    raw.clear();

    const std::optional<serial::SendOutcome> sent = terminal::sendTypedLine(line.link(), options.text);
    if (!sent || *sent != serial::SendOutcome::Sent) {
        const std::string_view why = sent ? terminal::notSentLine(*sent) : std::string_view("not sent");
        if (line.lost()) return failed(line.reason());
        return failed(std::string(why));
    }

    const auto sentAt = Clock::now();
    std::optional<Clock::time_point> lastByte;
    bool pendingCr = false;
    bool endsLine = true;
    bool cut = false;  // stdout was closed or could not be written
    for (;;) {
        const auto now = Clock::now();
        const auto due =
            lastByte ? *lastByte + milliseconds(options.quietMs) : sentAt + milliseconds(options.timeoutMs);
        if (now >= due) break;
        if (!line.isOpen()) break;  // gone
        const ConsoleEvents events = console->wait(&line, nullptr, false, due);
        if (events.signal != 0) return stopped(events.signal);
        if (!events.port) continue;
        raw.clear();
        if (serial::readNow(line.link(), raw) > 0) lastByte = Clock::now();
        if (raw.empty()) continue;
        const std::string text = consoleText(raw, pendingCr);
        if (text.empty()) continue;
        endsLine = text.back() == '\n';
        if (!cut && !console->write(text)) {
            if (const int signal = console->takeSignal(); signal != 0) return stopped(signal);
            cut = true;  // the reader has gone: the answer is still read to its end
        }
    }
    if (lastByte && !endsLine && !cut && !console->write("\n")) {
        if (const int signal = console->takeSignal(); signal != 0) return stopped(signal);
        cut = true;
    }
    // A closed stdout changes nothing but this line: the exit status is the command's own.
    if (cut) (void)base::writeText(stderr, "hlx: " + outputCutLine("the command") + "\n");
    if (lastByte) return kExitOk;
    if (line.lost()) return failed(line.reason());
    return failed("no answer from the monitor within " + std::to_string(options.timeoutMs) + " ms");
}

}  // namespace

void addCommandCommand(CommandLine& commands) {
    auto options = std::make_shared<CommandOptions>();
    CLI::App& command =
        commands.add("command", "send one line as the terminal sends it and print the monitor's answer",
                     [options] { return runCommand(*options); });
    command.add_option("TEXT", options->text, "the line, a command for the monitor (with = ! ? or _)")
        ->required()
        ->type_name("");
    addPortOption(command, options->port);
    addSettingsOption(command, options->settings);
    command
        .add_option("--quiet-ms", options->quietMs,
                    "the answer has ended once the monitor was quiet this long")
        ->check(CLI::Range(1, 600000))
        ->type_name("MS")
        ->capture_default_str();
    command
        .add_option("--timeout-ms", options->timeoutMs, "no answer within this long after sending: exit 1")
        ->check(CLI::Range(1, 600000))
        ->type_name("MS")
        ->capture_default_str();
}

}  // namespace hlx::cli
