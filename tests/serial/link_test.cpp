#include "serial/link.h"

#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "serial/posix_serial_device.h"
#include "tests/support/fake_output_window.h"
#include "tests/support/pty.h"

namespace hlx::serial {
namespace {

using namespace std::chrono_literals;

// The monitor on the master side of a pseudo-terminal, the tool's link on the slave side.
class LinkTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(port.open(pty.slavePath(), 0, true)); }

    // Sends bytes to the tool after a delay, from a thread of its own.
    void replyAfter(std::chrono::milliseconds delay, std::string bytes) {
        peers.push_back(std::async(std::launch::async, [this, delay, bytes] {
            std::this_thread::sleep_for(delay);
            pty.send(bytes);
        }));
    }

    bool readLines(int maxLines, int& seen, Milliseconds deadline = 1500ms) {
        reply.arm(deadline);
        return readReply(link, ReplyMode::Lines, maxLines, seen);
    }

    test::PseudoTerminal pty;
    SerialPort port{std::make_unique<PosixSerialDevice>()};
    Deadline reply;
    test::FakeOutputWindow window;
    output::OutputLog log{window};
    Link link{port, reply, log, {}};
    std::vector<std::future<void>> peers;
};

TEST_F(LinkTest, OkWithinTheDeadlineIsOneLine) {
    replyAfter(50ms, "OK\r\n");
    int seen = -1;
    EXPECT_TRUE(readLines(1, seen));
    EXPECT_EQ(1, seen);
    EXPECT_EQ("OK\r\n", window.text());
    EXPECT_FALSE(reply.expired());
}

struct ReplyCase {
    const char* name;
    std::string bytes;
    bool ok;
    int lines;
    std::string shown;  // UTF-8
};

class ReplyBytesTest : public LinkTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(ReplyBytesTest, ShownAndClassified) {
    const ReplyCase& c = GetParam();
    pty.send(c.bytes);
    int seen = -1;
    EXPECT_EQ(c.ok, readLines(1, seen, 300ms));
    EXPECT_EQ(c.lines, seen);
    EXPECT_EQ(c.shown, window.text());
}

const ReplyCase kReplyCases[] = {
    {"TimeoutByteThenLf", "\xFD\n", false, 1, "\xC3\xBD" "ERR_TIMEOUT\n"},
    {"NackShowsOnlyItsName", "\x0E", false, 0, "ERR_NACK"},
    {"UnnamedErrorByteShownAsItsCharacterOnly", "\xF3", false, 0, "\xC3\xB3"},
    {"EtxEndsALineUnseen", "OK\x03", true, 1, "OK"},
    {"FfIgnored", "O\xFFK\n", true, 1, "OK\n"},
    {"RestOfTheChunkAfterAnError", "\xFAxy\nz", false, 1, "\xC3\xBA" "ERR_WRONGCRCxy\nz"},
    {"HighBytesAsWindows1252", "\x80\xE4\n", true, 1, "\xE2\x82\xAC\xC3\xA4\n"},
    {"ControlBytesNotShown", "a\x01\x07\tb\r\n", true, 1, "ab\r\n"},
};

INSTANTIATE_TEST_SUITE_P(Replies, ReplyBytesTest, ::testing::ValuesIn(kReplyCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LinkTest, NoAnswerReturnsTrueAfterTheDeadline) {
    int seen = -1;
    const auto start = Clock::now();
    EXPECT_TRUE(readLines(1, seen, 200ms));
    EXPECT_EQ(0, seen);
    EXPECT_TRUE(reply.expired());
    EXPECT_GE(Clock::now() - start, 200ms);
    EXPECT_EQ("", window.text());
}

TEST_F(LinkTest, EachLineEndMovesTheDeadlineOn) {
    // Three lines 400 ms apart against a 500 ms first deadline: each line end re-arms by 1500 ms.
    replyAfter(400ms, "a\n");
    replyAfter(800ms, "b\n");
    replyAfter(1200ms, "c\n");
    int seen = 0;
    EXPECT_TRUE(readLines(3, seen, 500ms));
    EXPECT_EQ(3, seen);
}

TEST_F(LinkTest, FlowWaitHoldsUnderXoffUntilXon) {
    pty.send({kXoff});
    replyAfter(1000ms, std::string(1, static_cast<char>(kXon)));
    reply.arm(5000ms);
    int seen = 0;
    const auto start = Clock::now();
    EXPECT_TRUE(readReply(link, ReplyMode::FlowWait, 1, seen));
    const auto took = Clock::now() - start;
    EXPECT_GE(took, 1000ms);
    EXPECT_LT(took, 2000ms);
    // The XON re-armed the deadline 1500 ms from its arrival.
    const auto left = reply.remaining();
    EXPECT_GT(left, 1300ms);
    EXPECT_LE(left, 1500ms);
}

TEST_F(LinkTest, FlowWaitWithoutFlowControlIsOnePause) {
    reply.arm(5000ms);
    int seen = 0;
    const auto start = Clock::now();
    EXPECT_TRUE(readReply(link, ReplyMode::FlowWait, 1, seen));
    EXPECT_EQ(1, seen);
    EXPECT_GE(Clock::now() - start, 20ms);
    EXPECT_LT(Clock::now() - start, 500ms);
}

TEST_F(LinkTest, DrainDiscardsPendingInput) {
    pty.send("old stuff\n");
    std::this_thread::sleep_for(50ms);
    int seen = 7;
    EXPECT_TRUE(readReply(link, ReplyMode::Drain, 1, seen));
    EXPECT_EQ(7, seen);
    EXPECT_EQ("", window.text());
}

TEST_F(LinkTest, SendLineDropsControlCharactersAndEndsWithCrLf) {
    EXPECT_TRUE(sendLine(link, "Get\tVer?\xC3\xA4"));
    EXPECT_EQ("GetVer?\xE4\r\n", pty.receive(10));
}

TEST_F(LinkTest, ReadAvailableCollectsBytesThatKeepComing) {
    pty.send("0");
    replyAfter(0ms, "");
    peers.push_back(std::async(std::launch::async, [this] {
        for (char c = '1'; c <= '9'; ++c) {
            std::this_thread::sleep_for(50ms);
            pty.send(std::string(1, c));
        }
    }));
    std::this_thread::sleep_for(5ms);
    reply.arm(1ms);
    std::string text;
    const auto start = Clock::now();
    EXPECT_TRUE(readAvailable(link, text));
    const auto took = Clock::now() - start;
    EXPECT_EQ("0123456789", text);
    EXPECT_GE(took, 540ms);  // 9 x 50 ms of bytes, then 100 ms of quiet
    EXPECT_LT(took, 900ms);
}

TEST_F(LinkTest, ReadAvailableWithACapLeavesTheRestForLater) {
    std::atomic<bool> streaming{true};
    std::thread monitor([&] {
        while (streaming) {
            pty.send("x");
            std::this_thread::sleep_for(10ms);
        }
    });
    reply.arm(1ms);
    std::string first;
    const auto start = Clock::now();
    EXPECT_TRUE(readAvailable(link, first, 300ms));
    EXPECT_LT(Clock::now() - start, 600ms);
    std::this_thread::sleep_for(100ms);  // the stream goes on meanwhile
    streaming = false;
    monitor.join();
    std::string rest;
    reply.arm(1ms);
    readAvailable(link, rest);
    EXPECT_GT(first.size(), 10u);
    EXPECT_FALSE(rest.empty());
}

TEST_F(LinkTest, ClosedPortDoesNothing) {
    port.close();
    int seen = -1;
    EXPECT_TRUE(readLines(1, seen));
    EXPECT_EQ(0, seen);
    EXPECT_FALSE(sendLine(link, "x?"));
    const std::uint8_t b = 1;
    EXPECT_FALSE(writeBytes(link, {&b, 1}));
    std::string text = "stale";
    EXPECT_FALSE(readAvailable(link, text));
    EXPECT_EQ("", text);
}

TEST_F(LinkTest, UnpluggedDeviceEndsTheWaitAndClosesThePort) {
    std::thread unplug([this] {
        std::this_thread::sleep_for(100ms);
        pty.hangUp();
    });
    int seen = -1;
    const auto start = Clock::now();
    EXPECT_TRUE(readLines(1, seen, 3000ms));
    EXPECT_LT(Clock::now() - start, 1000ms);
    EXPECT_FALSE(port.isOpen());
    unplug.join();
}

TEST_F(LinkTest, StopEndsAWaitAtOnce) {
    std::stop_source stop;
    Link stoppable{port, reply, log, stop.get_token()};
    std::stop_callback wake(stop.get_token(), [this] { port.wake(); });
    std::thread stopper([&] {
        std::this_thread::sleep_for(100ms);
        stop.request_stop();
    });
    reply.arm(5000ms);
    int seen = -1;
    const auto start = Clock::now();
    readReply(stoppable, ReplyMode::Lines, 1, seen);
    EXPECT_LT(Clock::now() - start, 500ms);
    stopper.join();
}

TEST_F(LinkTest, ReopenDuringAWaitTakesEffectAtOnce) {
    std::thread gui([this] {
        std::this_thread::sleep_for(100ms);
        const auto start = Clock::now();
        EXPECT_TRUE(port.open(pty.slavePath(), 2, true));
        EXPECT_LT(Clock::now() - start, 300ms) << "the re-open must not wait out the job's deadline";
        std::this_thread::sleep_for(100ms);
        pty.send("OK\n");
    });
    int seen = -1;
    EXPECT_TRUE(readLines(1, seen, 3000ms));
    EXPECT_EQ(1, seen);
    gui.join();
}

}  // namespace
}  // namespace hlx::serial
