#include "firmware/isp_blocks.h"

#include <algorithm>
#include <cstring>

namespace hlx::firmware {
namespace {

constexpr std::uint64_t kLineMask = ~static_cast<std::uint64_t>(kFlashLine - 1);

std::uint64_t lineDown(std::uint64_t address) {
    return address & kLineMask;
}
std::uint64_t lineUp(std::uint64_t address) {
    return lineDown(address + kFlashLine - 1);
}

std::uint32_t readWord(std::span<const std::uint8_t> area, std::size_t at) {
    return static_cast<std::uint32_t>(area[at]) | static_cast<std::uint32_t>(area[at + 1]) << 8 |
           static_cast<std::uint32_t>(area[at + 2]) << 16 | static_cast<std::uint32_t>(area[at + 3]) << 24;
}

// The largest copy size that fits into length bytes (a multiple of 256).
std::uint32_t largestCopy(std::uint64_t length) {
    if (length >= 4096) return 4096;
    if (length >= 1024) return 1024;
    if (length >= 512) return 512;
    return 256;
}

}  // namespace

std::uint32_t blockSize(std::uint64_t extent) {
    if (extent < 256) return 256;
    if (extent < 512) return 512;
    if (extent < 1024) return 1024;
    return 4096;
}

void applyVectorChecksum(std::span<std::uint8_t> area) {
    if (area.size() < 32) return;
    std::uint32_t sum = 0;
    for (std::size_t word = 0; word < 8; ++word)
        if (word != 5) sum += readWord(area, word * 4);
    const std::uint32_t fixed = 0u - sum;
    for (std::size_t i = 0; i < 4; ++i) area[0x14 + i] = static_cast<std::uint8_t>(fixed >> (8 * i));
}

IspRecord interpretRecord(std::span<const std::uint8_t> record, int decodedLength) {
    IspRecord r;
    if (decodedLength < 4 || record.size() < 4) return r;
    r.offset = static_cast<std::uint16_t>(record[1] << 8 | record[2]);
    // The data bytes: as many as the count says, but never more than the line holds.
    const std::size_t onLine = std::min(static_cast<std::size_t>(decodedLength), record.size()) - 4;
    const std::size_t present = std::min<std::size_t>(record[0], onLine);
    switch (record[3]) {
        case kDataRecord:
            r.kind = IspRecord::Kind::Data;
            r.data = record.subspan(4, present);
            break;
        case kExtendedLinearAddressRecord: {
            r.kind = IspRecord::Kind::Page;
            const std::uint16_t high = present >= 1 ? record[4] : 0;
            const std::uint16_t low = present >= 2 ? record[5] : 0;
            r.page = static_cast<std::uint16_t>(high << 8 | low);
            break;
        }
        default:
            r.kind = IspRecord::Kind::Other;
            break;
    }
    return r;
}

void FlashContent::clear() {
    m_lines.clear();
    m_dataEnd = 0;
    m_holdsVectors = false;
}

FlashContent::Result FlashContent::build(HexImage& image, RecordArea& record) {
    clear();
    image.setPosition(0);
    std::uint64_t upper = 0;
    Result result = Result::Ok;
    while (!image.atEnd()) {
        int length = 0;
        if (image.readRecord(record, length) != 0) continue;
        const IspRecord r = interpretRecord(record, length);
        if (r.kind == IspRecord::Kind::Page) {
            upper = upperAddressOf(r.page);
        } else if (r.kind == IspRecord::Kind::Data && upper < kSkippedPagesFrom) {
            if (!place(upper + r.offset, r.data)) {
                result = Result::TooMuchData;
                break;
            }
        }
    }
    image.setPosition(0);
    if (result != Result::Ok) clear();
    return result;
}

bool FlashContent::place(std::uint64_t address, std::span<const std::uint8_t> data) {
    if (data.empty()) return true;
    if (address < kVectorTableSize) m_holdsVectors = true;
    m_dataEnd = std::max(m_dataEnd, address + data.size());
    std::size_t done = 0;
    while (done < data.size()) {
        const std::uint64_t at = address + done;
        const auto key = static_cast<std::uint32_t>(at / kFlashLine);
        auto line = m_lines.find(key);
        if (line == m_lines.end()) {
            if (m_lines.size() >= kMaxLines) return false;
            line = m_lines.emplace(key, std::array<std::uint8_t, kFlashLine>{}).first;
            line->second.fill(0xFF);
        }
        const std::size_t inLine = at % kFlashLine;
        const std::size_t n = std::min<std::size_t>(kFlashLine - inLine, data.size() - done);
        std::memcpy(line->second.data() + inLine, data.data() + done, n);
        done += n;
    }
    return true;
}

void FlashContent::read(std::uint64_t address, std::span<std::uint8_t> out) const {
    std::size_t done = 0;
    while (done < out.size()) {
        const std::uint64_t at = address + done;
        const std::size_t inLine = at % kFlashLine;
        const std::size_t n = std::min<std::size_t>(kFlashLine - inLine, out.size() - done);
        const auto line = m_lines.find(static_cast<std::uint32_t>(at / kFlashLine));
        if (line == m_lines.end())
            std::memset(out.data() + done, 0xFF, n);
        else
            std::memcpy(out.data() + done, line->second.data() + inLine, n);
        done += n;
    }
}

void CopiedLines::add(std::uint64_t begin, std::uint64_t end) {
    if (begin >= end) return;
    // Merge with every run that overlaps or touches [begin, end).
    auto it = m_runs.upper_bound(begin);
    if (it != m_runs.begin() && std::prev(it)->second >= begin) --it;
    while (it != m_runs.end() && it->first <= end) {
        begin = std::min(begin, it->first);
        end = std::max(end, it->second);
        it = m_runs.erase(it);
    }
    m_runs.emplace(begin, end);
}

bool CopiedLines::anyIn(std::uint64_t begin, std::uint64_t end) const {
    if (begin >= end) return false;
    auto it = m_runs.upper_bound(begin);
    if (it != m_runs.begin() && std::prev(it)->second > begin) return true;
    return it != m_runs.end() && it->first < end;
}

std::uint64_t CopiedLines::firstFree(std::uint64_t from) const {
    auto it = m_runs.upper_bound(from);
    if (it != m_runs.begin() && std::prev(it)->second > from) return std::prev(it)->second;
    return from;
}

std::vector<std::pair<std::uint64_t, std::uint64_t>> CopiedLines::freeRuns(std::uint64_t begin,
                                                                           std::uint64_t end) const {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> runs;
    std::uint64_t at = firstFree(begin);
    while (at < end) {
        auto next = m_runs.lower_bound(at);
        const std::uint64_t stop = next == m_runs.end() ? end : std::min(end, next->first);
        if (at < stop) runs.emplace_back(at, stop);
        if (next == m_runs.end() || next->first >= end) break;
        at = next->second;
    }
    return runs;
}

std::optional<IspBlock> gatherBlock(HexImage& image, std::uint64_t upper, const IspRecord& first,
                                    const CopiedLines& copied, RecordArea& ahead, std::int32_t& word) {
    const std::uint64_t firstAddress = upper + first.offset;
    const std::uint64_t firstEnd = firstAddress + first.data.size();
    const std::uint64_t ownLine = lineDown(firstAddress);
    const std::uint64_t start = copied.firstFree(ownLine);
    const bool nothingNew = start > ownLine && firstEnd <= start;

    std::uint64_t end = std::max(firstEnd, start);
    for (;;) {
        const std::int32_t remembered = image.position();
        int length = 0;
        word |= image.readRecord(ahead, length);
        const IspRecord next = interpretRecord(ahead, length);
        if (next.kind == IspRecord::Kind::Data) {
            const std::uint64_t address = upper + next.offset;
            const std::uint64_t nextEnd = address + next.data.size();
            if (address >= start && nextEnd - start <= kBlockLimit) {
                end = std::max(end, nextEnd);
                continue;
            }
        }
        image.setPosition(remembered);
        break;
    }
    if (nothingNew && end == start) return std::nullopt;
    return IspBlock{start, end - start};
}

std::vector<CopyChunk> planCopies(const IspBlock& block, const CopiedLines& copied, std::uint64_t flashEnd) {
    const std::uint32_t whole = blockSize(block.extent);
    // Rounded up, the copy must still end inside the user flash: beyond it the chip refuses the copy.
    const bool fits = block.start + whole <= flashEnd;
    if (fits && !copied.anyIn(block.start, block.start + whole)) return {{block.start, whole}};
    std::vector<CopyChunk> chunks;
    for (auto [begin, end] : copied.freeRuns(block.start, lineUp(block.start + block.extent))) {
        while (begin < end) {
            const std::uint32_t size = largestCopy(end - begin);
            chunks.push_back({begin, size});
            begin += size;
        }
    }
    return chunks;
}

IspTransferPlan::Step IspTransferPlan::next(std::int32_t& word) {
    Step step;
    int length = 0;
    word |= m_image.readRecord(m_record, length);
    const IspRecord record = interpretRecord(m_record, length);
    if (record.kind == IspRecord::Kind::Page) {
        m_upper = upperAddressOf(record.page);
        step.page = record.page;
    } else if (record.kind == IspRecord::Kind::Data && m_upper < kSkippedPagesFrom) {
        if (const auto block = gatherBlock(m_image, m_upper, record, m_copied, m_ahead, word)) {
            step.copies = planCopies(*block, m_copied, m_flashEnd);
            for (const CopyChunk& chunk : step.copies)
                m_copied.add(chunk.address, chunk.address + chunk.size);
        }
    }
    return step;
}

void fillChunk(const FlashContent& content, const CopyChunk& chunk, std::span<std::uint8_t> area) {
    std::fill(area.begin(), area.end(), std::uint8_t{0xFF});
    const std::span<std::uint8_t> bytes = area.first(std::min<std::size_t>(chunk.size, area.size()));
    content.read(chunk.address, bytes);
    if (chunk.address == 0 && content.holdsVectorTable()) applyVectorChecksum(bytes);
}

}  // namespace hlx::firmware
