#include "serial/link.h"

#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "serial/posix_serial_device.h"
#include "tests/support/fake_output_window.h"
#include "tests/support/fake_serial_device.h"
#include "tests/support/pty.h"

namespace hlx::serial {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

// The monitor scripted on a fake device and a fake clock: nothing here sleeps.
class LinkTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(port.open("fake", 0, true)); }

    bool readLines(int maxLines, int& seen, Milliseconds deadline = 1500ms) {
        reply.arm(deadline);
        return readReply(link, ReplyMode::Lines, maxLines, seen);
    }
    Milliseconds elapsedSince(std::chrono::milliseconds start) const { return clock.elapsed() - start; }

    test::FakeClock clock;
    test::FakeSerialDevice* device = new test::FakeSerialDevice(clock);
    SerialPort port{std::unique_ptr<SerialDevice>(device)};
    Deadline reply{clock};
    test::FakeOutputWindow window;
    output::OutputLog log{window};
    Link link{port, reply, log, {}};
};

TEST_F(LinkTest, OkWithinTheDeadlineIsOneLine) {
    device->replyAfter(50ms, "OK\r\n");
    int seen = -1;
    EXPECT_TRUE(readLines(1, seen));
    EXPECT_EQ(1, seen);
    EXPECT_EQ("OK\r\n", window.text());
    EXPECT_FALSE(reply.expired());
    EXPECT_EQ(50ms, clock.elapsed() - 0ms);
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
    device->replyAfter(0ms, c.bytes);
    int seen = -1;
    EXPECT_EQ(c.ok, readLines(1, seen, 300ms));
    EXPECT_EQ(c.lines, seen);
    EXPECT_EQ(c.shown, window.text());
}

const ReplyCase kReplyCases[] = {
    {"TimeoutByteThenLf", "\xFD\n", false, 1,
     "\xC3\xBD"
     "ERR_TIMEOUT\n"},
    {"NackShowsOnlyItsName", "\x0E", false, 0, "ERR_NACK"},
    {"UnnamedErrorByteShownAsItsCharacterOnly", "\xF3", false, 0, "\xC3\xB3"},
    {"EtxEndsALineUnseen", "OK\x03", true, 1, "OK"},
    {"FfIgnored", "O\xFFK\n", true, 1, "OK\n"},
    {"RestOfTheChunkAfterAnError", "\xFAxy\nz", false, 1,
     "\xC3\xBA"
     "ERR_WRONGCRCxy\nz"},
    {"HighBytesAsWindows1252", "\x80\xE4\n", true, 1, "\xE2\x82\xAC\xC3\xA4\n"},
    {"ControlBytesNotShown", "a\x01\x07\tb\r\n", true, 1, "ab\r\n"},
};

INSTANTIATE_TEST_SUITE_P(Replies, ReplyBytesTest, ::testing::ValuesIn(kReplyCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LinkTest, NoAnswerReturnsTrueAfterTheDeadline) {
    int seen = -1;
    EXPECT_TRUE(readLines(1, seen, 200ms));
    EXPECT_EQ(0, seen);
    EXPECT_TRUE(reply.expired());
    EXPECT_EQ(200ms, clock.elapsed());
    EXPECT_EQ("", window.text());
}

TEST_F(LinkTest, EachLineEndMovesTheDeadlineOn) {
    // Three lines 400 ms apart against a 500 ms first deadline: each line end re-arms by 1500 ms.
    device->replyAfter(400ms, "a\n");
    device->replyAfter(800ms, "b\n");
    device->replyAfter(1200ms, "c\n");
    int seen = 0;
    EXPECT_TRUE(readLines(3, seen, 500ms));
    EXPECT_EQ(3, seen);
    EXPECT_EQ(1500ms, reply.remaining());
}

TEST_F(LinkTest, FlowWaitHoldsUnderXoffUntilXon) {
    device->replyAfter(0ms, {kXoff});
    device->replyAfter(1000ms, {kXon});
    reply.arm(5000ms);
    int seen = 0;
    EXPECT_TRUE(readReply(link, ReplyMode::FlowWait, 1, seen));
    EXPECT_EQ(1000ms, clock.elapsed());
    EXPECT_EQ(1500ms, reply.remaining());  // the XON re-armed the deadline from its arrival
    EXPECT_FALSE(flowHeld(link));
}

TEST_F(LinkTest, FlowWaitWithoutFlowControlIsOnePause) {
    reply.arm(5000ms);
    int seen = 0;
    EXPECT_TRUE(readReply(link, ReplyMode::FlowWait, 1, seen));
    EXPECT_EQ(1, seen);
    EXPECT_EQ(20ms, clock.elapsed());
}

TEST_F(LinkTest, DrainDiscardsPendingInput) {
    device->replyAfter(0ms, "old stuff\n");
    int seen = 7;
    EXPECT_TRUE(readReply(link, ReplyMode::Drain, 1, seen));
    EXPECT_EQ(7, seen);
    EXPECT_EQ("", window.text());
    EXPECT_FALSE(readLines(1, seen, 10ms) && seen > 0);
}

TEST_F(LinkTest, SendLineDropsControlCharactersAndEndsWithCrLf) {
    EXPECT_TRUE(sendLine(link, "Get\tVer?\xC3\xA4"));
    EXPECT_EQ("GetVer?\xE4\r\n", device->written());
}

TEST_F(LinkTest, ReadAvailableCollectsBytesThatKeepComing) {
    device->replyAfter(0ms, "0");
    for (int i = 1; i <= 9; ++i) device->replyAfter(i * 50ms, std::string(1, static_cast<char>('0' + i)));
    reply.arm(1ms);
    std::string text;
    EXPECT_TRUE(readAvailable(link, text));
    EXPECT_EQ("0123456789", text);
    EXPECT_EQ(9 * 50ms + 100ms, clock.elapsed());  // the bytes, then 100 ms of quiet
}

TEST_F(LinkTest, ReadAvailableWithACapLeavesTheRestForLater) {
    for (int i = 0; i < 60; ++i) device->replyAfter(i * 10ms, "x");
    reply.arm(1ms);
    std::string first;
    EXPECT_TRUE(readAvailable(link, first, 300ms));
    EXPECT_EQ(300ms, clock.elapsed());
    std::string rest;
    reply.arm(1ms);
    readAvailable(link, rest);
    EXPECT_EQ(30u, first.size());  // one byte each 10 ms before the cap; the one at 300 ms is left
    EXPECT_EQ(60u, first.size() + rest.size());
}

TEST_F(LinkTest, ClosedPortSendsNothingAndAReplyWaitEndsAsATimeOut) {
    port.close();
    int seen = -1;
    EXPECT_TRUE(readLines(1, seen));
    EXPECT_EQ(0, seen);
    EXPECT_TRUE(reply.expired()) << "no reply can come through a closed port";
    EXPECT_FALSE(sendLine(link, "x?"));
    const std::uint8_t b = 1;
    EXPECT_FALSE(writeBytes(link, {&b, 1}));
    std::string text = "stale";
    EXPECT_FALSE(readAvailable(link, text));
    EXPECT_EQ("", text);
    EXPECT_EQ("", device->written());
}

TEST_F(LinkTest, DeviceThatVanishesDuringAReplyWaitEndsItAsATimeOut) {
    device->hangUpAfter(300ms);
    int seen = -1;
    EXPECT_TRUE(readLines(1, seen, 3000ms));
    EXPECT_EQ(0, seen);
    EXPECT_EQ(300ms, clock.elapsed());
    EXPECT_TRUE(reply.expired());
    EXPECT_FALSE(port.isOpen());
    EXPECT_TRUE(port.state().lost());
}

TEST_F(LinkTest, XoffAfterAReplyHoldsTheNextWriteUntilXon) {
    device->replyAfter(0ms, std::string("OK\n") + static_cast<char>(kXoff));
    int seen = 0;
    readLines(1, seen);
    ASSERT_TRUE(flowHeld(link));
    device->replyAfter(400ms, {kXon});
    const std::uint8_t record[] = {1, 2, 3};
    EXPECT_TRUE(writeBytes(link, record));
    EXPECT_EQ(400ms, clock.elapsed());
    EXPECT_EQ("\x01\x02\x03", device->written());
}

TEST_F(LinkTest, XoffArrivingBetweenReplyAndWriteHoldsTheWrite) {
    device->replyAfter(0ms, "OK\n");
    int seen = 0;
    readLines(1, seen);
    device->replyAfter(0ms, {kXoff});
    device->replyAfter(200ms, std::string("busy\n") + static_cast<char>(kXon));
    EXPECT_TRUE(sendLine(link, "next"));
    EXPECT_EQ(200ms, clock.elapsed());
    // What arrived while the sender waited for XON is shown by the next reader, once.
    reply.arm(100ms);
    readReply(link, ReplyMode::Lines, 1, seen);
    EXPECT_EQ("OK\nbusy\n", window.text());
}

TEST_F(LinkTest, XoffNeverReleasedSendsNothingAndExpiresTheDeadline) {
    device->replyAfter(0ms, std::string("OK\n") + static_cast<char>(kXoff));
    int seen = 0;
    readLines(1, seen, 1500ms);
    const std::uint8_t record[] = {9};
    EXPECT_FALSE(writeBytes(link, record));
    EXPECT_TRUE(flowHeld(link));
    EXPECT_TRUE(reply.expired());
    EXPECT_EQ("", device->written());
    EXPECT_EQ(1500ms, clock.elapsed());
}

// The terminal's send on the GUI thread: held by an XOFF whichever reader took it (the idle poll's readNow
// included) or that has only just arrived, released by the XON the idle poll reads, and never waiting.
TEST_F(LinkTest, TheTerminalsSendFollowsTheFlowEveryReaderSawAndNeverWaits) {
    std::string raw;
    device->replyAfter(0ms, {kXoff});
    readNow(link, raw);  // the idle poll takes the XOFF
    EXPECT_TRUE(flowHeld(link));
    EXPECT_EQ(SendOutcome::FlowHeld, sendLineNow(link, "ver?"));

    device->replyAfter(0ms, {kXon});
    readNow(link, raw);  // and the XON
    EXPECT_FALSE(flowHeld(link));
    EXPECT_EQ(SendOutcome::Sent, sendLineNow(link, "ver?"));

    device->replyAfter(0ms, std::string("busy") + static_cast<char>(kXoff));
    EXPECT_EQ(SendOutcome::FlowHeld, sendLineNow(link, "again?")) << "an XOFF no reader has taken yet";
    EXPECT_EQ("", raw) << "flow control is not text";
    readNow(link, raw);
    EXPECT_EQ("busy", raw) << "what the send read ahead is shown once";

    EXPECT_EQ(0ms, clock.elapsed()) << "the GUI thread never waits for the monitor";
    EXPECT_EQ("ver?\r\n", device->written());

    device->replyAfter(0ms, {kXon});
    device->failWrite(2, 3);
    EXPECT_EQ(SendOutcome::NotWritten, sendLineNow(link, "short?"));
    port.close();
    EXPECT_EQ(SendOutcome::NotOpen, sendLineNow(link, "closed?"));
}

// The same link over a real pseudo-terminal, for what only the operating system can show: hang-ups,
// wake-ups from another thread, re-opens while a job waits.
class PtyLinkTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(port.open(pty.slavePath(), 0, true)); }

    test::PseudoTerminal pty;
    SerialPort port{std::make_unique<PosixSerialDevice>()};
    Deadline reply;
    test::FakeOutputWindow window;
    output::OutputLog log{window};
    Link link{port, reply, log, {}};
};

TEST_F(PtyLinkTest, ReplyArrivesThroughTheOperatingSystem) {
    std::thread monitor([this] {
        std::this_thread::sleep_for(50ms);
        pty.send("OK\r\n");
    });
    reply.arm(1500ms);
    int seen = -1;
    EXPECT_TRUE(readReply(link, ReplyMode::Lines, 1, seen));
    EXPECT_EQ(1, seen);
    EXPECT_EQ("OK\r\n", window.text());
    monitor.join();
}

TEST_F(PtyLinkTest, UnpluggedDeviceEndsTheWaitAndClosesThePort) {
    std::thread unplug([this] {
        std::this_thread::sleep_for(100ms);
        pty.hangUp();
    });
    reply.arm(3000ms);
    int seen = -1;
    const auto start = SteadyClock::now();
    EXPECT_TRUE(readReply(link, ReplyMode::Lines, 1, seen));
    EXPECT_LT(SteadyClock::now() - start, 1000ms);
    EXPECT_FALSE(port.isOpen());
    EXPECT_TRUE(port.state().lost());
    EXPECT_TRUE(reply.expired());
    unplug.join();
}

TEST_F(PtyLinkTest, StopEndsAWaitAtOnce) {
    std::stop_source stop;
    Link stoppable{port, reply, log, stop.get_token()};
    std::stop_callback wake(stop.get_token(), [this] { port.wake(); });
    std::thread stopper([&] {
        std::this_thread::sleep_for(100ms);
        stop.request_stop();
    });
    reply.arm(5000ms);
    int seen = -1;
    const auto start = SteadyClock::now();
    readReply(stoppable, ReplyMode::Lines, 1, seen);
    EXPECT_LT(SteadyClock::now() - start, 500ms);
    stopper.join();
}

TEST_F(PtyLinkTest, ReopenAndStateDuringAWaitTakeEffectAtOnce) {
    std::thread gui([this] {
        std::this_thread::sleep_for(100ms);
        auto start = SteadyClock::now();
        (void)port.state();
        EXPECT_LT(SteadyClock::now() - start, 50ms) << "the status bar must not wait for the job";
        start = SteadyClock::now();
        EXPECT_TRUE(port.open(pty.slavePath(), 2, true));
        EXPECT_LT(SteadyClock::now() - start, 300ms) << "the re-open must not wait out the job's deadline";
        std::this_thread::sleep_for(100ms);
        pty.send("OK\n");
    });
    reply.arm(3000ms);
    int seen = -1;
    EXPECT_TRUE(readReply(link, ReplyMode::Lines, 1, seen));
    EXPECT_EQ(1, seen);
    gui.join();
}

// The GUI thread re-opens the port again and again while the job waits for its reply: the reader never
// takes the moment between a re-open's close and its open for a port that went away, so the reply that
// comes on the re-opened port is read and the wait is no time-out.
TEST_F(PtyLinkTest, ReopensRacingAReplyWaitNeverEndItAsATimeOut) {
    for (int round = 0; round < 50; ++round) {
        SCOPED_TRACE(round);
        window.setText("");
        std::thread gui([this] {
            for (int i = 0; i < 20; ++i) EXPECT_TRUE(port.open(pty.slavePath(), 0, true));
            pty.send("OK\n");
        });
        reply.arm(5000ms);
        int seen = -1;
        EXPECT_TRUE(readReply(link, ReplyMode::Lines, 1, seen));
        gui.join();
        EXPECT_EQ(1, seen);
        EXPECT_FALSE(reply.expired()) << "a false time-out";
        EXPECT_EQ("OK\n", window.text());
        if (HasFailure()) break;
    }
}

}  // namespace
}  // namespace hlx::serial
