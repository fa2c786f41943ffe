#pragma once
// SenderJobTest: runs a sender job in the real job frame, through a job slot on a job thread, against a
// monitor scripted on a FakeSerialDevice and a FakeClock (nothing sleeps), with a RecordingView as window
// and progress bar. Tests script the device (answer(...), device.replyAfter, failWrite, hangUpAfter) and
// compare what was written, when, and what the window shows.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "jobs/job_frame.h"
#include "serial/serial_port.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_serial_device.h"
#include "tests/support/job_runner.h"
#include "tests/support/recording_view.h"

namespace hlx::test {

class SenderJobTest : public ::testing::Test {
protected:
    using Milliseconds = std::chrono::milliseconds;

    // Every write gets answer(index from 1, bytes written) after the delay it returns with it; an empty
    // answer sends nothing.
    struct Answer {
        Milliseconds delay{0};
        std::string bytes;
    };
    void answer(std::function<Answer(int, std::string_view)> script) {
        device.onWrite([this, script](FakeSerialDevice& d, std::span<const std::uint8_t> bytes) {
            writeTimes.push_back(clock.elapsed());
            const Answer a = script(static_cast<int>(writeTimes.size()),
                                    {reinterpret_cast<const char*>(bytes.data()), bytes.size()});
            if (!a.bytes.empty()) d.replyAfter(a.delay, a.bytes);
        });
    }

    // Runs the job to its end; returns the word handed to the report (-1 when it did not get there).
    std::int32_t run(const jobs::JobDefinition& job, jobs::JobInputs inputs) {
        inputs.comText = "/dev/monitor";
        return runJobInSlot(job, {port, replyDeadline, log, view}, std::move(inputs));
    }

    FakeClock clock;
    FakeSerialDevice& device = *new FakeSerialDevice(clock);
    serial::SerialPort port{std::unique_ptr<serial::SerialDevice>(&device)};
    serial::Deadline replyDeadline{clock};
    RecordingView view;
    output::OutputLog log{view};
    std::vector<Milliseconds> writeTimes;  // clock.elapsed() at each write that went out whole
};

}  // namespace hlx::test
