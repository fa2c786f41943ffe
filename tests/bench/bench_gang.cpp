// bench_gang: what updating several monitors at once costs against updating one, as a production line runs
// it: `hlx flash isp FILE --port ...` (the binary, as a technician starts it) against simulated LPC boot
// loaders on pseudo-terminals, each paced at the rate the job sets on its line (115200 baud, 8N1), as real
// parts are. The same image goes to one boot loader, then to four at once; the figure is the gang's wall
// time over the single one's. Target: at most 1.15.
//
// A plain program that prints its figures; it takes about a minute (128 KiB take some 20 s on the wire).
// HLX_BENCH_GANG_KIB sets another image size.

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "tests/bench/bench_support.h"
#include "tools/lpc_isp_sim.h"

namespace {

using namespace hlx;
using Seconds = std::chrono::duration<double>;

struct Run {
    int exitCode = -1;
    Seconds wall{};
    bool flashExact = true;
};

// The flash a boot loader must hold after the image: the pattern of firmwareText at every byte (the vector
// checksum word at 0x14 aside).
bool flashHoldsImage(const std::vector<std::uint8_t>& flash, std::size_t bytes) {
    for (std::size_t address = 0; address < bytes; ++address) {
        if (address >= 0x14 && address < 0x18) continue;
        if (flash[address] != static_cast<std::uint8_t>(address * 7)) return false;
    }
    return true;
}

Run flash(const std::string& file, int monitors, std::size_t imageBytes) {
    tools::LpcIspConfig config;
    config.greeting.clear();
    std::vector<std::unique_ptr<tools::LpcIspSim>> sims;
    std::vector<std::string> argv{HLX_CLI_PATH, "flash", "isp", file};
    for (int i = 0; i < monitors; ++i) {
        sims.push_back(std::make_unique<tools::LpcIspSim>(config));
        argv.push_back("--port");
        argv.push_back(sims.back()->slavePath());
    }
    std::vector<char*> pointers;
    for (std::string& a : argv) pointers.push_back(a.data());
    pointers.push_back(nullptr);

    Run run;
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = ::fork();
    if (child == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::execv(pointers[0], pointers.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    run.wall = std::chrono::steady_clock::now() - start;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    for (const auto& sim : sims)
        run.flashExact = run.flashExact && sim->userCodeValid() && sim->bytesProgrammedTwice() == 0 &&
                         flashHoldsImage(sim->flash(), imageBytes);
    return run;
}

}  // namespace

int main() {
    const char* kib = std::getenv("HLX_BENCH_GANG_KIB");
    const std::size_t imageBytes = static_cast<std::size_t>(kib ? std::atoi(kib) : 128) * 1024;
    char folder[] = "/tmp/hlx-bench-gang-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string path = std::string(folder) + "/firmware.hex";
    std::ofstream(path, std::ios::binary) << bench::firmwareText(static_cast<int>(imageBytes / 16));

    const Run one = flash(path, 1, imageBytes);
    const Run four = flash(path, 4, imageBytes);
    const double ratio = four.wall.count() / one.wall.count();
    std::printf("hlx flash isp, %zu KiB image, boot loaders paced at 115200 baud 8N1\n", imageBytes / 1024);
    std::printf("  one monitor      %8.3f s   exit %d, flash %s\n", one.wall.count(), one.exitCode,
                one.flashExact ? "exact" : "NOT AS EXPECTED");
    std::printf("  four at once     %8.3f s   exit %d, flash %s\n", four.wall.count(), four.exitCode,
                four.flashExact ? "exact on all four" : "NOT AS EXPECTED");
    std::printf("  gang / one       %8.3f     (target at most 1.15: %s)\n", ratio,
                ratio <= 1.15 ? "met" : "NOT MET");
    std::remove(path.c_str());
    ::rmdir(folder);
    return one.exitCode == 0 && four.exitCode == 0 && one.flashExact && four.flashExact ? 0 : 1;
}
