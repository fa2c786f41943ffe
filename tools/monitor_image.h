#pragma once
// The simulated monitor's side of a firmware download: checking the records it receives, placing their
// data into a sparse memory image, and writing that image out again.
//
// A record, whether it arrived as binary bytes or was decoded from a HEX text line, has the Intel HEX
// layout:
//   0       byte count n
//   1..2    load address, high byte first (the offset inside the current base)
//   3       type: 0 data, 1 end of file, 2 extended segment address, 4 extended linear address,
//           3 and 5 start addresses (accepted and ignored)
//   4..3+n  data
//   4+n     checksum: the 8-bit sum of all n + 5 bytes is 0
// Type 4 sets the base to its 16-bit value << 16, type 2 to its value << 4; a data byte lands at
// base + offset + i.
//
// The image file (`toIntelHex`) is Intel HEX of the memory received: a type 4 record before the first
// byte of every 64 KiB page, data records of at most 16 bytes covering each contiguous run (a run is split
// at 16-byte boundaries of the address), then the end record ":00000001FF". Lines end in CR LF. Addresses
// never written do not appear, so a gap in the firmware stays a gap.
//
// Threads: plain values; the monitor guards them with its own mutex.

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace hlx::tools {

using MemoryImage = std::map<std::uint32_t, std::uint8_t>;

inline constexpr std::uint8_t kTypeData = 0;
inline constexpr std::uint8_t kTypeEnd = 1;
inline constexpr std::uint8_t kTypeSegment = 2;
inline constexpr std::uint8_t kTypeLinear = 4;

// The monitor's error bytes it answers a bad record with.
inline constexpr std::uint8_t kErrWrongLineFormat = 0xFB;
inline constexpr std::uint8_t kErrWrongCrc = 0xFA;

// True when the bytes add up to 0 (the Intel HEX checksum rule) and the count byte matches the length.
bool recordConsistent(std::span<const std::uint8_t> record);
bool checksumOk(std::span<const std::uint8_t> record);

enum class LineError { None, Format, Checksum };

struct DecodedLine {
    LineError error = LineError::None;
    std::vector<std::uint8_t> record;  // the decoded bytes (also when only the checksum is wrong)
};

// Decodes one HEX text line without its line end (a trailing CR is ignored): ":" then pairs of hex digits
// in either case. Format: no ":", an odd number of digits, a character that is not a digit, fewer than
// five bytes, or a count byte that does not match the number of bytes. Checksum: otherwise well formed
// but the bytes do not add up to 0.
DecodedLine decodeHexLine(std::string_view line);

// Places records into a memory image, keeping the base that type 2 and type 4 records set.
class AddressSpace {
public:
    explicit AddressSpace(MemoryImage& memory) : m_memory(memory) {}

    void reset() { m_base = 0; }
    // Applies one consistent record. Returns its 32-bit load address: offset + the base in force before
    // the record (a base record changes the base only for the records after it).
    std::uint32_t apply(std::span<const std::uint8_t> record);
    std::uint32_t base() const { return m_base; }

private:
    MemoryImage& m_memory;
    std::uint32_t m_base = 0;
};

// The image as Intel HEX text (format above).
std::string toIntelHex(const MemoryImage& memory);

// Writes toIntelHex to path through a temporary file and a rename, so a reader never sees half a file.
// Returns false when the file cannot be written.
bool writeImageFile(const std::string& path, const MemoryImage& memory);

}  // namespace hlx::tools
