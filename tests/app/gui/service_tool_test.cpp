// The window program as a process: a signal closes it as its close button does, so the settings are
// saved and it exits normally.
#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "tests/support/run_command.h"
#include "tests/support/temp_dir.h"

namespace hlx::app {
namespace {

#ifdef HLX_SERVICE_TOOL_PATH

struct SignalCase {
    const char* name;
    int signal;
};

class ServiceToolSignalTest : public ::testing::TestWithParam<SignalCase> {};

TEST_P(ServiceToolSignalTest, ClosesTheWindowSavingTheSettings) {
    test::TempDir dir;
    const std::string settings = dir.file("QUENDAL/RTQ1.0.reg");
    ASSERT_EQ(0, ::system(("mkdir -p " + dir.file("QUENDAL")).c_str()));
    // A port that does not exist, and no write probe yet: the probe value appears only when the program
    // saves.
    test::writeFile(settings,
                    "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\QUENDAL\\RTQ1.0\\COMNO]\n"
                    "\"\\\\QUENDAL\\\\RTQ1.0\\\\COMNO\"=\"/dev/hlx-no-such-port\"\n");
    // The signal is sent once the program has blocked it (its first step), so it cannot kill it early.
    const std::string script =
        "XDG_CONFIG_HOME=" + dir.path() +
        " QT_QPA_PLATFORM=offscreen " HLX_SERVICE_TOOL_PATH
        " & pid=$!; "
        "for i in $(seq 200); do m=$(awk '/^SigBlk/ {print $2}' /proc/$pid/status 2>/dev/null); "
        "[ -n \"$m\" ] && [ $((0x$m & 0x4000)) -ne 0 ] && break; sleep 0.05; done; "
        "kill -" +
        std::to_string(GetParam().signal) +
        " $pid; "
        "( sleep 20; kill -9 $pid ) >/dev/null 2>&1 & watchdog=$!; "  // a program that ignores the signal
                                                                      // fails
        "wait $pid; echo exit=$?; kill $watchdog 2>/dev/null";
    test::writeFile(dir.file("run.sh"), script);
    const test::CommandOutcome run = test::runCommand("sh " + dir.file("run.sh"));
    EXPECT_NE(std::string::npos, run.out.find("exit=0")) << run.out;
    EXPECT_NE(std::string::npos, run.out.find(std::string(GetParam().name) + ": closing the window"))
        << run.out;
    const std::string saved = test::readFile(settings);
    EXPECT_NE(std::string::npos, saved.find("REGISTRYACCESSCHECK")) << saved;
    EXPECT_NE(std::string::npos, saved.find("/dev/hlx-no-such-port")) << saved;
}

INSTANTIATE_TEST_SUITE_P(Signals, ServiceToolSignalTest,
                         ::testing::Values(SignalCase{"SIGTERM", SIGTERM}, SignalCase{"SIGINT", SIGINT},
                                           SignalCase{"SIGHUP", SIGHUP}),
                         [](const auto& info) { return std::string(info.param.name); });

#endif

}  // namespace
}  // namespace hlx::app
