// The window's rules in standard C++: its first size on a given screen, the outcome the status bar shows
// for a job's record, the progress bar kept where a job stopped, and the keyboard tables.

#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/job_status.h"
#include "app/window_keys.h"
#include "app/window_size.h"
#include "output/job_result.h"

namespace hlx::app {
namespace {

constexpr int kStatusBar = 22;

// A screen in device-independent pixels: its size divided by the scale, less a task bar of 40 scaled pixels.
ScreenArea desktop(int width, int height, double scale) {
    return {0, 0, static_cast<int>(width / scale), static_cast<int>(height / scale) - 40};
}

struct SizeCase {
    const char* name;
    ScreenArea available;
    WindowSize frame;
    WindowSize expected;
};

class FirstSizeTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(FirstSizeTest, FitsTheAvailableAreaWithItsFrame) {
    const SizeCase& c = GetParam();
    const WindowSize inner = firstWindowSize(kDesignedClientSize, kStatusBar, c.available, c.frame);
    EXPECT_EQ(c.expected, inner);
    const ScreenArea place = firstWindowPlace(inner, c.available, c.frame);
    EXPECT_GE(place.x, c.available.x);
    EXPECT_GE(place.y, c.available.y);
    EXPECT_LE(place.x + place.width, c.available.x + c.available.width);
    EXPECT_LE(place.y + place.height, c.available.y + c.available.height);
    EXPECT_EQ(inner.width + c.frame.width, place.width);
    EXPECT_EQ(inner.height + c.frame.height, place.height);
}

INSTANTIATE_TEST_SUITE_P(
    Screens, FirstSizeTest,
    ::testing::Values(
        SizeCase{"FullHdAt100PercentTakesTheDesign", desktop(1920, 1080, 1.0), {8, 32}, {736, 752}},
        SizeCase{"FullHdAt150PercentIsCutToTheHeight", desktop(1920, 1080, 1.5), {8, 32}, {736, 648}},
        SizeCase{"SmallLaptopAt125PercentIsCutToTheHeight", desktop(1366, 768, 1.25), {8, 32}, {736, 542}},
        SizeCase{"NarrowScreenIsCutInBothDirections", {0, 0, 640, 480}, {8, 32}, {632, 448}},
        SizeCase{"NoFrameOnABareXServer", {0, 0, 1280, 720}, {0, 0}, {736, 720}},
        SizeCase{"AreaBesideADockIsKept", {64, 0, 1216, 1024}, {8, 32}, {736, 752}},
        SizeCase{"ATinyScreenStillHoldsWindowAndFrame", {0, 0, 400, 300}, {8, 32}, {392, 268}}),
    [](const ::testing::TestParamInfo<SizeCase>& info) { return std::string(info.param.name); });

TEST(FirstPlaceTest, CentresTheWindowInTheAvailableArea) {
    EXPECT_EQ((ScreenArea{620, 148, 744, 784}), firstWindowPlace({736, 752}, {64, 0, 1856, 1080}, {8, 32}));
}

report::JobRecord recordOf(std::int32_t word, std::vector<std::string> lines, bool stopped = false) {
    report::JobRecord record;
    record.resultWord = word;
    record.lines = std::move(lines);
    record.stopped = stopped;
    return record;
}

struct StatusCase {
    const char* name;
    report::JobRecord record;
    JobStatus expected;
    std::string text;
};

class JobStatusTest : public ::testing::TestWithParam<StatusCase> {};

TEST_P(JobStatusTest, SaysHowTheJobWentInAWordAndALine) {
    const StatusCase& c = GetParam();
    EXPECT_EQ(c.expected, jobStatusOf(c.record));
    EXPECT_EQ(c.text, jobStatusText(jobStatusOf(c.record)));
}

INSTANTIATE_TEST_SUITE_P(
    Records, JobStatusTest,
    ::testing::Values(
        StatusCase{"RefusedDownloadShowsItsFirstFailureLine",
                   recordOf(output::result::kErrorByte | output::result::kNoSuccessLine,
                            {"Prüfe Hex File", "LoadFWRTQ? ERR_NACK", "Fehler: Bestätigungsfehler",
                             "0 Bytes übertragen"}),
                   {JobOutcome::Failed, "Fehler: Bestätigungsfehler"},
                   "FEHLER \u2013 Fehler: Bestätigungsfehler"},
        StatusCase{
            "TheFirstOfSeveralFailuresStands",
            recordOf(output::result::kCheckFailed | output::result::kFileOpen,
                     {"Fehler in Zeile 3: Prüfsumme falsch", "Fehler: Datei kann nicht geöffnet werden"}),
            {JobOutcome::Failed, "Fehler in Zeile 3: Prüfsumme falsch"},
            "FEHLER \u2013 Fehler in Zeile 3: Prüfsumme falsch"},
        StatusCase{"AFailureWithoutALineOfItsOwnShowsItsReportLine",
                   recordOf(output::result::kTimeout, {"Page: 1"}),
                   {JobOutcome::Failed, "Fehler: Zeitüberschreitung"},
                   "FEHLER \u2013 Fehler: Zeitüberschreitung"},
        StatusCase{"ASenderErrorByteWithoutAnyLineStillFails",
                   recordOf(output::result::kSenderError | output::result::kNoSuccessLine, {"OK"}),
                   {JobOutcome::Failed, "Fehler"},
                   "FEHLER \u2013 Fehler"},
        StatusCase{"SuccessLineOfTheRealtermDownload",
                   recordOf(0, {"Prüfe Hex File", "Datei fehlerfrei übertragen",
                                "Monitor hat die Verbindung "
                                "beendet (/dev/pts/3)"}),
                   {JobOutcome::Succeeded, "Datei fehlerfrei übertragen"},
                   "OK \u2013 Datei fehlerfrei übertragen"},
        StatusCase{"AKindWithoutSuccessLineShowsItsByteCount",
                   recordOf(output::result::kNoSuccessLine, {"OK", "8 Bytes übertragen", ""}),
                   {JobOutcome::Succeeded, "8 Bytes übertragen"},
                   "OK \u2013 8 Bytes übertragen"},
        StatusCase{"AnEmptyTerminalSentIsASuccessWithoutALine",
                   recordOf(output::result::kNoSuccessLine, {}),
                   {JobOutcome::Succeeded, ""},
                   "OK"},
        StatusCase{"AJobStoppedByTheCloseShowsNothing",
                   recordOf(output::result::kTimeout, {"Fehler: Zeitüberschreitung"}, /*stopped=*/true),
                   {},
                   ""}),
    [](const ::testing::TestParamInfo<StatusCase>& info) { return std::string(info.param.name); });

class RecordingJobView : public output::JobView {
public:
    void setProgressRange(int minimum, int maximum) override { shown.push_back(-1000 - minimum - maximum); }
    void setProgress(int position) override { shown.push_back(position); }
    void setIdlePollEnabled(bool) override {}
    std::vector<int> shown;
};

TEST(ProgressKeptTest, TheBarReturnsToWhereTheJobStoppedAfterItsOwnReset) {
    RecordingJobView bar;
    ProgressKept progress(bar);
    progress.setProgressRange(0, 100);
    for (int p : {0, 10, 37, 0}) progress.setProgress(p);  // the job empties the bar at its end
    progress.showWhereStopped();
    EXPECT_EQ((std::vector<int>{-1100, 0, 10, 37, 0, 37}), bar.shown);
    // A new range (the next phase of a job) starts from its minimum.
    progress.setProgressRange(0, 5);
    progress.showWhereStopped();
    EXPECT_EQ(0, bar.shown.back());
}

std::set<std::string_view> namesOf(const auto& table) {
    return {table.begin(), table.end()};
}

TEST(WindowKeysTest, TabVisitsEveryControlOnceAndEveryJobButtonHasAKey) {
    EXPECT_EQ(kTabOrder.size(), namesOf(kTabOrder).size()) << "no control twice";
    std::set<std::string_view> mnemonicButtons;
    std::set<char> keys;
    for (const Mnemonic& m : kMnemonics) {
        mnemonicButtons.insert(m.button);
        keys.insert(m.key);
        EXPECT_TRUE(namesOf(kTabOrder).contains(m.button)) << m.button;
    }
    EXPECT_EQ(kMnemonics.size(), keys.size()) << "no key twice";
    EXPECT_EQ(namesOf(kJobButtons), mnemonicButtons);
}

}  // namespace
}  // namespace hlx::app
