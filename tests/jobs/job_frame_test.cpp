// The job frame when a step throws: the job ends with a line naming the reason and the result bit
// 0x2000, the idle poll runs again and the slot is finished, whichever step threw.
#include "jobs/job_frame.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "output/job_result.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_serial_device.h"
#include "tests/support/recording_view.h"

namespace hlx::jobs {
namespace {

enum class Thrower { Body, BeforeReport, AfterReport };

struct ThrowCase {
    const char* name;
    JobKind kind;
    Thrower where;
    std::vector<std::string> lines;
};

const std::string kAborted = jobAbortedLine("Speicher voll");

const ThrowCase kThrowCases[] = {
    {"BodyOfADownload", JobKind::RtqDownload, Thrower::Body, {kAborted}},
    {"BodyOfTheBootLoader", JobKind::BootLoader, Thrower::Body, {kAborted}},
    {"BodyOfTheTerminalSender", JobKind::TerminalSender, Thrower::Body, {"typed", kAborted}},
    {"StepBeforeTheReport", JobKind::FileSender, Thrower::BeforeReport, {"sent", kAborted}},
    // The report was written; the closing line and the caret are what the throw cut short.
    {"StepAfterTheReport",
     JobKind::RealtermDownload,
     Thrower::AfterReport,
     {"sent", "Datei fehlerfrei übertragen", kAborted}},
};

class JobFrameThrowTest : public ::testing::TestWithParam<ThrowCase> {};

TEST_P(JobFrameThrowTest, EndsTheJobWithALineAndTheSlotFinished) {
    const ThrowCase& c = GetParam();
    test::FakeClock clock;
    serial::SerialPort port(std::make_unique<test::FakeSerialDevice>(clock));
    serial::Deadline deadline(clock);
    test::RecordingView view;
    view.setText("typed\r\n");
    output::OutputLog log(view);
    base::FileBuffer file;
    JobInputs inputs;
    inputs.comText = "fake";

    auto boom = [] { throw std::runtime_error("Speicher voll"); };
    JobDefinition job{c.kind,
                      [&](JobContext& context, std::int32_t word) {
                          if (c.where == Thrower::Body) boom();
                          context.link.log.appendLine("sent");
                          return JobOutcome{word, {}};
                      },
                      [&](JobContext&, JobOutcome&) {
                          if (c.where == Thrower::BeforeReport) boom();
                      },
                      [&](JobContext&, const JobOutcome&) {
                          if (c.where == Thrower::AfterReport) boom();
                      }};

    JobSlot slot;
    slot.init();
    std::optional<std::int32_t> reported;
    ASSERT_TRUE(slot.start([&](std::stop_token stop) {
        JobContext context{{port, deadline, log, stop}, view, file, inputs};
        reported = runJobFrame(job, context, slot);
    }));
    slot.wait();

    EXPECT_EQ(JobState::Finished, slot.state());
    ASSERT_TRUE(reported.has_value());
    EXPECT_NE(0, *reported & output::result::kJobAborted);
    EXPECT_EQ(c.lines, view.lines());
    const std::vector<std::string> transcript = view.transcript();
    ASSERT_FALSE(transcript.empty());
    EXPECT_EQ("poll on", transcript.back()) << "the idle poll runs again";
}

INSTANTIATE_TEST_SUITE_P(JobFrame, JobFrameThrowTest, ::testing::ValuesIn(kThrowCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace hlx::jobs
