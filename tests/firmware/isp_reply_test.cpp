// The ISP reply reader: the echo skipped by matching in both echo forms, the four reply kinds, the bounded
// buffer; then over a real pseudo-terminal: what follows an answer stays in the port, a silent boot loader
// runs out the deadline, a vanished port is a reported failure, and the drain shows what arrived.

#include "firmware/isp_reply.h"

#include <gtest/gtest.h>

#include "firmware/isp_conversation.h"
#include "firmware/uu_encode.h"
#include "output/job_result.h"
#include "serial/posix_serial_device.h"
#include "tests/support/fake_output_window.h"
#include "tests/support/pty.h"

namespace hlx::firmware {
namespace {

using namespace std::chrono_literals;

struct ParserCase {
    const char* name;
    const char* echo;
    IspReplyKind kind;
    std::string input;
    IspVerdict verdict;
    std::size_t consumed;  // bytes fed when the verdict came (all of them when still pending)
};

class IspReplyParserTest : public ::testing::TestWithParam<ParserCase> {};

TEST_P(IspReplyParserTest, FindsTheAnswer) {
    const ParserCase& c = GetParam();
    IspReplyParser parser(c.echo, c.kind);
    IspVerdict verdict = IspVerdict::Pending;
    std::size_t fed = 0;
    while (fed < c.input.size() && verdict == IspVerdict::Pending)
        verdict = parser.feed(static_cast<std::uint8_t>(c.input[fed++]));
    EXPECT_EQ(c.verdict, verdict);
    EXPECT_EQ(c.consumed, fed);
}

constexpr auto kCode = IspReplyKind::ReturnCode;
constexpr auto kOk = IspReplyKind::OkOrResend;
constexpr auto kSync = IspReplyKind::Synchronisation;
constexpr auto kYes = IspVerdict::Success;
constexpr auto kNo = IspVerdict::Failure;
constexpr auto kWait = IspVerdict::Pending;

const ParserCase kParserCases[] = {
    {"LineEchoThenCode", "U 23130", kCode, "U 23130\r\n0\r\n", kYes, 12},
    {"CharacterEchoLeavesItsLateLf", "U 23130", kCode, "U 23130\r0\r\n\n", kYes, 11},
    {"LateLfOfThePreviousCommandSkipped", "P 0 27", kCode, "\nP 0 27\r0\r\n\n", kYes, 11},
    {"EchoOffAnswerAtOnce", "", kCode, "0\r\n", kYes, 3},
    {"ExpectedEchoThatDoesNotComeIsNoEcho", "G 0 A", kCode, "0\r\n", kYes, 3},
    {"CodeOtherThanZeroAfterTheEcho", "U 23130", kCode, "U 23130\r\n1\r\n", kNo, 12},
    {"TwoDigitCode", "", kCode, "16\r\n", kNo, 3},
    {"SynchronizedEchoedAsALine", "Synchronized", kOk, "Synchronized\r\nOK\r\n", kYes, 18},
    {"SynchronizedEchoedByCharacter", "Synchronized", kOk, "Synchronized\rOK\r\n\n", kYes, 17},
    {"FrequencyAnsweredWithoutEcho", "25000", kOk, "OK\r\n", kYes, 4},
    {"Resend", "", kOk, "RESEND\r\n", kNo, 8},
    {"OkNeedsItsLineEnd", "", kOk, "OK\r", kWait, 3},
    {"OtherTextIsNeitherOkNorResend", "", kOk, "NOPE\r\nOK\r\n", kWait, 10},
    {"Synchronisation", "", kSync, "Synchronized\r\n", kYes, 14},
    {"SynchronisationNeedsFourteenBytes", "", kSync, "Synchronized\r", kWait, 13},
    {"SynchronisationMustComeFirst", "", kSync, "Hello\r\nSynchronized\r\n", kWait, 21},
};

INSTANTIATE_TEST_SUITE_P(Answers, IspReplyParserTest, ::testing::ValuesIn(kParserCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(IspReplyParserTest, HoldsAtMost128Bytes) {
    IspReplyParser parser("", IspReplyKind::OkOrResend);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(IspVerdict::Pending, parser.feed('x'));
    EXPECT_EQ(IspReplyParser::kCapacity, parser.held().size());
}

// The boot loader on the master side of a pseudo-terminal, the job's link on the slave side.
class IspLinkTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(port.open(pty.slavePath(), 2, true)); }

    test::PseudoTerminal pty;
    serial::SerialPort port{std::make_unique<serial::PosixSerialDevice>()};
    serial::Deadline reply;
    test::FakeOutputWindow window;
    output::OutputLog log{window};
    serial::Link link{port, reply, log, {}};
    std::int32_t word = 0;
    IspJobState state{.portWasOpen = true};
    IspConversation isp{link, word, state};
};

TEST_F(IspLinkTest, WhatFollowsTheAnswerStaysForTheNextRead) {
    pty.send("U 23130\r0\r\n\nstarted\r\n");
    isp.arm(1000ms);
    EXPECT_EQ(IspReplyStatus::Success, isp.await("U 23130", IspReplyKind::ReturnCode));
    EXPECT_EQ(0, word);
    EXPECT_EQ("", window.text()) << "answers are not shown";
    EXPECT_EQ(IspReplyStatus::Success, readIspReply(link, "", IspReplyKind::Drain));
    EXPECT_EQ("\nstarted\r\n", window.text());
}

TEST_F(IspLinkTest, FailuresBecomeResultBits) {
    struct Case {
        const char* name;
        std::string sent;  // by the boot loader; empty: nothing
        IspReplyKind kind;
        IspReplyStatus status;
        std::int32_t word;
    };
    const Case cases[] = {
        {"Success", "0\r\n", IspReplyKind::ReturnCode, IspReplyStatus::Success, 0},
        {"ReturnCode", "3\r\n", IspReplyKind::ReturnCode, IspReplyStatus::Failure,
         output::result::kErrorByte},
        {"Resend", "RESEND\r\n", IspReplyKind::OkOrResend, IspReplyStatus::Failure,
         output::result::kErrorByte},
        {"Silence", "", IspReplyKind::ReturnCode, IspReplyStatus::TimedOut, output::result::kTimeout},
        {"HalfAnAnswer", "O", IspReplyKind::OkOrResend, IspReplyStatus::TimedOut, output::result::kTimeout},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        word = 0;
        if (!c.sent.empty()) pty.send(c.sent);
        isp.arm(100ms);
        EXPECT_EQ(c.status, isp.await("", c.kind));
        EXPECT_EQ(c.word, word);
        readIspReply(link, "", IspReplyKind::Drain);
    }
}

TEST_F(IspLinkTest, AVanishedPortIsAMissingAnswerAndAFailedWrite) {
    pty.hangUp();
    isp.arm(2000ms);
    EXPECT_EQ(IspReplyStatus::PortClosed, isp.await("", IspReplyKind::ReturnCode));
    EXPECT_EQ(output::result::kTimeout, word);
    EXPECT_FALSE(isp.sendLine("P 0 27"));
    EXPECT_EQ(output::result::kTimeout | output::result::kShortWrite, word);
    EXPECT_TRUE(port.state().lost());
}

TEST_F(IspLinkTest, APortThatNeverOpenedAddsNoWaitingFailure) {
    port.close();
    state.portWasOpen = false;
    isp.arm(2000ms);
    EXPECT_EQ(IspReplyStatus::PortClosed, isp.await("G 0 A", IspReplyKind::ReturnCode));
    EXPECT_EQ(0, word);
    EXPECT_EQ("", window.text());
}

TEST_F(IspLinkTest, DrainShowsHighBytesAsWindows1252) {
    pty.send(
        "Gr\xFC\xDF"
        "e\r\n");
    std::this_thread::sleep_for(50ms);  // let the bytes cross the pseudo-terminal
    readIspReply(link, "", IspReplyKind::Drain);
    EXPECT_EQ(
        "Gr\xC3\xBC\xC3\x9F"
        "e\r\n",
        window.text());
}

TEST_F(IspLinkTest, UuLineGoesOutWholeAndCounts) {
    const std::array<std::uint8_t, 6> area{0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00};
    std::int32_t checksum = 10;
    EXPECT_TRUE(isp.sendUuLine(area, 4, checksum));
    EXPECT_EQ(10 + 4 * 255, checksum);
    EXPECT_EQ("$_____P``\r\n", pty.receive(11));
}

TEST_F(IspLinkTest, ReadsLinesAndRefusesOverlongOnes) {
    pty.send("\r\n#0V%T\r\n" + std::string(200, 'x') + "\r\n");
    isp.arm(500ms);
    std::string line;
    EXPECT_TRUE(isp.readLine(line));
    EXPECT_EQ("#0V%T", line);
    EXPECT_FALSE(isp.readLine(line));
    EXPECT_EQ(output::result::kErrorByte, word);
    word = 0;
    EXPECT_FALSE(isp.readLine(line));
    EXPECT_EQ(output::result::kTimeout, word);
}

}  // namespace
}  // namespace hlx::firmware
