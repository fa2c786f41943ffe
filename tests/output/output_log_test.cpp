#include "output/output_log.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "output/job_result.h"
#include "tests/support/fake_output_window.h"

namespace hlx::output {
namespace {

// A window as a job finds it: some earlier output, ending with a line break.
constexpr const char* kEarlier = "Output & Terminal Window\r\n";

class OutputLogTest : public ::testing::Test {
protected:
    explicit OutputLogTest(std::string initial = kEarlier) : m_window(std::move(initial)), m_log(m_window) {}

    test::FakeOutputWindow m_window;
    output::OutputLog m_log;
};

// --- result report ---------------------------------------------------------------------------------------

struct ReportCase {
    const char* name;
    std::int32_t word;
    const char* lines;  // what the report adds to the window
};

const ReportCase kReportCases[] = {
    {"Success", 0, "Datei fehlerfrei übertragen\r\n"},
    {"NoSuccessLineOnly", 0x1000, ""},
    {"SenderErrorOnly", 0x0001, ""},
    {"ComConfigureThenOpen", 0x1C00,
     "Fehler: COM-Parameter konnten nicht gesetzt werden\r\n"
     "Fehler: COM Port konnte nicht geöffnet werden\r\n"},
    {"FileOpenBeforeLineEnd", 0x82,
     "Fehler: Datei kann nicht geöffnet werden\r\n"
     "Fehler: Unerwartetes Zeilenende\r\n"},
    {"TimeoutAndErrorByte", 0x60,
     "Fehler: Zeitüberschreitung\r\n"
     "Fehler: Bestätigungsfehler\r\n"},
    {"CheckFailed", 0x100, "Fehler: Überprüfung der Datei fehlerhaft\r\n"},
    {"EveryBit", 0x1DFF,
     "Fehler: Datei kann nicht geöffnet werden\r\n"
     "Fehler: Unerwartetes Zeilenende\r\n"
     "Fehler: Unerwartetes Zeichen\r\n"
     "Fehler: Falscher Zeilenstart\r\n"
     "Fehler: Nicht alle Daten konnten gesendet werden\r\n"
     "Fehler: Zeitüberschreitung\r\n"
     "Fehler: Bestätigungsfehler\r\n"
     "Fehler: Überprüfung der Datei fehlerhaft\r\n"
     "Fehler: COM-Parameter konnten nicht gesetzt werden\r\n"
     "Fehler: COM Port konnte nicht geöffnet werden\r\n"},
    // Bits without a line still make the word non-zero: no success line.
    {"UnusedBitsOnly", static_cast<std::int32_t>(0x80000200u), ""},
};

class ReportTest : public OutputLogTest, public ::testing::WithParamInterface<ReportCase> {};

TEST_P(ReportTest, WritesTheLinesOfTheSetBitsInTableOrder) {
    const ReportCase& c = GetParam();
    m_log.report(c.word);
    EXPECT_EQ(std::string(kEarlier) + c.lines, m_window.text());
    EXPECT_EQ(1, m_window.refreshCount());
}

INSTANTIATE_TEST_SUITE_P(OutputLog, ReportTest, ::testing::ValuesIn(kReportCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(OutputLogTest, ReportAfterTextWithoutLineBreakContinuesThatLine) {
    m_log.appendText("LoadFW?");
    m_log.report(0x20);
    EXPECT_EQ(std::string(kEarlier) + "LoadFW?Fehler: Zeitüberschreitung\r\n", m_window.text());
}

// --- appending -------------------------------------------------------------------------------------------

TEST_F(OutputLogTest, AppendTextAddsWithoutLineBreak) {
    m_log.appendText("OK");
    m_log.appendText("");
    m_log.appendText("\r\nPage: 1");
    m_log.appendText(" \xE2\x82\xAC");
    EXPECT_EQ(std::string(kEarlier) + "OK\r\nPage: 1 \xE2\x82\xAC", m_window.text());
}

TEST_F(OutputLogTest, AppendKeepsWhatTheTechnicianTyped) {
    m_window.setText("typed");
    m_log.appendLine("Prüfe Hex File");
    m_log.appendLine("");
    m_log.appendText("reply");
    EXPECT_EQ("typedPrüfe Hex File\r\n\r\nreply", m_window.text());
}

TEST(OutputLogAddLineTest, StartsANewLastLineWhereverTheTextEnds) {
    struct Case {
        const char* name;
        const char* before;
        const char* after;
    };
    const Case cases[] = {
        {"Empty", "", "Synchronized\r\n"},
        {"EndsWithCrLf", "abc\r\n", "abc\r\nSynchronized\r\n"},
        {"EndsInsideLine", "abc", "abc\r\nSynchronized"},
        {"EndsWithLoneCr", "abc\r", "abc\r\r\nSynchronized"},
        {"EndsWithLoneLf", "abc\n", "abc\n\r\nSynchronized"},
        {"OnlyCrLf", "\r\n", "\r\nSynchronized\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::FakeOutputWindow window(c.before);
        output::OutputLog log(window);
        log.addLine("Synchronized");
        EXPECT_EQ(c.after, window.text());
    }
}

// A line put after text without a break stays open: the next addLine starts a new line, but plain text
// appended right after it continues that line.
TEST_F(OutputLogTest, AddLineAfterOpenTextLeavesItsOwnLineOpen) {
    m_log.appendText("?");
    m_log.addLine("Synchronized");
    m_log.addLine("OK");
    m_log.appendText("12000");
    m_log.addLine("OK");
    m_log.appendLine("");
    m_log.addLine("done");
    EXPECT_EQ(std::string(kEarlier) + "?\r\nSynchronized\r\nOK12000\r\nOK\r\ndone\r\n", m_window.text());
}

// The log knows how its own text ends: a job's lines cost no question to the window (which, in the real
// window, is a round trip to the GUI thread), whatever pieces the reply reader appends them in.
TEST(OutputLogLineStartTest, AsksTheWindowOnceAndFollowsItsOwnText) {
    class CountingWindow : public test::FakeOutputWindow {
    public:
        using FakeOutputWindow::FakeOutputWindow;
        bool atLineStart() const override {
            ++asked;
            return FakeOutputWindow::atLineStart();
        }
        mutable int asked = 0;
    };
    CountingWindow window("typed");
    output::OutputLog log(window);
    log.addLine("Starte Download");
    EXPECT_EQ(1, window.asked);
    log.appendText("OK\r");  // a reply's CR LF split over two reads
    log.appendText("\n");
    log.addLine("Page: 1");
    log.appendText("\n");  // a lone LF ends no line
    log.addLine("Page: 2");
    log.appendLine("x");
    for (int i = 0; i < 100; ++i) log.addLine("Page: n");
    EXPECT_EQ(1, window.asked);
    EXPECT_EQ(0u, window.text().rfind("typed\r\nStarte DownloadOK\r\nPage: 1\r\n\n\r\nPage: 2x\r\n", 0))
        << window.text();

    log.clear();
    log.addLine("first");
    EXPECT_EQ("first\r\n", window.text());
    EXPECT_EQ(1, window.asked) << "after clear the log knows the text is empty";
}

// A job's record takes its lines from the transcript: what the log itself wrote since it was made or
// cleared, without what was in the window before or what others wrote meanwhile.
TEST(OutputLogTranscriptTest, KeepsWhatTheLogWroteSinceItsLastClear) {
    test::FakeOutputWindow window;
    window.setText("typed before\r\n");
    std::string transcript = "stale";
    OutputLog log(window, &transcript);
    log.clear();
    EXPECT_EQ("", transcript);
    log.appendLine("a.hex geöffnet");
    window.append("typed meanwhile");
    log.addLine("Page: 0x0001");
    log.appendText("OK");
    log.report(0x20);
    EXPECT_EQ("a.hex geöffnet\r\nPage: 0x0001\r\nOKFehler: Zeitüberschreitung\r\n", transcript);

    std::string kept;
    OutputLog terminal(window, &kept);  // a log that does not clear keeps from its start
    terminal.appendLine("A=1 OK");
    EXPECT_EQ("A=1 OK\r\n", kept);
}

// --- clear and caret -------------------------------------------------------------------------------------

TEST_F(OutputLogTest, ClearEmptiesTheWindowSoTheNextLineStartsAtTheTop) {
    m_log.clear();
    EXPECT_EQ("", m_window.text());
    m_log.addLine("first");
    EXPECT_EQ("first\r\n", m_window.text());
}

TEST_F(OutputLogTest, CaretToEndCountsWindowPositions) {
    // ä and € are one position each, the emoji two (a UTF-16 pair), CR LF two.
    m_window.setText("\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80\r\n");
    m_window.setSelection(1, 3);
    m_log.caretToEnd();
    EXPECT_EQ(6, m_window.selectionStart());
    EXPECT_EQ(0, m_window.selectionLength());

    m_log.appendLine("x");
    m_log.caretToEnd();
    EXPECT_EQ(9, m_window.selectionStart());
}

}  // namespace
}  // namespace hlx::output
