#include "firmware/isp_parts.h"

#include <array>

#include <fmt/format.h>

namespace hlx::firmware {
namespace {

constexpr std::uint32_t k128 = 0x20000;
constexpr std::uint32_t k256 = 0x40000;
constexpr std::uint32_t k504 = 0x7E000;
constexpr std::uint32_t kKiB512 = 0x80000;
constexpr LpcFamily kOwn = LpcFamily::Lpc23xx24xx;
constexpr LpcFamily kOther = LpcFamily::Other;

// Part identification numbers as the user manuals of the families list them; some parts answer with one
// of two numbers depending on their revision.
constexpr std::array<LpcPart, 38> kParts{{
    {0x1600F902, "LPC2364", kOwn, k128},      {0x0603FB02, "LPC2364", kOwn, k128},
    {0x1600E823, "LPC2365", kOwn, k256},      {0x1600F923, "LPC2366", kOwn, k256},
    {0x0603FB23, "LPC2366", kOwn, k256},      {0x1600E825, "LPC2367", kOwn, k504},
    {0x1600F925, "LPC2368", kOwn, k504},      {0x0603FB25, "LPC2368", kOwn, k504},
    {0x1700E825, "LPC2377", kOwn, k504},      {0x1700FD25, "LPC2378", kOwn, k504},
    {0x1600FD25, "LPC2378", kOwn, k504},      {0x0703FF25, "LPC2378", kOwn, k504},
    {0x1700FF35, "LPC2387", kOwn, k504},      {0x1800F935, "LPC2387", kOwn, k504},
    {0x1800FF35, "LPC2388", kOwn, k504},      {0x1500FF35, "LPC2458", kOwn, k504},
    {0x1600FF30, "LPC2460", kOwn, 0},         {0x1600FF35, "LPC2468", kOwn, k504},
    {0x1701FF30, "LPC2470", kOwn, 0},         {0x1701FF35, "LPC2478", kOwn, k504},
    {0x26113F37, "LPC1769", kOther, kKiB512}, {0x26013F37, "LPC1768", kOther, kKiB512},
    {0x26012837, "LPC1767", kOther, kKiB512}, {0x26013F33, "LPC1766", kOther, k256},
    {0x26013733, "LPC1765", kOther, k256},    {0x26011922, "LPC1764", kOther, k128},
    {0x25113737, "LPC1759", kOther, kKiB512}, {0x25013F37, "LPC1758", kOther, kKiB512},
    {0x25011723, "LPC1756", kOther, k256},    {0x25011722, "LPC1754", kOther, k128},
    {0x25001121, "LPC1752", kOther, 0x10000}, {0x25001118, "LPC1751", kOther, 0x8000},
    {0x0002FF01, "LPC2131", kOther, 0x8000},  {0x0002FF11, "LPC2132", kOther, 0x10000},
    {0x0002FF12, "LPC2134", kOther, k128},    {0x0002FF23, "LPC2136", kOther, k256},
    {0x0002FF25, "LPC2138", kOther, k504},    {0x0402FF25, "LPC2148", kOther, k504},
}};

}  // namespace

std::span<const LpcPart> lpcParts() {
    return kParts;
}

std::optional<LpcPart> findLpcPart(std::uint32_t id) {
    for (const LpcPart& part : kParts)
        if (part.id == id) return part;
    return std::nullopt;
}

int familySectorOf(std::uint64_t address) {
    if (address < 0x8000) return static_cast<int>(address / 0x1000);
    if (address < 0x78000) return 8 + static_cast<int>((address - 0x8000) / 0x8000);
    return 22 + static_cast<int>((address - 0x78000) / 0x1000);
}

std::uint64_t familySectorStart(int sector) {
    if (sector <= 8) return static_cast<std::uint64_t>(sector) * 0x1000;
    if (sector <= 22) return 0x8000 + static_cast<std::uint64_t>(sector - 8) * 0x8000;
    return 0x78000 + static_cast<std::uint64_t>(sector - 22) * 0x1000;
}

std::string partText(std::uint32_t id) {
    if (const auto part = findLpcPart(id)) return fmt::format("{} (ID 0x{:08X})", part->name, id);
    return fmt::format("ID 0x{:08X}", id);
}

}  // namespace hlx::firmware
