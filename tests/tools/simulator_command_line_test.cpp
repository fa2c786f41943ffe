// hlx-virtual-monitor's command line as a technician meets it: a command line it cannot use ends the
// program at once with exit code 2 and a message that names the option, before any pseudo-terminal is
// made; numbers are taken in decimal or 0x hexadecimal, the last of a repeated option counts, --help lists
// the options of both simulators, and a stop signal ends it with 0.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/simulator_process.h"
#include "tests/support/tool_side.h"

namespace hlx::tools {
namespace {

using namespace std::chrono_literals;

test::CommandOutcome runMonitor(const std::string& arguments) {
    return test::runCommand(std::string("'") + HLX_VIRTUAL_MONITOR_PATH + "' " + arguments);
}

struct Refusal {
    const char* name;
    const char* arguments;
    const char* message;  // a part of what the program says
};

const Refusal kRefusals[] = {
    {"RetiredAnswerEmptyLines", "--answer-empty-lines",
     "hlx-virtual-monitor: empty lines are answered by default now; --ignore-empty-lines leaves them "
     "unanswered (see --help)\n"},
    {"UnknownOption", "--bogus", "--bogus"},
    {"StrayArgument", "firmware.hex", "firmware.hex"},
    {"MissingValue", "--reply", "--reply"},
    {"NotANumber", "--xoff-every abc", "--xoff-every: takes a number, not 'abc'"},
    {"NegativeNumber", "--restart-ms -5", "--restart-ms: takes a number, not '-5'"},
    {"NumberWithATail", "--delay-ms 10ms", "--delay-ms: takes a number, not '10ms'"},
    {"ErrorByteAboveAByte", "--error-byte 0x100", "--error-byte: takes a byte, e.g. 0xFA, not '0x100'"},
    {"SayWithoutPeriod", "--say Hallo", "--say needs --every MS"},
    {"SayWithPeriodZero", "--say Hallo --every 0", "--say needs --every MS"},
    {"BootLoaderOptionWithoutLpcIsp", "--echo char", "--echo needs --lpc-isp"},
    {"MonitorOptionWithLpcIsp", "--lpc-isp --frames",
     "--frames is not an option of the boot loader (--lpc-isp)"},
    {"EchoOfAnotherKind", "--lpc-isp --echo word", "--echo: takes line or char"},
    {"ReadZeroOfAnotherKind", "--lpc-isp --read-zero zero", "--read-zero: takes grave or space"},
    {"FailureWithoutCode", "--lpc-isp --fail C", "--fail: takes X:CODE[:N], e.g. C:3"},
    {"FailureCodeAbove99", "--lpc-isp --fail C:100", "--fail: takes X:CODE[:N], e.g. C:3"},
    {"HangUpAtAWord", "--lpc-isp --hang-up-at WW", "--hang-up-at: takes a command letter"},
};

class SimulatorRefusalTest : public ::testing::TestWithParam<Refusal> {};

TEST_P(SimulatorRefusalTest, EndsWithExitCode2AndSaysWhy) {
    const test::CommandOutcome run = runMonitor(GetParam().arguments);
    EXPECT_EQ(2, run.exitCode) << run.out;
    EXPECT_EQ(0u, run.out.find("hlx-virtual-monitor: ")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find(GetParam().message)) << run.out;
    EXPECT_EQ(std::string::npos, run.out.find("type this into COM-Nr")) << run.out;
}

INSTANTIATE_TEST_SUITE_P(CommandLines, SimulatorRefusalTest, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SimulatorCommandLine, HelpListsBothSimulatorsAndEndsWith0) {
    const test::CommandOutcome run = runMonitor("--help");
    EXPECT_EQ(0, run.exitCode) << run.out;
    for (const char* option : {"--link", "--lpc-isp", "--reply", "--restart-ms", "--fault-line-error-at",
                               "--echo", "--flash-out", "--garble-read"})
        EXPECT_NE(std::string::npos, run.out.find(option)) << option << " is not listed";
    EXPECT_EQ(std::string::npos, run.out.find("--answer-empty-lines")) << "a retired option stays unlisted";
}

// Hexadecimal numbers, the last of two --reply, and the end on SIGTERM.
TEST(SimulatorCommandLine, TakesHexNumbersAndTheLastOfARepeatedOption) {
    test::SimulatorProcess program(
        HLX_VIRTUAL_MONITOR_PATH,
        {"--reply", "Erst", "--reply", "Gut", "--error-byte", "0xFD", "--fault-line-error-at", "0x2"});
    const std::string path = program.path();
    ASSERT_FALSE(path.empty()) << program.printed();
    {
        test::ToolSide tool(path);
        tool.send("Eins\r\n");
        EXPECT_EQ("Gut\r\n", tool.receiveUntil("\n"));
        tool.send("Zwei\r\n");
        EXPECT_EQ("\xFD\n", tool.receiveUntil("\n"));
    }
    EXPECT_EQ(0, program.stop());
    EXPECT_TRUE(program.waitFor("SIGTERM: stopping\n")) << program.printed();
}

}  // namespace
}  // namespace hlx::tools
