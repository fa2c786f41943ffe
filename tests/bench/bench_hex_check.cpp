// bench_hex_check: how fast the syntax check and the pre-flight analysis go through a firmware file of
// the largest size the image holds (about 30 MB of 16-byte data records, CR LF line ends, a type 4
// record every 64 KiB). The check runs before every download, so it must not keep the technician
// waiting: the target is at least 300 MB/s (the "MB" counter, in MB per second).

#include <benchmark/benchmark.h>

#include <array>
#include <string>
#include <vector>

#include "firmware/hex_image.h"
#include "firmware/hex_info.h"
#include "output/output_log.h"
#include "tests/support/hex_text.h"
#include "tests/support/null_output_window.h"

namespace {

using namespace hlx;

const std::string& firmwareFile() {
    static const std::string file = [] {
        std::string text;
        text.reserve(firmware::HexImage::kCapacity);
        std::vector<std::uint8_t> data(16);
        const std::string end = ":00000001FF\r\n";
        for (std::uint32_t address = 0;; address += 16) {
            if ((address & 0xFFFF) == 0) {
                text += test::hexLine(test::hexRecord(
                    4, 0,
                    {static_cast<std::uint8_t>(address >> 24), static_cast<std::uint8_t>(address >> 16)}));
            }
            for (unsigned i = 0; i < 16; ++i) data[i] = static_cast<std::uint8_t>(address * 7 + i * 13);
            const std::string next =
                test::hexLine(test::hexRecord(0, static_cast<std::uint16_t>(address), data));
            if (text.size() + next.size() + 64 > static_cast<std::size_t>(firmware::HexImage::kCapacity))
                break;
            text += next;
        }
        return text + end;
    }();
    return file;
}

void BM_CheckFile(benchmark::State& state) {
    static firmware::HexImage image;
    if (base::Status s = image.assign(firmwareFile()); !s) {
        state.SkipWithError(s.message().c_str());
        return;
    }
    test::NullOutputWindow window;
    output::OutputLog log(window);
    std::array<std::uint8_t, 512> scratch{};
    for (auto _ : state) {
        const int errors = image.checkFile(scratch, log);
        benchmark::DoNotOptimize(errors);
        if (errors != 0) state.SkipWithError("the generated file has errors");
    }
    const double bytes = static_cast<double>(image.size());
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes) * state.iterations());
    state.counters["MB"] = benchmark::Counter(bytes * static_cast<double>(state.iterations()) / 1e6,
                                              benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CheckFile)->Unit(benchmark::kMillisecond);

void BM_AnalyseHex(benchmark::State& state) {
    const std::string& file = firmwareFile();
    for (auto _ : state) {
        const firmware::HexReport report = firmware::analyseHex(file);
        if (report.suspicious()) state.SkipWithError("the generated file looks suspicious");
        benchmark::DoNotOptimize(report.imageSha256);
    }
    state.counters["MB"] =
        benchmark::Counter(static_cast<double>(file.size()) * static_cast<double>(state.iterations()) / 1e6,
                           benchmark::Counter::kIsRate);
}
BENCHMARK(BM_AnalyseHex)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
