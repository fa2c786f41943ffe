#pragma once
// The NXP LPC parts the boot loader job knows, by the part identification number their boot loader gives
// for "J": one table for naming a part and for deciding whether the job may program it.
//
// The job programs the LPC23xx and LPC24xx family. Its members share one flash sector layout and differ in
// how much of it they have:
//   sectors 0..7    4 KiB each   0x00000..0x07FFF
//   sectors 8..21  32 KiB each   0x08000..0x77FFF
//   sectors 22..27  4 KiB each   0x78000..0x7DFFF   (the boot block lies above, at the top of 512 KiB)
// A 128 KiB part has sectors 0..10, a 256 KiB part 0..14, a 512 KiB part 0..27 (504 KiB of user flash);
// the LPC2460 and LPC2470 have no flash. Parts of other families (LPC17xx, LPC21xx) are named but never
// programmed: their sectors lie elsewhere.
//
// Threads: constant data.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace hlx::firmware {

enum class LpcFamily { Lpc23xx24xx, Other };

struct LpcPart {
    std::uint32_t id;
    std::string_view name;  // "LPC2378"
    LpcFamily family;
    std::uint32_t userFlash;  // bytes the boot loader may program (0: no flash)
};

std::span<const LpcPart> lpcParts();
std::optional<LpcPart> findLpcPart(std::uint32_t id);

// The family's layout: the sector holding a flash address below 0x7E000, and the first address of a
// sector 0..28 (28: the end of the user flash).
int familySectorOf(std::uint64_t address);
std::uint64_t familySectorStart(int sector);
inline constexpr int kFamilySectors = 28;

// "LPC2378 (ID 0x1700FD25)"; an unknown part: "ID 0x12345678".
std::string partText(std::uint32_t id);

}  // namespace hlx::firmware
