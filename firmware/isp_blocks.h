#pragma once
// How the boot loader job turns a HEX file into copies to flash.
//
// The target takes data through a RAM buffer: "W" fills the buffer with a block of 256, 512, 1024 or 4096
// bytes and "C" copies it to flash. Two rules of the microcontroller bound every copy:
//   - the destination is a multiple of 256 (otherwise the boot loader answers DST_ADDR_ERROR);
//   - no flash byte is programmed twice between erases (flash with error correction forbids it; the job
//     erases once, before its first block).
//
// Blocks follow the file. A data record starts a block; the records after it join the block while each
// lies wholly within 4096 bytes of the block's start (compared without sign, so a record below the start
// never joins); any other record ends the block and is read again as the first of the next. The block's
// extent reaches to the highest end of its data; its copy size is 256 for an extent below 256, 512 below
// 512, 1024 below 1024 and 4096 otherwise (so exactly 256 gives 512, and exactly 1024 gives 4096).
//
// The flash is handled in lines of 256 bytes, and the job keeps which lines it has copied (CopiedLines).
// A block starts at the first line not yet copied at or after the line of its first record, so every
// destination is a multiple of 256 even for a section that starts at an odd address. The bytes of a block
// come from the file's final flash content (FlashContent: every data byte of a programmed page at its
// address), so a line copied early already holds what records later in the file put into it. A block
// whose copy range has no line copied yet is copied whole; otherwise only its lines not yet copied are,
// in runs cut into copies of 4096, 1024, 512 and 256 bytes. For a file whose blocks start on 256-byte
// lines and never overlap, this is exactly one copy per block, at the block's first record.
//
// Pages at upper address 0x80000000 and above are not programmed.
//
// The user flash of the LPC2378 ends at 0x7DFFF (sectors 0 to 27; the boot block lies above): a copy never
// passes that end. A block whose rounded-up size would pass it is copied in pieces of 4096, 1024, 512 and
// 256 bytes that cover its data and stop at the end of its last line. A file with data at or above the end
// is refused before anything is erased (FlashContent::dataEnd).
//
// The vector checksum word (0x14) is written only when the file itself has data in the vector table
// (0x00..0x1F): a block that merely starts at 0 because its data begins further up keeps the erased
// vectors, so the boot loader does not start code that is not there.
//
// Threads: plain values, used by the running job alone.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <unordered_map>
#include <utility>
#include <vector>

#include "firmware/download_common.h"
#include "firmware/hex_image.h"

namespace hlx::firmware {

inline constexpr std::uint32_t kFlashLine = 256;
inline constexpr std::uint32_t kBlockLimit = 4096;
inline constexpr std::uint64_t kSkippedPagesFrom = 0x80000000;
inline constexpr std::uint64_t kUserFlashEnd = 0x7E000;  // one past the last byte of sector 27
inline constexpr std::uint64_t kVectorTableSize = 32;

// The copy size for a block whose data reaches extent bytes past its start (extent 0..4096).
std::uint32_t blockSize(std::uint64_t extent);

// Makes the eight vector words at the start of area (32 bytes or more, little-endian) sum to 0 by
// replacing word 5 (bytes 0x14..0x17) with the two's complement of the sum of the other seven. The boot
// loader of ARM7 LPC parts starts the user code only when they do.
void applyVectorChecksum(std::span<std::uint8_t> area);

// One decoded record as this job reads it.
struct IspRecord {
    enum class Kind { None, Data, Page, Other };
    Kind kind = Kind::None;
    std::uint16_t offset = 0;  // the record's 16-bit load address
    std::uint16_t page = 0;    // Page: the upper 16 bits of the address
    // Data: the data bytes the line holds, at most its byte count (a line that holds fewer bytes than
    // its count gives only those; nothing left over from an earlier line is ever used).
    std::span<const std::uint8_t> data;
};

// A record needs 4 decoded bytes (count, address, type) to count as data (type 0) or page (type 4). Its
// data bytes are as many as its count says but never more than the line holds; a page record's missing
// data bytes count as 0.
IspRecord interpretRecord(std::span<const std::uint8_t> record, int decodedLength);

// The upper address a page record sets.
constexpr std::uint64_t upperAddressOf(std::uint16_t page) {
    return static_cast<std::uint64_t>(page) << 16;
}

// The file's final flash content, by 256-byte lines: every data byte of a programmed page at its address,
// a later record overwriting an earlier one; 0xFF where the file has none.
class FlashContent {
public:
    // 16 MiB of lines: far more than any part this job programs has, and a bound on the memory held.
    static constexpr std::size_t kMaxLines = 65536;
    enum class Result { Ok, TooMuchData };

    // Reads the whole image from its start with record as the scratch area, and sets the position back to 0.
    Result build(HexImage& image, RecordArea& record);
    // Places data at address (also for tests); false when that would exceed kMaxLines.
    bool place(std::uint64_t address, std::span<const std::uint8_t> data);
    // The content from address on (any address), 0xFF where the file has no data.
    void read(std::uint64_t address, std::span<std::uint8_t> out) const;
    std::size_t lineCount() const { return m_lines.size(); }
    // One past the highest address that holds data of the file (0 when there is none).
    std::uint64_t dataEnd() const { return m_dataEnd; }
    // Whether the file has data in the vector table (0x00..0x1F).
    bool holdsVectorTable() const { return m_holdsVectors; }
    void clear();

private:
    std::unordered_map<std::uint32_t, std::array<std::uint8_t, kFlashLine>> m_lines;  // by address / 256
    std::uint64_t m_dataEnd = 0;
    bool m_holdsVectors = false;
};

// The flash lines copied in this job, as runs of byte addresses (multiples of 256).
class CopiedLines {
public:
    void add(std::uint64_t begin, std::uint64_t end);
    bool anyIn(std::uint64_t begin, std::uint64_t end) const;
    // The first line start at or after from (a multiple of 256) that has not been copied.
    std::uint64_t firstFree(std::uint64_t from) const;
    // The runs in [begin, end) not copied yet, in address order.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> freeRuns(std::uint64_t begin,
                                                                  std::uint64_t end) const;
    void clear() { m_runs.clear(); }

private:
    std::map<std::uint64_t, std::uint64_t> m_runs;  // begin -> end; disjoint and never touching
};

struct IspBlock {
    std::uint64_t start = 0;   // flash address of the block's first line (a multiple of 256)
    std::uint64_t extent = 0;  // bytes from start to the highest end of its data (0..4096)
};

struct CopyChunk {
    std::uint64_t address = 0;
    std::uint32_t size = 0;
    bool operator==(const CopyChunk&) const = default;
};

// Gathers the block that first (a data record, just read from image at upper address upper) starts:
// reads on while records join, and leaves the image at the first record that does not. Read results go
// into word. Nothing when every byte of first lies in lines already copied (it was programmed with them).
std::optional<IspBlock> gatherBlock(HexImage& image, std::uint64_t upper, const IspRecord& first,
                                    const CopiedLines& copied, RecordArea& ahead, std::int32_t& word);

// The copies that program a gathered block, under the rules above; no copy passes flashEnd (the end of the
// part's user flash).
std::vector<CopyChunk> planCopies(const IspBlock& block, const CopiedLines& copied,
                                  std::uint64_t flashEnd = kUserFlashEnd);

// The transfer's walk through the file: record after record, what each means for the job. A page record
// sets the upper address; a data record in a programmed page starts a block, which is gathered and planned
// into copies; these count as copied from then on. Other records mean nothing here.
class IspTransferPlan {
public:
    explicit IspTransferPlan(HexImage& image, std::uint64_t flashEnd = kUserFlashEnd)
        : m_image(image), m_flashEnd(flashEnd) {}

    struct Step {
        std::optional<std::uint16_t> page;  // a page record's 16-bit value
        std::vector<CopyChunk> copies;      // the copies of the block a data record started
    };

    // Reads the next record, and the records of the block it starts; read results go into word.
    Step next(std::int32_t& word);
    bool atEnd() const { return m_image.atEnd(); }

private:
    HexImage& m_image;
    RecordArea m_record{};
    RecordArea m_ahead{};
    CopiedLines m_copied;
    std::uint64_t m_upper = 0;
    std::uint64_t m_flashEnd;
};

// The bytes a copy programs, into area (chunk.size + 2 bytes or more, for the last UU group): the flash
// content of its range with the vector checksum applied when it starts at address 0 and the file holds
// vectors; 0xFF after it.
void fillChunk(const FlashContent& content, const CopyChunk& chunk, std::span<std::uint8_t> area);

}  // namespace hlx::firmware
