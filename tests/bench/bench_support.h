#pragma once
// Helpers the benchmark programs share: the calling thread's CPU time, a job view that shows nothing, one
// job run and timed as the window and hlx run it, and Intel HEX firmware of a given shape.

#include <time.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/file_buffer.h"
#include "jobs/job_frame.h"
#include "jobs/job_slot.h"
#include "output/job_view.h"
#include "output/output_log.h"
#include "serial/deadline.h"
#include "serial/posix_serial_device.h"
#include "serial/serial_port.h"
#include "tests/support/hex_text.h"

namespace hlx::bench {

inline double threadCpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

class NullJobView : public output::JobView {
public:
    void setProgressRange(int, int) override {}
    void setProgress(int) override {}
    void setIdlePollEnabled(bool) override {}
};

struct TimedJob {
    std::int32_t word = -1;  // the word handed to the result report; -1 when the job never got there
    std::chrono::duration<double> wall{};
    double cpu = 0;  // of the job thread
};

// Runs one job as the window and hlx run it (a job slot and its thread, the job frame, the system's serial
// port opened by inputs.comText) to its end, its lines into window, and times it on the job thread.
inline TimedJob timeJob(const jobs::JobDefinition& job, const jobs::JobInputs& inputs,
                        output::OutputWindow& window) {
    serial::SerialPort port(std::make_unique<serial::PosixSerialDevice>());
    serial::Deadline replyDeadline;
    output::OutputLog log(window);
    NullJobView view;
    jobs::JobSlot slot;
    base::FileBuffer file;
    slot.init();
    TimedJob timed;
    std::optional<std::int32_t> word;
    slot.start([&](std::stop_token stop) {
        jobs::JobContext context{{port, replyDeadline, log, stop}, view, file, inputs};
        const double cpuStart = threadCpuSeconds();
        const auto wallStart = std::chrono::steady_clock::now();
        word = jobs::runJobFrame(job, context, slot);
        timed.cpu = threadCpuSeconds() - cpuStart;
        timed.wall = std::chrono::steady_clock::now() - wallStart;
    });
    slot.wait();
    timed.word = word.value_or(-1);
    return timed;
}

// 16-byte data records, one every `stride` bytes of address from 0 (stride 16: contiguous, so the binary
// download joins them; 32: each a record of its own), a type 4 record for each 64 KiB page, the end record.
inline std::string firmwareText(int records, unsigned long stride = 16) {
    std::string text;
    std::vector<std::uint8_t> data(16);
    for (int r = 0; r < records; ++r) {
        const unsigned long address = static_cast<unsigned long>(r) * stride;
        if (address % 0x10000 == 0)
            text += test::hexLine(test::hexRecord(
                4, 0, {static_cast<std::uint8_t>(address >> 24), static_cast<std::uint8_t>(address >> 16)}));
        for (unsigned i = 0; i < 16; ++i) data[i] = static_cast<std::uint8_t>((address + i) * 7);
        text += test::hexLine(test::hexRecord(0, static_cast<std::uint16_t>(address), data));
    }
    return text + test::hexLine(test::hexRecord(1, 0, {}));
}

}  // namespace hlx::bench
