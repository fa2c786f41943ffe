#include "preview/value_format.h"

#include <bit>
#include <cstdio>

namespace hlx::preview {
namespace {

constexpr std::uint8_t kListIdBits = 0x7F;
constexpr std::size_t kBacklightLimitValue = 358;

// Range indexes 1 .. 13.
constexpr ValueRange kFixedRanges[] = {
    {true, -512, 511}, {true, 0, 255},  {true, 0, 32},      {true, 0, 50},  {true, 0, 100},
    {true, 10, 100},   {true, 0, 3000}, {true, -999, 3000}, {true, 0, 999}, {true, 0, 9999},
    {true, 0, 1023},   {true, 1, 52},   {true, 2000, 9999},
};

using RangeFunction = ValueRange (*)(const MenuData&);

ValueRange emptyRange(const MenuData&) {
    return {true, 0, 0};
}
ValueRange backlightRange(const MenuData& data) {
    return {true, 0, data.settingValues[kBacklightLimitValue]};
}
ValueRange zoomFactorRange(const MenuData&) {
    return {true, 20, 100};
}

// Range indexes 14 .. 27.
constexpr RangeFunction kRangeFunctions[] = {
    backlightRange, emptyRange, emptyRange, emptyRange, emptyRange,      emptyRange, emptyRange,
    emptyRange,     emptyRange, emptyRange, emptyRange, zoomFactorRange, emptyRange, emptyRange,
};
constexpr int kFirstFunctionRange = 14;
constexpr int kLastRange = kFirstFunctionRange + static_cast<int>(std::size(kRangeFunctions)) - 1;

template <typename Row, std::size_t N>
std::size_t findList(const std::array<Row, N>& table, int listId) {
    std::size_t i = 0;
    for (; i + 1 < N; ++i) {
        const int id = table[i].listId & kListIdBits;
        if (id == listId || id == kEndListId) break;
    }
    return i;
}

template <typename Row, std::size_t N>
std::span<const Row> listRows(const std::array<Row, N>& table, int listId) {
    const std::size_t first = findList(table, listId);
    if ((table[first].listId & kListIdBits) != listId) return {};
    std::size_t end = first;
    while (end < N && (table[end].listId & kListIdBits) == listId) ++end;
    return std::span<const Row>(table).subspan(first, end - first);
}

// The row of a list with the key, else the list's last row, else (no such list) the end row.
template <typename Row, std::size_t N>
const Row& entryFor(const std::array<Row, N>& table, int listId, int key) {
    const std::span<const Row> rows = listRows(table, listId);
    if (rows.empty()) return table[N - 1];
    for (const Row& row : rows)
        if (row.key == key) return row;
    return rows.back();
}

std::string printed(const char* format, int value) {
    char text[kMaxValueText + 1];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

std::uint16_t effectiveMask(const MenuItem& item) {
    return item.mask == 0 ? 0xFFFF : item.mask;
}

int readField(const MenuData& data, int itemId) {
    return readField(data, menuItem(itemId));
}
std::string formatValue(const MenuData& data, int itemId) {
    return formatValue(data, menuItem(itemId));
}

int readField(const MenuData& data, const MenuItem& item) {
    if (item.valueIndex >= kSettingValueCount) return 0;  // no such value: nothing to read
    const std::uint16_t mask = effectiveMask(item);
    const std::int16_t value = data.settingValues[item.valueIndex];
    if (mask == 0xFFFF) return value;
    return (static_cast<std::uint16_t>(value) & mask) >> std::countr_zero(mask);
}

std::string formatValue(const MenuData& data, const MenuItem& item) {
    namespace t = item_type;
    const int v = readField(data, item);
    std::string text;
    switch (item.type) {
        case t::kPercent:
            text = std::to_string(v) + " %";
            break;
        case t::kNumber4:
            text = printed("%4d", v);
            break;
        case t::kNumber5:
            text = printed("%5d", v);
            break;
        case t::kNumber6:
            text = printed("%6d", v);
            break;
        case t::kTwoDigits:
            text = printed("%02d", v);
            break;
        // The field's own 16 bits: a negative full-width value is not widened to 32 bits.
        case t::kHex:
            text = printed("0x%04x", v & 0xFFFF);
            break;
        case t::kChoice:
            text = choiceText(item.listId, v);
            break;
        case t::kNamedChoice:
            text = namedChoiceText(data, item.listId, v);
            break;
        case t::kFraction: {
            char buffer[kMaxValueText + 1];
            const float fraction = static_cast<float>(v * 0.0001);
            std::snprintf(buffer, sizeof buffer, "%6.4f", static_cast<double>(fraction));
            text = buffer;
            break;
        }
        case t::kBitToggle:
            text = std::to_string(v);
            break;
        case t::kDate: {
            const unsigned bits = static_cast<std::uint16_t>(v);
            char buffer[kMaxValueText + 1];
            std::snprintf(buffer, sizeof buffer, "%2u.%02u.%04u", bits & 0x1Fu, (bits >> 5) & 0x0Fu,
                          (bits >> 9) + 2000u);
            text = buffer;
            break;
        }
        case t::kBlank:
            break;
        default:
            text = kUnknownTypeText;
            break;
    }
    if (text.size() > kMaxValueText) text.resize(kMaxValueText);
    return text;
}

std::size_t findChoice(int listId) {
    return findList(kChoiceList, listId);
}
std::size_t findNamedChoice(int listId) {
    return findList(kNamedChoiceList, listId);
}
std::span<const ChoiceRow> choiceRows(int listId) {
    return listRows(kChoiceList, listId);
}
std::span<const NamedChoiceRow> namedChoiceRows(int listId) {
    return listRows(kNamedChoiceList, listId);
}

const char* choiceText(int listId, int key) {
    return entryFor(kChoiceList, listId, key).text;
}

const char* namedChoiceText(const MenuData& data, int listId, int key) {
    const NamedChoiceRow& row = entryFor(kNamedChoiceList, listId, key);
    return row.textRow != 0 ? data.textBuffer(row.textRow) : row.text;
}

ValueRange itemRange(const MenuData& data, int itemId) {
    return itemRange(data, menuItem(itemId));
}

ValueRange itemRange(const MenuData& data, const MenuItem& item) {
    const int r = item.rangeIndex;
    if (r == 0) {
        const int bits = std::popcount(effectiveMask(item));
        return {false, 0, static_cast<int>((1u << bits) - 1)};
    }
    if (r >= 1 && r < kFirstFunctionRange) return kFixedRanges[r - 1];
    if (r >= kFirstFunctionRange && r <= kLastRange) return kRangeFunctions[r - kFirstFunctionRange](data);
    return {false, 0, 0};
}

}  // namespace hlx::preview
