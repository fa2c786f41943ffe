// hlx.exe, the Windows build, under Wine against the project's simulators: the simulated monitor and boot
// loader run here on pseudo-terminals, and each is reached from Wine as a COM port, a link in the prefix's
// dosdevices folder ("com21" -> /dev/pts/5). What the simulators end up with is compared with the files,
// hlx.exe's check of a HEX file with the Linux hlx's, and the Windows device tests that need a port run
// against the simulated monitor.
//
// Run by `make test-windows` (scripts/test-windows.sh), which sets:
//   HLX_WINDOWS_BUILD  the Windows build folder (cli/hlx.exe, tests/windows/win32_tests.exe)
//   WINEPREFIX         the Wine prefix of the run (created and started beforehand)
// Without HLX_WINDOWS_BUILD every test skips.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/contains.h"
#include "tests/support/hex_text.h"
#include "tests/support/isp_flash.h"
#include "tests/support/report_schema.h"
#include "tests/support/temp_dir.h"
#include "tools/lpc_isp_sim.h"
#include "tools/virtual_monitor.h"

extern char** environ;

namespace hlx {
namespace {

using namespace std::chrono_literals;

std::string environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

// The Windows name of a Linux path: Wine's drive Z: is the root.
std::string windowsPath(const std::string& path) {
    std::string name = "Z:" + path;
    for (char& c : name)
        if (c == '/') c = '\\';
    return name;
}

std::string withoutCarriageReturns(std::string text) {
    std::erase(text, '\r');
    return text;
}

using hlx::test::contains;

std::string lastLine(std::string text) {
    while (!text.empty() && text.back() == '\n') text.pop_back();
    const std::size_t newline = text.rfind('\n');
    return newline == std::string::npos ? text : text.substr(newline + 1);
}

// COM port `number` of the prefix, mapped to a pseudo-terminal while the object lives.
class ComPortLink {
public:
    ComPortLink(int number, const std::string& device)
        : m_link(environment("WINEPREFIX") + "/dosdevices/com" + std::to_string(number)) {
        std::error_code ignored;
        std::filesystem::remove(m_link, ignored);
        std::filesystem::create_symlink(device, m_link);
    }
    ~ComPortLink() {
        std::error_code ignored;
        std::filesystem::remove(m_link, ignored);
    }
    ComPortLink(const ComPortLink&) = delete;
    ComPortLink& operator=(const ComPortLink&) = delete;

private:
    std::string m_link;
};

struct Outcome {
    int exitCode = -1;
    std::string out;  // stdout, line ends as LF
    std::string err;  // stderr, line ends as LF
};

// A Windows program started under Wine, its output in files (a pipe would be held open by Wine's own
// processes that the first program of a prefix starts). Its stdin is /dev/null, or the descriptor given
// (a file, the reading end of a pipe); its stdout the descriptor given (a pipe nobody reads) instead of a
// file.
class WineProcess {
public:
    WineProcess(const std::vector<std::string>& arguments, const test::TempDir& dir, int input = -1,
                int output = -1)
        : m_out(dir.file("stdout-" + std::to_string(++s_count))),
          m_err(dir.file("stderr-" + std::to_string(s_count))),
          m_outToFile(output < 0) {
        std::vector<std::string> argv{"wine"};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        std::vector<char*> pointers;
        for (std::string& a : argv) pointers.push_back(a.data());
        pointers.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (input >= 0)
            posix_spawn_file_actions_adddup2(&actions, input, 0);
        else
            posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        if (output >= 0)
            posix_spawn_file_actions_adddup2(&actions, output, 1);
        else
            posix_spawn_file_actions_addopen(&actions, 1, m_out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, m_err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (posix_spawnp(&m_pid, "wine", &actions, nullptr, pointers.data(), environ) != 0) m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~WineProcess() {
        if (m_pid > 0 && !m_done) {
            ::kill(m_pid, SIGKILL);
            wait();
        }
    }
    WineProcess(const WineProcess&) = delete;
    WineProcess& operator=(const WineProcess&) = delete;

    void signal(int number) { ::kill(m_pid, number); }
    // Waits (at most about a minute) until the program's stdout holds text.
    bool waitForOutput(const std::string& text) {
        for (int i = 0; i < 1200; ++i) {
            if (contains(withoutCarriageReturns(test::readFile(m_out)), text)) return true;
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }
    // Waits for the program's end; a hang guard, not a speed requirement: after two minutes the program is
    // killed and the test fails.
    Outcome wait() {
        Outcome outcome;
        int status = 0;
        pid_t ended = 0;
        for (int i = 0; m_pid > 0 && (ended = ::waitpid(m_pid, &status, WNOHANG)) == 0; ++i) {
            if (i == 6000) {
                ADD_FAILURE() << "the program did not end: killed";
                ::kill(m_pid, SIGKILL);
                ended = ::waitpid(m_pid, &status, 0);
                break;
            }
            std::this_thread::sleep_for(20ms);
        }
        if (ended == m_pid && WIFEXITED(status)) outcome.exitCode = WEXITSTATUS(status);
        m_done = true;
        if (m_outToFile) outcome.out = withoutCarriageReturns(test::readFile(m_out));
        outcome.err = withoutCarriageReturns(test::readFile(m_err));
        return outcome;
    }

private:
    static inline int s_count = 0;
    pid_t m_pid = -1;
    bool m_done = false;
    std::string m_out;
    std::string m_err;
    bool m_outToFile = true;
};

class WineHlxTest : public ::testing::Test {
protected:
    void SetUp() override {
        build = environment("HLX_WINDOWS_BUILD");
        if (build.empty())
            GTEST_SKIP() << "HLX_WINDOWS_BUILD names no Windows build (make test-windows sets it)";
        ASSERT_FALSE(environment("WINEPREFIX").empty()) << "WINEPREFIX must name the prefix of the run";
        hlxExe = build + "/cli/hlx.exe";
        ASSERT_TRUE(std::filesystem::exists(hlxExe)) << hlxExe;
    }

    Outcome hlx(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), hlxExe);
        return WineProcess(arguments, dir).wait();
    }

    std::string writeFile(const std::string& name, const std::string& bytes) {
        const std::string path = dir.file(name);
        test::writeFile(path, bytes);
        return path;
    }

    // Firmware over three pages, 16- and 32-byte records, a gap, a start address.
    static test::HexText firmware() {
        test::HexText file;
        file.page(0x0000).fill(0x0000, 0x3000, 16).fill(0x8000, 0x0400, 32);
        file.page(0x0001).fill(0x0000, 0x2000, 32);
        file.page(0x0002).fill(0x1000, 0x0100, 16);
        file.record(5, 0, {0x00, 0x00, 0x01, 0x00});
        return file.end();
    }

    std::string build;
    std::string hlxExe;
    test::TempDir dir;
};

TEST_F(WineHlxTest, FlashRtqPutsTheFileIntoTheMonitor) {
    tools::VirtualMonitor monitor;
    ComPortLink com(21, monitor.slavePath());
    const test::HexText file = firmware();
    const Outcome run = hlx({"flash", "rtq", windowsPath(writeFile("fw.hex", file.text())), "--port", "21",
                             "--settings", "0", "--print-result"});
    EXPECT_EQ(0, run.exitCode) << run.out << run.err;
    EXPECT_EQ("JobResult=0x1000", lastLine(run.err));
    EXPECT_EQ(file.bytes(), monitor.image());
    EXPECT_TRUE(contains(run.out, "Flash geschrieben\nNeustart\n")) << run.out;
}

// A gang run: one job per --port at once, each monitor gets the whole file, a summary line per port, and
// --report writes the run's record (checked against its schema) through the Windows file system.
TEST_F(WineHlxTest, FlashRtqOnTwoPortsAtOnceWritesTheReport) {
    tools::VirtualMonitor first;
    tools::VirtualMonitor second;
    ComPortLink comA(28, first.slavePath());
    ComPortLink comB(29, second.slavePath());
    const test::HexText file = firmware();
    const std::string report = dir.file("run.json");
    const Outcome run = hlx({"flash", "rtq", windowsPath(writeFile("fw.hex", file.text())), "--port", "28",
                             "--port", "COM29", "--settings", "0", "--report", windowsPath(report)});
    EXPECT_EQ(0, run.exitCode) << run.out << run.err;
    EXPECT_EQ(file.bytes(), first.image());
    EXPECT_EQ(file.bytes(), second.image());
    EXPECT_TRUE(contains(run.out, "28: Flash geschrieben\n")) << run.out;
    EXPECT_TRUE(contains(run.out, "COM29: Flash geschrieben\n")) << run.out;
    EXPECT_EQ("2 of 2 ports without failure", lastLine(run.out));
    EXPECT_EQ("", test::reportSchemaViolations(report));
    const std::string text = test::readFile(report);
    EXPECT_TRUE(contains(text, "\"method\": \"rtq\"")) << text;
    EXPECT_EQ(std::vector<std::string>{"run.json"}, [&] {
        std::vector<std::string> names;
        for (const std::string& name : dir.entries())
            if (name.starts_with("run.json") || name.starts_with(".run.json")) names.push_back(name);
        return names;
    }()) << "no temporary file is left";
}

TEST_F(WineHlxTest, FlashRealtermPutsTheFileIntoTheMonitorThroughXoffPauses) {
    tools::MonitorConfig config;
    config.xoffEvery = 32;
    tools::VirtualMonitor monitor(config);
    ComPortLink com(22, monitor.slavePath());
    // Each line waits 20 ms before its reply is read, so a smaller file than for the binary download.
    test::HexText file;
    file.page(0x0000).fill(0x0000, 0x0800, 16);
    file.page(0x0001).fill(0x0000, 0x0400, 32);
    file.end();
    const Outcome run = hlx({"flash", "realterm", windowsPath(writeFile("fw.hex", file.text())), "--port",
                             "COM22", "--settings", "1", "--print-result"});
    EXPECT_EQ(0, run.exitCode) << run.out << run.err;
    EXPECT_EQ("JobResult=0x0", lastLine(run.err));
    EXPECT_EQ(file.bytes(), monitor.image());
    EXPECT_TRUE(run.out.ends_with("Datei fehlerfrei übertragen\n")) << run.out;
}

TEST_F(WineHlxTest, FlashIspProgramsTheBootLoadersFlash) {
    tools::LpcIspConfig config;
    config.echo = tools::IspEcho::Character;
    tools::LpcIspSim sim(config);  // paced at the baud rate hlx.exe sets through Wine
    ComPortLink com(23, sim.slavePath());
    test::HexText file;
    file.page(0x0000).fill(0x0000, 0x0800, 16).fill(0x1234, 0x0300, 16);
    file.end();
    const Outcome run = hlx({"flash", "isp", windowsPath(writeFile("fw.hex", file.text())), "--port", "23",
                             "--verify", "--print-result"});
    EXPECT_EQ(0, run.exitCode) << run.out << run.err;
    EXPECT_EQ("JobResult=0x0", lastLine(run.err));
    EXPECT_EQ(test::expectedIspFlash(file), sim.flash());
    EXPECT_TRUE(contains(run.out, "Flash stimmt mit der Datei überein\nDatei fehlerfrei übertragen\n"))
        << run.out;
}

TEST_F(WineHlxTest, SendFileDeliversABinaryFileInFramesAndATextFileByLines) {
    std::string binary(3000, '\0');
    std::mt19937 random(7);
    for (char& c : binary) c = static_cast<char>(random());
    {
        tools::MonitorConfig config;
        config.fileFrames = true;
        tools::VirtualMonitor monitor(config);
        ComPortLink com(24, monitor.slavePath());
        const Outcome run = hlx({"send-file", windowsPath(writeFile("logo.vxc", binary)), "--port", "24"});
        EXPECT_EQ(0, run.exitCode) << run.out << run.err;
        EXPECT_EQ(binary, monitor.received());
    }
    std::string text;
    for (int i = 0; i < 40; ++i)
        text += "SET " + std::to_string(i) + "=" + std::string(static_cast<std::size_t>(i), 'x') + "\r\n";
    tools::VirtualMonitor monitor;
    ComPortLink com(25, monitor.slavePath());
    const Outcome run = hlx({"send-file", windowsPath(writeFile("setup.txt", text)), "--port", "25"});
    EXPECT_EQ(0, run.exitCode) << run.out << run.err;
    EXPECT_EQ(text, monitor.received());
}

// The Windows build checks and analyses a HEX file as the Linux build does: the same lines (the image's
// SHA-256 from bcrypt there, from OpenSSL here), the same exit code; a file name beyond ASCII arrives whole.
TEST_F(WineHlxTest, CheckHexAndHexInfoSayWhatTheLinuxBuildSays) {
    const std::string linuxHlx = HLX_LINUX_CLI_PATH;
    std::string damaged = firmware().text();
    damaged[damaged.find('\n', 200) + 5] = 'G';                // a digit that is none
    damaged.insert(damaged.find('\n', 800) + 1, ":0400\r\n");  // a short record
    for (const auto& [name, text] :
         {std::pair{"gr\xC3\xBCn.hex", firmware().text()}, std::pair{"bad.hex", damaged}}) {
        const std::string path = writeFile(name, text);
        for (const char* command : {"check-hex", "hex-info"}) {
            SCOPED_TRACE(std::string(command) + " " + name);
            const Outcome windows = hlx({command, windowsPath(path)});
            const std::string out = dir.file("linux.out");
            const int status = std::system(
                ("'" + linuxHlx + "' " + command + " '" + path + "' >'" + out + "' 2>&1").c_str());
            ASSERT_TRUE(WIFEXITED(status));
            std::string linuxOut = test::readFile(out);
            for (std::size_t at; (at = linuxOut.find(path)) != std::string::npos;)
                linuxOut.replace(at, path.size(), windowsPath(path));
            EXPECT_FALSE(linuxOut.empty());
            EXPECT_EQ(WEXITSTATUS(status), windows.exitCode);
            EXPECT_EQ(linuxOut, windows.out + windows.err);
        }
    }
}

// Ctrl-C reaches hlx.exe as the console's control event: the job stops, the port is released, exit 130.
TEST_F(WineHlxTest, CtrlCStopsTheJobAndReleasesThePort) {
    tools::MonitorConfig config;
    config.inactivity = 500ms;  // back to command mode soon after the tool stops sending
    tools::VirtualMonitor monitor(config);
    monitor.setFaults({.delay = 50ms});  // about a minute for the whole file
    ComPortLink com(26, monitor.slavePath());
    test::HexText file;
    file.page(0).fill(0, 0xF000, 16).end();
    const std::string path = windowsPath(writeFile("fw.hex", file.text()));
    WineProcess first({hlxExe, "flash", "rtq", path, "--port", "26"}, dir);
    for (int i = 0; i < 600 && monitor.records().size() < 3; ++i) std::this_thread::sleep_for(50ms);
    ASSERT_GE(monitor.records().size(), 3u) << "the download did not start";

    // Meanwhile the port is in use by another program.
    const Outcome second = hlx({"flash", "rtq", path, "--port", "26"});
    EXPECT_EQ(1, second.exitCode);
    EXPECT_TRUE(contains(second.err, "\\\\.\\COM26: in use by another program")) << second.err;

    first.signal(SIGINT);
    const Outcome stopped = first.wait();
    EXPECT_EQ(130, stopped.exitCode) << stopped.err;
    EXPECT_TRUE(contains(stopped.err, "hlx: stopped by SIGINT")) << stopped.err;

    // The monitor is left in its download; once it has given up waiting, the port takes the next job.
    monitor.setFaults({});
    for (int i = 0; i < 100 && monitor.mode() != tools::MonitorMode::Command; ++i)
        std::this_thread::sleep_for(50ms);
    test::HexText small;
    small.fill(0, 64, 16).end();
    monitor.clear();
    const Outcome again =
        hlx({"flash", "rtq", windowsPath(writeFile("small.hex", small.text())), "--port", "26"});
    EXPECT_EQ(0, again.exitCode) << "the port was released: " << again.out << again.err;
    EXPECT_EQ(small.bytes(), monitor.image());
}

// A path is a path: "/tmp/.../fw.hex" (Wine's drive Z: is the current drive) is the file to check, not a
// Windows-style option; "/help" is no option of hlx either.
TEST_F(WineHlxTest, ASlashStartsAPathNotAnOption) {
    const std::string path = writeFile("fw.hex", firmware().text());
    const Outcome check = hlx({"check-hex", path});
    EXPECT_EQ(0, check.exitCode) << check.out << check.err;
    EXPECT_TRUE(contains(check.out, "Prüfe Hex File")) << check.out;
    EXPECT_FALSE(contains(check.err, "FILE is required")) << check.err;

    const Outcome help = hlx({"/help"});
    EXPECT_EQ(2, help.exitCode) << help.out << help.err;
    EXPECT_TRUE(help.out.empty()) << help.out;
}

TEST_F(WineHlxTest, APortThatIsNotThereIsNamed) {
    const Outcome run =
        hlx({"flash", "rtq", windowsPath(writeFile("fw.hex", firmware().text())), "--port", "249"});
    EXPECT_EQ(1, run.exitCode);
    EXPECT_EQ("hlx: \\\\.\\COM249: no such port", lastLine(run.err));
}

TEST_F(WineHlxTest, HelpListsOnlyWhatTheWindowsBuildHas) {
    const Outcome run = hlx({"--help"});
    EXPECT_EQ(0, run.exitCode);
    for (const char* command :
         {"ports", "check-hex", "hex-info", "flash", "send-file", "send-terminal", "command", "terminal"})
        EXPECT_TRUE(contains(run.out, std::string("  ") + command + " ")) << command;
    for (const char* command : {"render-charts", "osd-preview", "convert-bmp", "decode-vxc"})
        EXPECT_FALSE(contains(run.out, command)) << command;
}

// hlx command on a production line's Windows machine: the answer on stdout with exit 0; silence and a
// port that is not there are exit 1 with the reason.
TEST_F(WineHlxTest, CommandPrintsTheMonitorsAnswer) {
    tools::MonitorConfig config;
    config.replyLine =
        "Zeile 1\r\nGr\xFC\xDF"
        "e";  // Windows-1252 from the monitor, UTF-8 on stdout
    tools::VirtualMonitor monitor(config);
    ComPortLink com(30, monitor.slavePath());
    const Outcome run = hlx({"command", "Info?", "--port", "30"});
    EXPECT_EQ(0, run.exitCode) << run.out << run.err;
    EXPECT_EQ("Zeile 1\nGrüße\n", run.out);
    EXPECT_EQ("", run.err);
    EXPECT_EQ(std::vector<std::string>{"Info?"}, monitor.commands());

    const Outcome missing = hlx({"command", "Info?", "--port", "249"});
    EXPECT_EQ(1, missing.exitCode);
    EXPECT_EQ("hlx: \\\\.\\COM249: no such port", lastLine(missing.err));
}

// hlx terminal with stdin no console: the lines of the input go out one after the other, each once the
// monitor has answered the one before; a monitor that leaves the bus on "Reset!" (its COM port's link
// taken away, made again 400 ms later) is found again, and the terminal ends after the last answer.
TEST_F(WineHlxTest, TerminalSendsItsInputAndFindsTheMonitorAgain) {
    tools::MonitorConfig config;
    config.linkPath = environment("WINEPREFIX") + "/dosdevices/com31";
    config.restartCommand = "Reset!";
    config.bootLines = {"Boot RTQ 1.3"};
    config.restartTime = 400ms;
    std::filesystem::remove(config.linkPath);
    tools::VirtualMonitor monitor(config);
    const int input = ::open(writeFile("lines.txt", "A=1\r\nno command\nReset!\nB?").c_str(), O_RDONLY);
    ASSERT_GE(input, 0);
    WineProcess terminal({hlxExe, "terminal", "--port", "31"}, dir, input);
    ::close(input);
    const Outcome run = terminal.wait();
    EXPECT_EQ(0, run.exitCode) << run.out << run.err;
    EXPECT_EQ("OK\nOK\nBoot RTQ 1.3\nOK\n", run.out);
    for (const std::string line :
         {"hlx: terminal on \\\\.\\COM31 (115200,8,E,1)\n", "hlx: not sent: \"no command\"",
          "hlx: \\\\.\\COM31 has gone; waiting for it to come back\n",
          "hlx: \\\\.\\COM31 is back; the terminal goes on\n"})
        EXPECT_TRUE(contains(run.err, line)) << line << "\n" << run.err;
    EXPECT_EQ((std::vector<std::string>{"A=1", "Reset!", "B?"}), monitor.commands());
    EXPECT_EQ(1, monitor.restarts());
}

// hlx terminal whose stdout nobody reads (a full pipe) while the monitor goes on talking: Ctrl-C still ends
// it at once, with its line on stderr and exit 130.
TEST_F(WineHlxTest, CtrlCEndsATerminalWhoseStdoutIsBlocked) {
    tools::MonitorConfig config;
    config.periodicText = std::string(200, 'x');
    config.period = 2ms;
    tools::VirtualMonitor monitor(config);
    ComPortLink com(32, monitor.slavePath());
    int in[2];
    int out[2];
    ASSERT_EQ(0, ::pipe2(in, O_CLOEXEC));
    ASSERT_EQ(0, ::pipe2(out, O_CLOEXEC));
    WineProcess terminal({hlxExe, "terminal", "--port", "32"}, dir, in[0], out[1]);
    ::close(in[0]);
    ::close(out[1]);
    // Until the pipe holds most of what it takes and no more comes for half a second: the terminal's
    // write is blocked.
    int held = 0;
    int still = 0;
    for (int i = 0; i < 1200 && still < 10; ++i) {
        int now = 0;
        ::ioctl(out[0], FIONREAD, &now);
        still = now == held && now >= 32768 ? still + 1 : 0;
        held = now;
        std::this_thread::sleep_for(50ms);
    }
    ASSERT_EQ(10, still) << "the terminal's output did not fill the pipe (" << held << " bytes)";
    terminal.signal(SIGINT);
    const Outcome run = terminal.wait();
    ::close(in[1]);
    ::close(out[0]);
    EXPECT_EQ(130, run.exitCode) << run.err;
    EXPECT_TRUE(contains(run.err, "hlx: stopped by SIGINT")) << run.err;
}

// The port watcher's own test (tests/windows/win32_port_watcher_test.cpp) with a COM port that comes and
// goes: its link made once the test has seen the port missing, taken away once the test has seen it.
TEST_F(WineHlxTest, PortWatcherSeesAComPortComeAndGo) {
    tools::VirtualMonitor monitor;
    const std::string link = environment("WINEPREFIX") + "/dosdevices/com32";
    std::filesystem::remove(link);
    int answers[2];
    ASSERT_EQ(0, ::pipe(answers));
    ::setenv("HLX_TEST_WATCH_PORT", "32", 1);
    WineProcess watcher(
        {build + "/tests/windows/win32_tests.exe", "--gtest_filter=Win32PortWatcher.SeesAComPortComeAndGo"},
        dir, answers[0]);
    ::unsetenv("HLX_TEST_WATCH_PORT");
    ::close(answers[0]);
    const bool absent = watcher.waitForOutput("absent\n");
    EXPECT_TRUE(absent);
    std::filesystem::create_symlink(monitor.slavePath(), link);
    const bool present = absent && watcher.waitForOutput("present\n");
    EXPECT_TRUE(present);
    std::filesystem::remove(link);
    const std::string removed = "removed\n";
    EXPECT_EQ(static_cast<ssize_t>(removed.size()), ::write(answers[1], removed.data(), removed.size()));
    ::close(answers[1]);
    const Outcome run = watcher.wait();
    EXPECT_EQ(0, run.exitCode) << run.out << run.err;
    EXPECT_TRUE(contains(run.out, "[  PASSED  ] 1 test")) << run.out;
}

// The Windows device tests that need a port with a monitor behind it.
TEST_F(WineHlxTest, WindowsDeviceTestsAgainstTheSimulatedMonitor) {
    tools::VirtualMonitor monitor;
    ComPortLink com(27, monitor.slavePath());
    ::setenv("HLX_TEST_COM_PORT", "27", 1);
    const Outcome run =
        WineProcess({build + "/tests/windows/win32_tests.exe", "--gtest_filter=Win32PortTest.*"}, dir).wait();
    ::unsetenv("HLX_TEST_COM_PORT");
    EXPECT_EQ(0, run.exitCode) << run.out << run.err;
    EXPECT_TRUE(contains(run.out, "[  PASSED  ] 3 tests")) << run.out;
}

}  // namespace
}  // namespace hlx
