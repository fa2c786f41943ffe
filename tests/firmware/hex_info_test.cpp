// The pre-flight analysis: the SHA-256 wrapper against the standard test vectors, the whole report of a
// clean file, each kind of suspicious finding with its line number, address arithmetic of type 2 and
// type 4 records, the image digest's independence of how the records are cut, and agreement with the
// check's count.

#include "firmware/hex_info.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "firmware/hex_image.h"
#include "firmware/sha256.h"
#include "tests/support/fake_output_window.h"
#include "tests/support/hex_text.h"

namespace hlx::firmware {
namespace {

using Bytes = std::vector<std::uint8_t>;

// One HEX line with a correct checksum, ending in CR LF.
std::string rec(std::uint16_t address, std::uint8_t type, const Bytes& data) {
    return test::hexLine(test::hexRecord(type, address, data));
}

std::string page(std::uint16_t upper) {
    return rec(0, 4, {static_cast<std::uint8_t>(upper >> 8), static_cast<std::uint8_t>(upper)});
}
std::string segment(std::uint16_t base) {
    return rec(0, 2, {static_cast<std::uint8_t>(base >> 8), static_cast<std::uint8_t>(base)});
}
const std::string kEnd = ":00000001FF\r\n";

Bytes bytesFrom(unsigned first, unsigned n) {
    Bytes data;
    for (unsigned i = 0; i < n; ++i) data.push_back(static_cast<std::uint8_t>(first + i));
    return data;
}

TEST(Sha256Test, StandardVectorsWholeAndInPieces) {
    struct Vector {
        std::string message;
        const char* digest;
    };
    const Vector vectors[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {std::string(1'000'000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    // One object for every message: finish() must leave it ready for the next one.
    Sha256 sha;
    for (const Vector& v : vectors) {
        SCOPED_TRACE(v.message.substr(0, 20));
        EXPECT_EQ(v.digest, Sha256::hex(Sha256::of(v.message)));
        const std::string_view message(v.message);
        sha.update(message.substr(0, message.size() / 3));
        sha.update(std::span(reinterpret_cast<const std::uint8_t*>(message.data()) + message.size() / 3,
                             message.size() - message.size() / 3));
        EXPECT_EQ(v.digest, Sha256::hex(sha.finish()));
    }
}

TEST(HexInfoTest, CleanFileReport) {
    const std::string file = page(0x0001) + rec(0x0000, 0, bytesFrom(0, 16)) +
                             rec(0x0010, 0, bytesFrom(16, 16)) + rec(0x0100, 0, {0xAA, 0xBB, 0xCC, 0xDD}) +
                             kEnd;
    const HexReport report = analyseHex(file);
    EXPECT_FALSE(report.suspicious());
    const std::vector<std::string> expected = {
        "File: " + std::to_string(file.size()) + " bytes, 5 lines, 5 records",
        "Records by type: data 3, end of file 1, extended segment address 0, start segment address 0, "
        "extended linear address 1, start linear address 0, other 0",
        "Largest record: 16 data bytes (line 2)",
        "Data: 36 bytes in data records, 36 bytes in the image",
        "Layout by 64 KiB page:",
        "  page 0x0001 (36 bytes): 0x00010000-0x0001001F, 0x00010100-0x00010103",
        "Image SHA-256: 99fa5e6e5721422a6cc68f0cb0589edb3043c06068c12d3c10b5aa7afa0577b9",
        "  (over each run of consecutive addresses, ascending: start and length as 4 bytes big-endian, then "
        "its "
        "bytes; a byte written twice counts with its last value)",
        "Syntax check: 0 errors",
        "Findings: none",
        "Verdict: nothing suspicious",
    };
    EXPECT_EQ(expected, formatHexReport(report));
}

using Found = std::vector<std::pair<FindingKind, int>>;

struct SuspiciousCase {
    const char* name;
    std::string file;
    Found expected;
};

std::vector<SuspiciousCase> suspiciousCases() {
    using K = FindingKind;
    return {
        {"ChecksumMismatch", rec(0, 0, {1, 2}) + ":0200020003040A\r\n" + kEnd, {{K::ChecksumMismatch, 2}}},
        {"ByteCountMismatch",
         rec(0, 0, {1, 2}) + ":0300020003040A\r\n" + ":000001\r\n" + kEnd,
         {{K::ByteCountMismatch, 2}, {K::ByteCountMismatch, 3}}},
        {"RecordAfterEnd", rec(0, 0, {1}) + kEnd + rec(1, 0, {2}), {{K::RecordAfterEnd, 3}}},
        {"MissingEnd", rec(0, 0, {1}) + rec(1, 0, {2}), {{K::MissingEnd, 2}}},
        {"EndRecordWithoutLineEndIsIgnored",
         rec(0, 0, {1}) + ":00000001FF",
         {{K::UnterminatedLastLine, 2}, {K::MissingEnd, 2}}},
        {"OverlapSameValues",
         rec(0x10, 0, {1, 2, 3, 4}) + rec(0x20, 0, {9}) + rec(0x12, 0, {3, 4}) + kEnd,
         {{K::DescendingAddress, 3}, {K::OverlapSameData, 3}}},
        {"OverlapDifferentValues",
         page(2) + rec(0x10, 0, {1, 2, 3, 4}) + page(1) + page(2) + rec(0x13, 0, {7, 8}) + kEnd,
         {{K::OverlapDifferentData, 5}}},
        {"DescendingAcrossPages",
         page(2) + rec(0, 0, {1}) + page(1) + rec(0, 0, {2}) + kEnd,
         {{K::DescendingAddress, 4}}},
        {"SyntaxErrorsOnePerLine",
         rec(0, 0, {1}) + ":0100010002FC \r\n" + "x\r\n" + ":01000200" + "\r\n" + kEnd,
         {{K::SyntaxError, 2}, {K::SyntaxError, 3}, {K::ByteCountMismatch, 4}}},
        {"MalformedRecords",
         rec(0, 4, {0, 1, 2}) + rec(0, 7, {}) + rec(0, 1, {5}),
         {{K::MalformedRecord, 1}, {K::MalformedRecord, 2}, {K::MalformedRecord, 3}, {K::NoData, 3}}},
        {"LineTooLongForTheReader",
         ":" + std::string(1200, '0') + "\r\n" + rec(0, 0, {1}) + kEnd,
         {{K::SyntaxError, 1}}},
        {"NoData", page(1) + rec(0, 0, {}) + kEnd, {{K::NoData, 3}}},
    };
}

TEST(HexInfoTest, SuspiciousFindingsWithLineNumbers) {
    for (const SuspiciousCase& c : suspiciousCases()) {
        SCOPED_TRACE(c.name);
        const HexReport report = analyseHex(c.file);
        Found found;
        for (const Finding& f : report.findings) found.emplace_back(f.kind, f.line);
        EXPECT_EQ(c.expected, found);
        EXPECT_TRUE(report.suspicious());
        EXPECT_FALSE(report.notHex);
        const std::vector<std::string> lines = formatHexReport(report);
        EXPECT_EQ("Verdict: suspicious (" + std::to_string(c.expected.size()) + " findings)", lines.back());
    }
}

TEST(HexInfoTest, FindingDetails) {
    const HexReport report =
        analyseHex(rec(0, 0, {1, 2}) + ":0200020003040A\r\n" + "\r\n:0100040002FC G\r\n" +
                   rec(0x10, 0, {1, 2}) + rec(0x11, 0, {5}) + kEnd);
    std::vector<std::string> lines;
    for (const Finding& f : report.findings) lines.push_back(std::to_string(f.line) + " " + f.detail);
    const std::vector<std::string> expected = {
        "2 checksum 0x0A, the bytes need 0xF5",
        "4 column 14: unexpected character (code 4); 1 more on this line",
        "6 1 byte at 0x00000011 already written by line 5, 1 with a different value",
    };
    EXPECT_EQ(expected, lines);
}

TEST(HexInfoTest, SegmentAndLinearAddressing) {
    // Type 2: the offset wraps inside the segment. Type 4: the address runs on into the next page.
    const HexReport segmented = analyseHex(segment(0x1000) + rec(0xFFF8, 0, bytesFrom(0, 16)) + kEnd);
    ASSERT_EQ(2u, segmented.ranges.size());
    EXPECT_EQ(0x10000u, segmented.ranges[0].first);
    EXPECT_EQ(0x10007u, segmented.ranges[0].last);
    EXPECT_EQ(0x1FFF8u, segmented.ranges[1].first);
    EXPECT_EQ(0x1FFFFu, segmented.ranges[1].last);

    const HexReport linear = analyseHex(page(0x0001) + rec(0xFFF8, 0, bytesFrom(0, 16)) + kEnd);
    ASSERT_EQ(2u, linear.ranges.size());
    EXPECT_EQ(0x1FFF8u, linear.ranges[0].first);
    EXPECT_EQ(0x1FFFFu, linear.ranges[0].last);
    EXPECT_EQ(0x20000u, linear.ranges[1].first);
    EXPECT_EQ(0x20007u, linear.ranges[1].last);
    EXPECT_FALSE(linear.suspicious());
}

TEST(HexInfoTest, ImageDigestDependsOnlyOnWhatIsProgrammed) {
    // The image 00 01 02 03 at 0x00010000, cut into records in different ways.
    const char* const kDigest = "d0e0c51ab53010f493417fb70a3eff6da477bc650afb3f9d99c6ffe56f8e625a";
    std::string lf = page(1) + rec(0, 0, {0, 1, 2, 3}) + kEnd;
    for (std::size_t at; (at = lf.find("\r\n")) != std::string::npos;) lf.erase(at, 1);
    const std::pair<const char*, std::string> files[] = {
        {"OneRecord", page(1) + rec(0, 0, {0, 1, 2, 3}) + kEnd},
        {"TwoRecordsReversed", page(1) + rec(2, 0, {2, 3}) + rec(0, 0, {0, 1}) + kEnd},
        {"LfLineEnds", lf},
        {"OverwrittenLater", page(1) + rec(0, 0, {0xFF, 0xFF, 0xFF, 0xFF}) + rec(0, 0, {0, 1, 2, 3}) + kEnd},
        {"SegmentAddressing", segment(0x1000) + rec(0, 0, {0, 1, 2, 3}) + kEnd},
    };
    for (const auto& [name, file] : files) {
        SCOPED_TRACE(name);
        const HexReport report = analyseHex(file);
        EXPECT_EQ(kDigest, Sha256::hex(report.imageSha256));
        EXPECT_EQ(4u, report.imageBytes);
    }
    EXPECT_NE(kDigest, Sha256::hex(analyseHex(page(2) + rec(0, 0, {0, 1, 2, 3}) + kEnd).imageSha256))
        << "the addresses belong to the image";
}

TEST(HexInfoTest, NotHexIsOneLine) {
    std::string html = "<!DOCTYPE html>\n<html><head><title>firmware.hex</title></head>\n<body>\n";
    for (int i = 0; i < 200; ++i) html += "<div class=\"line\">:10000000" + std::to_string(i) + "</div>\n";
    html += "</body></html>\n";
    const HexReport report = analyseHex(html);
    EXPECT_TRUE(report.notHex);
    EXPECT_TRUE(report.suspicious());
    const std::vector<std::string> lines = formatHexReport(report);
    ASSERT_EQ(1u, lines.size());
    EXPECT_EQ(
        "Not an Intel HEX file: none of its 204 lines is a HEX record; it looks like an HTML page (a web "
        "page "
        "saved in place of the file?).",
        lines[0]);

    const HexReport binary =
        analyseHex(std::string("\x7f"
                               "ELF\x02\x01\x01\0\0\0\n\x01\x02",
                               13));
    EXPECT_TRUE(binary.notHex);
    EXPECT_NE(std::string::npos, binary.notHexReason.find("binary"));
}

TEST(HexInfoTest, SyntaxCountAgreesWithTheCheck) {
    const std::string files[] = {
        rec(0, 0, {1}) + ":0100010002FC \r\n" + "  :01000200AA53\r\n" + ":0100\r\n:0G\r\n" + kEnd + "junk",
        "x\r\n:0\r\n:0G\r\n",
        ":" + std::string(1200, 'F') + "\r\n" + kEnd,
    };
    HexImage image;
    for (const std::string& file : files) {
        test::FakeOutputWindow window;
        output::OutputLog log(window);
        std::array<std::uint8_t, 512> scratch{};
        ASSERT_TRUE(image.assign(file));
        EXPECT_EQ(image.checkFile(scratch, log), analyseHex(file).syntaxErrors);
    }
}

}  // namespace
}  // namespace hlx::firmware
