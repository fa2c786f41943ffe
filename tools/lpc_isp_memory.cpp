#include "tools/lpc_isp_memory.h"

#include <algorithm>

namespace hlx::tools {
namespace {

// The boot block's vectors as the boot loader maps them over 0x00..0x3F: eight "LDR PC, [PC, #0x18]"
// and the eight addresses they load.
std::uint8_t bootVectorByte(std::uint32_t address) {
    const std::uint32_t word = address < 0x20 ? 0xE59FF018u : 0x7FFFE040u + (address & ~3u);
    return static_cast<std::uint8_t>(word >> (8 * (address % 4)));
}

}  // namespace

int simSectorOf(std::uint32_t address) {
    if (address < 0x8000) return static_cast<int>(address / 0x1000);
    if (address < 0x78000) return 8 + static_cast<int>((address - 0x8000) / 0x8000);
    return 22 + static_cast<int>((address - 0x78000) / 0x1000);
}

std::uint32_t simSectorStart(int sector) {
    if (sector <= 8) return static_cast<std::uint32_t>(sector) * 0x1000;
    if (sector <= 22) return 0x8000 + static_cast<std::uint32_t>(sector - 8) * 0x8000;
    return 0x78000 + static_cast<std::uint32_t>(sector - 22) * 0x1000;
}

LpcIspMemory::LpcIspMemory(std::uint8_t oldFirmware, const std::vector<std::uint8_t>& flash)
    : m_flash(kSimFlashSize),
      m_programs(kSimFlashSize, 1),
      m_ram(kSimRamTop - kSimRamBase, 0),
      m_prepared(kSimSectors, false) {
    for (std::uint32_t i = 0; i < kSimFlashSize; ++i)
        m_flash[i] = static_cast<std::uint8_t>((i * 7 + (i >> 8) + oldFirmware) & 0x7F);
    if (flash.size() == kSimFlashSize) m_flash = flash;
}

std::uint8_t LpcIspMemory::read(std::uint32_t address) const {
    if (address < kSimBootVectorsEnd) return bootVectorByte(address);
    if (address < kSimFlashSize) return m_flash[address];
    if (address >= kSimRamBase && address < kSimRamTop) return m_ram[address - kSimRamBase];
    return 0;
}

std::uint32_t LpcIspMemory::readWord(std::uint32_t address) const {
    std::uint32_t word = 0;
    for (std::uint32_t i = 0; i < 4; ++i) word |= static_cast<std::uint32_t>(read(address + i)) << (8 * i);
    return word;
}

bool LpcIspMemory::inFlash(std::uint64_t begin, std::uint64_t end) {
    return begin < end && end <= kSimFlashSize;
}

bool LpcIspMemory::inRam(std::uint64_t begin, std::uint64_t end) {
    return begin < end && begin >= kSimRamBase && end <= kSimRamTop;
}

bool LpcIspMemory::inWritableRam(std::uint64_t begin, std::uint64_t end) {
    return begin < end && begin >= kSimRamBegin && end <= kSimRamEnd;
}

void LpcIspMemory::writeRam(std::uint32_t address, std::span<const std::uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), m_ram.begin() + (address - kSimRamBase));
}

void LpcIspMemory::prepare(int first, int last) {
    for (int s = first; s <= last; ++s) m_prepared[static_cast<std::size_t>(s)] = true;
}

bool LpcIspMemory::prepared(int first, int last) const {
    for (int s = first; s <= last; ++s)
        if (!m_prepared[static_cast<std::size_t>(s)]) return false;
    return true;
}

void LpcIspMemory::unprepareAll() {
    std::fill(m_prepared.begin(), m_prepared.end(), false);
}

void LpcIspMemory::erase(int first, int last) {
    std::fill(m_flash.begin() + simSectorStart(first), m_flash.begin() + simSectorStart(last + 1), 0xFF);
    std::fill(m_programs.begin() + simSectorStart(first), m_programs.begin() + simSectorStart(last + 1), 0);
    for (int s = first; s <= last; ++s) m_prepared[static_cast<std::size_t>(s)] = false;
}

void LpcIspMemory::program(std::uint32_t destination, std::uint32_t source, std::uint32_t size,
                           std::int64_t stuckAddress) {
    for (std::uint32_t i = 0; i < size; ++i) {
        const std::uint32_t at = destination + i;
        if (static_cast<std::int64_t>(at) == stuckAddress) continue;
        if (m_programs[at] > 0) ++m_twice;
        m_programs[at] = static_cast<std::uint8_t>(std::min(m_programs[at] + 1, 255));
        m_flash[at] &= m_ram[source - kSimRamBase + i];  // programming only clears bits
    }
    for (int s = simSectorOf(destination); s <= simSectorOf(destination + size - 1); ++s)
        m_prepared[static_cast<std::size_t>(s)] = false;
}

std::optional<std::uint32_t> LpcIspMemory::firstNonBlankWord(int first, int last) const {
    for (std::uint32_t at = simSectorStart(first); at < simSectorStart(last + 1); at += 4)
        if (readWord(at) != 0xFFFFFFFFu) return at;
    return std::nullopt;
}

std::optional<std::uint32_t> LpcIspMemory::firstDifference(std::uint32_t a, std::uint32_t b,
                                                           std::uint32_t count) const {
    for (std::uint32_t offset = 0; offset < count; offset += 4)
        if (readWord(a + offset) != readWord(b + offset)) return offset;
    return std::nullopt;
}

bool LpcIspMemory::userCodeValid() const {
    std::uint32_t sum = 0;
    for (std::uint32_t at = 0; at < 32; at += 4)
        sum += static_cast<std::uint32_t>(m_flash[at]) | static_cast<std::uint32_t>(m_flash[at + 1]) << 8 |
               static_cast<std::uint32_t>(m_flash[at + 2]) << 16 |
               static_cast<std::uint32_t>(m_flash[at + 3]) << 24;
    return sum == 0;
}

}  // namespace hlx::tools
