#pragma once
// The monitor's OSD menu as constant data: the defaults of its setting values, its items with their
// labels, the choice lists that name coded values, the stored texts and the pages of the menu preview.
//
// Every table is indexed by a small number that is a stable identifier in the monitor's firmware (value
// index, item id, list id, page number, text row); the numbers are part of the data. Rows the preview
// never reaches are neutral placeholders (type 0, value 0, empty label, numbered list entries) that keep
// the table sizes, the row numbering and the list ids of the firmware.
//
// Texts are zero-terminated Windows-1252 bytes. A text is either one text for every language or four
// texts separated by tab characters, in the order German, English, French, Spanish.
//
// The row structs keep the field order and widths of the firmware's tables (a MenuItem row is 12 bytes).
// Lookups by id never read outside a table: an id beyond it gives the table's neutral row.
//
// Threads: constant data, readable from any thread.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace hlx::preview {

inline constexpr std::size_t kSettingValueCount = 574;    // SettingValues: value index 0 .. 573
inline constexpr std::size_t kSettingDefaultCount = 556;  // defaults for value index 0 .. 555
inline constexpr std::size_t kMenuTextCount = 72;         // MenuTexts rows 0 .. 71, then the end row
inline constexpr std::size_t kMenuItemCount = 652;        // item ids 0 .. 651, then a row of zeros
inline constexpr std::size_t kItemLabelCount = 747;       // labels of ids 0 .. 746
inline constexpr std::size_t kChoiceRowCount = 548;       // ChoiceList rows, the end row included
inline constexpr std::size_t kNamedChoiceRowCount = 177;  // NamedChoiceList rows, the end row included
inline constexpr std::size_t kMenuPageCount = 14;         // MenuPage rows 0 .. 13
// The list id of the end row of both choice tables; its text is "NOTFOUND".
inline constexpr std::uint8_t kEndListId = 86;
// Every MenuTexts buffer holds up to this many characters and a terminating zero.
inline constexpr std::size_t kMenuTextBufferSize = 40;

// SettingDefaults: one row per value index 0 .. 555.
struct SettingDefault {
    void (*handler)();         // the monitor's change handler; nothing in this tool calls it
    std::uint32_t valueClass;  // 1 .. 6, for the monitor
    std::uint32_t groupMask;   // group bits of the value, for the monitor
    std::int16_t value;        // the value's start value
    std::uint16_t pad;
};

// MenuTexts: the texts stored in buffers (the buffers themselves live in MenuData).
struct MenuTextRow {
    bool hasBuffer;           // false only in the end row
    std::uint32_t maxLength;  // characters the buffer holds, without the terminating zero
    const char* defaultText;  // one text or four tab-separated language texts
    std::uint32_t group;      // 0 .. 8, for the monitor
};

// MenuItem: one row of the item table.
struct MenuItem {
    std::uint8_t type;  // how the value is shown and edited (see value_format.h)
    std::uint8_t reserved0;
    std::uint16_t valueIndex;  // the SettingValues entry that holds the setting
    std::uint16_t mask;        // the setting's bits within that value; 0 means all 16 bits
    std::uint16_t parameter;   // for the monitor (repeats the mask for the bit toggles of type 47)
    std::uint8_t flags;        // for the monitor
    std::uint8_t listId;       // types 19 and 20: the choice list naming the values
    std::int8_t rangeIndex;    // the value range; 0 means the range follows from the mask
    std::uint8_t reserved1;
};
static_assert(sizeof(MenuItem) == 12);

// ChoiceList: the list table of item type 19. The rows of a list follow each other.
struct ChoiceRow {
    std::uint8_t listId;  // the low 7 bits are the id
    std::uint8_t reserved;
    std::uint16_t key;  // the coded value
    const char* text;
};

// NamedChoiceList: the list table of item type 20, whose entries may take their names from MenuTexts.
struct NamedChoiceRow {
    std::uint8_t listId;
    std::uint8_t entryNumber;  // for the monitor
    std::uint8_t textRow;      // the MenuTexts row naming the entry, or 0 for none
    std::uint8_t reserved0;
    std::uint16_t key;
    std::uint16_t reserved1;
    const char* text;  // the entry's fixed text
};

// PageEntry links: > 0 opens that page; these two open the detail page of the item's current setting.
inline constexpr std::int32_t kLinkDetail = -1;
inline constexpr std::int32_t kLinkDetailFirstSmall = -2;  // and the first entry drawn as a small tile

struct PageEntry {
    std::int32_t itemId;  // 0 ends a page
    std::int32_t link;    // a page number, 0 for none, kLinkDetail or kLinkDetailFirstSmall
};

struct MenuPage {
    const PageEntry* entries;  // ended by an entry with item id 0; nullptr for a row without entries
    std::int32_t selected;     // the entry highlighted when the page is opened
    std::int32_t ownerItem;    // of a detail page: the item whose choice opens it, else 0
    std::int32_t ownerValue;   // of a detail page: the owner item's setting that opens it
};

extern const std::array<SettingDefault, kSettingDefaultCount> kSettingDefaults;
extern const std::array<MenuTextRow, kMenuTextCount + 1> kMenuTexts;
extern const std::array<MenuItem, kMenuItemCount + 1> kMenuItems;
extern const std::array<const char*, kItemLabelCount> kItemLabels;
extern const std::array<ChoiceRow, kChoiceRowCount> kChoiceList;
extern const std::array<NamedChoiceRow, kNamedChoiceRowCount> kNamedChoiceList;
extern const std::array<MenuPage, kMenuPageCount> kMenuPages;

// The row of an item id; ids outside 0 .. 651 give the row of zeros (type 0, shown as "---.---").
const MenuItem& menuItem(int itemId);
// The label of an item id; ids outside the table give the empty text.
const char* itemLabel(int itemId);
// The row of a page number; numbers outside 0 .. 13 give row 0, which has no entries.
const MenuPage& menuPage(int page);
// A page's entries in display order, without the closing entry; empty for a row without entries.
std::span<const PageEntry> pageEntries(int page);

}  // namespace hlx::preview
