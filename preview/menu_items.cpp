// MenuItem and ItemLabels: the monitor's menu items (how each setting is stored and shown) and their
// names in four languages. Items outside the preview's pages are neutral rows: type 0, value 0, empty
// label.

#include "preview/menu_tables.h"

namespace hlx::preview {
namespace {

// Item types used below (value_format.h lists what each shows).
constexpr std::uint8_t kPercent = 2;
constexpr std::uint8_t kNumber4 = 6;
constexpr std::uint8_t kChoice = 19;
constexpr std::uint8_t kNamedChoice = 20;
constexpr std::uint8_t kFraction = 44;
constexpr std::uint8_t kBitToggle = 47;
constexpr std::uint8_t kDate = 99;
constexpr std::uint8_t kBlank = 103;

struct KnownItem {
    int id;
    std::uint8_t type;
    std::uint16_t valueIndex;
    std::uint16_t mask;
    std::uint8_t listId;
    std::int8_t rangeIndex;
};

constexpr KnownItem kKnownItems[] = {
    {1, kNamedChoice, 35, 0x00FF, 14, 0},  // input
    {20, kNumber4, 54, 0, 0, 1},           // brightness
    {21, kNumber4, 55, 0, 0, 1},           // contrast
    {23, kNumber4, 56, 0, 0, 1},           // saturation
    {22, kNumber4, 57, 0, 0, 1},           // hue
    // Picture switches, one bit each of value 36.
    {24, kBitToggle, 36, 0x0800, 0, 0},
    {27, kBitToggle, 36, 0x1000, 0, 0},
    {28, kBitToggle, 36, 0x0100, 0, 0},
    {29, kBitToggle, 36, 0x0200, 0, 0},
    {30, kBitToggle, 36, 0x0400, 0, 0},
    {32, kNumber4, 77, 0, 0, 14},  // backlight, up to value 358
    // Colour temperature, gamma and gamut share value 58.
    {33, kNamedChoice, 58, 0x007F, 11, 0},
    {34, kChoice, 58, 0x0F80, 10, 0},
    {45, kNamedChoice, 58, 0xF000, 77, 0},
    // Colour temperature gains (red, green, blue), then the RGB gains and biases.
    {35, kNumber4, 59, 0, 0, 1},
    {36, kNumber4, 60, 0, 0, 1},
    {37, kNumber4, 61, 0, 0, 1},
    {38, kNumber4, 62, 0, 0, 1},
    {39, kNumber4, 63, 0, 0, 1},
    {40, kNumber4, 64, 0, 0, 1},
    {41, kNumber4, 65, 0, 0, 1},
    {42, kNumber4, 66, 0, 0, 1},
    {43, kNumber4, 67, 0, 0, 1},
    {70, kChoice, 72, 0x000F, 17, 0},   // format
    {119, kChoice, 68, 0x000F, 51, 0},  // scaling
    // Zoom factors and positions, one byte each.
    {127, kPercent, 69, 0x00FF, 0, 25},
    {128, kPercent, 69, 0xFF00, 0, 25},
    {131, kPercent, 70, 0x00FF, 0, 5},
    {132, kPercent, 71, 0x00FF, 0, 5},
    {133, kPercent, 70, 0xFF00, 0, 5},
    {129, kNumber4, 26, 0, 0, 26},  // 1:1 position
    {130, kNumber4, 27, 0, 0, 27},
    {277, kDate, 403, 0, 0, 0},  // last calibration
    {599, kBlank, 379, 0x0800, 0, 0},
    // User gamut primaries and white point in units of 0.0001.
    {615, kFraction, 165, 0, 0, 10},
    {616, kFraction, 166, 0, 0, 10},
    {617, kFraction, 167, 0, 0, 10},
    {618, kFraction, 168, 0, 0, 10},
    {619, kFraction, 169, 0, 0, 10},
    {620, kFraction, 170, 0, 0, 10},
    {621, kFraction, 171, 0, 0, 10},
    {622, kFraction, 172, 0, 0, 10},
    {623, kFraction, 173, 0, 0, 10},
    {624, kFraction, 174, 0, 0, 10},
    {625, kFraction, 175, 0, 0, 10},
};

constexpr std::array<MenuItem, kMenuItemCount + 1> buildItems() {
    std::array<MenuItem, kMenuItemCount + 1> rows{};
    for (const KnownItem& k : kKnownItems) {
        // The bit toggles carry their mask once more as their parameter.
        const std::uint16_t parameter = k.type == kBitToggle ? k.mask : 0;
        rows[static_cast<std::size_t>(k.id)] =
            MenuItem{k.type, 0, k.valueIndex, k.mask, parameter, 0, k.listId, k.rangeIndex, 0};
    }
    return rows;
}

struct KnownLabel {
    int id;
    const char* text;
};

// Windows-1252: \xB0 degree sign, \xE4 a-umlaut, \xFC u-umlaut; a literal is split where a letter would
// otherwise be read as a further hex digit.
constexpr KnownLabel kKnownLabels[] = {
    {1,
     "Eingang\tInput\tEntr\xE9"
     "e\tEntrada"},
    {20, "Helligkeit\tBrightness\tLuminosit\xE8\tBrillo"},
    {21, "Kontrast\tContrast\tContraste\tContraste"},
    {22, "Hue\tHue\tTeinte\tTono"},
    {23, "S\xE4ttigung\tSaturation\tSaturation\tSaturaci\xF3n"},
    {24, "SW"},
    {27, "IN"},
    {28, "R"},
    {29, "G"},
    {30, "B"},
    {32, "Backlight"},
    {33, "Farbe \xB0K\tColor \xB0K\tCouleur \xB0K\tColor \xB0K"},
    {34, "Gamma"},
    {35, "\xB0K Rot\t\xB0K Red\t\xB0K Rouge\t\xB0K Rojo"},
    {36, "\xB0K Gr\xFCn\t\xB0K Green\t\xB0K Vert\t\xB0K Verde"},
    {37, "\xB0K Blau\t\xB0K Blue\t\xB0K Bleu\t\xB0K Azul"},
    {38, "Rot Gain\tRed Gain\tGain Rouge\tGanancia Rojo"},
    {39, "Gr\xFCn Gain\tGreen Gain\tGain Vert\tGanancia Verde"},
    {40, "Blau Gain\tBlue Gain\tGain Bleu\tGanancia Azul"},
    {41, "Rot Bias\tRed Bias\tBiais Rouge\tBias Rojo"},
    {42, "Gr\xFCn Bias\tGreen Bias\tBiais Vert\tBias Verde"},
    {43, "Blau Bias\tBlue Bias\tBiais Bleu\tBias Azul"},
    {45, "Gamut"},
    {70, "Format"},
    {119,
     "Skalierung\tScaling\tMise \xE0 l'\xE9"
     "chelle\tEscalado"},
    {127, "Faktor Zoom 1\tZoom 1 Factor\tFacteur Zoom 1\tFactor Zum 1"},
    {128, "Faktor Zoom 2\tZoom 2 Factor\tFacteur Zoom 2\tFactor Zum 2"},
    {129, "1:1 X Position\t1:1 X Position\t1:1 Position X\t1:1 Posici\xF3n X"},
    {130, "1:1 Y Position\t1:1 Y Position\t1:1 Position Y\t1:1 Posici\xF3n Y"},
    {131, "Zoom 1 X Position\tZoom 1 X Position\tZoom 1 Position X\tZum 1 Posici\xF3n X"},
    {132, "Zoom 1 Y Position\tZoom 1 Y Position\tZoom 1 Position Y\tZum 1 Posici\xF3n Y"},
    {133, "Zoom 2 X Position\tZoom 2 X Position\tZoom 2 Position X\tZum 2 Posici\xF3n X"},
    {277, "Letzte Kalibrierung\tLast Calibration\tDerni\xE8re Calibration\t\xDAltima Calibraci\xF3n"},
    {599, ""},
    {615, "Rot x\tRed x\tRouge x\tRojo x"},
    {616, "Rot y\tRed y\tRouge y\tRojo y"},
    {617, "Rot Y\tRed Y\tRouge Y\tRojo Y"},
    {618, "Gr\xFCn x\tGreen x\tVert x\tVerde x"},
    {619, "Gr\xFCn y\tGreen y\tVert y\tVerde y"},
    {620, "Gr\xFCn Y\tGreen Y\tVert Y\tVerde Y"},
    {621, "Blau x\tBlue x\tBleu x\tAzul x"},
    {622, "Blau y\tBlue y\tBleu y\tAzul y"},
    {623, "Blau Y\tBlue Y\tBleu Y\tAzul Y"},
    {624, ""},
    {625, "\xB0K x"},
};

constexpr std::array<const char*, kItemLabelCount> buildLabels() {
    std::array<const char*, kItemLabelCount> labels{};
    for (const char*& label : labels) label = "";
    for (const KnownLabel& k : kKnownLabels) labels[static_cast<std::size_t>(k.id)] = k.text;
    return labels;
}

}  // namespace

constexpr std::array<MenuItem, kMenuItemCount + 1> kMenuItems = buildItems();
constexpr std::array<const char*, kItemLabelCount> kItemLabels = buildLabels();

const MenuItem& menuItem(int itemId) {
    if (itemId < 0 || static_cast<std::size_t>(itemId) >= kMenuItemCount) return kMenuItems[kMenuItemCount];
    return kMenuItems[static_cast<std::size_t>(itemId)];
}

const char* itemLabel(int itemId) {
    if (itemId < 0 || static_cast<std::size_t>(itemId) >= kItemLabelCount) return "";
    return kItemLabels[static_cast<std::size_t>(itemId)];
}

}  // namespace hlx::preview
