#pragma once
// Helpers the benchmark programs share: the calling thread's CPU time, a job view that shows nothing, and
// Intel HEX firmware of a given shape.

#include <time.h>

#include <cstdio>
#include <string>

#include "output/job_view.h"

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
    char line[64];
    for (int r = 0; r < records; ++r) {
        const unsigned long address = static_cast<unsigned long>(r) * stride;
        if (address % 0x10000 == 0) {
            const unsigned page = static_cast<unsigned>(address >> 16);
            std::snprintf(line, sizeof line, ":02000004%04X%02X\r\n", page,
                          (0x100 - 6 - (page >> 8) - (page & 0xFF)) & 0xFF);
            text += line;
        }
        unsigned sum = 16 + ((address >> 8) & 0xFF) + (address & 0xFF);
        std::snprintf(line, sizeof line, ":10%04X00", static_cast<unsigned>(address & 0xFFFF));
        text += line;
        for (int i = 0; i < 16; ++i) {
            const unsigned b = static_cast<unsigned>((address + i) * 7) & 0xFF;
            sum += b;
            std::snprintf(line, sizeof line, "%02X", b);
            text += line;
        }
        std::snprintf(line, sizeof line, "%02X\r\n", (0x100 - (sum & 0xFF)) & 0xFF);
        text += line;
    }
    return text + ":00000001FF\r\n";
}

}  // namespace hlx::bench
