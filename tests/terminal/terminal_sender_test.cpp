#include "terminal/terminal_sender.h"

#include <gtest/gtest.h>

#include "tests/terminal/sender_job_test.h"

namespace hlx::terminal {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

struct SplitCase {
    const char* name;
    std::string text;
    Lines lines;
};

const SplitCase kSplitCases[] = {
    {"EmptyText", "", {}},
    {"OneLineWithoutBreak", "Bright=50", {"Bright=50"}},
    {"EmptyLastLineDoesNotCount", "A=1\r\nB?\r\n", {"A=1", "B?"}},
    {"EmptyInnerLineCounts", "A=1\r\n\r\nB?", {"A=1", "", "B?"}},
    {"OnlyALineBreak", "\r\n", {""}},
    {"TwoEmptyLines", "\r\n\r\n", {"", ""}},
    {"LoneLfAsTheWindowShowsIt", "A=1\nB?", {"A=1", "B?"}},
    {"LoneCrIsNoBreak", "A=1\rB?\r\n", {"A=1\rB?"}},
    {"CrBeforeCrLfStaysInTheLine", "A=1\r\r\n", {"A=1\r"}},
};

class TerminalLinesTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(TerminalLinesTest, WindowTextSplitsIntoTheseLines) {
    EXPECT_EQ(GetParam().lines, terminalLines(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(WindowTexts, TerminalLinesTest, ::testing::ValuesIn(kSplitCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The terminal sender against a scripted monitor.
class TerminalSenderTest : public test::SenderJobTest {
protected:
    std::int32_t sendWindow(const std::string& text) {
        view.setText(text);
        jobs::JobInputs inputs;
        inputs.parameter = 0;
        inputs.windowText = view.text();
        return run(terminalSenderJob(), inputs);
    }
    void answerEach(Answer a) {
        answer([a](int, std::string_view) { return a; });
    }
};

TEST_F(TerminalSenderTest, EveryLineGoesOutAndIsShownWithItsAnswer) {
    const std::string text = "Bright=50\r\n\r\nName=M\xC3\xBCller\r\n";
    answerEach({20ms, "OK\r\n"});
    EXPECT_EQ(0x1000, sendWindow(text));
    EXPECT_EQ((Lines{"Bright=50\r\n", "\r\n", "Name=M\xFCller\r\n"}), device.writes())
        << "8-bit, CR LF added";
    EXPECT_EQ(text + "Bright=50 OK\r\n OK\r\nName=Müller OK\r\n", view.text()) << "the window is not cleared";
    EXPECT_EQ((Lines{"poll off", "progress 0..3", "progress 0", "progress 1", "progress 2", "progress 3",
                     "caret end", "poll on"}),
              view.transcript());
    EXPECT_EQ((std::vector<Milliseconds>{2ms, 22ms, 42ms}), writeTimes) << "after the 2 ms of quiet line";
}

TEST_F(TerminalSenderTest, AnEmptyWindowSendsNothing) {
    EXPECT_EQ(0x1000, sendWindow(""));
    EXPECT_TRUE(device.writes().empty());
    EXPECT_EQ("", view.text());
    EXPECT_EQ((Lines{"clear", "poll off", "caret end", "poll on"}), view.transcript())
        << "cleared by the test";
}

// Each line has 1000 ms for its answer; the first line without one stops the job.
TEST_F(TerminalSenderTest, AnswerWindow) {
    struct Case {
        const char* name;
        Milliseconds delay;
        int silentFrom;  // lines from this one on get no answer (0: all answered)
        std::int32_t word;
        std::size_t writes;
        std::string tail;
    };
    const Case cases[] = {
        {"AnsweredWithin1000ms", 990ms, 0, 0x1000, 5, "e=5 OK\r\n"},
        {"AnsweredAfter1000ms", 1010ms, 0, 0x1020, 1, "a=1 Fehler: Zeitüberschreitung\r\n"},
        {"SilentAfterTheThirdLine", 5ms, 4, 0x1020, 4, "c=3 OK\r\nd=4 Fehler: Zeitüberschreitung\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t before = device.writes().size();
        auto count = std::make_shared<int>(0);
        answer([&c, count](int, std::string_view) {
            ++*count;
            return c.silentFrom && *count >= c.silentFrom ? Answer{} : Answer{c.delay, "OK\r\n"};
        });
        EXPECT_EQ(c.word, sendWindow("a=1\r\nb=2\r\nc=3\r\nd=4\r\ne=5\r\n"));
        EXPECT_EQ(c.writes, device.writes().size() - before);
        EXPECT_TRUE(view.text().ends_with(c.tail)) << view.text();
        clock.advance(1h);
    }
}

TEST_F(TerminalSenderTest, TheFirstFailureStopsTheRemainingLines) {
    struct Case {
        const char* name;
        std::string answer;
        int failedWrite;  // a write (from 1) the port takes only in part, or 0
        std::int32_t word;
        std::string tail;
    };
    const Case cases[] = {
        {"ErrorByteWithItsLine", "\xF9\n", 0, 0x1001, "A=1 ùERR_FLASHWRITE\n"},
        {"ErrorByteAlone", "\x0E", 0, 0x1020, "A=1 ERR_NACKFehler: Zeitüberschreitung\r\n"},
        {"FlowHeldPastTheAnswerWindow", "OK\r\n\x13", 0, 0x1020,
         "A=1 OK\r\nB=2 Fehler: Zeitüberschreitung\r\n"},
        {"ShortWrite", "OK\r\n", 1, 0x1010, "A=1 Fehler: Nicht alle Daten konnten gesendet werden\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t before = device.writes().size();
        if (c.failedWrite) device.failWrite(static_cast<int>(before) + c.failedWrite, 2);
        answerEach({1ms, c.answer});
        EXPECT_EQ(c.word, sendWindow("A=1\r\nB=2\r\nC=3\r\n"));
        EXPECT_EQ(1u, device.writes().size() - before) << "nothing after the failing line";
        EXPECT_EQ("A=1\r\nB=2\r\nC=3\r\n" + c.tail, view.text());
        clock.advance(1h);
    }
}

TEST_F(TerminalSenderTest, PendingInputIsDroppedUntilTheLineIsQuiet) {
    device.replyAfter(0ms, "Temp=41\r\n");
    device.replyAfter(60ms, "Temp=42\r\n");
    answerEach({5ms, "OK\r\n"});
    EXPECT_EQ(0x1000, sendWindow("Version?\r\n"));
    EXPECT_EQ((std::vector<Milliseconds>{160ms}), writeTimes) << "100 ms after the last byte";
    EXPECT_EQ("Version?\r\nVersion? OK\r\n", view.text());
}

TEST_F(TerminalSenderTest, AMonitorThatNeverFallsQuietHoldsTheJobForOneSecondAtMost) {
    for (auto at = 0ms; at < 3000ms; at += 50ms) device.replyAfter(at, "Temp=41\r\n");
    answerEach({});
    sendWindow("Version?\r\n");
    ASSERT_FALSE(writeTimes.empty());
    EXPECT_EQ(kDrainCap, writeTimes.front());
}

// A port that cannot be opened is that failure, also with nothing to send: no line is tried.
TEST_F(TerminalSenderTest, APortThatDidNotOpenIsThatFailureAndNoLineIsSent) {
    device.refuseOpen("No such file or directory");
    for (const char* text : {"A=1\r\nB=2\r\n", ""}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(0x1800, sendWindow(text));
        EXPECT_EQ(std::string(text) + "Fehler: COM Port konnte nicht geöffnet werden\r\n", view.text());
        EXPECT_TRUE(device.writes().empty());
    }
}

TEST_F(TerminalSenderTest, APortThatGoesAwayIsReported) {
    device.failWrite(2, 0, /*gone=*/true);
    answerEach({1ms, "OK\r\n"});
    const std::int32_t word = sendWindow("A=1\r\nB=2\r\n");
    EXPECT_EQ(0x1010, word);
    EXPECT_EQ(
        "A=1\r\nB=2\r\nA=1 OK\r\nB=2 Fehler: Verbindung zum COM Port verloren (/dev/monitor)\r\n"
        "Fehler: Nicht alle Daten konnten gesendet werden\r\n",
        view.text());
}

}  // namespace
}  // namespace hlx::terminal
