#pragma once
// LpcIspMemory: the memory of an NXP LPC2378 as its ISP boot loader sees it, for the simulated boot loader.
//
// Flash 0x00000000..0x0007DFFF in 28 sectors (0..7 of 4 KiB, 8..21 of 32 KiB, 22..27 of 4 KiB), holding an
// old firmware's bytes at the start. Erasing sets a sector's bytes to 0xFF; programming only clears bits,
// as flash cells do, and every byte programmed again since its sector was erased is counted (flash with
// error correction must never see that). Erasing and programming need their sectors prepared, and leave
// them unprepared.
//
// RAM 0x40000000..0x40007FFF: all of it can be read; the boot loader's commands may write it, and copy from
// it, only from 0x40000200 (below lie the boot loader's own variables) to 0x40007EFF (above lie its stack
// and the flash routines' work area).
//
// While the boot loader runs, it maps its own vectors over 0x00..0x3F: every read there (R, M, I) gives the
// boot block's words, not the flash. So a compare that covers those bytes finds them different from what
// was programmed, and a blank check of sector 0 always fails.
//
// Threads: a plain value; the simulation guards it with its own mutex.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace hlx::tools {

inline constexpr std::uint32_t kSimFlashSize = 0x7E000;
inline constexpr int kSimSectors = 28;
inline constexpr std::uint32_t kSimRamBase = 0x40000000;   // first byte of the local RAM
inline constexpr std::uint32_t kSimRamTop = 0x40008000;    // one past its last byte
inline constexpr std::uint32_t kSimRamBegin = 0x40000200;  // first byte the commands may write
inline constexpr std::uint32_t kSimRamEnd = 0x40007F00;    // one past the last byte they may write
inline constexpr std::uint32_t kSimBootVectorsEnd = 0x40;  // the remapped boot block's vectors end here

// Sector number of a flash address (below kSimFlashSize), and the first address of a sector (0..28).
int simSectorOf(std::uint32_t address);
std::uint32_t simSectorStart(int sector);

class LpcIspMemory {
public:
    // oldFirmware seeds the pattern the flash holds before its first erase; a flash of kSimFlashSize bytes,
    // when given, is held instead (a part that comes back after an earlier session).
    explicit LpcIspMemory(std::uint8_t oldFirmware, const std::vector<std::uint8_t>& flash = {});

    // What a read of the boot loader gives: the boot vectors at 0x00..0x3F, then flash and RAM; 0 elsewhere.
    std::uint8_t read(std::uint32_t address) const;
    // The little-endian word at a word address, as read.
    std::uint32_t readWord(std::uint32_t address) const;

    // Whole ranges [begin, end) with begin < end.
    static bool inFlash(std::uint64_t begin, std::uint64_t end);
    static bool inRam(std::uint64_t begin, std::uint64_t end);          // anywhere in the local RAM
    static bool inWritableRam(std::uint64_t begin, std::uint64_t end);  // where commands may write
    static bool readable(std::uint64_t begin, std::uint64_t end) {
        return inFlash(begin, end) || inRam(begin, end);
    }

    // Into writable RAM (the caller has checked the range).
    void writeRam(std::uint32_t address, std::span<const std::uint8_t> bytes);

    void prepare(int first, int last);
    bool prepared(int first, int last) const;
    void unprepareAll();
    // Erases prepared sectors first..last (the caller has checked them).
    void erase(int first, int last);
    // Programs size bytes from writable RAM at source into prepared flash at destination (the caller has
    // checked both ranges and the sectors). A byte at stuckAddress keeps its value (a worn cell).
    void program(std::uint32_t destination, std::uint32_t source, std::uint32_t size,
                 std::int64_t stuckAddress);

    // The address of the first word of sectors first..last that does not read 0xFFFFFFFF.
    std::optional<std::uint32_t> firstNonBlankWord(int first, int last) const;
    // The offset of the first word that differs between the count bytes at a and at b, as read.
    std::optional<std::uint32_t> firstDifference(std::uint32_t a, std::uint32_t b, std::uint32_t count) const;

    const std::vector<std::uint8_t>& flash() const { return m_flash; }
    std::size_t bytesProgrammedTwice() const { return m_twice; }
    // The eight vector words in the flash at 0 sum to 0 (the boot loader would start the user code).
    bool userCodeValid() const;

private:
    std::vector<std::uint8_t> m_flash;
    std::vector<std::uint8_t> m_programs;  // programs of each flash byte since its erase
    std::vector<std::uint8_t> m_ram;       // kSimRamBase .. kSimRamTop
    std::vector<bool> m_prepared;
    std::size_t m_twice = 0;
};

}  // namespace hlx::tools
