#include "firmware/isp_verify.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string>

#include <fmt/format.h>

#include "firmware/uu_encode.h"
#include "output/job_result.h"

namespace hlx::firmware {
namespace {

using namespace std::chrono_literals;

constexpr int kReadAttempts = 3;
// The boot loader's own time for an answer; the bytes on the wire come on top, at the line's rate.
constexpr serial::Milliseconds kAnswerTime = 500ms;

std::optional<std::int64_t> parseDecimal(const std::string& text) {
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// Reads one group of lines into out (its size: up to 20 lines of 45 bytes) and its checksum line. Returns
// whether the group is sound; false with nothing recorded when it only needs to be read again.
enum class GroupResult { Good, Again, Failed };

GroupResult readGroup(IspConversation& isp, std::span<std::uint8_t> out) {
    std::string line;
    std::array<std::uint8_t, kUuMaxBytes> decoded{};
    bool sound = true;
    std::size_t got = 0;
    std::int64_t sum = 0;
    const std::size_t lines = (out.size() + kUuMaxBytes - 1) / kUuMaxBytes;
    for (std::size_t i = 0; i < lines; ++i) {
        if (!isp.readLine(line)) return GroupResult::Failed;
        const auto n = decodeUuLine(line, decoded);
        const std::size_t wanted = std::min(kUuMaxBytes, out.size() - got);
        if (!n || *n != wanted) {
            sound = false;
            continue;
        }
        std::copy_n(decoded.begin(), *n, out.begin() + static_cast<std::ptrdiff_t>(got));
        sum += uuChecksum({decoded.data(), *n});
        got += *n;
    }
    if (!isp.readLine(line)) return GroupResult::Failed;
    const auto announced = parseDecimal(line);
    return sound && announced && *announced == sum ? GroupResult::Good : GroupResult::Again;
}

// Adds d to list, joined to the last difference when their ranges touch.
void appendJoined(std::vector<Difference>& list, const Difference& d) {
    if (!list.empty() && list.back().range.last + 1 == d.range.first) {
        list.back().range.last = d.range.last;
        list.back().bytes += d.bytes;
    } else {
        list.push_back(d);
    }
}

}  // namespace

std::vector<AddressRange> differingRanges(std::uint64_t address, std::span<const std::uint8_t> expected,
                                          std::span<const std::uint8_t> actual, std::uint64_t skipBelow) {
    std::vector<AddressRange> ranges;
    const std::size_t n = std::min(expected.size(), actual.size());
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint64_t at = address + i;
        if (at < skipBelow || expected[i] == actual[i]) continue;
        if (!ranges.empty() && ranges.back().last + 1 == at)
            ranges.back().last = at;
        else
            ranges.push_back({at, at});
    }
    return ranges;
}

void addCopyDifference(std::vector<Difference>& list, std::uint64_t address,
                       std::span<const std::uint8_t> expected, std::span<const std::uint8_t> actual,
                       std::uint64_t skipBelow) {
    const std::vector<AddressRange> ranges = differingRanges(address, expected, actual, skipBelow);
    if (ranges.empty()) return;
    Difference d{{ranges.front().first, ranges.back().last}, 0};
    for (const AddressRange& r : ranges) d.bytes += r.last - r.first + 1;
    appendJoined(list, d);
}

bool readBack(IspConversation& isp, std::uint64_t address, std::span<std::uint8_t> out, int* refusal) {
    isp.sendUnchecked("R " + std::to_string(address) + " " + std::to_string(out.size()));
    isp.armForAnswer(kAnswerTime);
    std::string answer;
    const IspReplyStatus status = isp.awaitAnswer("", IspReplyKind::ReturnCode, answer);
    if (status == IspReplyStatus::Failure) {
        isp.record(output::result::kErrorByte);
        int code = 0;
        std::from_chars(answer.data(), answer.data() + answer.size(), code);
        if (refusal) *refusal = code;
    }
    if (status != IspReplyStatus::Success) return false;
    constexpr std::size_t kGroupBytes = kUuMaxBytes * kUuLinesPerChecksum;
    std::size_t done = 0;
    int attempts = 0;
    while (done < out.size()) {
        const std::size_t size = std::min(kGroupBytes, out.size() - done);
        const std::size_t lines = (size + kUuMaxBytes - 1) / kUuMaxBytes;
        isp.armForAnswer(kAnswerTime, static_cast<std::int64_t>(lines * kUuMaxLineLength + 12));
        switch (readGroup(isp, out.subspan(done, size))) {
            case GroupResult::Failed:
                return false;
            case GroupResult::Good:
                isp.sendUnchecked("OK");
                done += size;
                attempts = 0;
                break;
            case GroupResult::Again:
                if (++attempts >= kReadAttempts) {
                    isp.link().log.addLine(
                        fmt::format("Fehler: Gelesene Daten ab 0x{:08X} bleiben fehlerhaft", address + done));
                    return false;
                }
                isp.sendUnchecked("RESEND");
                break;
        }
    }
    return true;
}

FlashComparison::FlashComparison(IspConversation& isp, const FlashContent& content)
    : m_isp(isp), m_content(content) {
    output::OutputLog& log = m_isp.link().log;
    log.addLine("Vergleiche Flash mit Datei");
    log.refresh();
}

bool FlashComparison::compare(std::vector<CopyChunk> chunks) {
    output::OutputLog& log = m_isp.link().log;
    std::sort(chunks.begin(), chunks.end(),
              [](const CopyChunk& a, const CopyChunk& b) { return a.address < b.address; });
    if (!chunks.empty() && chunks.front().address < kBootVectorsEnd) {
        log.addLine(
            fmt::format("0x{:08X} bis 0x{:08X} nicht verglichen: dort liest der Bootloader seine "
                        "eigenen Vektoren",
                        0, kBootVectorsEnd - 1));
    }
    std::array<std::uint8_t, kBlockLimit + 2> expected{};
    std::array<std::uint8_t, kBlockLimit> actual{};
    for (const CopyChunk& chunk : chunks) {
        if (!m_isp.ok()) return false;
        fillChunk(m_content, chunk, expected);
        const std::span<std::uint8_t> read{actual.data(), chunk.size};
        if (!readBack(m_isp, chunk.address, read)) {
            if (!m_isp.stopped())
                log.addLine(fmt::format("Fehler: Flash ab 0x{:08X} nicht lesbar", chunk.address));
            return false;
        }
        addCopyDifference(m_differing, chunk.address, {expected.data(), chunk.size}, read, kBootVectorsEnd);
    }
    return m_isp.ok();
}

void FlashComparison::report() {
    output::OutputLog& log = m_isp.link().log;
    // The rounds each went in address order; the copy written last lies in front of the others.
    std::sort(m_differing.begin(), m_differing.end(),
              [](const Difference& a, const Difference& b) { return a.range.first < b.range.first; });
    std::vector<Difference> joined;
    for (const Difference& d : m_differing) appendJoined(joined, d);
    m_differing = std::move(joined);
    for (const Difference& d : m_differing)
        log.addLine(fmt::format("Flash weicht ab: 0x{:08X} bis 0x{:08X} ({} {})", d.range.first, d.range.last,
                                d.bytes, d.bytes == 1 ? "Byte" : "Bytes"));
    if (m_differing.empty()) {
        log.addLine("Flash stimmt mit der Datei überein");
    } else {
        log.addLine("Fehler: Flash weicht an " + std::to_string(m_differing.size()) +
                    " Stellen von der Datei ab");
        m_isp.record(output::result::kErrorByte);
    }
    log.refresh();
}

void verifyProgrammed(IspConversation& isp, const FlashContent& content,
                      const std::vector<CopyChunk>& programmed) {
    FlashComparison comparison(isp, content);
    if (comparison.compare(programmed)) comparison.report();
}

}  // namespace hlx::firmware
