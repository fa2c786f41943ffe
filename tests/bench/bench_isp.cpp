// bench_isp: what the boot loader job costs against the simulated LPC boot loader on a pseudo-terminal,
// with the real job frame, serial port and link operations.
//
//   paced     the line paced at 115200 baud, 8N1, as the job sets it: the wall time of the whole job for a
//             256 KiB image against the time the bytes the job sends need on the wire alone at that rate
//             (10 bit times a byte). Target: within 5 % of the wire time.
//   unpaced   the same image with no pacing: how fast the job itself can go, and its CPU time.
//   order     the copy that holds the vector table goes last: the copies the job made against the ones the
//             file's order plans (IspTransferPlan), so what writing it last costs on the wire. Target: at
//             most 2 % more (one more copy at most).
//
// A plain program that prints its figures; it takes about 35 s, most of it the paced run.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "firmware/hex_image.h"
#include "firmware/isp_blocks.h"
#include "jobs/job_frame.h"
#include "runner/job_catalogue.h"
#include "tests/bench/bench_support.h"
#include "tests/support/null_output_window.h"
#include "tools/lpc_isp_sim.h"

namespace {

using namespace hlx;
using Seconds = std::chrono::duration<double>;
using bench::firmwareText;

constexpr int kBaud = 115200;
constexpr double kBitsPerByte = 10;
constexpr std::size_t kImageBytes = 256 * 1024;

struct Run {
    std::int32_t word = -1;
    Seconds wall{};
    double cpu = 0;
    std::size_t sent = 0;  // bytes the job sent
    std::size_t copies = 0;
    std::uint64_t copiedBytes = 0;
    bool vectorsLast = false;
    bool flashValid = false;
};

Run runJob(const std::string& path, int baud) {
    tools::LpcIspConfig config;
    config.baud = baud;
    config.greeting.clear();
    tools::LpcIspSim sim(config);
    jobs::JobInputs inputs;
    inputs.comText = sim.slavePath();
    inputs.filePath = path;
    test::NullOutputWindow window;
    const bench::TimedJob timed =
        bench::timeJob(*runner::jobDefinition(jobs::JobKind::BootLoader), inputs, window);
    Run run;
    run.word = timed.word;
    run.wall = timed.wall;
    run.cpu = timed.cpu;
    run.sent = sim.bytesReceived();
    const std::vector<tools::SimCopy> copies = sim.copies();
    run.copies = copies.size();
    for (const tools::SimCopy& copy : copies) run.copiedBytes += copy.size;
    run.vectorsLast = !copies.empty() && copies.back().destination == 0;
    run.flashValid = sim.userCodeValid() && sim.bytesProgrammedTwice() == 0;
    return run;
}

// The copies the file's order plans, and their bytes.
std::pair<std::size_t, std::uint64_t> plannedCopies(const std::string& text) {
    firmware::HexImage image;
    if (!image.assign(text)) return {0, 0};
    firmware::IspTransferPlan plan(image);
    std::size_t count = 0;
    std::uint64_t bytes = 0;
    for (std::int32_t word = 0; !plan.atEnd();)
        for (const firmware::CopyChunk& chunk : plan.next(word).copies) {
            ++count;
            bytes += chunk.size;
        }
    return {count, bytes};
}

}  // namespace

int main() {
    char folder[] = "/tmp/hlx-bench-isp-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string path = std::string(folder) + "/firmware.hex";
    const std::string text = firmwareText(static_cast<int>(kImageBytes / 16));
    std::ofstream(path, std::ios::binary) << text;
    int status = 0;
    try {
        const Run paced = runJob(path, -1);  // the rate the job sets on the line: 115200 baud
        const double wire = static_cast<double>(paced.sent) * kBitsPerByte / kBaud;
        const double over = 100.0 * (paced.wall.count() - wire) / wire;
        std::printf("Boot loader job, 256 KiB image in 16-byte records, line paced at %d baud 8N1\n", kBaud);
        std::printf("  result word             0x%X, %zu copies, flash %s\n",
                    static_cast<unsigned>(paced.word), paced.copies,
                    paced.flashValid ? "valid, nothing programmed twice" : "NOT AS EXPECTED");
        std::printf("  bytes sent              %zu\n", paced.sent);
        std::printf("  wire time of the bytes  %8.3f s\n", wire);
        std::printf(
            "  wall time of the job    %8.3f s    (%+.2f %% of the wire time; target within 5 %%: %s)\n",
            paced.wall.count(), over, over <= 5.0 ? "met" : "NOT MET");
        std::printf("  job thread CPU          %8.3f s\n", paced.cpu);

        const auto [plannedCount, plannedBytes] = plannedCopies(text);
        const double growth =
            plannedBytes == 0
                ? 100.0
                : 100.0 * (static_cast<double>(paced.copiedBytes) - static_cast<double>(plannedBytes)) /
                      static_cast<double>(plannedBytes);
        std::printf("Vector table written last\n");
        std::printf("  copies                  %zu of %llu bytes; in the file's order %zu of %llu bytes\n",
                    paced.copies, static_cast<unsigned long long>(paced.copiedBytes), plannedCount,
                    static_cast<unsigned long long>(plannedBytes));
        std::printf("  last copy at 0          %s\n", paced.vectorsLast ? "yes" : "NO");
        std::printf("  wire growth             %+.2f %%    (target at most 2 %%: %s)\n", growth,
                    growth <= 2.0 && paced.vectorsLast ? "met" : "NOT MET");

        const Run unpaced = runJob(path, 0);
        std::printf("Same image, no pacing\n");
        std::printf("  result word             0x%X\n", static_cast<unsigned>(unpaced.word));
        std::printf("  wall time of the job    %8.3f s    (%.0f KiB/s)\n", unpaced.wall.count(),
                    static_cast<double>(kImageBytes) / 1024.0 / unpaced.wall.count());
        std::printf("  job thread CPU          %8.3f s\n", unpaced.cpu);
        if (paced.word != 0 || unpaced.word != 0 || !paced.flashValid || !paced.vectorsLast) status = 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_isp: %s\n", e.what());
        status = 1;
    }
    std::remove(path.c_str());
    ::rmdir(folder);
    return status;
}
