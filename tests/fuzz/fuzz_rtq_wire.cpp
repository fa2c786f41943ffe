// The binary record download against a monitor that answers every record: for every file the syntax
// check passes, the bytes on the wire must be exactly the file's records, joined as the download joins
// them (contiguous data records, as long as the count stays below 250, never across an empty line or
// past 0xFFFF), every other record exactly as decoded, every data record with a correct checksum, and
// nothing else. The expectation is worked out here from the file's lines, independently of the reader.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "firmware/hex_image.h"
#include "firmware/rtq_download.h"
#include "jobs/job_frame.h"
#include "tests/support/fake_serial_device.h"
#include "tests/support/null_output_window.h"

namespace {

using namespace hlx;
using namespace std::chrono_literals;

struct FileRecord {
    std::vector<std::uint8_t> bytes;  // as decoded; empty when the line holds 3 pairs or fewer
};

int digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The records of a file that passed the check: one per line that ends with a line end.
std::vector<FileRecord> fileRecords(std::string_view text) {
    std::vector<FileRecord> records;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n') continue;
        const std::string_view line = text.substr(start, i - start);
        start = i + 1;
        if (line.empty() || line[0] != ':') continue;
        FileRecord r;
        for (std::size_t p = 1; p + 1 < line.size(); p += 2)
            r.bytes.push_back(static_cast<std::uint8_t>(digit(line[p]) * 16 + digit(line[p + 1])));
        if (r.bytes.size() <= 3) r.bytes.clear();
        records.push_back(std::move(r));
    }
    return records;
}

bool isData(const FileRecord& r) {
    return !r.bytes.empty() && r.bytes[3] == 0;
}
int address(const std::vector<std::uint8_t>& r) {
    return (r[1] << 8) | r[2];
}

std::uint8_t checksum(const std::uint8_t* bytes, std::size_t n) {
    std::uint8_t sum = 0;
    for (std::size_t i = 0; i < n; ++i) sum = static_cast<std::uint8_t>(sum + bytes[i]);
    return static_cast<std::uint8_t>(-sum);
}

void check(bool condition) {
    if (!condition) __builtin_trap();
}

// What must be on the wire after the command, record by record.
std::vector<std::string> expectedWire(const std::vector<FileRecord>& records) {
    std::vector<std::string> wire;
    for (std::size_t i = 0; i < records.size();) {
        const FileRecord& first = records[i];
        if (first.bytes.empty()) {
            ++i;
            continue;
        }
        if (!isData(first)) {
            wire.emplace_back(first.bytes.begin(), first.bytes.end());
            ++i;
            continue;
        }
        std::vector<std::uint8_t> joined(first.bytes.begin(), first.bytes.end() - 1);
        int total = first.bytes[0];
        const int base = address(first.bytes);
        for (++i; i < records.size() && isData(records[i]) && address(records[i].bytes) == base + total &&
                  total + records[i].bytes[0] < 250;
             ++i) {
            joined.insert(joined.end(), records[i].bytes.begin() + 4, records[i].bytes.end() - 1);
            total += records[i].bytes[0];
        }
        joined[0] = static_cast<std::uint8_t>(total);
        joined.push_back(checksum(joined.data(), joined.size()));
        wire.emplace_back(joined.begin(), joined.end());
    }
    return wire;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string path = "/tmp/hlx-fuzz-rtq-" + std::to_string(::getpid()) + ".hex";
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    } else {
        return 0;
    }

    static base::FileBuffer file;
    test::NullOutputWindow window;
    output::OutputLog log(window);
    // Only a file the check passes is sent; the expectation assumes well-formed lines.
    {
        if (!file.assign(text)) return 0;  // above the buffer: not a case for this target
        firmware::HexImage image(file);
        std::array<std::uint8_t, 512> scratch{};
        if (image.checkFile(scratch, log) != 0) return 0;
    }

    test::FakeClock clock;
    auto* device = new test::FakeSerialDevice(clock);
    device->onWrite(
        [](test::FakeSerialDevice& d, std::span<const std::uint8_t>) { d.replyAfter(1ms, "OK\n"); });
    serial::SerialPort port{std::unique_ptr<serial::SerialDevice>(device)};
    serial::Deadline reply{clock};
    struct : output::JobView {
        void setProgressRange(int, int) override {}
        void setProgress(int) override {}
        void setIdlePollEnabled(bool) override {}
    } view;
    jobs::JobSlot slot;
    jobs::JobInputs inputs;
    inputs.comText = "/dev/fuzz-monitor";
    inputs.filePath = path;
    jobs::JobContext context{{port, reply, log, {}}, view, file, inputs};
    const auto word = jobs::runJobFrame(firmware::rtqDownloadJob(), context, slot);
    check(word == 0x1000);

    const std::vector<std::string>& writes = device->writes();
    check(!writes.empty() && writes[0] == "LoadFWRTQ?\r\n");
    const std::vector<std::string> expected = expectedWire(fileRecords(text));
    check(writes.size() == expected.size() + 1);
    for (std::size_t i = 0; i < expected.size(); ++i) check(writes[i + 1] == expected[i]);
    return 0;
}
