#include "tools/virtual_monitor.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "tests/support/hex_text.h"
#include "tests/support/simulator_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tool_side.h"

namespace hlx::tools {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

using Tool = test::ToolSide;  // the tool's side of the pseudo-terminal

const Bytes kEnd{0x00, 0x00, 0x00, 0x01, 0xFF};

class VirtualMonitorTest : public ::testing::Test {
protected:
    void start(MonitorConfig config = {}) {
        monitor = std::make_unique<VirtualMonitor>(std::move(config));
        tool = std::make_unique<Tool>(monitor->path());
        ASSERT_TRUE(tool->ok());
    }
    void command(std::string_view line, std::string_view answer) {
        tool->send(line);
        EXPECT_EQ(answer, tool->receiveUntil(answer));
    }

    std::unique_ptr<VirtualMonitor> monitor;
    std::unique_ptr<Tool> tool;
};

TEST_F(VirtualMonitorTest, CommandLinesGetTheirAnswers) {
    MonitorConfig config;
    config.replyLine = "Fertig";
    start(config);
    struct Case {
        const char* name;
        std::string_view first;
        std::string_view second;  // sent after a pause in which nothing may come back
    };
    const Case cases[] = {
        {"CrLf", "Bright=50\r\n", ""},
        {"LfOnly", "Version?\n", ""},
        {"InTwoWrites", "Contr", "ast?\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tool->send(c.first);
        if (!c.second.empty()) {
            EXPECT_EQ("", tool->receiveFor(50ms));
            tool->send(c.second);
        }
        EXPECT_EQ("Fertig\r\n", tool->receiveUntil("\n"));
    }
    tool->send("\r\n");  // the monitor answers every line
    EXPECT_EQ("Fertig\r\n", tool->receiveUntil("\n"));
    EXPECT_EQ((std::vector<std::string>{"Bright=50", "Version?", "Contrast?"}), monitor->commands())
        << "an empty line is no command";
    EXPECT_EQ(MonitorMode::Command, monitor->mode());
}

TEST_F(VirtualMonitorTest, EmptyLinesCanBeLeftUnanswered) {
    MonitorConfig config;
    config.ignoreEmptyLines = true;
    start(config);
    tool->send("\r\n\nA=1\r\n");
    EXPECT_EQ("OK\r\n", tool->receiveUntil("\n"));
    EXPECT_EQ("", tool->receiveFor(100ms)) << "one answer, to the one command";
}

TEST_F(VirtualMonitorTest, BinaryDownloadFillsTheImageAndClosesWithItsLines) {
    start();
    command("LoadFWRTQ?\r\n", "LoadFWRTQ OK\r\n");
    EXPECT_EQ(MonitorMode::BinaryRecords, monitor->mode());
    Bytes data(248);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i);
    tool->send(test::hexRecord(4, 0, {0x00, 0x01}));
    EXPECT_EQ("OK\r\n", tool->receiveUntil("\n"));
    // A record split over several writes is collected whole.
    const Bytes big = test::hexRecord(0, 0x0100, data);
    tool->send(Bytes(big.begin(), big.begin() + 3));
    EXPECT_EQ("", tool->receiveFor(50ms));
    tool->send(Bytes(big.begin() + 3, big.end()));
    EXPECT_EQ("OK\r\n", tool->receiveUntil("\n"));
    tool->send(kEnd);
    EXPECT_EQ("OK\r\nFlash geschrieben\r\nNeustart\r\n", tool->receiveUntil("Neustart\r\n"));
    ASSERT_TRUE(monitor->waitForDownloads(1, 1000ms));
    EXPECT_EQ(MonitorMode::Command, monitor->mode());

    MemoryImage expected;
    for (std::size_t i = 0; i < data.size(); ++i) expected[0x10100 + i] = data[i];
    EXPECT_EQ(expected, monitor->image());
    const auto records = monitor->records();
    ASSERT_EQ(3u, records.size());
    EXPECT_EQ(7u, records[0].wireSize);
    EXPECT_EQ(253u, records[1].wireSize);
    EXPECT_EQ(0x10100u, records[1].address);
    EXPECT_EQ(5u, records[2].wireSize);
    EXPECT_EQ(3u, monitor->turnarounds().size());  // every record followed a reply
    EXPECT_EQ((std::vector<std::string>{"LoadFWRTQ?"}), monitor->commands());
}

TEST_F(VirtualMonitorTest, BinaryRecordWithWrongChecksumIsRefusedAndEndsTheDownload) {
    start();
    command("LoadFWRTQ?\r\n", "LoadFWRTQ OK\r\n");
    Bytes bad = test::hexRecord(0, 0x0010, {1, 2, 3});
    bad.back() ^= 0x01;
    tool->send(bad);
    EXPECT_EQ("\xFA\n", tool->receiveUntil("\n"));
    EXPECT_EQ(MonitorMode::Command, monitor->mode());
    EXPECT_TRUE(monitor->image().empty());
    ASSERT_EQ(1u, monitor->records().size());
    EXPECT_FALSE(monitor->records()[0].accepted);
    command("Hello?\r\n", "OK\r\n");  // the next bytes are a command again
}

TEST_F(VirtualMonitorTest, HexLinesAreTakenSilentlyWithFlowControlPauses) {
    MonitorConfig config;
    config.xoffEvery = 2;
    config.xoffPause = 40ms;
    config.closingLines = {"Fertig"};
    start(config);
    command("LoadFW?\r\n", "LoadFW OK\r\n");
    tool->send(test::hexLine(test::hexRecord(4, 0, {0x00, 0x02})));
    EXPECT_EQ("", tool->receiveFor(60ms));  // no reply line per record
    tool->send(test::hexLine(test::hexRecord(0, 0x0010, {0xAA, 0xBB}), {.lowerCase = true}));
    // XOFF at once, XON after the page write.
    EXPECT_EQ("\x13", tool->receiveUntil("\x13"));
    EXPECT_EQ("\x11", tool->receiveUntil("\x11"));
    tool->send(test::hexLine(test::hexRecord(0, 0x0012, {0xCC})));
    tool->send(test::hexLine(kEnd));
    EXPECT_EQ(
        "\x13\x11"
        "Fertig\r\n",
        tool->receiveUntil("Fertig\r\n"));
    ASSERT_TRUE(monitor->waitForDownloads(1, 1000ms));
    EXPECT_EQ((MemoryImage{{0x20010, 0xAA}, {0x20011, 0xBB}, {0x20012, 0xCC}}), monitor->image());
    EXPECT_EQ(MonitorMode::Command, monitor->mode());
    EXPECT_TRUE(monitor->turnarounds().empty());
}

TEST_F(VirtualMonitorTest, BadHexLinesGetTheirErrorByte) {
    struct Case {
        const char* name;
        std::string line;
        char errorByte;
    };
    const Case cases[] = {
        {"WrongChecksum", ":03001000010203E8\r\n", '\xFA'},
        {"NotADigit", ":0300100001020XE7\r\n", '\xFB'},
        {"CountMismatch", ":04001000010203E6\r\n", '\xFB'},
        {"NoColon", "03001000010203E7\r\n", '\xFB'},
    };
    start();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        command("LoadFW?\r\n", "LoadFW OK\r\n");
        tool->send(c.line);
        EXPECT_EQ((std::string{c.errorByte, '\n'}), tool->receiveUntil("\n"));
        EXPECT_EQ(MonitorMode::Command, monitor->mode());
    }
    EXPECT_TRUE(monitor->image().empty());
}

TEST_F(VirtualMonitorTest, InjectedFaults) {
    start();
    const Bytes first = test::hexRecord(0, 0, {1});
    const Bytes second = test::hexRecord(0, 1, {2});

    MonitorFaults error;
    error.errorAt = 2;
    error.errorByte = 0xFD;
    monitor->setFaults(error);
    command("LoadFWRTQ?\r\n", "LoadFWRTQ OK\r\n");
    tool->send(first);
    EXPECT_EQ("OK\r\n", tool->receiveUntil("\n"));
    tool->send(second);
    EXPECT_EQ("\xFD\n", tool->receiveUntil("\n"));
    EXPECT_EQ(MonitorMode::Command, monitor->mode());

    MonitorFaults silent;
    silent.silentAt = 2;
    monitor->setFaults(silent);
    command("LoadFWRTQ?\r\n", "LoadFWRTQ OK\r\n");
    tool->send(first);
    EXPECT_EQ("OK\r\n", tool->receiveUntil("\n"));
    tool->send(second);
    tool->send(kEnd);
    EXPECT_EQ("", tool->receiveFor(200ms));  // not even the closing lines
    ASSERT_TRUE(monitor->waitForDownloads(1, 1000ms));

    MonitorFaults delayed;
    delayed.delay = 300ms;
    delayed.delayAt = 2;
    monitor->setFaults(delayed);
    command("LoadFWRTQ?\r\n", "LoadFWRTQ OK\r\n");
    tool->send(first);
    EXPECT_EQ("OK\r\n", tool->receiveUntil("\n"));
    tool->send(second);
    EXPECT_EQ("", tool->receiveFor(150ms));
    EXPECT_EQ("OK\r\n", tool->receiveUntil("\n"));

    MonitorFaults held;
    held.xoffHoldAt = 1;
    monitor->setFaults(held);
    tool->send(kEnd);
    ASSERT_TRUE(monitor->waitForDownloads(2, 1000ms));
    tool->receiveUntil("Neustart\r\n");
    command("LoadFW?\r\n", "LoadFW OK\r\n");
    tool->send(test::hexLine(first));
    EXPECT_EQ("\x13", tool->receiveUntil("\x13"));
    tool->send(test::hexLine(second));
    EXPECT_EQ("", tool->receiveFor(150ms));  // no XON follows
}

TEST_F(VirtualMonitorTest, DownloadWithoutBytesReturnsToCommandMode) {
    MonitorConfig config;
    config.inactivity = 100ms;
    start(config);
    command("LoadFWRTQ?\r\n", "LoadFWRTQ OK\r\n");
    tool->send(Bytes{0x05, 0x00});  // the start of a record, then nothing
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(MonitorMode::Command, monitor->mode());
    command("Hello?\r\n", "OK\r\n");  // the partial record is forgotten
}

TEST_F(VirtualMonitorTest, UnsolicitedText) {
    MonitorConfig config;
    config.periodicText = "Temp=41";
    config.period = 50ms;
    start(config);
    monitor->say("Hallo");
    const std::string got = tool->receiveUntil("Temp=41\r\nTemp=41\r\n");
    EXPECT_EQ(0u, got.find("Hallo\r\n"));
    EXPECT_NE(std::string::npos, got.find("Temp=41\r\nTemp=41\r\n"));
}

TEST_F(VirtualMonitorTest, TextLinesAreAnsweredAndRecordedAsTheyArrived) {
    start();
    monitor->setFaults({.errorByte = 0xF9, .lineErrorAt = 3, .lineSilentAt = 4});
    tool->send("A=1\r\n\r\nC");
    EXPECT_EQ("OK\r\nOK\r\n", tool->receiveUntil("OK\r\nOK\r\n"));
    tool->send("=3\nD=4\n");
    EXPECT_EQ("\xF9\n", tool->receiveUntil("\n")) << "the third line is refused";
    EXPECT_EQ("", tool->receiveFor(100ms)) << "the fourth is not answered";
    EXPECT_EQ("A=1\r\n\r\nC=3\nD=4\n", monitor->received());
    EXPECT_EQ((std::vector<std::string>{"A=1", "C=3", "D=4"}), monitor->commands());
    EXPECT_TRUE(monitor->frames().empty());
}

TEST_F(VirtualMonitorTest, FileFramesAreAnsweredOneByOne) {
    MonitorConfig config;
    config.fileFrames = true;
    config.inactivity = 200ms;
    start(config);
    struct Case {
        const char* name;
        std::string bytes;
        std::string answer;
    };
    const Case cases[] = {
        {"LargestFrame", "\xFB" + std::string(250, 'a'), "OK\r\n"},
        {"SmallestFrame", std::string("\x02\x00", 2), "OK\r\n"},
        {"LengthByteTooSmall", std::string("\x01", 1), "\xFB\n"},
        {"LengthByteTooLarge", "\xFC", "\xF7\n"},
        {"TextInAFrame", "\x06Hallo", "OK\r\n"},
    };
    std::string content;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        tool->send(c.bytes);
        EXPECT_EQ(c.answer, tool->receiveUntil("\n"));
        if (c.answer == "OK\r\n") content += c.bytes.substr(1);
    }
    EXPECT_EQ(content, monitor->received());
    EXPECT_EQ((std::vector<std::size_t>{250, 1, 5}), monitor->frames());

    // A frame broken off for longer than the inactivity time is dropped; the next byte starts a new one.
    tool->send(
        "\x05"
        "ab");
    EXPECT_EQ("", tool->receiveFor(300ms));
    tool->send("\x03xy");
    EXPECT_EQ("OK\r\n", tool->receiveUntil("\n"));
    EXPECT_EQ((std::vector<std::size_t>{250, 1, 5, 2}), monitor->frames());
}

// A monitor whose USB service port leaves the bus while it restarts: the closing lines reach the tool, then
// the port hangs up and its link goes; after the restart time a new pseudo-terminal answers at the link.
TEST_F(VirtualMonitorTest, RestartsAfterADownloadAtTheSamePath) {
    test::TempDir dir;
    MonitorConfig config;
    config.linkPath = dir.file("ttyMonitor");
    config.restartAfterDownload = true;
    config.restartTime = 1000ms;
    start(config);
    const std::string before = monitor->slavePath();
    char target[256] = {};
    ASSERT_GT(::readlink(config.linkPath.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(before, target);

    command("LoadFWRTQ?\r\n", "LoadFWRTQ OK\r\n");
    tool->send(test::hexRecord(0, 0x0040, {0x12, 0x34}));
    EXPECT_EQ("OK\r\n", tool->receiveUntil("\n"));
    tool->send(kEnd);
    EXPECT_EQ("OK\r\nFlash geschrieben\r\nNeustart\r\n", tool->receiveUntil("Neustart\r\n"));
    EXPECT_EQ("<hang-up>", tool->receive()) << "the port leaves the bus after its closing lines";
    struct stat link {};
    EXPECT_NE(0, ::lstat(config.linkPath.c_str(), &link)) << "the link goes with the port";

    ASSERT_TRUE(monitor->waitForRestarts(1, 5000ms));
    std::fill(std::begin(target), std::end(target), '\0');
    ASSERT_GT(::readlink(config.linkPath.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(monitor->slavePath(), target);
    Tool again(config.linkPath);
    ASSERT_TRUE(again.ok());
    again.send("Hello?\r\n");
    EXPECT_EQ("OK\r\n", again.receiveUntil("\n"));
    EXPECT_EQ((MemoryImage{{0x40, 0x12}, {0x41, 0x34}}), monitor->image()) << "the download stays recorded";
}

// The executable: prints the path (its link), serves a download, writes the image file, restarts at the
// same path and ends on SIGTERM.
TEST(VirtualMonitorProgram, ServesADownloadRestartsAndStopsOnSigterm) {
    test::TempDir dir;
    const std::string imagePath = dir.file("image.hex");
    const std::string linkPath = dir.file("ttyMonitor");
    test::SimulatorProcess program(HLX_VIRTUAL_MONITOR_PATH,
                                   {"--image-out", imagePath, "--reply", "Gut", "--link", linkPath,
                                    "--restart-after-download", "--restart-ms", "100"});
    EXPECT_EQ(linkPath, program.path()) << program.printed();
    {
        Tool tool(linkPath);
        ASSERT_TRUE(tool.ok()) << program.printed();
        tool.send("LoadFWRTQ?\r\n");
        EXPECT_EQ("LoadFWRTQ OK\r\n", tool.receiveUntil("\n"));
        tool.send(test::hexRecord(0, 0x0020, {0x5A, 0xA5}));
        EXPECT_EQ("Gut\r\n", tool.receiveUntil("\n"));
        tool.send(kEnd);
        tool.receiveUntil("Neustart\r\n");
        EXPECT_EQ("<hang-up>", tool.receive());
    }
    EXPECT_TRUE(program.waitFor("written to " + imagePath)) << program.printed();
    EXPECT_EQ(":020000040000FA\r\n:020020005AA5DF\r\n:00000001FF\r\n", test::readFile(imagePath));
    ASSERT_TRUE(program.waitFor("back on the bus")) << program.printed();
    {
        Tool tool(linkPath);
        tool.send("Hello?\r\n");
        EXPECT_EQ("Gut\r\n", tool.receiveUntil("\n"));
    }
    EXPECT_EQ(0, program.stop());
    struct stat link {};
    EXPECT_NE(0, ::lstat(linkPath.c_str(), &link)) << "the link goes with the program";
}

}  // namespace
}  // namespace hlx::tools
