// bench_download: what a firmware download costs, measured against the simulated monitor on a
// pseudo-terminal with the real job frame, serial port and link operations.
//
//   turnaround      binary record download: from the moment the monitor has written a reply's line end to
//                   the moment the first byte of the next record arrives (median, 99th percentile, max)
//   download CPU    CPU time of the job thread for a whole 256 KiB binary record download
//   reply wait CPU  CPU time of a 5 s reply wait with no answer (readReply, one line)
//   idle poll CPU   CPU time of one idle-poll tick with nothing arriving
//
// A plain program that prints its figures; the targets are a median turnaround under 1 ms and a reply
// wait well under 2 % of one core.

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "jobs/job_frame.h"
#include "jobs/job_slot.h"
#include "runner/job_catalogue.h"
#include "serial/posix_serial_device.h"
#include "terminal/idle_poll.h"
#include "tests/bench/bench_support.h"
#include "tools/virtual_monitor.h"

namespace {

using namespace hlx;
using namespace std::chrono_literals;
using Seconds = std::chrono::duration<double>;

// The output window as a plain string; nothing is drawn.
class PlainWindow : public output::OutputWindow {
public:
    std::string text() const override { return m_text; }
    void setText(std::string_view text) override { m_text = text; }
    void append(std::string_view text) override { m_text += text; }
    bool atLineStart() const override { return m_text.empty() || m_text.ends_with("\r\n"); }
    int length() const override { return static_cast<int>(m_text.size()); }
    int selectionStart() const override { return m_caret; }
    void setSelection(int start, int) override { m_caret = std::min(start, length()); }
    void insert(int position, std::string_view text) override {
        m_text.insert(static_cast<std::size_t>(std::clamp(position, 0, length())), text);
    }
    std::string lineAt(int) const override { return {}; }
    void refresh() override {}

private:
    std::string m_text;
    int m_caret = 0;
};

double percentile(std::vector<double> values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t index =
        std::min(values.size() - 1, static_cast<std::size_t>(fraction * static_cast<double>(values.size())));
    return values[index];
}

void benchDownload(const std::string& folder) {
    const std::string path = folder + "/firmware.hex";
    std::ofstream(path, std::ios::binary) << bench::firmwareText(256 * 1024 / 16);

    tools::VirtualMonitor monitor;
    PlainWindow window;
    jobs::JobInputs inputs;
    inputs.comText = monitor.slavePath();
    inputs.filePath = path;
    const bench::TimedJob timed =
        bench::timeJob(*runner::jobDefinition(jobs::JobKind::RtqDownload), inputs, window);

    std::vector<double> turnaroundsUs;
    for (auto t : monitor.turnarounds())
        turnaroundsUs.push_back(std::chrono::duration<double, std::micro>(t).count());
    const std::size_t imageBytes = monitor.image().size();
    const double median = percentile(turnaroundsUs, 0.5);
    std::printf(
        "RTQ download of 256 KiB (16-byte records joined to 240), result word 0x%X, %zu bytes in the "
        "monitor\n",
        static_cast<unsigned>(timed.word), imageBytes);
    std::printf("  records                 %zu\n", monitor.records().size());
    std::printf("  turnaround median       %8.1f us   (target < 1000 us: %s)\n", median,
                median < 1000 ? "met" : "NOT MET");
    std::printf("  turnaround p99          %8.1f us\n", percentile(turnaroundsUs, 0.99));
    std::printf("  turnaround max          %8.1f us\n", percentile(turnaroundsUs, 1.0));
    std::printf("  wall time               %8.3f s    (includes the 0.5 s wait for closing lines)\n",
                timed.wall.count());
    std::printf("  job thread CPU          %8.3f s    (%.1f us per record)\n", timed.cpu,
                timed.cpu * 1e6 / static_cast<double>(std::max<std::size_t>(1, monitor.records().size())));
}

void benchWaits() {
    tools::VirtualMonitor monitor;  // in command mode it says nothing unless asked
    serial::SerialPort port(std::make_unique<serial::PosixSerialDevice>());
    port.open(monitor.slavePath(), 0, true);
    port.configure(0);
    serial::Deadline replyDeadline;
    PlainWindow window;
    output::OutputLog log(window);
    serial::Link link{port, replyDeadline, log, {}};

    replyDeadline.arm(5000ms);
    int lines = 0;
    double cpuStart = bench::threadCpuSeconds();
    auto wallStart = std::chrono::steady_clock::now();
    serial::readReply(link, serial::ReplyMode::Lines, 1, lines);
    double cpu = bench::threadCpuSeconds() - cpuStart;
    Seconds wall = std::chrono::steady_clock::now() - wallStart;
    const double share = 100.0 * cpu / wall.count();
    std::printf("Reply wait with no answer (readReply, 1 line, 5000 ms deadline)\n");
    std::printf("  wall time               %8.3f s\n", wall.count());
    std::printf("  CPU                     %8.3f ms   = %.4f %% of one core (target well under 2 %%: %s)\n",
                cpu * 1e3, share, share < 0.5 ? "met" : "NOT MET");

    constexpr int kTicks = 300;
    cpuStart = bench::threadCpuSeconds();
    wallStart = std::chrono::steady_clock::now();
    terminal::IdlePoll idle;
    for (int i = 0; i < kTicks; ++i) idle.tick(link, window);
    cpu = bench::threadCpuSeconds() - cpuStart;
    wall = std::chrono::steady_clock::now() - wallStart;
    const double perTickUs = cpu * 1e6 / kTicks;
    std::printf("Idle poll tick with nothing arriving (%d ticks)\n", kTicks);
    std::printf("  wall per tick           %8.1f us\n", wall.count() * 1e6 / kTicks);
    std::printf("  CPU per tick            %8.1f us   = %.4f %% of one core at 10 ticks a second\n",
                perTickUs, perTickUs * 10 / 1e6 * 100);
}

}  // namespace

int main() {
    char folder[] = "/tmp/hlx-bench-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    try {
        benchDownload(folder);
        benchWaits();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_download: %s\n", e.what());
        std::remove((std::string(folder) + "/firmware.hex").c_str());
        ::rmdir(folder);
        return 1;
    }
    std::remove((std::string(folder) + "/firmware.hex").c_str());
    ::rmdir(folder);
    return 0;
}
