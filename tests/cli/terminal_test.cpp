// hlx command and hlx terminal against hlx-virtual-monitor, both run as a technician runs them: the
// one-line command of a production-line script (answer, silence, a line that is no command, a port that
// is not there), the terminal on a pseudo-terminal of its own (keys in, screen out, Ctrl-]), its log, and
// a monitor that leaves the bus and comes back under the same link.

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/simulator_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/terminal_child.h"

namespace hlx {
namespace {

using namespace std::chrono_literals;

constexpr char kLeave[] = "\x1d";  // Ctrl-]

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

int occurrences(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size()))
        ++n;
    return n;
}

class TerminalCommandsTest : public ::testing::Test {
protected:
    // Starts hlx-virtual-monitor reachable as a link in the test's folder; returns the link.
    std::string startMonitor(std::vector<std::string> options) {
        const std::string link = dir.file("monitor");
        options.insert(options.end(), {"--link", link});
        monitor = std::make_unique<test::SimulatorProcess>(HLX_VIRTUAL_MONITOR_PATH, options);
        EXPECT_EQ(link, monitor->path()) << monitor->printed();
        return link;
    }
    // A shell command line (for stdin from a file), stdout and stderr together.
    static test::ChildRun shell(const std::string& commandLine) {
        return test::ChildProcess("/bin/sh", {"-c", commandLine}, {.mergeErr = true}).finish();
    }
    test::ChildRun hlx(const std::vector<std::string>& arguments) {
        test::ChildProcess child(HLX_CLI_PATH, arguments);
        return child.finish();
    }

    test::TempDir dir;
    std::unique_ptr<test::SimulatorProcess> monitor;
};

struct CommandCase {
    const char* name;
    std::vector<std::string> monitorOptions;
    std::string text;
    std::vector<std::string> extra;
    int exitCode;
    std::string out;      // stdout exactly
    std::string errPart;  // part of stderr ("" : stderr empty)
};

class HlxCommand : public TerminalCommandsTest, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(HlxCommand, SendsOneLineAndPrintsTheAnswer) {
    const CommandCase& c = GetParam();
    const std::string port = startMonitor(c.monitorOptions);
    std::vector<std::string> arguments{"command", c.text, "--port", port};
    arguments.insert(arguments.end(), c.extra.begin(), c.extra.end());
    const test::ChildRun run = hlx(arguments);
    EXPECT_EQ(c.exitCode, run.exitCode) << run.out << run.err;
    EXPECT_EQ(c.out, run.out);
    if (c.errPart.empty())
        EXPECT_EQ("", run.err);
    else
        EXPECT_TRUE(contains(run.err, c.errPart)) << run.err;
    // What reached the monitor: the line with CR LF, or nothing.
    if (c.exitCode != 2) {
        EXPECT_TRUE(monitor->waitFor("command: " + c.text)) << monitor->printed();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HlxCommand,
    ::testing::Values(CommandCase{"AnAnswerIsPrintedWithExit0", {}, "Version?", {}, 0, "OK\n", ""},
                      CommandCase{"AnAnswerOfSeveralLinesIsPrintedWhole",
                                  {"--reply", "Zeile 1\r\nZeile 2"},
                                  "Info?",
                                  {},
                                  0,
                                  "Zeile 1\nZeile 2\n",
                                  ""},
                      CommandCase{"SilenceIsExit1WithTheReason",
                                  {"--fault-line-silent-at", "1"},
                                  "Version?",
                                  {"--timeout-ms", "300"},
                                  1,
                                  "",
                                  "no answer from the monitor within 300 ms"},
                      CommandCase{"ALineWithoutACommandCharacterIsRefused",
                                  {},
                                  "Version",
                                  {},
                                  2,
                                  "",
                                  "no command for the monitor"}),
    [](const ::testing::TestParamInfo<CommandCase>& info) { return std::string(info.param.name); });

TEST_F(TerminalCommandsTest, CommandOnAPortThatIsNotThereIsExit1WithTheReason) {
    const test::ChildRun run = hlx({"command", "Version?", "--port", dir.file("no-such-port")});
    EXPECT_EQ(1, run.exitCode);
    EXPECT_TRUE(contains(run.err, dir.file("no-such-port"))) << run.err;
    EXPECT_TRUE(contains(run.err, "No such file or directory")) << run.err;
}

// The terminal on a terminal: the first line names the way out, typed lines are echoed and sent by the
// window's rule, what the monitor sends shows, Ctrl-] leaves with exit 0 and the terminal is as it was.
TEST_F(TerminalCommandsTest, TerminalSendsTypedCommandsAndLeavesWithCtrlBracket) {
    const std::string port = startMonitor({});
    test::TerminalChild terminal(HLX_CLI_PATH, {"terminal", "--port", port});
    ASSERT_TRUE(terminal.waitFor("Ctrl-] leaves")) << terminal.screen();
    terminal.type("Version?\r");
    EXPECT_TRUE(terminal.waitFor("Version?")) << "echoed: " << terminal.screen();
    EXPECT_TRUE(terminal.waitFor("OK")) << terminal.screen();
    terminal.type("hello\r");
    EXPECT_TRUE(terminal.waitFor("not sent")) << terminal.screen();
    terminal.type("Sx\x7f=1\r");  // Backspace takes the x back
    EXPECT_TRUE(terminal.waitFor("OK")) << terminal.screen();
    EXPECT_TRUE(monitor->waitFor("command: S=1\n")) << monitor->printed();
    EXPECT_FALSE(contains(monitor->printed(), "hello")) << "a line without a command character is not sent";
    terminal.type(kLeave);
    EXPECT_EQ(0, terminal.finish());
    const termios after = terminal.settings();
    EXPECT_EQ(terminal.cookedSettings().c_lflag, after.c_lflag) << "raw mode is undone";
    EXPECT_EQ(terminal.cookedSettings().c_iflag, after.c_iflag);
}

TEST_F(TerminalCommandsTest, TerminalUndoesRawModeOnAStopSignal) {
    const std::string port = startMonitor({});
    test::TerminalChild terminal(HLX_CLI_PATH, {"terminal", "--port", port});
    ASSERT_TRUE(terminal.waitFor("Ctrl-] leaves")) << terminal.screen();
    terminal.type("\x03");  // Ctrl-C, as SIGINT
    EXPECT_EQ(130, terminal.finish());
    EXPECT_EQ(terminal.cookedSettings().c_lflag, terminal.settings().c_lflag);
}

// A monitor whose service port leaves the bus on a restart: the terminal says so, waits for the same
// link to come back, goes on with the monitor's boot lines, and keeps all of it in the log.
TEST_F(TerminalCommandsTest, TerminalFindsTheMonitorAgainAfterARestart) {
    const std::string port =
        startMonitor({"--restart-command", "Reset!", "--boot-line", "Boot RTQ 1.3", "--restart-ms", "400"});
    const std::string logPath = dir.file("session.log");
    test::TerminalChild terminal(HLX_CLI_PATH,
                                 {"terminal", "--port", port, "--log", logPath, "--timestamps"});
    ASSERT_TRUE(terminal.waitFor("Ctrl-] leaves")) << terminal.screen();
    terminal.type("Reset!\r");
    EXPECT_TRUE(terminal.waitFor(port + " has gone; waiting for it to come back")) << terminal.screen();
    EXPECT_TRUE(terminal.waitFor(port + " is back")) << terminal.screen();
    EXPECT_TRUE(terminal.waitFor("Boot RTQ 1.3")) << terminal.screen();
    terminal.type("Version?\r");
    EXPECT_TRUE(terminal.waitFor("OK")) << terminal.screen();
    EXPECT_TRUE(monitor->waitFor("command: Version?")) << monitor->printed();
    terminal.type(kLeave);
    EXPECT_EQ(0, terminal.finish());

    const std::string log = test::readFile(logPath);
    const std::string time = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3} )";
    for (const std::string line : {"> Reset!", "< OK", "\\* .* has gone; waiting for it to come back",
                                   "\\* .* is back; the terminal goes on", "< Boot RTQ 1.3", "> Version\\?"})
        EXPECT_TRUE(std::regex_search(log, std::regex("(^|\n)" + time + line + "\n"))) << line << "\n" << log;
}

TEST_F(TerminalCommandsTest, TerminalWithoutReconnectEndsWithExit1WhenThePortGoes) {
    const std::string port = startMonitor({"--restart-command", "Reset!"});
    test::TerminalChild terminal(HLX_CLI_PATH, {"terminal", "--port", port, "--no-reconnect"});
    ASSERT_TRUE(terminal.waitFor("Ctrl-] leaves")) << terminal.screen();
    terminal.type("Reset!\r");
    EXPECT_EQ(1, terminal.finish());
    EXPECT_TRUE(contains(terminal.screen(), "has gone")) << terminal.screen();
    EXPECT_EQ(terminal.cookedSettings().c_lflag, terminal.settings().c_lflag);
}

// Without a terminal on stdin: the lines of the input are sent one after the other, each once the
// monitor has answered the one before, and the terminal ends after the last answer.
TEST_F(TerminalCommandsTest, TerminalSendsTheLinesOfItsInputAndEndsAfterTheLastAnswer) {
    const std::string port = startMonitor({});
    const std::string input = dir.file("lines.txt");
    test::writeFile(input, "A=1\r\nno command\nB?");  // the last line without a line break
    const test::ChildRun run =
        shell(std::string("'") + HLX_CLI_PATH + "' terminal --port '" + port + "' < '" + input + "'");
    EXPECT_EQ(0, run.exitCode) << run.out;
    EXPECT_EQ(2, occurrences(run.out, "OK\n")) << run.out;
    EXPECT_TRUE(contains(run.out, "not sent: \"no command\"")) << run.out;
    EXPECT_TRUE(monitor->waitFor("command: B?")) << monitor->printed();
    const std::string printed = monitor->printed();
    EXPECT_LT(printed.find("command: A=1"), printed.find("command: B?"));
}

TEST_F(TerminalCommandsTest, TerminalRefusesALogItCannotWriteBeforeTouchingThePort) {
    const std::string port = startMonitor({});
    const test::CommandOutcome run =
        test::runCommand(std::string("'") + HLX_CLI_PATH + "' terminal --port '" + port + "' --log '" +
                         dir.path() + "' </dev/null");
    EXPECT_EQ(2, run.exitCode) << run.out;
    EXPECT_TRUE(contains(run.out, "the log cannot be written")) << run.out;
}

}  // namespace
}  // namespace hlx
