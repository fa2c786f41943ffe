// bench_isp_read: reading the whole user flash (504 KiB) through the simulated LPC2378 boot loader on a
// pseudo-terminal, paced at 115200 baud as the part talks, with the read-out job of hlx isp-read. The figure
// is the wall time over the time the UU-encoded lines of those bytes (with their checksum lines) need on
// the wire at 10 bits a byte; the file is checked byte for byte. Target: at most 1.1.
//
// A plain program that prints its figures; it takes about a minute.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "firmware/isp_read.h"
#include "firmware/uu_encode.h"
#include "output/job_result.h"
#include "tests/bench/bench_support.h"
#include "tests/support/null_output_window.h"
#include "tools/lpc_isp_sim.h"

namespace {

using namespace hlx;

constexpr std::uint64_t kBegin = 0x40;  // the boot loader's vectors below are not read
constexpr std::uint64_t kEnd = 0x7E000;

// The bytes the boot loader sends for count data bytes: UU lines of 45 bytes with CR LF and a checksum
// line (at most 6 digits and CR LF) after every 20 lines and after the last.
double wireSeconds(std::uint64_t count, int baud) {
    std::uint64_t bytes = 0;
    std::uint64_t lines = 0;
    for (std::uint64_t done = 0; done < count; done += firmware::kUuMaxBytes) {
        const std::uint64_t n = std::min<std::uint64_t>(firmware::kUuMaxBytes, count - done);
        bytes += 1 + 4 * ((n + 2) / 3) + 2;
        if (++lines % firmware::kUuLinesPerChecksum == 0) bytes += 8;
    }
    if (lines % firmware::kUuLinesPerChecksum != 0) bytes += 8;
    return static_cast<double>(bytes) * 10 / baud;
}

}  // namespace

int main() {
    char folder[] = "/tmp/hlx-bench-isp-read-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string path = std::string(folder) + "/read.hex";
    tools::LpcIspSim sim;  // paced at the rate set on the line: 115200
    jobs::JobInputs inputs;
    inputs.comText = sim.slavePath();
    test::NullOutputWindow window;
    const bench::TimedJob timed = bench::timeJob(firmware::ispReadJob({.out = path}), inputs, window);
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    const std::vector<std::uint8_t> flash = sim.flash();
    const std::string expected = firmware::intelHexOf(
        kBegin,
        std::span<const std::uint8_t>(flash.data() + kBegin, static_cast<std::size_t>(kEnd - kBegin)));
    const bool exact = text.str() == expected;
    const double onWire = wireSeconds(kEnd - kBegin, 115200);
    const double ratio = timed.wall.count() / onWire;
    std::printf("Flash read-out through the boot loader, 504 KiB at 115200 baud (hlx isp-read)\n");
    std::printf("  wall time                %8.3f s   result word 0x%X, file %s\n", timed.wall.count(),
                static_cast<unsigned>(timed.word), exact ? "exact" : "NOT AS EXPECTED");
    std::printf("  UU lines on the wire     %8.3f s\n", onWire);
    std::printf("  wall / wire              %8.3f     (target at most 1.1: %s)\n", ratio,
                ratio <= 1.1 ? "met" : "NOT MET");
    std::remove(path.c_str());
    ::rmdir(folder);
    return timed.word >= 0 && (timed.word & ~output::result::kNoSuccessLine) == 0 && exact ? 0 : 1;
}
