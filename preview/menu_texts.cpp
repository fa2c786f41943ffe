// MenuTexts: the monitor's editable texts (menu titles, maker and model texts, access codes, input and
// user names). Windows-1252; a text with tabs holds the German, English, French and Spanish forms.

#include "preview/menu_tables.h"

namespace hlx::preview {
namespace {

constexpr std::uint32_t kLongText = 39;   // titles, maker and model texts
constexpr std::uint32_t kInputName = 15;  // input names and short names
constexpr std::uint32_t kShortName = 16;  // names and codes for the monitor's display
constexpr std::uint32_t kUserName = 18;
constexpr std::uint32_t kAccessCode = 6;
constexpr std::uint32_t kUserSetting = 30;

}  // namespace

constexpr std::array<MenuTextRow, kMenuTextCount + 1> kMenuTexts = {{
    // 0 .. 9: titles of the monitor's menus
    {true, kLongText, "HLX1.0 Start", 0},
    {true, kLongText, "HLX1.0 Service & Advanced", 0},
    {true, kLongText, "HLX1.0 BIOS - System Setup", 0},
    {true, kLongText, "HLX1.0 Menu 3", 0},
    {true, kLongText, "HLX1.0 Menu 4", 0},
    {true, kLongText, "HLX1.0 Menu 5", 0},
    {true, kLongText, "HLX1.0 Menu 6", 0},
    {true, kLongText, "HLX1.0 Menu 7", 0},
    {true, kLongText, "HLX1.0 Menu 8", 0},
    {true, kLongText, "HLX1.0 Menu 9", 0},
    // 10 .. 13: maker, postal address, service caption, service telephone
    {true, kLongText, "Quendal", 1},
    {true, kLongText, "", 1},
    {true, kLongText, "Service", 1},
    {true, kLongText, "", 1},
    // 14, 15: model texts of the display panel and the power supply (kept through initMenuData)
    {true, kLongText, "", 2},
    {true, kLongText, "", 2},
    // 16: family name
    {true, kLongText, "HLX", 0},
    // 17: user name
    {true, kUserName, "", 3},
    // 18 .. 21: access codes (row 18 is kept through initMenuData)
    {true, kAccessCode, "000000", 4},
    {true, kAccessCode, "000000", 4},
    {true, kAccessCode, "000000", 4},
    {true, kAccessCode, "000000", 4},
    // 22 .. 34: short names and codes (rows 32 .. 34 are kept through initMenuData)
    {true, kShortName, "UMDNAME", 5},
    {true, kShortName, "UMD STA-TIC TEXT", 5},
    {true, kShortName, "", 5},
    {true, kShortName, "", 5},
    {true, kShortName, "", 5},
    {true, kShortName, "", 5},
    {true, kShortName, "", 5},
    {true, kShortName, "", 5},
    {true, kShortName, "", 5},
    {true, kShortName, "", 5},
    {true, kShortName, "", 5},
    {true, kShortName, "", 5},
    {true, kShortName, "", 5},
    // 35 .. 48: input names
    {true, kInputName, "VGA 1", 6},
    {true, kInputName, "VGA 2", 6},
    {true, kInputName,
     "Video 1\tVideo 1\tVid\xE9o 1\tV\xED"
     "deo 1",
     6},
    {true, kInputName,
     "Video 2\tVideo 2\tVid\xE9o 2\tV\xED"
     "deo 2",
     6},
    {true, kInputName,
     "Video 3\tVideo 3\tVid\xE9o 3\tV\xED"
     "deo 3",
     6},
    {true, kInputName, "Y/C", 6},
    {true, kInputName, "YCrCb", 6},
    {true, kInputName, "DVI 1", 6},
    {true, kInputName, "DVI 2", 6},
    {true, kInputName, "HDSDI 1", 6},
    {true, kInputName, "HDSDI 2", 6},
    {true, kInputName, "HDSDI 3", 6},
    {true, kInputName, "HDSDI 4", 6},
    {true, kInputName, "Testbild\tTestimage\tImage de Test\tPrueba Imagen", 6},
    // 49, 50: empty one-character texts
    {true, 1, "", 0},
    {true, 1, "", 0},
    // 51 .. 56: further input names
    {true, kInputName, "DVI 3", 6},
    {true, kInputName, "DVI 4", 6},
    {true, kInputName, "DVI 5", 6},
    {true, kInputName, "DVI 6", 6},
    {true, kInputName, "DVI 7", 6},
    {true, kInputName, "DVI 8", 6},
    // 57, 58: names of the user gamut and the user white point
    {true, kInputName, "MyGamut", 7},
    {true, kInputName, "My xy", 7},
    // 59 .. 66: names of the user settings
    {true, kUserSetting, "User1", 8},
    {true, kUserSetting, "User2", 8},
    {true, kUserSetting, "User3", 8},
    {true, kUserSetting, "User4", 8},
    {true, kUserSetting, "User5", 8},
    {true, kUserSetting, "User6", 8},
    {true, kUserSetting, "User7", 8},
    {true, kUserSetting, "User8", 8},
    // 67 .. 69: second rows of the access codes of rows 19 .. 21
    {true, kAccessCode, "000000", 4},
    {true, kAccessCode, "000000", 4},
    {true, kAccessCode, "000000", 4},
    // 70: family title
    {true, kLongText, "HLX1.0", 0},
    // 71
    {true, kUserName, "", 3},
    // end row
    {false, 0, nullptr, 0},
}};

namespace {

// A row left out of the list above would silently shift the rows after it into the end row.
constexpr bool rowsEndAfterRow71() {
    for (std::size_t row = 0; row < kMenuTextCount; ++row) {
        const MenuTextRow& r = kMenuTexts[row];
        if (!r.hasBuffer || r.defaultText == nullptr || r.maxLength >= kMenuTextBufferSize) return false;
    }
    return !kMenuTexts[kMenuTextCount].hasBuffer;
}
static_assert(rowsEndAfterRow71());

}  // namespace

}  // namespace hlx::preview
