// bench_send: what sending files and the terminal's text costs, measured against the simulated monitor on
// a pseudo-terminal with the real job frame, serial port and link operations.
//
//   binary file     1 MiB in frames of 250 bytes: wall time, throughput, CPU of the job thread per frame
//   text file       1 MiB of 60-byte lines in chunks below 250 bytes: the same per chunk
//   terminal text   2000 lines, each answered: wall time and CPU per line
//   chunking        deciding text or binary and cutting a 30,000,000-byte file into chunks, without I/O
//
// A plain program that prints its figures. The pseudo-terminal has no baud rate, so the figures show the
// tool's own cost per exchange; on a real line the transfer time is set by the baud rate.

#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>

#include "runner/job_catalogue.h"
#include "terminal/file_sender.h"
#include "tests/bench/bench_support.h"
#include "tests/support/null_output_window.h"
#include "tools/virtual_monitor.h"

namespace {

using namespace hlx;
using Seconds = std::chrono::duration<double>;

using Measured = bench::TimedJob;

Measured runJob(tools::VirtualMonitor& monitor, jobs::JobKind kind, jobs::JobInputs inputs) {
    inputs.comText = monitor.slavePath();
    test::NullOutputWindow window;
    return bench::timeJob(*runner::jobDefinition(kind), inputs, window);
}

void report(const char* what, const Measured& m, std::size_t bytes, std::size_t exchanges, const char* unit,
            bool arrived) {
    // The closing read listens 1 s for the monitor's last lines; it is not part of the transfer.
    const double transfer = m.wall.count() - (m.word == 0x1000 ? 1.0 : 0.0);
    std::printf("%s: result word 0x%X, %s\n", what, static_cast<unsigned>(m.word),
                arrived ? "the monitor received the file unchanged" : "THE MONITOR'S COPY DIFFERS");
    std::printf("  %-22s %8.3f s   (%.0f KiB/s, closing read of 1 s left out)\n", "transfer time", transfer,
                static_cast<double>(bytes) / 1024.0 / transfer);
    std::printf("  %-22s %8.3f s   (%.1f us per %s, %zu %ss)\n", "job thread CPU", m.cpu,
                m.cpu * 1e6 / static_cast<double>(exchanges), unit, exchanges, unit);
}

void benchFiles(const std::string& folder) {
    std::mt19937 random(5);
    std::string binary(1 << 20, '\0');
    for (char& b : binary) b = static_cast<char>(random() & 0xFF);
    std::string text;
    while (text.size() + 60 <= binary.size())
        text += "Line " + std::string(53, static_cast<char>('a' + random() % 26)) + "\r\n";

    {
        const std::string path = folder + "/image.vxc";
        std::ofstream(path, std::ios::binary) << binary;
        tools::MonitorConfig config;
        config.fileFrames = true;
        tools::VirtualMonitor monitor(config);
        jobs::JobInputs inputs;
        inputs.filePath = path;
        const Measured m = runJob(monitor, jobs::JobKind::FileSender, inputs);
        report("File sender, 1 MiB binary", m, binary.size(), monitor.frames().size(), "frame",
               monitor.received() == binary);
        std::remove(path.c_str());
    }
    {
        const std::string path = folder + "/lines.txt";
        std::ofstream(path, std::ios::binary) << text;
        tools::VirtualMonitor monitor;
        jobs::JobInputs inputs;
        inputs.filePath = path;
        const Measured m = runJob(monitor, jobs::JobKind::FileSender, inputs);
        const std::size_t chunks = (text.size() / 60 + 3) / 4;  // four 60-byte lines per chunk
        report("File sender, 1 MiB text in 60-byte lines", m, text.size(), chunks, "chunk",
               monitor.received() == text);
        std::remove(path.c_str());
    }
}

void benchTerminal() {
    std::string text;
    for (int i = 0; i < 2000; ++i) text += "Param" + std::to_string(i) + "=" + std::to_string(i * 7) + "\r\n";
    tools::VirtualMonitor monitor;
    jobs::JobInputs inputs;
    inputs.windowText = text;
    inputs.parameter = 0;
    const Measured m = runJob(monitor, jobs::JobKind::TerminalSender, inputs);
    std::printf("Terminal sender, 2000 lines: result word 0x%X, %s\n", static_cast<unsigned>(m.word),
                monitor.received() == text ? "all lines arrived" : "LINES MISSING");
    std::printf("  %-22s %8.3f s   (%.0f us per line)\n", "wall time", m.wall.count(),
                m.wall.count() * 1e6 / 2000);
    std::printf("  %-22s %8.3f s   (%.1f us per line)\n", "job thread CPU", m.cpu, m.cpu * 1e6 / 2000);
}

void benchChunking() {
    std::string text;
    while (text.size() + 60 <= 30'000'000) text += std::string(58, 'x') + "\r\n";
    const auto start = std::chrono::steady_clock::now();
    const bool isText = terminal::isTextFile(text);
    std::size_t chunks = 0;
    for (std::int32_t position = 0; position < static_cast<std::int32_t>(text.size()); ++chunks)
        position += terminal::nextChunk(text, position, isText).length;
    const Seconds took = std::chrono::steady_clock::now() - start;
    std::printf("Deciding and cutting a %zu-byte text file: %zu chunks in %.1f ms\n", text.size(), chunks,
                took.count() * 1e3);
}

}  // namespace

int main() {
    char folder[] = "/tmp/hlx-bench-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    int status = 0;
    try {
        benchFiles(folder);
        benchTerminal();
        benchChunking();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_send: %s\n", e.what());
        status = 1;
    }
    ::rmdir(folder);
    return status;
}
