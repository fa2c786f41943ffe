// The accidents of a shell and a production line, over every hlx command that opens a port: one table of
// commands (each with the simulated monitors behind its ports, and columns saying which of its options an
// accident can hit) crossed with one table of accidents, each row naming what the monitors must have
// received and the exit status.
//
// - stdout closed after the first line (`| head -n 1`): the command runs to its end, the exit status is as
//   without it, one line on stderr says that the output was cut;
// - stdout blocked (a pipe nobody reads) and then SIGINT: the command stops, exit 130;
// - --report at what must never be replaced (a device node, a FIFO, a dangling link, /dev/stdout on a pipe,
//   a folder, the file the command reads or writes, a full file system): exit 2 before any port is opened,
//   the target as it was; the same for the file a command writes (isp-read's OUT.hex);
// - a signal during the start (the file being read, the report's temporary file made; for a command
//   without a report at once): exit 130, no temporary file left.
// The columns of a command leave out what does not apply to it: the report targets where it has no
// --report, the written file's targets where it writes none. `hlx terminal` reads its lines from a pipe on
// stdin (no terminal: it sends them and ends once the monitor has been quiet). A new command that opens a
// port is one row of kCommands.

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/contains.h"
#include "tests/support/hex_text.h"
#include "tests/support/temp_dir.h"
#include "tools/lpc_isp_sim.h"
#include "tools/virtual_monitor.h"

namespace hlx {
namespace {

using namespace std::chrono_literals;
using test::contains;

// ---- the monitors behind a command's ports -------------------------------------------------------------

// The simulated monitors of one run: their ports, how much they have taken so far, whether each holds all
// the command had for it, and a slow reply so that a run lasts long enough for a signal to come in the
// middle.
class Monitors {
public:
    virtual ~Monitors() = default;
    virtual std::vector<std::string> ports() const = 0;
    virtual std::size_t received() const = 0;
    virtual bool holdWholeFile() const = 0;
    virtual void slowDown() = 0;
};

// Monitors in their firmware updater (rtq: binary records, realterm: hex lines) or their command mode
// (the senders, the command, the terminal).
class VirtualMonitors : public Monitors {
public:
    // slow: the faults that make a run last (a late reply to each record, or no reply to a line).
    VirtualMonitors(int count, std::function<bool(const tools::VirtualMonitor&)> whole,
                    tools::MonitorFaults slow, tools::MonitorConfig config = {})
        : m_whole(std::move(whole)), m_slow(slow) {
        for (int i = 0; i < count; ++i) m_monitors.push_back(std::make_unique<tools::VirtualMonitor>(config));
    }
    std::vector<std::string> ports() const override {
        std::vector<std::string> ports;
        for (const auto& m : m_monitors) ports.push_back(m->slavePath());
        return ports;
    }
    std::size_t received() const override {
        std::size_t total = 0;
        for (const auto& m : m_monitors) total += m->records().size() + m->received().size();
        return total;
    }
    bool holdWholeFile() const override {
        for (const auto& m : m_monitors)
            if (!m_whole(*m)) return false;
        return true;
    }
    void slowDown() override {
        for (const auto& m : m_monitors) m->setFaults(m_slow);
    }

private:
    std::function<bool(const tools::VirtualMonitor&)> m_whole;
    tools::MonitorFaults m_slow;
    std::vector<std::unique_ptr<tools::VirtualMonitor>> m_monitors;
};

// Boot loaders (flash isp, isp-read, isp-info). Slow or not is their configuration.
class IspMonitors : public Monitors {
public:
    IspMonitors(int count, const tools::LpcIspConfig& config,
                std::function<bool(const tools::LpcIspSim&)> whole, const tools::LpcIspFaults& faults = {})
        : m_whole(std::move(whole)) {
        for (int i = 0; i < count; ++i) {
            m_sims.push_back(std::make_unique<tools::LpcIspSim>(config));
            m_sims.back()->setFaults(faults);
        }
    }
    std::vector<std::string> ports() const override {
        std::vector<std::string> ports;
        for (const auto& s : m_sims) ports.push_back(s->slavePath());
        return ports;
    }
    std::size_t received() const override {
        std::size_t total = 0;
        for (const auto& s : m_sims) total += s->bytesReceived();
        return total;
    }
    bool holdWholeFile() const override {
        for (const auto& s : m_sims)
            if (!m_whole(*s)) return false;
        return true;
    }
    void slowDown() override {}

private:
    std::function<bool(const tools::LpcIspSim&)> m_whole;
    std::vector<std::unique_ptr<tools::LpcIspSim>> m_sims;
};

// ---- the commands --------------------------------------------------------------------------------------

enum class Received { Nothing, Part, WholeFile, Any };

// The file named before the ports: one the command reads, one it writes, or none.
enum class File { Firmware, Text, Written, None };

// What a run has: the firmware and the text the file commands read, the lines on the terminal's stdin,
// the path of the file a command writes.
struct RunInputs {
    const test::HexText& firmware;
    const std::string& text;
    std::string written;
};

struct PortCommand {
    const char* name;
    std::vector<std::string> words;  // the command before its file and ports
    File file;
    int ports;                       // --port given this often (2: a gang run)
    std::vector<std::string> extra;  // after the ports
    bool report;                     // it takes --report
    bool stdinLines;                 // it reads the lines it sends from stdin (the pipe holds kStdinLines)
    // What the monitors hold when a signal stopped the command in the middle: part of its work, or (a
    // command whose one line goes out before anything can block it) all of it.
    Received stoppedMidway;
    // The monitors for a run (slow: a run that lasts seconds).
    std::unique_ptr<Monitors> (*monitors)(int ports, const RunInputs& inputs, bool slow);
};

std::unique_ptr<Monitors> firmwareMonitors(int ports, const RunInputs& inputs, bool) {
    const auto bytes = inputs.firmware.bytes();
    return std::make_unique<VirtualMonitors>(
        ports,
        [bytes](const tools::VirtualMonitor& m) {
            const tools::MemoryImage image = m.image();
            return std::map<std::uint32_t, std::uint8_t>(image.begin(), image.end()) == bytes;
        },
        tools::MonitorFaults{.delay = 300ms});
}

std::unique_ptr<Monitors> ispMonitors(int ports, const RunInputs& inputs, bool slow) {
    tools::LpcIspConfig config;
    if (slow) config.copyTimePer256 = 300ms;
    return std::make_unique<IspMonitors>(ports, config,
                                         [bytes = inputs.firmware.bytes()](const tools::LpcIspSim& s) {
                                             const std::vector<std::uint8_t> flash = s.flash();
                                             for (const auto& [address, value] : bytes) {
                                                 if (address >= 0x14 && address < 0x18)
                                                     continue;  // the vector checksum word
                                                 if (address >= flash.size() || flash[address] != value)
                                                     return false;
                                             }
                                             return s.userCodeValid();
                                         });
}

// The last line of the text the accidents send.
constexpr const char* kLastLine = "line239=239";

std::unique_ptr<Monitors> textMonitors(int ports, const RunInputs&, const bool) {
    // Slow: no answer from the second line on, so the sender waits for one.
    return std::make_unique<VirtualMonitors>(
        ports, [](const tools::VirtualMonitor& m) { return contains(m.received(), kLastLine); },
        tools::MonitorFaults{.lineSilentAt = 2});
}

// An answer of many lines, more than a pipe holds (64 KiB), so that a closed stdout is found by a write
// and a blocked one holds the command up.
std::string longAnswer(int lines) {
    std::string answer;
    for (int i = 0; i < lines; ++i) {
        if (i > 0) answer += "\r\n";
        answer += "Antwortzeile " + std::to_string(i) + ": " + std::string(60, 'a' + i % 26);
    }
    return answer;
}

constexpr const char* kCommandText = "Info?";

std::unique_ptr<Monitors> commandMonitors(int ports, const RunInputs&, bool) {
    tools::MonitorConfig config;
    config.replyLine = longAnswer(1500);
    return std::make_unique<VirtualMonitors>(
        ports,
        [](const tools::VirtualMonitor& m) {
            return contains(m.received(), std::string(kCommandText) + "\r\n");
        },
        tools::MonitorFaults{}, config);
}

// The terminal's stdin: a few lines, each answered at length.
constexpr const char* kStdinLines = "A=1\nB=2\nC=3\nD?\n";

std::unique_ptr<Monitors> terminalMonitors(int ports, const RunInputs&, bool) {
    tools::MonitorConfig config;
    config.replyLine = longAnswer(400);
    return std::make_unique<VirtualMonitors>(
        ports, [](const tools::VirtualMonitor& m) { return contains(m.received(), "D?\r\n"); },
        tools::MonitorFaults{}, config);
}

// Boot loaders that take their time (within the job's answer deadline) with the reading jobs' last
// commands: the lines a job prints come a while apart (a reader that closes stdout after the first line
// is gone before the last), and a signal finds the job in the middle.
tools::LpcIspFaults slowAnswersTo(std::string commands) {
    return {.slowCommands = std::move(commands), .slowBy = 350ms};
}

// isp-read reads 8 KiB (two sectors, each read slowly) of a flash the boot loader holds since its start.
constexpr std::uint32_t kReadLength = 0x2000;

std::unique_ptr<Monitors> ispReadMonitors(int ports, const RunInputs& inputs, bool) {
    return std::make_unique<IspMonitors>(
        ports, tools::LpcIspConfig{},
        [out = inputs.written](const tools::LpcIspSim& s) {
            struct stat st {};
            if (::stat(out.c_str(), &st) != 0) return false;
            const auto read = test::hexBytesOf(test::readFile(out));
            if (!read) return false;
            const std::vector<std::uint8_t> flash = s.flash();
            std::map<std::uint32_t, std::uint8_t> expected;
            for (std::uint32_t at = 0x40; at < kReadLength; ++at)
                expected[at] = flash.at(at);  // 0..0x3F hidden
            return *read == expected;
        },
        slowAnswersTo("R"));
}

std::unique_ptr<Monitors> ispInfoMonitors(int ports, const RunInputs&, bool) {
    return std::make_unique<IspMonitors>(
        ports, tools::LpcIspConfig{},
        [](const tools::LpcIspSim& s) {
            const std::vector<std::string> commands = s.commands();  // the serial number is asked last
            return std::find(commands.begin(), commands.end(), "N") != commands.end();
        },
        slowAnswersTo("KN"));
}

void PrintTo(const PortCommand& c, std::ostream* os) {
    *os << c.name;
}

const PortCommand kCommands[] = {
    {"FlashRtq", {"flash", "rtq"}, File::Firmware, 1, {}, true, false, Received::Part, firmwareMonitors},
    {"FlashRtqGang", {"flash", "rtq"}, File::Firmware, 2, {}, true, false, Received::Part, firmwareMonitors},
    {"FlashRealterm",
     {"flash", "realterm"},
     File::Firmware,
     1,
     {},
     true,
     false,
     Received::Part,
     firmwareMonitors},
    {"FlashIsp", {"flash", "isp"}, File::Firmware, 1, {}, true, false, Received::Part, ispMonitors},
    {"FlashIspGang", {"flash", "isp"}, File::Firmware, 2, {}, true, false, Received::Part, ispMonitors},
    {"SendFile", {"send-file"}, File::Text, 1, {}, true, false, Received::Part, textMonitors},
    {"SendTerminal", {"send-terminal"}, File::Text, 1, {}, true, false, Received::Part, textMonitors},
    {"Command",
     {"command", kCommandText},
     File::None,
     1,
     {},
     false,
     false,
     Received::WholeFile,
     commandMonitors},
    {"TerminalOnAPipe", {"terminal"}, File::None, 1, {}, false, true, Received::Part, terminalMonitors},
    {"IspRead",
     {"isp-read"},
     File::Written,
     1,
     {"--length", std::to_string(kReadLength)},
     true,
     false,
     Received::Part,
     ispReadMonitors},
    {"IspInfo", {"isp-info"}, File::None, 1, {}, true, false, Received::Part, ispInfoMonitors},
};

// ---- the accidents -------------------------------------------------------------------------------------

struct Accident {
    const char* name;
    Received received;  // what every monitor must have received
    int exitStatus;     // as a shell reports it
};

const Accident kStdoutClosed{"StdoutClosedAfterTheFirstLine", Received::WholeFile, 0};
const Accident kStdoutBlocked{"StdoutBlockedThenSigint", Received::Part, 130};
const Accident kStartSignal{"SigintWhileStarting", Received::Any, 130};
const Accident kRefused{"Refused", Received::Nothing, 2};

// The lines a command reads from stdin, in a pipe that ends after them; the pipe's reading end for the
// child (-1 for a command that reads no stdin: it keeps the test's own).
class StdinPipe {
public:
    explicit StdinPipe(bool wanted) {
        if (!wanted) return;
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return;
        const std::string lines = kStdinLines;
        EXPECT_EQ(static_cast<ssize_t>(lines.size()), ::write(fds[1], lines.data(), lines.size()));
        ::close(fds[1]);
        m_read = fds[0];
    }
    ~StdinPipe() {
        if (m_read >= 0) ::close(m_read);
    }
    StdinPipe(const StdinPipe&) = delete;
    StdinPipe& operator=(const StdinPipe&) = delete;

    void give(test::RunOptions& options) const {
        if (m_read >= 0) options.stdinFd = m_read;
    }

private:
    int m_read = -1;
};

// The command line of a run: the command, its file, its ports, its own options, then extra.
std::vector<std::string> commandLine(const PortCommand& command, const std::string& file,
                                     const Monitors& monitors, const std::vector<std::string>& extra) {
    std::vector<std::string> args = command.words;
    if (command.file != File::None) args.push_back(file);
    for (const std::string& port : monitors.ports()) {
        args.push_back("--port");
        args.push_back(port);
    }
    args.insert(args.end(), command.extra.begin(), command.extra.end());
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

class AccidentTest : public ::testing::TestWithParam<PortCommand> {
protected:
    // A firmware of 240 records and a text of 240 lines: long enough that a run is still going when its
    // first line has been read.
    void SetUp() override {
        firmware.page(0).fill(0, 240 * 16, 16);
        firmwarePath = dir.file("fw.hex");
        test::writeFile(firmwarePath, firmware.end().text());
        for (int i = 0; i < 240; ++i) text += "line" + std::to_string(i) + "=" + std::to_string(i) + "\r\n";
        textPath = dir.file("text.txt");
        test::writeFile(textPath, text);
    }

    std::string file() const {
        switch (GetParam().file) {
            case File::Firmware:
                return firmwarePath;
            case File::Text:
                return textPath;
            case File::Written:
                return writtenPath;
            case File::None:
                break;
        }
        return {};
    }

    std::unique_ptr<Monitors> makeMonitors(bool slow) {
        auto monitors = GetParam().monitors(GetParam().ports, {firmware, text, writtenPath}, slow);
        if (slow) monitors->slowDown();
        return monitors;
    }

    std::vector<std::string> arguments(const Monitors& monitors, std::vector<std::string> extra = {}) const {
        return commandLine(GetParam(), file(), monitors, extra);
    }

    // --report FILE where the command takes it.
    std::vector<std::string> reportOption(const std::string& report) const {
        if (!GetParam().report) return {};
        return {"--report", report};
    }

    void expectReceived(const Accident& accident, const Monitors& monitors, const test::ChildRun& run) {
        Received received = accident.received;
        if (received == Received::Part) received = GetParam().stoppedMidway;
        switch (received) {
            case Received::Nothing:
                EXPECT_EQ(0u, monitors.received()) << "a monitor was touched";
                break;
            case Received::Part:
                EXPECT_GT(monitors.received(), 0u);
                EXPECT_FALSE(monitors.holdWholeFile()) << "the command went on after the signal";
                break;
            case Received::WholeFile:
                EXPECT_TRUE(monitors.holdWholeFile()) << run.out << run.err;
                break;
            case Received::Any:
                break;
        }
        EXPECT_EQ(accident.exitStatus, run.shellStatus()) << run.out << run.err;
    }

    // Sleeps in short steps until the monitors have taken something (the run is under way).
    static bool waitForTraffic(const Monitors& monitors) {
        const auto giveUp = std::chrono::steady_clock::now() + 20s;
        while (monitors.received() == 0 && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::sleep_for(5ms);
        return monitors.received() > 0;
    }

    test::TempDir dir;
    test::HexText firmware;
    std::string firmwarePath;
    std::string text;
    std::string textPath;
    std::string writtenPath = dir.file("read.hex");
};

TEST_P(AccidentTest, StdoutClosedAfterTheFirstLine) {
    const auto monitors = makeMonitors(false);
    const StdinPipe input(GetParam().stdinLines);
    test::RunOptions options;
    input.give(options);
    test::ChildProcess process(HLX_CLI_PATH, arguments(*monitors, reportOption(dir.file("run.json"))),
                               options);
    EXPECT_FALSE(process.readOutLine().empty());
    process.closeOut();
    const test::ChildRun run = process.finish(60s);
    expectReceived(kStdoutClosed, *monitors, run);
    EXPECT_TRUE(contains(run.err, "hlx: the output was cut (stdout")) << run.err;
    if (GetParam().report) {
        EXPECT_FALSE(test::readFile(dir.file("run.json")).empty()) << "the report is written as without it";
    }
}

TEST_P(AccidentTest, StdoutBlockedThenSigint) {
    const auto monitors = makeMonitors(true);
    const StdinPipe input(GetParam().stdinLines);
    // A pipe already full: the first write to it blocks, and nobody ever reads it.
    int full[2];
    ASSERT_EQ(0, ::pipe2(full, O_CLOEXEC));
    ::fcntl(full[1], F_SETFL, O_NONBLOCK);
    const std::string block(4096, 'x');
    while (::write(full[1], block.data(), block.size()) > 0) {
    }
    ::fcntl(full[1], F_SETFL, 0);
    std::optional<test::ChildRun> run;
    {
        test::RunOptions options;
        options.stdoutFd = full[1];
        input.give(options);
        test::ChildProcess process(HLX_CLI_PATH, arguments(*monitors), options);
        ASSERT_TRUE(waitForTraffic(*monitors)) << "the run did not start";
        process.signal(SIGINT);
        run = process.finish(20s);
    }
    ::close(full[0]);
    ::close(full[1]);
    expectReceived(kStdoutBlocked, *monitors, *run);
    EXPECT_TRUE(contains(run->err, "hlx: stopped by SIGINT")) << run->err;
}

TEST_P(AccidentTest, SigintWhileStartingLeavesNoTemporaryFile) {
    const auto monitors = makeMonitors(true);
    const StdinPipe input(GetParam().stdinLines);
    test::RunOptions options;
    input.give(options);
    const std::string report = dir.file("run.json");
    test::ChildProcess process(HLX_CLI_PATH, arguments(*monitors, reportOption(report)), options);
    // The report's temporary file is made at the start, before any port is opened; without a report the
    // signal comes at once.
    const auto giveUp = std::chrono::steady_clock::now() + 20s;
    while (GetParam().report && dir.entries().size() < 3 && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(1ms);
    process.signal(SIGINT);
    const test::ChildRun run = process.finish(20s);
    expectReceived(kStartSignal, *monitors, run);
    for (const std::string& name : dir.entries())
        EXPECT_FALSE(contains(name, ".tmp-")) << "left behind: " << name;
}

// What must never be replaced, given as --report or as the file a command writes: refused before any port
// is opened, the target as it was.
struct BadTarget {
    const char* name;
    // Makes the target in the folder (or names one outside it) and returns its path; empty: skip the row.
    // own: the file the command reads or writes.
    std::string (*make)(const std::string& folder, const std::string& own);
    // Whether the target is still what it was.
    bool (*unchanged)(const std::string& path, const std::string& ownBytes);
    // Whether the target is the command's own file (only as --report): one it reads or writes that is
    // there, or one it writes under a name that is new.
    enum class Own { No, There, New } own = Own::No;
};

bool isCharDevice(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

const BadTarget kBadTargets[] = {
    {"DeviceNode", [](const std::string&, const std::string&) { return std::string("/dev/null"); },
     [](const std::string& p, const std::string&) { return isCharDevice(p); }},
    {"Fifo",
     [](const std::string& folder, const std::string&) {
         const std::string path = folder + "/fifo.json";
         return ::mkfifo(path.c_str(), 0644) == 0 ? path : std::string();
     },
     [](const std::string& p, const std::string&) {
         struct stat st {};
         return ::stat(p.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
     }},
    {"DanglingLink",
     [](const std::string& folder, const std::string&) {
         const std::string path = folder + "/dangling.json";
         return ::symlink((folder + "/nowhere/run.json").c_str(), path.c_str()) == 0 ? path : std::string();
     },
     [](const std::string& p, const std::string&) {
         struct stat st {};
         return ::lstat(p.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && ::stat(p.c_str(), &st) != 0;
     }},
    // stdout is a pipe in these tests: /dev/stdout is a link that leads to it.
    {"DevStdoutOnAPipe", [](const std::string&, const std::string&) { return std::string("/dev/stdout"); },
     [](const std::string& p, const std::string&) {
         struct stat st {};
         return ::lstat(p.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
     }},
    {"Folder",
     [](const std::string& folder, const std::string&) {
         const std::string path = folder + "/reports";
         return ::mkdir(path.c_str(), 0755) == 0 ? path : std::string();
     },
     [](const std::string& p, const std::string&) {
         struct stat st {};
         return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
     }},
    {"TheCommandsOwnFile", [](const std::string&, const std::string& own) { return own; },
     [](const std::string& p, const std::string& bytes) { return test::readFile(p) == bytes; },
     BadTarget::Own::There},
    {"ALinkToTheCommandsOwnFile",
     [](const std::string& folder, const std::string& own) {
         const std::string path = folder + "/same.json";
         return ::symlink(own.c_str(), path.c_str()) == 0 ? path : std::string();
     },
     [](const std::string& p, const std::string& bytes) { return test::readFile(p) == bytes; },
     BadTarget::Own::There},
    // The file the command is about to write, under another spelling of a name that is new.
    {"TheCommandsOwnNewFile",
     [](const std::string& folder, const std::string& own) {
         return ::unlink(own.c_str()) == 0 ? folder + "/./" + own.substr(own.rfind('/') + 1) : std::string();
     },
     [](const std::string& p, const std::string&) {
         struct stat st {};
         return ::stat(p.c_str(), &st) != 0;
     },
     BadTarget::Own::New},
    // A file system with no room left (root only: it mounts a small tmpfs and fills it).
    {"FullFileSystem",
     [](const std::string& folder, const std::string&) {
         if (::geteuid() != 0) return std::string();
         const std::string mountPoint = folder + "/full";
         if (::mkdir(mountPoint.c_str(), 0755) != 0 ||
             ::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0)
             return std::string();
         const int fd = ::open((mountPoint + "/filler").c_str(), O_WRONLY | O_CREAT, 0644);
         const std::string block(4096, 'x');
         while (fd >= 0 && ::write(fd, block.data(), block.size()) > 0) {
         }
         if (fd >= 0) ::close(fd);
         return mountPoint + "/run.json";
     },
     [](const std::string& p, const std::string&) {
         struct stat st {};
         return ::stat(p.c_str(), &st) != 0;
     }},
};

// Where the bad target is given: as --report, or as the file the command writes.
enum class Place { Report, WrittenFile };

struct BadTargetCase {
    PortCommand command;
    BadTarget target;
    Place place;
};

void PrintTo(const BadTargetCase& c, std::ostream* os) {
    *os << c.command.name << " " << c.target.name
        << (c.place == Place::Report ? " as --report" : " as its file");
}

// Every command crossed with every target, at each place the command has: --report where it takes one,
// its file where it writes one (not the command's own file there: that is the target itself).
std::vector<BadTargetCase> badTargetCases() {
    std::vector<BadTargetCase> cases;
    for (const PortCommand& command : kCommands) {
        for (const BadTarget& target : kBadTargets) {
            const bool own = target.own != BadTarget::Own::No;
            if (command.report && (target.own == BadTarget::Own::No ||
                                   (target.own == BadTarget::Own::There && command.file != File::None) ||
                                   (target.own == BadTarget::Own::New && command.file == File::Written)))
                cases.push_back({command, target, Place::Report});
            if (command.file == File::Written && !own) cases.push_back({command, target, Place::WrittenFile});
        }
    }
    return cases;
}

class BadTargetTest : public ::testing::TestWithParam<BadTargetCase> {};

TEST_P(BadTargetTest, IsRefusedBeforeAnyPortIsOpened) {
    const PortCommand& command = GetParam().command;
    const BadTarget& bad = GetParam().target;
    const Place place = GetParam().place;
    test::TempDir dir;
    test::HexText firmware;
    firmware.page(0).fill(0, 64 * 16, 16);
    // The command's own file; one it writes is there from an earlier run.
    const std::string own = dir.file(command.file == File::Text ? "text.txt" : "fw.hex");
    const std::string text = "a=1\r\nb=2\r\n";
    const std::string bytes = command.file == File::Text ? text : firmware.end().text();
    test::writeFile(own, bytes);
    const std::string target = bad.make(dir.path(), own);
    if (target.empty()) GTEST_SKIP() << "this system cannot make the target (not root, or no tmpfs)";
    const std::string mountPoint = dir.file("full");

    const auto monitors = command.monitors(command.ports, {firmware, text, own}, false);
    const StdinPipe input(command.stdinLines);
    test::RunOptions options;
    input.give(options);
    const std::vector<std::string> args = place == Place::Report
                                              ? commandLine(command, own, *monitors, {"--report", target})
                                              : commandLine(command, target, *monitors, {});
    const test::ChildRun run = test::ChildProcess(HLX_CLI_PATH, args, options).finish(60s);
    if (std::string(bad.name) == "FullFileSystem") ::umount2(mountPoint.c_str(), MNT_DETACH);

    EXPECT_EQ(kRefused.exitStatus, run.shellStatus()) << run.out << run.err;
    EXPECT_EQ(0u, monitors->received()) << "a monitor was touched";
    const std::string said = place == Place::Report ? "hlx: the report cannot be written: " + target
                                                    : "hlx: the file cannot be written: " + target;
    EXPECT_TRUE(contains(run.err, said)) << run.err;
    EXPECT_EQ("", run.out) << "refused before the job started";
    EXPECT_TRUE(bad.unchanged(target, bytes)) << target << " was replaced";
    if (place == Place::Report && bad.own != BadTarget::Own::New) {
        EXPECT_EQ(bytes, test::readFile(own)) << "the command's own file was replaced";
    }
}

std::string commandName(const ::testing::TestParamInfo<PortCommand>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Accidents, AccidentTest, ::testing::ValuesIn(kCommands), commandName);
INSTANTIATE_TEST_SUITE_P(Accidents, BadTargetTest, ::testing::ValuesIn(badTargetCases()),
                         [](const ::testing::TestParamInfo<BadTargetCase>& info) {
                             return std::string(info.param.command.name) + "_" + info.param.target.name +
                                    (info.param.place == Place::Report ? "AsReport" : "AsItsFile");
                         });

}  // namespace
}  // namespace hlx
