// The accidents of a shell and a production line, over every hlx command that opens a port: one table of
// commands (each with the simulated monitors behind its ports) crossed with one table of accidents, each
// row naming what the monitors must have received and the exit status.
//
// - stdout closed after the first line (`| head -n 1`): the jobs run to their end, the exit status is as
//   without it, one line on stderr says that the output was cut;
// - stdout blocked (a pipe nobody reads) and then SIGINT: the jobs stop, exit 130;
// - --report at what must never be replaced (a device node, a FIFO, a dangling link, /dev/stdout on a pipe,
//   a folder, the firmware file, a full file system): exit 2 before any port is opened, the target as it
//   was;
// - a signal during the start (the file being read, the report's temporary file made): exit 130, no
//   temporary file left.
// A new command that opens a port is one row of kCommands.

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
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

// The simulated monitors of one run: their ports, how much they have taken so far, whether each holds the
// whole file, and a slow reply so that a run lasts long enough for a signal to come in the middle.
class Monitors {
public:
    virtual ~Monitors() = default;
    virtual std::vector<std::string> ports() const = 0;
    virtual std::size_t received() const = 0;
    virtual bool holdWholeFile() const = 0;
    virtual void slowDown() = 0;
};

// Monitors in their firmware updater (rtq: binary records, realterm: hex lines) or their command mode
// (the senders).
class VirtualMonitors : public Monitors {
public:
    VirtualMonitors(int count, std::function<bool(const tools::VirtualMonitor&)> whole)
        : m_whole(std::move(whole)) {
        for (int i = 0; i < count; ++i) m_monitors.push_back(std::make_unique<tools::VirtualMonitor>());
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
        for (const auto& m : m_monitors) m->setFaults({.delay = 300ms});
    }

private:
    std::function<bool(const tools::VirtualMonitor&)> m_whole;
    std::vector<std::unique_ptr<tools::VirtualMonitor>> m_monitors;
};

// Boot loaders (flash isp).
class IspMonitors : public Monitors {
public:
    IspMonitors(int count, std::map<std::uint32_t, std::uint8_t> image, bool slow)
        : m_image(std::move(image)) {
        tools::LpcIspConfig config;
        if (slow) config.copyTimePer256 = 300ms;
        for (int i = 0; i < count; ++i) m_sims.push_back(std::make_unique<tools::LpcIspSim>(config));
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
        for (const auto& s : m_sims) {
            const std::vector<std::uint8_t> flash = s->flash();
            for (const auto& [address, value] : m_image) {
                if (address >= 0x14 && address < 0x18) continue;  // the vector checksum word
                if (address >= flash.size() || flash[address] != value) return false;
            }
            if (!s->userCodeValid()) return false;
        }
        return true;
    }
    void slowDown() override {}  // slow from the start: the copy time is a configuration

private:
    std::map<std::uint32_t, std::uint8_t> m_image;
    std::vector<std::unique_ptr<tools::LpcIspSim>> m_sims;
};

// ---- the commands --------------------------------------------------------------------------------------

enum class Input { Firmware, Text };

struct PortCommand {
    const char* name;
    std::vector<std::string> words;  // the command before FILE
    int ports;                       // --port given this often (2: a gang run)
    Input input;
    // The monitors for a run of the file (slow: a run that lasts seconds).
    std::unique_ptr<Monitors> (*monitors)(int ports, const test::HexText& firmware, const std::string& text,
                                          bool slow);
};

std::unique_ptr<Monitors> firmwareMonitors(int ports, const test::HexText& firmware, const std::string&,
                                           bool) {
    const auto bytes = firmware.bytes();
    return std::make_unique<VirtualMonitors>(ports, [bytes](const tools::VirtualMonitor& m) {
        const tools::MemoryImage image = m.image();
        return std::map<std::uint32_t, std::uint8_t>(image.begin(), image.end()) == bytes;
    });
}

std::unique_ptr<Monitors> ispMonitors(int ports, const test::HexText& firmware, const std::string&,
                                      bool slow) {
    return std::make_unique<IspMonitors>(ports, firmware.bytes(), slow);
}

// The last line of the text the accidents send.
constexpr const char* kLastLine = "line239=239";

std::unique_ptr<Monitors> textMonitors(int ports, const test::HexText&, const std::string&, bool) {
    return std::make_unique<VirtualMonitors>(
        ports, [](const tools::VirtualMonitor& m) { return contains(m.received(), kLastLine); });
}

void PrintTo(const PortCommand& c, std::ostream* os) {
    *os << c.name;
}

const PortCommand kCommands[] = {
    {"FlashRtq", {"flash", "rtq"}, 1, Input::Firmware, firmwareMonitors},
    {"FlashRtqGang", {"flash", "rtq"}, 2, Input::Firmware, firmwareMonitors},
    {"FlashRealterm", {"flash", "realterm"}, 1, Input::Firmware, firmwareMonitors},
    {"FlashIsp", {"flash", "isp"}, 1, Input::Firmware, ispMonitors},
    {"FlashIspGang", {"flash", "isp"}, 2, Input::Firmware, ispMonitors},
    {"SendFile", {"send-file"}, 1, Input::Text, textMonitors},
    {"SendTerminal", {"send-terminal"}, 1, Input::Text, textMonitors},
};

// ---- the accidents -------------------------------------------------------------------------------------

enum class Received { Nothing, Part, WholeFile, Any };

struct Accident {
    const char* name;
    Received received;  // what every monitor must have received
    int exitStatus;     // as a shell reports it
};

void PrintTo(const Accident& a, std::ostream* os) {
    *os << a.name;
}

const Accident kStdoutClosed{"StdoutClosedAfterTheFirstLine", Received::WholeFile, 0};
const Accident kStdoutBlocked{"StdoutBlockedThenSigint", Received::Part, 130};
const Accident kStartSignal{"SigintWhileStarting", Received::Any, 130};
const Accident kRefused{"Refused", Received::Nothing, 2};

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

    const std::string& input() const { return GetParam().input == Input::Firmware ? firmwarePath : textPath; }

    std::unique_ptr<Monitors> makeMonitors(bool slow) {
        auto monitors = GetParam().monitors(GetParam().ports, firmware, text, slow);
        if (slow) monitors->slowDown();
        return monitors;
    }

    std::vector<std::string> arguments(const Monitors& monitors, std::vector<std::string> extra = {}) const {
        std::vector<std::string> args = GetParam().words;
        args.push_back(input());
        for (const std::string& port : monitors.ports()) {
            args.push_back("--port");
            args.push_back(port);
        }
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }

    void expectReceived(const Accident& accident, const Monitors& monitors, const test::ChildRun& run) {
        switch (accident.received) {
            case Received::Nothing:
                EXPECT_EQ(0u, monitors.received()) << "a monitor was touched";
                break;
            case Received::Part:
                EXPECT_GT(monitors.received(), 0u);
                EXPECT_FALSE(monitors.holdWholeFile()) << "the job went on after the signal";
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
};

TEST_P(AccidentTest, StdoutClosedAfterTheFirstLine) {
    const auto monitors = makeMonitors(false);
    test::ChildProcess process(HLX_CLI_PATH, arguments(*monitors, {"--report", dir.file("run.json")}));
    EXPECT_FALSE(process.readOutLine().empty());
    process.closeOut();
    const test::ChildRun run = process.finish(60s);
    expectReceived(kStdoutClosed, *monitors, run);
    EXPECT_TRUE(contains(run.err, "hlx: the output was cut (stdout")) << run.err;
    EXPECT_FALSE(test::readFile(dir.file("run.json")).empty()) << "the report is written as without it";
}

TEST_P(AccidentTest, StdoutBlockedThenSigint) {
    const auto monitors = makeMonitors(true);
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
        test::ChildProcess process(HLX_CLI_PATH, arguments(*monitors), {.stdoutFd = full[1]});
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
    const std::string report = dir.file("run.json");
    test::ChildProcess process(HLX_CLI_PATH, arguments(*monitors, {"--report", report}));
    // The report's temporary file is made at the start, before any port is opened.
    const auto giveUp = std::chrono::steady_clock::now() + 20s;
    while (dir.entries().size() < 3 && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(1ms);
    process.signal(SIGINT);
    const test::ChildRun run = process.finish(20s);
    expectReceived(kStartSignal, *monitors, run);
    for (const std::string& name : dir.entries())
        EXPECT_FALSE(contains(name, ".tmp-")) << "left behind: " << name;
}

// --report at what must never be replaced: refused before any port is opened, the target as it was.
struct BadReport {
    const char* name;
    // Makes the target in the folder (or names one outside it) and returns its path; empty: skip the row.
    std::string (*make)(const std::string& folder, const std::string& input);
    // Whether the target is still what it was.
    bool (*unchanged)(const std::string& path, const std::string& inputBytes);
};

bool isCharDevice(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

const BadReport kBadReports[] = {
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
    {"TheInputFile", [](const std::string&, const std::string& input) { return input; },
     [](const std::string& p, const std::string& bytes) { return test::readFile(p) == bytes; }},
    {"ALinkToTheInputFile",
     [](const std::string& folder, const std::string& input) {
         const std::string path = folder + "/same.json";
         return ::symlink(input.c_str(), path.c_str()) == 0 ? path : std::string();
     },
     [](const std::string& p, const std::string& bytes) { return test::readFile(p) == bytes; }},
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

class BadReportTest : public ::testing::TestWithParam<std::tuple<PortCommand, BadReport>> {};

TEST_P(BadReportTest, IsRefusedBeforeAnyPortIsOpened) {
    const PortCommand& command = std::get<0>(GetParam());
    const BadReport& bad = std::get<1>(GetParam());
    test::TempDir dir;
    test::HexText firmware;
    firmware.page(0).fill(0, 64 * 16, 16);
    const std::string input = dir.file(command.input == Input::Firmware ? "fw.hex" : "text.txt");
    const std::string bytes = command.input == Input::Firmware ? firmware.end().text() : "a=1\r\nb=2\r\n";
    test::writeFile(input, bytes);
    const std::string target = bad.make(dir.path(), input);
    if (target.empty()) GTEST_SKIP() << "this system cannot make the target (not root, or no tmpfs)";
    const std::string mountPoint = dir.file("full");

    const auto monitors = command.monitors(command.ports, firmware, bytes, false);
    std::vector<std::string> args = command.words;
    args.push_back(input);
    for (const std::string& port : monitors->ports()) {
        args.push_back("--port");
        args.push_back(port);
    }
    args.push_back("--report");
    args.push_back(target);
    const test::ChildRun run = test::ChildProcess(HLX_CLI_PATH, args).finish(60s);
    if (std::string(bad.name) == "FullFileSystem") ::umount2(mountPoint.c_str(), MNT_DETACH);

    EXPECT_EQ(kRefused.exitStatus, run.shellStatus()) << run.out << run.err;
    EXPECT_EQ(0u, monitors->received()) << "a monitor was touched";
    EXPECT_TRUE(contains(run.err, "hlx: the report cannot be written: " + target)) << run.err;
    EXPECT_EQ("", run.out) << "refused before the job started";
    EXPECT_TRUE(bad.unchanged(target, bytes)) << target << " was replaced";
}

std::string commandName(const ::testing::TestParamInfo<PortCommand>& info) {
    return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Accidents, AccidentTest, ::testing::ValuesIn(kCommands), commandName);
INSTANTIATE_TEST_SUITE_P(Accidents, BadReportTest,
                         ::testing::Combine(::testing::ValuesIn(kCommands), ::testing::ValuesIn(kBadReports)),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) + "_" +
                                    std::get<1>(info.param).name;
                         });

}  // namespace
}  // namespace hlx
