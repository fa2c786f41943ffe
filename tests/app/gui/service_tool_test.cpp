// The window program as a process: a signal closes it as its close button does, so the settings are
// saved and it exits normally; it does so whenever the signal comes, and also when the settings cannot
// be saved (then the reason goes to stderr and no dialog waits for a click). --osd-preview opens the
// preview window alone; the command line's help, version and refusals.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/thread_sanitizer.h"

namespace hlx::app {
namespace {

#ifdef HLX_SERVICE_TOOL_PATH

using namespace std::chrono_literals;

// The program started with its settings under configHome, offscreen, with stdout and stderr in a file.
class ToolProcess {
public:
    // Without a display the program gets neither DISPLAY, WAYLAND_DISPLAY nor QT_QPA_PLATFORM.
    enum class Display { Offscreen, None };

    ToolProcess(const std::string& configHome, const std::string& outputFile,
                std::vector<std::string> arguments = {}, Display display = Display::Offscreen) {
        const std::string home = "XDG_CONFIG_HOME=" + configHome;
        const int out = ::open(outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        std::vector<std::string> env{home};
        if (display == Display::Offscreen) env.emplace_back("QT_QPA_PLATFORM=offscreen");
        for (const char* keep : {"PATH", "HOME", "TMPDIR"})
            if (const char* value = std::getenv(keep)) env.push_back(std::string(keep) + "=" + value);
        std::vector<char*> envp;
        for (std::string& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        std::vector<char*> argv{const_cast<char*>(HLX_SERVICE_TOOL_PATH)};
        for (std::string& a : arguments) argv.push_back(a.data());
        argv.push_back(nullptr);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(out, STDOUT_FILENO);
            ::dup2(out, STDERR_FILENO);
            ::execve(HLX_SERVICE_TOOL_PATH, argv.data(), envp.data());
            ::_exit(127);
        }
        ::close(out);
        m_pidFd = static_cast<int>(::syscall(SYS_pidfd_open, m_pid, 0));
    }
    ~ToolProcess() {
        if (m_pid > 0 && !m_reaped) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_pidFd >= 0) ::close(m_pidFd);
    }

    void signal(int number) { ::kill(m_pid, number); }
    // Sleeps until the process has ended or the time-out has passed; true when it ended.
    bool waitForEnd(std::chrono::milliseconds timeout) {
        pollfd p{m_pidFd, POLLIN, 0};
        if (m_pidFd < 0 || ::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return false;
        m_reaped = ::waitpid(m_pid, &m_status, 0) == m_pid;
        return m_reaped;
    }
    // "exit 0", "signal 15", ...
    std::string outcome() const {
        if (WIFEXITED(m_status)) return "exit " + std::to_string(WEXITSTATUS(m_status));
        if (WIFSIGNALED(m_status)) return "signal " + std::to_string(WTERMSIG(m_status));
        return "?";
    }

private:
    pid_t m_pid = -1;
    int m_pidFd = -1;
    int m_status = 0;
    bool m_reaped = false;
};

// Settings that name a port that is not there, so no test opens a real one.
void writeSettings(const test::TempDir& dir) {
    ::mkdir(dir.file("QUENDAL").c_str(), 0700);
    test::writeFile(dir.file("QUENDAL/RTQ1.0.reg"),
                    "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\QUENDAL\\RTQ1.0\\COMNO]\n"
                    "\"\\\\QUENDAL\\\\RTQ1.0\\\\COMNO\"=\"/dev/hlx-no-such-port\"\n");
}

struct SignalCase {
    const char* name;
    int signal;
};

class ServiceToolSignalTest : public ::testing::TestWithParam<SignalCase> {};

TEST_P(ServiceToolSignalTest, ClosesTheWindowSavingTheSettings) {
    test::TempDir dir;
    const std::string settings = dir.file("QUENDAL/RTQ1.0.reg");
    // A port that does not exist, and no write probe yet: the probe value appears only when the program
    // saves.
    writeSettings(dir);
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

// A SIGTERM at any moment of the start-up ends the program within 5 s: before the program has blocked the
// signal it dies of it, from then on it closes the window (also one still being built) and exits.
TEST(ServiceToolStartUp, ASigtermAtAnyMomentOfStartUpEndsTheProgram) {
    if (test::kUnderThreadSanitizer) GTEST_SKIP() << "the program reports Qt's painting threads there";
    std::random_device seed;
    const unsigned seedValue = seed();
    std::mt19937 random(seedValue);
    std::uniform_int_distribution<int> delayMs(0, 400);
    for (int run = 0; run < 20; ++run) {
        const std::chrono::milliseconds delay{delayMs(random)};
        SCOPED_TRACE("seed " + std::to_string(seedValue) + ", run " + std::to_string(run) +
                     ", SIGTERM after " + std::to_string(delay.count()) + " ms");
        test::TempDir dir;
        writeSettings(dir);
        ToolProcess tool(dir.path(), dir.file("output.txt"));
        std::this_thread::sleep_for(delay);
        tool.signal(SIGTERM);
        ASSERT_TRUE(tool.waitForEnd(5s)) << "still running 5 s after SIGTERM\n"
                                         << test::readFile(dir.file("output.txt"));
        const std::string outcome = tool.outcome();
        EXPECT_TRUE(outcome == "exit 0" || outcome == "signal 15") << outcome;
    }
}

// Settings that cannot be written: the window closes all the same, the reason is on stderr, and no dialog
// keeps the process alive.
TEST(ServiceToolStartUp, ASigtermWithSettingsThatCannotBeSavedEndsWithTheReasonOnStderr) {
    if (test::kUnderThreadSanitizer) GTEST_SKIP() << "the program reports Qt's painting threads there";
    struct Case {
        const char* name;
        void (*makeUnsaveable)(const test::TempDir&);
    };
    const Case cases[] = {
        {"SettingsPathIsAFolder",
         [](const test::TempDir& dir) { ::mkdir(dir.file("QUENDAL/RTQ1.0.reg").c_str(), 0700); }},
        {"SettingsPathIsAFifo",
         [](const test::TempDir& dir) { ::mkfifo(dir.file("QUENDAL/RTQ1.0.reg").c_str(), 0600); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        ::mkdir(dir.file("QUENDAL").c_str(), 0700);
        c.makeUnsaveable(dir);
        const std::string output = dir.file("output.txt");
        ToolProcess tool(dir.path(), output);
        std::this_thread::sleep_for(500ms);  // the window is up, most likely; it need not be
        tool.signal(SIGTERM);
        ASSERT_TRUE(tool.waitForEnd(5s)) << "still running 5 s after SIGTERM\n" << test::readFile(output);
        EXPECT_EQ("exit 0", tool.outcome());
        const std::string printed = test::readFile(output);
        EXPECT_NE(std::string::npos, printed.find("SIGTERM: closing the window")) << printed;
        EXPECT_NE(std::string::npos, printed.find("Die Einstellungen konnten nicht gespeichert werden: "))
            << printed;
        EXPECT_NE(std::string::npos, printed.find("RTQ1.0.reg")) << "the reason names the file\n" << printed;
    }
}

// --osd-preview opens the OSD menu preview window alone: it stays open until it is closed (here by a
// signal), and as it neither opens a port nor keeps settings, nothing lands in the settings folder.
TEST(ServiceToolOsdPreview, OpensThePreviewWindowAloneUntilASignalClosesIt) {
    if (test::kUnderThreadSanitizer) GTEST_SKIP() << "the program reports Qt's painting threads there";
    test::TempDir dir;
    const std::string output = dir.file("output.txt");
    ToolProcess tool(dir.path(), output, {"--osd-preview"});
    ASSERT_FALSE(tool.waitForEnd(1500ms)) << "it did not stay open: " << tool.outcome() << "\n"
                                          << test::readFile(output);
    tool.signal(SIGTERM);
    ASSERT_TRUE(tool.waitForEnd(5s)) << "still running 5 s after SIGTERM\n" << test::readFile(output);
    EXPECT_EQ("exit 0", tool.outcome());
    const std::string printed = test::readFile(output);
    EXPECT_NE(std::string::npos, printed.find("SIGTERM: closing the window")) << printed;
    struct stat info {};
    EXPECT_NE(0, ::stat(dir.file("QUENDAL").c_str(), &info)) << "the preview wrote settings";
}

// The command line: help and version need no display; a window without a display, or an argument the
// program does not take, is refused with the reason instead of failing inside Qt.
struct CommandLineCase {
    const char* name;
    std::vector<std::string> arguments;
    ToolProcess::Display display;
    const char* outcome;
    const char* says;
};

class ServiceToolCommandLine : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(ServiceToolCommandLine, AnswersAndEnds) {
    const CommandLineCase& c = GetParam();
    test::TempDir dir;
    const std::string output = dir.file("output.txt");
    ToolProcess tool(dir.path(), output, c.arguments, c.display);
    ASSERT_TRUE(tool.waitForEnd(10s)) << "still running\n" << test::readFile(output);
    EXPECT_EQ(c.outcome, tool.outcome());
    const std::string printed = test::readFile(output);
    EXPECT_NE(std::string::npos, printed.find(c.says)) << printed;
}

using Display = ToolProcess::Display;
INSTANTIATE_TEST_SUITE_P(
    Cases, ServiceToolCommandLine,
    ::testing::Values(
        CommandLineCase{"HelpWithoutADisplay", {"--help"}, Display::None, "exit 0", "  --osd-preview  "},
        CommandLineCase{
            "VersionWithoutADisplay", {"--version"}, Display::None, "exit 0", "hlx-service-tool 1."},
        CommandLineCase{"MainWindowWithoutADisplay",
                        {},
                        Display::None,
                        "exit 1",
                        "the window needs a display, but there is none here"},
        CommandLineCase{"OsdPreviewWithoutADisplay",
                        {"--osd-preview"},
                        Display::None,
                        "exit 1",
                        "the window needs a display, but there is none here"},
        CommandLineCase{"UnknownArgument",
                        {"--osd-preveiw"},
                        Display::Offscreen,
                        "exit 2",
                        "unknown argument '--osd-preveiw'"},
        CommandLineCase{
            "Positional", {"firmware.hex"}, Display::Offscreen, "exit 2", "unknown argument 'firmware.hex'"}),
    [](const auto& info) { return std::string(info.param.name); });

#endif

}  // namespace
}  // namespace hlx::app
