// ChoiceList and NamedChoiceList: the names of coded setting values, for item types 19 and 20. The rows
// of a list follow each other; each table ends with a row of list id 86 whose text is "NOTFOUND".
//
// The lists shown by the menu preview carry the monitor's texts. The other lists keep their ids and sizes
// with numbered placeholder entries (key n named "n").

#include <span>

#include "preview/menu_tables.h"

namespace hlx::preview {
namespace {

struct Choice {
    std::uint16_t key;
    const char* text;
};

// Names of placeholder entries, by key.
constexpr const char* kNumberTexts[] = {"0", "1", "2",  "3",  "4",  "5",  "6",  "7",
                                        "8", "9", "10", "11", "12", "13", "14", "15"};

// Windows-1252 texts; a literal is split where a letter would otherwise be read as a further hex digit.
constexpr const char* kNative = "Nativ\tNative\tNative\tNativo";
constexpr const char* kUser = "User\tUser\tUsager\tUsador";

constexpr Choice kGamma[] = {
    {0, kNative}, {1, "DICOM"}, {2, "1.0"},   {3, "1.1"},  {4, "1.2"},  {5, "1.3"},  {6, "1.4"},
    {7, "1.5"},   {8, "1.6"},   {9, "1.7"},   {10, "1.8"}, {11, "1.9"}, {12, "2.0"}, {13, "2.1"},
    {14, "2.2"},  {15, "2.3"},  {16, "2.35"}, {17, "2.4"}, {18, "2.5"}, {19, "2.6"}, {20, "2.7"},
    {21, "2.8"},  {22, "2.9"},  {23, "3.0"},  {24, "3.1"}, {25, "3.2"}, {26, "3.3"},
};
constexpr Choice kBaudRates[] = {
    {0, "9600"}, {1, "19200"}, {2, "38400"}, {3, "57600"}, {4, "115K"}, {5, "230K"}, {6, "576K"},
};
constexpr Choice kFormats[] = {
    {2, "Auto"}, {0, "4:3"},  {3, "14:9"},
    {1, "16:9"}, {8, "21:9"}, {7, "Vollbild\tFullscreen\tFullscreen\tCompleto"},
    {5, kUser},
};
constexpr Choice kLanguages[] = {
    {0, "Deutsch"},
    {1, "English"},
    {2,
     "Fran\xE7"
     "ais"},
    {3, "Espa\xF1ol"},
};
constexpr Choice kOnOff[] = {{1, "On"}, {0, "Off"}};
constexpr Choice kScalings[] = {
    {0, "Normal"},
    {6, "1:1"},
    {7, "2:1"},
    {3, "Underscan\tUnderscan\tSous-bal.\tBajoscan"},
    {4, "Overscan\tOverscan\tSurbalayage\tSobrescan"},
    {1, "Zoom1\tZoom1\tZoom1\tZum1"},
    {2, "Zoom2\tZoom2\tZoom2\tZum2"},
};

// A list of the table: its own rows, or that many numbered placeholder entries.
struct ChoiceSource {
    std::uint8_t id;
    std::span<const Choice> rows;
    std::size_t placeholders;
};

constexpr ChoiceSource kChoiceSources[] = {
    {10, kGamma, 0},     {12, {}, 4},  // calibration state
    {13, kBaudRates, 0}, {15, {}, 9},         {16, {}, 9},     {17, kFormats, 0}, {18, {}, 9}, {19, {}, 9},
    {21, {}, 9},         {22, {}, 9},         {23, {}, 9},     {24, {}, 9},       {25, {}, 9}, {26, {}, 9},
    {27, {}, 9},         {28, kLanguages, 0}, {29, {}, 9},     {30, {}, 9},       {31, {}, 9}, {32, {}, 9},
    {33, {}, 9},         {34, {}, 9},         {35, {}, 9},     {36, {}, 9},       {37, {}, 9}, {38, {}, 9},
    {39, {}, 9},         {40, {}, 9},         {41, {}, 9},     {42, {}, 9},       {43, {}, 9}, {44, {}, 9},
    {45, {}, 9},         {46, {}, 9},         {47, kOnOff, 0}, {48, {}, 8},       {49, {}, 8}, {50, {}, 8},
    {51, kScalings, 0},  {52, {}, 8},         {53, {}, 8},     {54, {}, 8},       {55, {}, 8}, {56, {}, 8},
    {57, {}, 8},         {58, {}, 8},         {59, {}, 8},     {60, {}, 8},       {61, {}, 8}, {62, {}, 8},
    {63, kLanguages, 0}, {64, {}, 16},  // resolutions
    {65, {}, 8},         {66, {}, 8},         {67, {}, 8},     {69, {}, 8},       {70, {}, 8}, {71, {}, 8},
    {72, {}, 8},         {73, {}, 8},         {74, {}, 8},     {75, {}, 8},       {76, {}, 8}, {85, {}, 8},
};

constexpr std::array<ChoiceRow, kChoiceRowCount> buildChoiceList() {
    std::array<ChoiceRow, kChoiceRowCount> table{};
    std::size_t n = 0;
    for (const ChoiceSource& list : kChoiceSources) {
        for (const Choice& c : list.rows) table[n++] = ChoiceRow{list.id, 0, c.key, c.text};
        for (std::size_t k = 0; k < list.placeholders; ++k)
            table[n++] = ChoiceRow{list.id, 0, static_cast<std::uint16_t>(k), kNumberTexts[k]};
    }
    table[n++] = ChoiceRow{kEndListId, 0, 0, "NOTFOUND"};
    if (n != table.size()) throw "the choice lists do not fill the table";  // fails the build
    return table;
}

struct NamedChoice {
    std::uint16_t key;
    const char* text;
    std::uint8_t textRow;  // MenuTexts row of the entry's name, 0 for none
};

constexpr NamedChoice kInputs[] = {
    {0, "VGA1", 35},  {1, "VGA2", 36},  {2, "FBAS1", 37}, {3, "FBAS2", 38}, {4, "FBAS3", 39},
    {5, "Y/C", 40},   {6, "YCrCb", 41}, {7, "DVI1", 42},  {8, "DVI2", 43},  {16, "DVI3", 51},
    {17, "DVI4", 52}, {18, "DVI5", 53}, {19, "DVI6", 54}, {20, "DVI7", 55}, {21, "DVI8", 56},
    {9, "HD1", 44},   {10, "HD2", 45},  {11, "HD3", 46},  {12, "HD4", 47},  {13, "TBG", 48},
};
constexpr NamedChoice kUserSettings[] = {
    {0, "User1", 59}, {1, "User2", 60}, {2, "User3", 61}, {3, "User4", 62},
    {4, "User5", 63}, {5, "User6", 64}, {6, "User7", 65}, {7, "User8", 66},
};
constexpr NamedChoice kGamuts[] = {
    {0, kNative, 0},     {1, "ITU-R BT.709", 0}, {2, "sRGB", 0},       {3, "Adobe RGB", 0},
    {4, "Apple RGB", 0}, {5, "ColorMatch", 0},   {6, "Wide Gamut", 0}, {7, "PAL/SECAM", 0},
    {8, "NTSC", 0},      {9, "User", 57},
};
constexpr NamedChoice kColourTemperatures[] = {
    {0, kNative, 0},
    {1, kUser, 0},
    {2, "A", 0},
    {3, "B", 0},
    {4, "C", 0},
    {5, "D50", 0},
    {6, "D55", 0},
    {7, "D65", 0},
    {8, "D75", 0},
    {9, "E", 0},
    {10, "2400 \xB0K", 0},
    {11, "2600 \xB0K", 0},
    {12, "2800 \xB0K", 0},
    {13, "3000 \xB0K", 0},
    {14, "3200 \xB0K", 0},
    {15, "3400 \xB0K", 0},
    {16, "3600 \xB0K", 0},
    {17, "3800 \xB0K", 0},
    {18, "4000 \xB0K", 0},
    {19, "4200 \xB0K", 0},
    {20, "4400 \xB0K", 0},
    {21, "4600 \xB0K", 0},
    {22, "4800 \xB0K", 0},
    {23, "5000 \xB0K", 0},
    {24, "5200 \xB0K", 0},
    {25, "5400 \xB0K", 0},
    {26, "5500 \xB0K", 0},
    {27, "5600 \xB0K", 0},
    {28, "5700 \xB0K", 0},
    {29, "5800 \xB0K", 0},
    {30, "5900 \xB0K", 0},
    {31, "6000 \xB0K", 0},
    {32, "6100 \xB0K", 0},
    {33, "6200 \xB0K", 0},
    {34, "6300 \xB0K", 0},
    {35, "6400 \xB0K", 0},
    {36, "6504 \xB0K", 0},
    {37, "6600 \xB0K", 0},
    {38, "6700 \xB0K", 0},
    {39, "6800 \xB0K", 0},
    {40, "6900 \xB0K", 0},
    {41, "7000 \xB0K", 0},
    {42, "7100 \xB0K", 0},
    {43, "7200 \xB0K", 0},
    {44, "7300 \xB0K", 0},
    {45, "7400 \xB0K", 0},
    {46, "7500 \xB0K", 0},
    {47, "7600 \xB0K", 0},
    {48, "7700 \xB0K", 0},
    {49, "7800 \xB0K", 0},
    {50, "7900 \xB0K", 0},
    {51, "8000 \xB0K", 0},
    {52, "8200 \xB0K", 0},
    {53, "8400 \xB0K", 0},
    {54, "8600 \xB0K", 0},
    {55, "8800 \xB0K", 0},
    {56, "9000 \xB0K", 0},
    {57, "9200 \xB0K", 0},
    {58, "9300 \xB0K", 0},
    {59, "9400 \xB0K", 0},
    {60, "9600 \xB0K", 0},
    {61, "9800 \xB0K", 0},
    {62, "10000 \xB0K", 0},
    {63, "10200 \xB0K", 0},
    {64, "10400 \xB0K", 0},
    {65, "10600 \xB0K", 0},
    {66, "10800 \xB0K", 0},
    {67, "11000 \xB0K", 0},
    {68, "11200 \xB0K", 0},
    {69, "11400 \xB0K", 0},
    {70, "11600 \xB0K", 0},
    {71, "11800 \xB0K", 0},
    {72, "User (x/y) \xB0K", 58},
};

struct NamedChoiceSource {
    std::uint8_t id;
    std::span<const NamedChoice> rows;
    std::size_t placeholders;
};

constexpr NamedChoiceSource kNamedChoiceSources[] = {
    {14, kInputs, 0},       {78, {}, 13},  // input selections
    {79, {}, 13},           {80, {}, 12},     {81, {}, 12},
    {20, kUserSettings, 0}, {77, kGamuts, 0}, {11, kColourTemperatures, 0},
    {68, {}, 15},  // video modes
};

constexpr std::array<NamedChoiceRow, kNamedChoiceRowCount> buildNamedChoiceList() {
    std::array<NamedChoiceRow, kNamedChoiceRowCount> table{};
    std::size_t n = 0;
    for (const NamedChoiceSource& list : kNamedChoiceSources) {
        std::uint8_t entry = 0;
        for (const NamedChoice& c : list.rows)
            table[n++] = NamedChoiceRow{list.id, entry++, c.textRow, 0, c.key, 0, c.text};
        for (std::size_t k = 0; k < list.placeholders; ++k)
            table[n++] =
                NamedChoiceRow{list.id, entry++, 0, 0, static_cast<std::uint16_t>(k), 0, kNumberTexts[k]};
    }
    table[n++] = NamedChoiceRow{kEndListId, 0, 0, 0, 0, 0, "NOTFOUND"};
    if (n != table.size()) throw "the named choice lists do not fill the table";  // fails the build
    return table;
}

}  // namespace

constexpr std::array<ChoiceRow, kChoiceRowCount> kChoiceList = buildChoiceList();
constexpr std::array<NamedChoiceRow, kNamedChoiceRowCount> kNamedChoiceList = buildNamedChoiceList();

}  // namespace hlx::preview
