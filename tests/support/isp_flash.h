#pragma once
// expectedIspFlash: what the simulated LPC flash must hold after the boot loader job has programmed a
// file: erased (0xFF), the file's bytes at their addresses inside the flash, and, when the file has data in
// the vector table, the vector word at 0x14 that makes the eight vector words sum to 0 (the boot loader's
// mark of valid user code). Header-only.

#include <cstdint>
#include <vector>

#include "tests/support/hex_text.h"
#include "tools/lpc_isp_sim.h"

namespace hlx::test {

inline std::vector<std::uint8_t> expectedIspFlash(const HexText& file) {
    std::vector<std::uint8_t> flash(tools::kSimFlashSize, 0xFF);
    bool vectors = false;
    for (const auto& [address, value] : file.bytes()) {
        if (address < flash.size()) flash[address] = value;
        vectors = vectors || address < 32;
    }
    if (!vectors) return flash;
    std::uint32_t sum = 0;
    for (std::uint32_t at = 0; at < 32; at += 4)
        if (at != 0x14)
            sum += static_cast<std::uint32_t>(flash[at]) | flash[at + 1] << 8 | flash[at + 2] << 16 |
                   static_cast<std::uint32_t>(flash[at + 3]) << 24;
    for (int i = 0; i < 4; ++i) flash[0x14 + i] = static_cast<std::uint8_t>((0u - sum) >> (8 * i));
    return flash;
}

}  // namespace hlx::test
