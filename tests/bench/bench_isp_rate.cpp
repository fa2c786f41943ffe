// bench_isp_rate: the boot loader job at the faster line rate against the starting one. A 128 KiB image
// goes to the simulated LPC2378 boot loader on a pseudo-terminal, paced at the rate it talks at (115200 baud
// from the synchronisation, the rate "B" set after that), once at 115200 and once with "B 230400 1"; the
// figure is the second wall time over the first, with the flash checked byte for byte. Target: at most 0.6.
//
// A plain program that prints its figures; it takes about 30 s.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

#include "firmware/isp_download.h"
#include "tests/bench/bench_support.h"
#include "tests/support/null_output_window.h"
#include "tools/lpc_isp_sim.h"

namespace {

using namespace hlx;
using Seconds = std::chrono::duration<double>;

constexpr std::size_t kImageBytes = 128 * 1024;

struct Run {
    std::int32_t word = -1;
    Seconds wall{};
    bool flashExact = false;
};

Run program(const std::string& path, int baud) {
    tools::LpcIspConfig config;
    config.greeting.clear();
    tools::LpcIspSim sim(config);
    jobs::JobInputs inputs;
    inputs.comText = sim.slavePath();
    inputs.filePath = path;
    test::NullOutputWindow window;
    const bench::TimedJob timed = bench::timeJob(firmware::ispDownloadJob({.baud = baud}), inputs, window);
    Run run;
    run.word = timed.word;
    run.wall = timed.wall;
    // firmwareText puts (address * 7) at every address; the vector checksum word at 0x14 is the job's.
    const std::vector<std::uint8_t> flash = sim.flash();
    run.flashExact = sim.userCodeValid() && sim.bytesProgrammedTwice() == 0;
    for (std::size_t address = 0; address < kImageBytes && run.flashExact; ++address)
        if ((address < 0x14 || address >= 0x18) && flash[address] != static_cast<std::uint8_t>(address * 7))
            run.flashExact = false;
    return run;
}

}  // namespace

int main() {
    char folder[] = "/tmp/hlx-bench-isp-rate-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string path = std::string(folder) + "/firmware.hex";
    std::ofstream(path, std::ios::binary) << bench::firmwareText(static_cast<int>(kImageBytes / 16));
    const Run slow = program(path, 0);
    const Run fast = program(path, 230400);
    const double ratio = fast.wall.count() / slow.wall.count();
    std::printf("Boot loader job, 128 KiB image, boot loader paced at the rate it talks at\n");
    std::printf("  115200 baud              %8.3f s   result word 0x%X, flash %s\n", slow.wall.count(),
                static_cast<unsigned>(slow.word), slow.flashExact ? "exact" : "NOT AS EXPECTED");
    std::printf("  B 230400 1, then 230400  %8.3f s   result word 0x%X, flash %s\n", fast.wall.count(),
                static_cast<unsigned>(fast.word), fast.flashExact ? "exact" : "NOT AS EXPECTED");
    std::printf("  230400 / 115200          %8.3f     (target at most 0.6: %s)\n", ratio,
                ratio <= 0.6 ? "met" : "NOT MET");
    std::remove(path.c_str());
    ::rmdir(folder);
    return slow.word == 0 && fast.word == 0 && slow.flashExact && fast.flashExact ? 0 : 1;
}
