#include "firmware/hex_info.h"

#include <fmt/format.h>

#include "firmware/sha256.h"

namespace hlx::firmware {
std::string_view findingName(FindingKind kind) {
    switch (kind) {
        case FindingKind::SyntaxError:
            return "syntax error";
        case FindingKind::ByteCountMismatch:
            return "byte count mismatch";
        case FindingKind::ChecksumMismatch:
            return "checksum mismatch";
        case FindingKind::MalformedRecord:
            return "malformed record";
        case FindingKind::RecordAfterEnd:
            return "record after end";
        case FindingKind::MissingEnd:
            return "missing end record";
        case FindingKind::UnterminatedLastLine:
            return "unterminated last line";
        case FindingKind::DescendingAddress:
            return "descending address";
        case FindingKind::OverlapSameData:
            return "overlap, same values";
        case FindingKind::OverlapDifferentData:
            return "overlap, different values";
        case FindingKind::NoData:
            return "no data";
    }
    return "finding";
}

std::vector<std::string> formatHexReport(const HexReport& report) {
    std::vector<std::string> out;
    if (report.notHex) {
        out.push_back("Not an Intel HEX file: " + report.notHexReason + ".");
        return out;
    }
    out.push_back("File: " + std::to_string(report.fileBytes) + " bytes, " + std::to_string(report.lines) +
                  " lines, " + std::to_string(report.records) + " records");
    static constexpr const char* kTypeNames[6] = {"data",
                                                  "end of file",
                                                  "extended segment address",
                                                  "start segment address",
                                                  "extended linear address",
                                                  "start linear address"};
    std::string types = "Records by type:";
    for (int t = 0; t < 6; ++t)
        types +=
            std::string(t == 0 ? " " : ", ") + kTypeNames[t] + " " + std::to_string(report.recordsByType[t]);
    types += ", other " + std::to_string(report.otherTypes);
    out.push_back(types);
    if (report.largestRecordBytes >= 0)
        out.push_back("Largest record: " + std::to_string(report.largestRecordBytes) + " data bytes (line " +
                      std::to_string(report.largestRecordLine) + ")");
    out.push_back("Data: " + std::to_string(report.dataBytes) + " bytes in data records, " +
                  std::to_string(report.imageBytes) + " bytes in the image");

    out.push_back("Layout by 64 KiB page:");
    if (report.ranges.empty()) out.push_back("  (no data)");
    constexpr std::size_t kRangesShown = 8;
    for (std::size_t i = 0; i < report.ranges.size();) {
        const std::uint32_t page = report.ranges[i].first >> 16;
        std::size_t j = i;
        std::uint64_t pageBytes = 0;
        for (; j < report.ranges.size() && (report.ranges[j].first >> 16) == page; ++j)
            pageBytes += std::uint64_t{report.ranges[j].last} - report.ranges[j].first + 1;
        std::string text = fmt::format("  page 0x{:04X} ({} bytes):", page, pageBytes);
        for (std::size_t k = i; k < j && k < i + kRangesShown; ++k)
            text += fmt::format("{}0x{:08X}-0x{:08X}", k == i ? " " : ", ", report.ranges[k].first,
                                report.ranges[k].last);
        if (j - i > kRangesShown) text += ", and " + std::to_string(j - i - kRangesShown) + " more ranges";
        out.push_back(text);
        i = j;
    }
    out.push_back("Image SHA-256: " + Sha256::hex(report.imageSha256));
    out.push_back(
        "  (over each run of consecutive addresses, ascending: start and length as 4 bytes big-endian, "
        "then its bytes; a byte written twice counts with its last value)");
    out.push_back("Syntax check: " + std::to_string(report.syntaxErrors) + " errors");

    int total = 0;
    for (int n : report.findingCounts) total += n;
    if (total == 0) {
        out.push_back("Findings: none");
        out.push_back("Verdict: nothing suspicious");
        return out;
    }
    out.push_back("Findings: " + std::to_string(total));
    for (const Finding& f : report.findings)
        out.push_back("  line " + std::to_string(f.line) + ": " + std::string(findingName(f.kind)) + ": " +
                      f.detail);
    for (int k = 0; k < kFindingKinds; ++k) {
        const int more = report.findingCounts[k] - HexReport::kListedPerKind;
        if (more > 0)
            out.push_back("  ... and " + std::to_string(more) + " more of kind '" +
                          std::string(findingName(static_cast<FindingKind>(k))) + "'");
    }
    out.push_back("Verdict: suspicious (" + std::to_string(total) + " findings)");
    return out;
}

}  // namespace hlx::firmware
