#pragma once
// Read-back of what the boot loader job has programmed, compared with what it sent (hlx flash isp --verify).
//
//   tool                      boot loader
//   R <address> <count>       0 (return code)
//                             the bytes as UU lines of 45 bytes, and a checksum line after every 20 lines
//                             and after the last
//   OK | RESEND               after each checksum line: OK takes the group, RESEND asks for it again
//
// A group whose checksum disagrees or that holds a malformed line is asked for again, at most three times,
// since reading changes nothing on the target; then the read-back fails with 0x40. While it runs, the boot
// loader maps its own vectors over 0x00..0x3F, so those bytes read back as the loader's, not as
// programmed: they are not compared, and the job says so.
//
// Threads: the job thread alone.

#include <cstdint>
#include <span>
#include <vector>

#include "firmware/isp_blocks.h"
#include "firmware/isp_conversation.h"

namespace hlx::firmware {

inline constexpr std::uint64_t kBootVectorsEnd = 0x40;

struct AddressRange {
    std::uint64_t first = 0;
    std::uint64_t last = 0;  // inclusive
    bool operator==(const AddressRange&) const = default;
};

// The ranges where actual differs from expected (both for the bytes from address on), without the addresses
// below skipBelow; neighbouring differing bytes form one range.
std::vector<AddressRange> differingRanges(std::uint64_t address, std::span<const std::uint8_t> expected,
                                          std::span<const std::uint8_t> actual, std::uint64_t skipBelow);

// What the read-back reports: one range per copy that differs, from its first to its last differing byte,
// with the number of bytes that differ in it. A copy that did not reach the flash reads back erased, and
// the file's own 0xFF bytes in it match: counted byte by byte it would fall apart into many ranges.
struct Difference {
    AddressRange range;
    std::uint64_t bytes = 0;
    bool operator==(const Difference&) const = default;
};

// Adds the difference of one copy (expected and actual from address on, addresses below skipBelow not
// compared) to list, joining it to the last one when their ranges touch.
void addCopyDifference(std::vector<Difference>& list, std::uint64_t address,
                       std::span<const std::uint8_t> expected, std::span<const std::uint8_t> actual,
                       std::uint64_t skipBelow);

// Reads out.size() bytes (a multiple of 4) from address into out. False, with the failure in the
// conversation's word, when the boot loader refuses (its return code then in *refusal, when given), an
// answer is missing or a group stays wrong.
bool readBack(IspConversation& isp, std::uint64_t address, std::span<std::uint8_t> out,
              int* refusal = nullptr);

// Reads back programmed copies and compares them with what was sent. The boot loader job compares in two
// rounds: every copy but the one that holds the vector table, and that one once it is written last.
// The window gets "Vergleiche Flash mit Datei" at the start, then, from report(), one line per Difference
// ("Flash weicht ab: 0x00001000 bis 0x00001FFF (3968 Bytes)") and the verdict; a difference sets 0x40.
class FlashComparison {
public:
    FlashComparison(IspConversation& isp, const FlashContent& content);
    // Reads back the copies (in address order) and keeps what differs. False when a read failed or the job
    // was stopped: the failure is then in the conversation's word, and nothing is to be reported.
    bool compare(std::vector<CopyChunk> chunks);
    bool differs() const { return !m_differing.empty(); }
    void report();

private:
    IspConversation& m_isp;
    const FlashContent& m_content;
    std::vector<Difference> m_differing;
};

// Both rounds at once: reads back every programmed copy and reports.
void verifyProgrammed(IspConversation& isp, const FlashContent& content,
                      const std::vector<CopyChunk>& programmed);

}  // namespace hlx::firmware
