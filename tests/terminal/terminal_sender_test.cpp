#include "terminal/terminal_sender.h"

#include <gtest/gtest.h>

#include <mutex>

#include "tests/support/fake_output_window.h"
#include "tests/terminal/answering_device.h"

namespace hlx::terminal {
namespace {

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

class ProgressView : public output::JobView {
  public:
    void setProgressRange(int minimum, int maximum) override {
        std::lock_guard lock(m_mutex);
        m_calls.push_back("range " + std::to_string(minimum) + ".." + std::to_string(maximum));
    }
    void setProgress(int position) override {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(std::to_string(position));
    }
    void setIdlePollEnabled(bool enabled) override {
        std::lock_guard lock(m_mutex);
        m_calls.push_back(enabled ? "poll on" : "poll off");
    }
    Lines calls() const {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }

  private:
    mutable std::mutex m_mutex;
    Lines m_calls;
};

// The job in its frame on a job thread, against a device that answers each line at once.
class TerminalSenderJobTest : public ::testing::Test {
  protected:
    std::int32_t sendWindow(const std::string& text, test::AnsweringDevice::Answer answer,
                            int shortWrite = -1) {
        window.setText(text);
        auto owned = std::make_unique<test::AnsweringDevice>(std::move(answer));
        owned->shortenWrite(shortWrite);
        test::AnsweringDevice& device = *owned;
        serial::SerialPort port(std::move(owned));
        serial::Deadline replyDeadline;
        jobs::JobSlot slot;
        base::FileBuffer buffer;
        slot.init();
        jobs::JobInputs inputs;
        inputs.comText = "/dev/monitor";
        inputs.parameter = 0;
        inputs.windowText = window.text();
        std::optional<std::int32_t> reported;
        slot.start([&](std::stop_token stop) {
            jobs::JobContext context{{port, replyDeadline, log, stop}, view, buffer, inputs};
            reported = jobs::runJobFrame(terminalSenderJob(), context, slot);
        });
        slot.wait();
        EXPECT_EQ(jobs::JobState::Finished, slot.state());
        writes = device.writes();
        return reported.value_or(-1);
    }

    Lines writes;
    test::FakeOutputWindow window;
    output::OutputLog log{window};
    ProgressView view;
};

test::AnsweringDevice::Answer answeringEach(std::string reply) {
    return [reply](std::string_view) { return reply; };
}

TEST_F(TerminalSenderJobTest, EveryLineGoesOutAndIsShownWithItsAnswer) {
    const std::string text = "Bright=50\r\n\r\nName=M\xC3\xBCller\r\n";
    EXPECT_EQ(0x1000, sendWindow(text, answeringEach("OK\r\n")));
    EXPECT_EQ((Lines{"Bright=50\r\n", "\r\n", "Name=M\xFCller\r\n"}), writes) << "8-bit, CR LF added";
    EXPECT_EQ(text + "Bright=50 OK\r\n OK\r\nName=Müller OK\r\n", window.text())
        << "the window is not cleared";
    EXPECT_EQ(window.length(), window.selectionStart()) << "caret at the end";
    EXPECT_EQ((Lines{"poll off", "range 0..3", "0", "1", "2", "3", "poll on"}), view.calls());
}

TEST_F(TerminalSenderJobTest, AnEmptyWindowSendsNothing) {
    EXPECT_EQ(0x1000, sendWindow("", answeringEach("OK\r\n")));
    EXPECT_TRUE(writes.empty());
    EXPECT_EQ("", window.text());
    EXPECT_EQ((Lines{"poll off", "poll on"}), view.calls());
}

TEST_F(TerminalSenderJobTest, TheFirstFailureStopsTheRemainingLines) {
    struct Case {
        const char* name;
        std::string answer;
        int shortWrite;
        std::int32_t word;
        std::string windowTail;
    };
    const Case cases[] = {
        {"ErrorByteAfterItsLine", "\xF9\n", -1, 0x1001, "A=1 ùERR_FLASHWRITE\n"},
        {"ErrorByteAlone", "\x0E", -1, 0x1020, "A=1 ERR_NACKFehler: Zeitüberschreitung\r\n"},
        {"ShortWrite", "OK\r\n", 0, 0x1010, "A=1 Fehler: Nicht alle Daten konnten gesendet werden\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.word, sendWindow("A=1\r\nB=2\r\n", answeringEach(c.answer), c.shortWrite));
        EXPECT_EQ(1u, writes.size());
        EXPECT_EQ("A=1\r\nB=2\r\n" + c.windowTail, window.text());
    }
}

}  // namespace
}  // namespace hlx::terminal
