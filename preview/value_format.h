#pragma once
// Value formatting: a menu item's setting as the text the monitor shows for it, and whether and within
// which bounds the setting can be adjusted. Reads the item's row, its value in SettingValues and the
// choice lists; changes nothing.
//
// Field value of an item: SettingValues[value index] under the item's mask (0 stands for 0xFFFF),
// shifted down to bit 0. A field of all 16 bits is signed (-32768 .. 32767), a narrower one unsigned.
//
// Text of each item type (v the field value); every other type shows "---.---":
//
//   type  text                                   example
//   2     v, a blank and a percent sign          95 %
//   6     "%4d"                                  "  -5"
//   7     "%5d"
//   8     "%6d"
//   10    "%02d"                                 07
//   16    "0x%04x" of the field's 16 bits        0x00ff
//   19    the entry for key v of the item's ChoiceList list
//   20    the entry for key v of the item's NamedChoiceList list (its MenuTexts name if it has one)
//   44    v x 0.0001 as a 32-bit float, "%6.4f"  0.3127
//   47    "%d"
//   99    a packed date "%2d.%02d.%04d": day bits 0..4, month bits 5..8, year bits 9..15 + 2000
//   103   the empty text
//
// Texts are Windows-1252 and at most 127 characters. List entries are returned as stored, so they may
// hold all four tab-separated languages; whoever shows them cuts them at the first tab. A key that no
// entry of a list has (a negative key among them) gives the list's last entry; a list that is not in the
// table gives "NOTFOUND".
//
// Ranges by an item's range index: 0 not adjustable, 0 .. 2^(bits in the mask) - 1 (65535 for the mask
// 0); 1 .. 13 a fixed pair; 14 .. 27 a range function (14: 0 .. SettingValues[358], 25: 20 .. 100, the
// others 0 .. 0). A range whose minimum equals its maximum cannot really be adjusted; the preview treats
// it so. An index outside 0 .. 27 gives a range that is not adjustable, 0 .. 0.
//
// Threads: reads MenuData, so it runs on the thread that owns it.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "preview/menu_data.h"
#include "preview/menu_tables.h"

namespace hlx::preview {

// Item types the formatter knows.
namespace item_type {
inline constexpr int kPercent = 2;
inline constexpr int kNumber4 = 6;
inline constexpr int kNumber5 = 7;
inline constexpr int kNumber6 = 8;
inline constexpr int kTwoDigits = 10;
inline constexpr int kHex = 16;
inline constexpr int kChoice = 19;
inline constexpr int kNamedChoice = 20;
inline constexpr int kFraction = 44;
inline constexpr int kBitToggle = 47;
inline constexpr int kDate = 99;
inline constexpr int kBlank = 103;
}  // namespace item_type

inline constexpr std::size_t kMaxValueText = 127;
inline constexpr const char* kUnknownTypeText = "---.---";

struct ValueRange {
    bool adjustable = false;
    int minimum = 0;
    int maximum = 0;
    friend bool operator==(const ValueRange&, const ValueRange&) = default;
};

// The item's mask with 0 read as 0xFFFF.
std::uint16_t effectiveMask(const MenuItem& item);

int readField(const MenuData& data, int itemId);
std::string formatValue(const MenuData& data, int itemId);
// The same for an item row of one's own (an item id names its row in kMenuItems).
int readField(const MenuData& data, const MenuItem& item);
std::string formatValue(const MenuData& data, const MenuItem& item);

// The index of the first row of a list in kChoiceList (kNamedChoiceList), or of the end row when the
// list is not in the table. Only the low 7 bits of a row's list id are compared.
std::size_t findChoice(int listId);
std::size_t findNamedChoice(int listId);
// All rows of a list in table order; empty when the list is not in the table.
std::span<const ChoiceRow> choiceRows(int listId);
std::span<const NamedChoiceRow> namedChoiceRows(int listId);

const char* choiceText(int listId, int key);
// The text of a named entry: the current buffer of its MenuTexts row, or its fixed text without one.
const char* namedChoiceText(const MenuData& data, int listId, int key);

ValueRange itemRange(const MenuData& data, int itemId);
ValueRange itemRange(const MenuData& data, const MenuItem& item);

}  // namespace hlx::preview
