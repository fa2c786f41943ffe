#pragma once
// runJobInSlot: runs one job as the window and `hlx` run it: through a JobSlot, on a job thread of its own,
// in the real job frame, and waits for its end. The job's context is made on the job thread from the
// port, reply deadline, output log and view of the test (JobRig), a file buffer of its own and the inputs.
// Header-only.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <stop_token>
#include <utility>

#include "base/file_buffer.h"
#include "jobs/job_context.h"
#include "jobs/job_frame.h"
#include "jobs/job_slot.h"
#include "output/job_view.h"
#include "output/output_log.h"
#include "serial/deadline.h"
#include "serial/serial_port.h"

namespace hlx::test {

// What a job works through besides its inputs; all of it must outlive the run.
struct JobRig {
    serial::SerialPort& port;
    serial::Deadline& replyDeadline;
    output::OutputLog& log;
    output::JobView& view;
};

// Returns the word the frame handed to the result report, or -1 when the job never got there (it was
// stopped). The slot must be Finished exactly when the job reached its report (checked). With a stop token
// of the test's own (stop.stop_possible()), the job sees that one in place of the slot's, so a test can
// stop the job at a chosen point.
inline std::int32_t runJobInSlot(const jobs::JobDefinition& job, const JobRig& rig, jobs::JobInputs inputs,
                                 std::stop_token stop = {}) {
    jobs::JobSlot slot;
    base::FileBuffer file;
    slot.init();
    std::optional<std::int32_t> reported;
    slot.start([&](std::stop_token slotStop) {
        jobs::JobContext context{
            {rig.port, rig.replyDeadline, rig.log, stop.stop_possible() ? stop : slotStop},
            rig.view,
            file,
            std::move(inputs)};
        reported = jobs::runJobFrame(job, context, slot);
    });
    slot.wait();
    EXPECT_EQ(reported.has_value(), slot.state() == jobs::JobState::Finished)
        << "the slot is finished exactly when the job reached its report";
    return reported.value_or(-1);
}

}  // namespace hlx::test
