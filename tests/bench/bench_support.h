#pragma once
// Helpers the benchmark programs share: the calling thread's CPU time, a job view that shows nothing, and
// Intel HEX firmware of a given shape.

#include <time.h>

#include <cstdint>
#include <string>
#include <vector>

#include "output/job_view.h"
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
