#pragma once
// hex-info: a pre-flight analysis of an Intel HEX file, for a technician who wants to know what a file
// would program before a download sends it. It shows the file's layout (address ranges per 64 KiB page),
// the records by type, the largest record and a SHA-256 of the memory image, and lists everything
// suspicious, each with its 1-based line number: what the check (HexImage::checkFile) refuses (checksum
// mismatches, byte counts that disagree with the digit pairs of the line) and what it lets pass (records of a
// known type with the wrong number of data bytes, unknown record types, records after the end record or a
// missing end record, a last line the reader ignores for want of a line end, data written twice (with
// the same or with different values), data records whose address is below the previous one's, and the
// syntax errors the check counts. A file that is not HEX at all (a saved web page, a binary) is reported
// in one line instead of a flood of syntax errors.
//
// Addresses: a type 4 record sets the upper 16 bits of a 32-bit address (linear: base + offset, wrapping
// at 4 GiB); a type 2 record sets a segment base of its value × 16 (segment: base + offset, the offset
// wrapping at 64 KiB). Only data records whose byte count agrees with their line carry data into the
// image; the others are reported.
//
// The memory image: every address that a data record writes, holding the value of the last record in
// the file that writes it. Its SHA-256 is taken over the runs of consecutive addresses in ascending
// order, each as its start address and its length (4 bytes each, big-endian) followed by its bytes; so
// two files that would program the same bytes at the same addresses give the same digest whatever their
// record lengths, order or line ends.
//
// Memory: the data bytes once (a 30 MB file holds at most about 13 MB), one small entry per data record,
// and per-byte bookkeeping only for address runs that records write more than once.
//
// Threads: pure functions; any thread.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace hlx::firmware {

enum class FindingKind {
    SyntaxError,           // a code the check counts (2, 4, 8) or a line too long for the reader
    ByteCountMismatch,     // byte count n, but the line holds other than n + 5 digit pairs
    ChecksumMismatch,      // the bytes of the record do not sum to 0 (mod 256)
    MalformedRecord,       // a known type with the wrong number of data bytes, or an unknown type
    RecordAfterEnd,        // a record after the first end-of-file record
    MissingEnd,            // no end-of-file record is read
    UnterminatedLastLine,  // the last line has no line end, so the reader ignores it
    DescendingAddress,     // a data record starts below the previous data record
    OverlapSameData,       // addresses written again with the same values
    OverlapDifferentData,  // addresses written again with other values
    NoData,                // no data record holds a byte (the check counts it as an error)
};
inline constexpr int kFindingKinds = 11;

struct Finding {
    FindingKind kind;
    int line;  // 1-based
    std::string detail;
};

struct AddressRange {
    std::uint32_t first;
    std::uint32_t last;  // inclusive
};

struct HexReport {
    static constexpr int kListedPerKind = 20;  // findings kept per kind; all are counted

    bool notHex = false;
    std::string notHexReason;  // what the file looks like instead

    std::int64_t fileBytes = 0;
    int lines = 0;
    int records = 0;                     // lines decoded as records
    std::array<int, 6> recordsByType{};  // types 0 to 5
    int otherTypes = 0;
    int largestRecordBytes = -1;  // data bytes of the largest record; -1 when there is none
    int largestRecordLine = 0;
    std::uint64_t dataBytes = 0;       // data bytes in data records that carry data into the image
    std::uint64_t imageBytes = 0;      // distinct addresses in the image
    std::vector<AddressRange> ranges;  // ascending, maximal, split at 64 KiB page boundaries
    std::array<std::uint8_t, 32> imageSha256{};
    int syntaxErrors = 0;  // as counted by the check with a 512-byte record buffer
                           // (count bytes that disagree with their line and a file without data included)

    std::vector<Finding> findings;  // in line order; at most kListedPerKind of each kind
    std::array<int, kFindingKinds> findingCounts{};

    int count(FindingKind kind) const { return findingCounts[static_cast<int>(kind)]; }
    // True when the file is not HEX or anything was found.
    bool suspicious() const;
};

HexReport analyseHex(std::string_view fileBytes);

// The report as lines of text (English), ending with the verdict line.
std::vector<std::string> formatHexReport(const HexReport& report);

// A short name of a finding kind ("checksum mismatch").
std::string_view findingName(FindingKind kind);

}  // namespace hlx::firmware
