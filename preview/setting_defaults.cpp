// SettingDefaults: the start values of the monitor's settings, one row per value index 0 .. 555.
// Values the menu preview shows carry the monitor's defaults; every other row is neutral (start value 0,
// class 1, no group bits, no handler).

#include "preview/menu_tables.h"

namespace hlx::preview {
namespace {

struct KnownDefault {
    std::size_t index;
    std::int16_t value;
};

// Packed values are written in hexadecimal with their fields: value 36 holds the picture switches
// (bits 8 .. 12), 69 the two zoom factors (low and high byte), 70 and 71 the zoom positions.
constexpr KnownDefault kKnownDefaults[] = {
    {35, 13},      // input: the test image
    {36, 0x0700},  // picture switches R, G, B on
    {53, 0},       // language index in bits 12 .. 15: German
    {58, 0},       // colour temperature, gamma and gamut choices: native
    {68, 0x0700},  // scaling in bits 0 .. 3: normal
    {69, 0x5A5F},  // zoom 1 factor 95 %, zoom 2 factor 90 %
    {70, 0x3232},  // zoom X positions 50 % and 50 %
    {71, 0x3232},  // zoom Y positions 50 % and 50 %
    {72, 2},       // format: auto
    {77, 15},      // backlight
    {160, -1},
    {161, -1},
    {162, -1},
    {164, -1},
    // User gamut primaries and white point (x, y, Y) in units of 0.0001.
    {165, 6400},
    {166, 3000},
    {167, 2126},
    {168, 3000},
    {169, 6000},
    {170, 7152},
    {171, 1500},
    {172, 600},
    {173, 722},
    {174, 3127},
    {175, 3290},
    {358, 255},  // the backlight's upper limit
    {379, 0},    // bit 15 set: labels always in their first language
    {403, 0},    // date of the last calibration
};

constexpr std::uint32_t kPictureGroup = 0x40;  // values 54 .. 77

constexpr std::array<SettingDefault, kSettingDefaultCount> buildDefaults() {
    std::array<SettingDefault, kSettingDefaultCount> rows{};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i] = SettingDefault{nullptr, 1, (i >= 54 && i <= 77) ? kPictureGroup : 0u, 0, 0};
    }
    for (const KnownDefault& known : kKnownDefaults) rows[known.index].value = known.value;
    return rows;
}

}  // namespace

constexpr std::array<SettingDefault, kSettingDefaultCount> kSettingDefaults = buildDefaults();

}  // namespace hlx::preview
