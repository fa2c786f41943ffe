#include "firmware/hex_info.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <span>

#include <fmt/format.h>

#include "firmware/hex_image.h"
#include "firmware/sha256.h"

namespace hlx::firmware {
namespace {

// The record buffer of the downloads; a line with more pairs is an error of the check.
constexpr std::size_t kRecordBuffer = 512;

bool isLineEnd(std::uint8_t c) {
    return c == '\r' || c == '\n';
}

// A data record's bytes at consecutive addresses (a record whose offset wraps is two entries).
struct DataEntry {
    std::uint32_t address;
    std::uint32_t dataOffset;  // into the data arena
    int line;
    std::uint16_t length;
};

std::string codeText(int code) {
    switch (code) {
        case 2:
            return "unexpected line end (code 2)";
        case 4:
            return "unexpected character (code 4)";
        default:
            return "wrong line start (code 8)";
    }
}

class FindingList {
public:
    explicit FindingList(HexReport& report) : m_report(report) {}

    template <typename MakeDetail>
    void add(FindingKind kind, int line, MakeDetail&& makeDetail) {
        int& count = m_report.findingCounts[static_cast<int>(kind)];
        if (count++ < HexReport::kListedPerKind) m_report.findings.push_back({kind, line, makeDetail()});
    }

    // Syntax errors are listed once per line: the first with its column, then how many more followed.
    // code 0 stands for a line too long for the reader (pairs tells how long).
    void syntax(int line, std::size_t column, int code, int pairs = 0) {
        ++m_report.syntaxErrors;
        if (m_pending && m_first.line == line) {
            ++m_pendingMore;
            return;
        }
        flushSyntax();
        m_pending = true;
        m_first = {line, column, code, pairs};
        m_pendingMore = 0;
        ++m_errorLines;
    }
    void flushSyntax() {
        if (!m_pending) return;
        m_pending = false;
        add(FindingKind::SyntaxError, m_first.line, [&] {
            std::string text =
                m_first.code == 0
                    ? "line too long for the reader (" + std::to_string(m_first.pairs) +
                          " byte pairs, at most " + std::to_string(kRecordBuffer) + ")"
                    : "column " + std::to_string(m_first.column) + ": " + codeText(m_first.code);
            if (m_pendingMore > 0) text += "; " + std::to_string(m_pendingMore) + " more on this line";
            return text;
        });
    }
    int errorLines() const { return m_errorLines; }

private:
    HexReport& m_report;
    struct SyntaxError {
        int line;
        std::size_t column;
        int code;
        int pairs;
    };
    bool m_pending = false;
    SyntaxError m_first{};
    int m_pendingMore = 0;
    int m_errorLines = 0;
};

// The memory image in ascending address order: the runs of consecutive addresses and their bytes.
class ImageBuilder {
public:
    void put(std::uint64_t address, const std::uint8_t* bytes, std::size_t n) {
        if (m_runs.empty() || m_runs.back().start + m_runs.back().length != address)
            m_runs.push_back({address, 0});
        m_runs.back().length += n;
        m_bytes.insert(m_bytes.end(), bytes, bytes + n);
    }

    void finish(HexReport& report) const {
        Sha256 sha;
        std::size_t offset = 0;
        for (const Run& run : m_runs) {
            std::uint8_t header[8];
            for (int i = 0; i < 4; ++i) {
                header[i] = static_cast<std::uint8_t>(run.start >> (24 - 8 * i));
                header[4 + i] = static_cast<std::uint8_t>(run.length >> (24 - 8 * i));
            }
            sha.update({header, 8});
            sha.update({m_bytes.data() + offset, run.length});
            offset += run.length;
            for (std::uint64_t first = run.start, end = run.start + run.length; first < end;) {
                const std::uint64_t pageEnd = (first | 0xFFFF) + 1;
                const std::uint64_t last = std::min(end, pageEnd) - 1;
                report.ranges.push_back(
                    {static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(last)});
                first = last + 1;
            }
        }
        report.imageBytes = m_bytes.size();
        report.imageSha256 = sha.finish();
    }

private:
    struct Run {
        std::uint64_t start;
        std::uint64_t length;
    };
    std::vector<Run> m_runs;
    std::vector<std::uint8_t> m_bytes;
};

struct Overlap {
    std::uint32_t earlier;  // entry index
    std::uint32_t first;
    std::uint32_t last;
    int bytes = 0;
    int differ = 0;
};

// Entries [begin, end) of order write a contiguous span more than once: resolve it byte by byte, the
// later record winning, and report each pair of records that meet.
void resolveCluster(const std::vector<DataEntry>& entries, const std::vector<std::uint8_t>& arena,
                    std::vector<std::uint32_t>::iterator begin, std::vector<std::uint32_t>::iterator end,
                    std::uint64_t spanEnd, ImageBuilder& image, FindingList& findings) {
    const std::uint32_t spanStart = entries[*begin].address;
    const std::size_t span = static_cast<std::size_t>(spanEnd - spanStart);
    std::vector<std::uint8_t> values(span);
    std::vector<std::int32_t> owner(span, -1);
    std::vector<std::uint32_t> byFileOrder(begin, end);
    std::sort(byFileOrder.begin(), byFileOrder.end());  // indices are in file order already

    std::vector<Overlap> overlaps;
    for (const std::uint32_t index : byFileOrder) {
        const DataEntry& e = entries[index];
        overlaps.clear();
        for (std::size_t k = 0; k < e.length; ++k) {
            const std::size_t at = e.address - spanStart + k;
            const std::uint8_t value = arena[e.dataOffset + k];
            if (owner[at] >= 0) {
                const auto earlier = static_cast<std::uint32_t>(owner[at]);
                auto it = std::find_if(overlaps.begin(), overlaps.end(),
                                       [&](const Overlap& o) { return o.earlier == earlier; });
                if (it == overlaps.end()) {
                    overlaps.push_back({earlier, static_cast<std::uint32_t>(e.address + k), 0});
                    it = overlaps.end() - 1;
                }
                it->last = static_cast<std::uint32_t>(e.address + k);
                ++it->bytes;
                if (values[at] != value) ++it->differ;
            }
            values[at] = value;
            owner[at] = static_cast<std::int32_t>(index);
        }
        for (const Overlap& o : overlaps) {
            const FindingKind kind =
                o.differ > 0 ? FindingKind::OverlapDifferentData : FindingKind::OverlapSameData;
            findings.add(kind, e.line, [&] {
                std::string text =
                    o.bytes == 1 ? fmt::format("1 byte at 0x{:08X}", o.first)
                                 : fmt::format("{} bytes in 0x{:08X}-0x{:08X}", o.bytes, o.first, o.last);
                text += fmt::format(" already written by line {}", entries[o.earlier].line);
                if (o.differ > 0)
                    text += ", " + std::to_string(o.differ) + " with a different value";
                else
                    text += ", with the same values";
                return text;
            });
        }
    }
    image.put(spanStart, values.data(), span);
}

void buildImage(const std::vector<DataEntry>& entries, const std::vector<std::uint8_t>& arena,
                HexReport& report, FindingList& findings) {
    std::vector<std::uint32_t> order(entries.size());
    for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        return entries[a].address != entries[b].address ? entries[a].address < entries[b].address : a < b;
    });

    ImageBuilder image;
    for (auto it = order.begin(); it != order.end();) {
        const DataEntry& first = entries[*it];
        std::uint64_t spanEnd = std::uint64_t{first.address} + first.length;
        auto next = it + 1;
        for (; next != order.end() && entries[*next].address < spanEnd; ++next)
            spanEnd = std::max(spanEnd, std::uint64_t{entries[*next].address} + entries[*next].length);
        if (next == it + 1)
            image.put(first.address, arena.data() + first.dataOffset, first.length);
        else
            resolveCluster(entries, arena, it, next, spanEnd, image, findings);
        it = next;
    }
    image.finish(report);
}

std::string looksLike(std::string_view bytes) {
    const std::string_view head = bytes.substr(0, 4096);
    std::string lower(head);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.find("<html") != std::string::npos || lower.find("<!doctype html") != std::string::npos)
        return "it looks like an HTML page (a web page saved in place of the file?)";
    if (head.find('\0') != std::string_view::npos) return "it looks like a binary file";
    return "it looks like some other text";
}

}  // namespace

bool HexReport::suspicious() const {
    if (notHex) return true;
    for (int n : findingCounts)
        if (n > 0) return true;
    return false;
}

HexReport analyseHex(std::string_view fileBytes) {
    HexReport report;
    report.fileBytes = static_cast<std::int64_t>(fileBytes.size());
    // The reader works on 32-bit positions, as the image does; what the image cannot hold is not read.
    const std::size_t readable = std::min<std::size_t>(fileBytes.size(), HexImage::kCapacity);
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(fileBytes.data()),
                                              readable);
    LineCounter lines(bytes);
    FindingList findings(report);

    std::vector<std::uint8_t> arena;
    std::vector<DataEntry> entries;
    std::array<std::uint8_t, kRecordBuffer> rec{};
    bool linear = false;  // addressing set by type 4 (else by type 2, or none yet)
    std::uint32_t base = 0;
    std::optional<int> endLine;
    std::optional<std::uint32_t> previousStart;
    int previousLine = 0;

    std::int32_t position = 0;
    const auto size = static_cast<std::int32_t>(bytes.size());
    while (position < size) {
        const std::int32_t start = position;
        int length = 0;
        int pairs = 0;
        const int code = decodeRecord(bytes, position, rec, length, pairs);
        if (code != 0) {
            const std::size_t offending = static_cast<std::size_t>(position) - 1;
            const int line = lines.lineAt(offending);
            findings.syntax(line, offending - lines.lineStart() + 1, code);
            continue;
        }
        std::int32_t s = start;
        while (s < position && isLineEnd(bytes[s])) ++s;
        if (s >= position || bytes[s] != ':') continue;  // trailing line ends, or a lone last byte
        const int line = lines.lineAt(static_cast<std::size_t>(s));
        if (!isLineEnd(bytes[position - 1])) {
            findings.add(FindingKind::UnterminatedLastLine, line, [] {
                return std::string("no line end after the last line, so the reader ignores it");
            });
            continue;
        }
        ++report.records;
        if (static_cast<std::size_t>(pairs) > kRecordBuffer) {
            findings.syntax(line, 0, 0, pairs);
            continue;
        }
        if (length < 5) {
            if (length > 3) ++report.syntaxErrors;  // the check refuses such a line too
            findings.add(FindingKind::ByteCountMismatch, line, [&] {
                return "the line holds " + std::to_string(length) + " byte pairs, a record needs at least 5";
            });
            continue;
        }
        const int n = rec[0];
        const int type = rec[3];
        if (type <= 5)
            ++report.recordsByType[type];
        else
            ++report.otherTypes;
        if (endLine)
            findings.add(FindingKind::RecordAfterEnd, line, [&] {
                return fmt::format("record of type 0x{:02X} after the end record in line {}", type, *endLine);
            });
        if (n + 5 != length) {
            ++report.syntaxErrors;  // the check refuses such a line too
            findings.add(FindingKind::ByteCountMismatch, line, [&] {
                return "byte count " + std::to_string(n) + " needs " + std::to_string(n + 5) +
                       " byte pairs, the line holds " + std::to_string(length);
            });
            continue;
        }
        std::uint8_t sum = 0;
        for (int i = 0; i < length - 1; ++i) sum = static_cast<std::uint8_t>(sum + rec[i]);
        const auto expected = static_cast<std::uint8_t>(-sum);
        if (rec[length - 1] != expected) {
            ++report.syntaxErrors;  // the check refuses such a line too
            findings.add(FindingKind::ChecksumMismatch, line, [&] {
                return fmt::format("checksum 0x{:02X}, the bytes need 0x{:02X}", rec[length - 1], expected);
            });
        }
        if (n > report.largestRecordBytes) {
            report.largestRecordBytes = n;
            report.largestRecordLine = line;
        }

        static constexpr int kDataBytesOfType[6] = {-1, 0, 2, 4, 2, 4};
        if (type > 5 || (type > 0 && n != kDataBytesOfType[type])) {
            findings.add(FindingKind::MalformedRecord, line, [&] {
                if (type > 5) return fmt::format("unknown record type 0x{:02X}", type);
                return fmt::format("record of type 0x{:02X} with {} data bytes (it needs {})", type, n,
                                   kDataBytesOfType[type]);
            });
            if (type == 1 && !endLine) endLine = line;
            continue;
        }
        const std::uint32_t value16 = (std::uint32_t{rec[4]} << 8) | rec[5];
        switch (type) {
            case 1:
                if (!endLine) endLine = line;
                break;
            case 2:
                linear = false;
                base = value16 << 4;
                break;
            case 4:
                linear = true;
                base = value16 << 16;
                break;
            case 0: {
                if (n == 0) break;
                const std::uint32_t offset = (std::uint32_t{rec[1]} << 8) | rec[2];
                const std::uint32_t address = base + offset;  // linear: wraps at 4 GiB
                if (previousStart && address < *previousStart)
                    findings.add(FindingKind::DescendingAddress, line, [&] {
                        return fmt::format("address 0x{:08X} is below 0x{:08X} of line {}", address,
                                           *previousStart, previousLine);
                    });
                previousStart = address;
                previousLine = line;
                // The bytes stay at consecutive addresses up to the wrap: of the offset (segment) or of 4
                // GiB.
                const std::uint64_t room = linear ? (std::uint64_t{1} << 32) - address : 0x10000 - offset;
                const int first =
                    static_cast<int>(std::min<std::uint64_t>(room, static_cast<std::uint64_t>(n)));
                // Entries stay in file order, so an entry's index tells which of two records came later.
                entries.push_back({address, static_cast<std::uint32_t>(arena.size()), line,
                                   static_cast<std::uint16_t>(first)});
                if (first < n)
                    entries.push_back({linear ? 0u : base, static_cast<std::uint32_t>(arena.size() + first),
                                       line, static_cast<std::uint16_t>(n - first)});
                arena.insert(arena.end(), rec.begin() + 4, rec.begin() + 4 + n);
                report.dataBytes += static_cast<std::uint64_t>(n);
                break;
            }
            default:
                break;
        }
    }
    findings.flushSyntax();
    // The breaks of the file, and one more line if the last has no line end.
    report.lines = bytes.empty() ? 0 : lines.lineAt(bytes.size()) - 1 + (isLineEnd(bytes.back()) ? 0 : 1);

    const int errorLines = findings.errorLines();
    const bool notHex = (report.records == 0 && report.syntaxErrors > 0) ||
                        (errorLines >= 20 && errorLines > 9 * report.records);
    // The check refuses a file without data (a download of it would program nothing), counted only when
    // no record was bad.
    if (report.dataBytes == 0 && report.syntaxErrors == 0) ++report.syntaxErrors;
    if (notHex) {
        report.notHex = true;
        const std::string total = std::to_string(report.lines);
        report.notHexReason = report.records == 0   ? "none of its " + total + " lines is a HEX record"
                              : report.records == 1 ? "only 1 of its " + total + " lines is a HEX record"
                                                    : "only " + std::to_string(report.records) + " of its " +
                                                          total + " lines are HEX records";
        report.notHexReason += "; " + looksLike(fileBytes);
        report.findings.clear();
        report.findingCounts.fill(0);
        return report;
    }
    if (report.dataBytes == 0)
        findings.add(FindingKind::NoData, std::max(report.lines, 1), [] {
            return std::string("no data record holds a byte, so a download programs nothing");
        });
    if (!endLine)
        findings.add(FindingKind::MissingEnd, std::max(report.lines, 1),
                     [] { return std::string("no end-of-file record (type 0x01) is read"); });

    buildImage(entries, arena, report, findings);
    std::stable_sort(report.findings.begin(), report.findings.end(),
                     [](const Finding& a, const Finding& b) { return a.line < b.line; });
    return report;
}

}  // namespace hlx::firmware
