// Menu values as the monitor shows them: field extraction under a mask, the text of each item type, the
// choice lists with their fallbacks and the value ranges.

#include "preview/value_format.h"

#include <bit>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace hlx::preview {
namespace {

class ValueFormatTest : public ::testing::Test {
protected:
    ValueFormatTest() { initMenuData(data); }

    // Puts a field value into the setting of an item of the table, keeping the value's other bits.
    void setField(int itemId, int field) {
        const MenuItem& item = menuItem(itemId);
        const std::uint16_t mask = effectiveMask(item);
        const int shift = std::countr_zero(mask);
        auto& value = data.settingValues[item.valueIndex];
        value = static_cast<std::int16_t>(((field << shift) & mask) |
                                          (static_cast<std::uint16_t>(value) & ~mask));
    }

    MenuData data;
};

TEST_F(ValueFormatTest, FieldsAreMaskedShiftedAndSignedOnlyAtFullWidth) {
    data.settingValues[58] = static_cast<std::int16_t>(0x9A85);  // temperature 5, gamma 21, gamut 9
    EXPECT_EQ(5, readField(data, 33));
    EXPECT_EQ(21, readField(data, 34));
    EXPECT_EQ(9, readField(data, 45));
    data.settingValues[54] = static_cast<std::int16_t>(0xFFFB);
    EXPECT_EQ(-5, readField(data, 20)) << "mask 0 is the signed full value";
    data.settingValues[69] = static_cast<std::int16_t>(0xFF80);
    EXPECT_EQ(0x80, readField(data, 127));
    EXPECT_EQ(0xFF, readField(data, 128)) << "a narrower field is unsigned";
}

struct TypeCase {
    const char* name;
    std::uint8_t type;
    std::uint16_t mask;
    std::int16_t value;
    const char* text;
};

class FormatTypeTest : public ::testing::TestWithParam<TypeCase> {};

TEST_P(FormatTypeTest, GivesTheMonitorsText) {
    const TypeCase& c = GetParam();
    MenuData data;
    data.settingValues[500] = c.value;
    const MenuItem item{c.type, 0, 500, c.mask, 0, 0, 0, 0, 0};
    EXPECT_EQ(c.text, formatValue(data, item));
}

const TypeCase kTypeCases[] = {
    {"FourWideNegative", 6, 0, static_cast<std::int16_t>(0xFFFB), "  -5"},
    {"FourWideOverflowsItsWidth", 6, 0, -32768, "-32768"},
    {"FiveWide", 7, 0, 42, "   42"},
    {"SixWide", 8, 0, -42, "   -42"},
    {"TwoDigits", 10, 0, 7, "07"},
    {"HexLowerCase", 16, 0, 255, "0x00ff"},
    {"HexOfANegativeFieldKeepsSixteenBits", 16, 0, -5, "0xfffb"},
    {"HexOfAnUpperByte", 16, 0xFF00, static_cast<std::int16_t>(0xAB12), "0x00ab"},
    {"PercentKeepsTheLoneSign", 2, 0x00FF, 95, "95 %"},
    {"FractionOfTenThousand", 44, 0, 3127, "0.3127"},
    {"FractionWithLeadingZero", 44, 0, 600, "0.0600"},
    {"FractionNegative", 44, 0, -1, "-0.0001"},
    {"BitToggleOn", 47, 0x0800, 0x0F00, "1"},
    {"BitToggleOff", 47, 0x0800, 0x0700, "0"},
    {"Date", 99, 0, 7279, "15.03.2014"},
    {"DateWithSingleDigitDay", 99, 0, (20 << 9) | (12 << 5) | 1, " 1.12.2020"},
    {"DateOfTheTopYear", 99, 0, static_cast<std::int16_t>((127 << 9) | (1 << 5) | 31), "31.01.2127"},
    {"Blank", 103, 0x0800, 0x0800, ""},
    {"UnknownType", 45, 0, 1, "---.---"},
    {"TypeZero", 0, 0, 0, "---.---"},
};

INSTANTIATE_TEST_SUITE_P(Types, FormatTypeTest, ::testing::ValuesIn(kTypeCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ValueFormatTest, ChoiceItemsNameTheirKeyOrFallBackToTheLastEntry) {
    struct Case {
        int item;
        int field;
        std::string text;
    } cases[] = {
        {70, 8, "21:9"},
        {70, 2, "Auto"},
        {70, 6, "User\tUser\tUsager\tUsador"},  // not in the list: its last entry
        {119, 1, "Zoom1\tZoom1\tZoom1\tZum1"},
        {34, 16, "2.35"},
        {45, 8, "NTSC"},
        {45, 9, "MyGamut"},  // the user gamut takes its name from the texts
        {33, 36, "6504 \xB0K"},
        {33, 72, "My xy"},
        {33, 100, "My xy"},  // beyond the list: the last entry, named from the texts
        {1, 13, "Testbild"},
        {1, 7, "DVI 1"},
        {1, 30, "Testbild"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.item) + "=" + std::to_string(c.field));
        setField(c.item, c.field);
        EXPECT_EQ(c.text, formatValue(data, c.item));
    }
}

TEST_F(ValueFormatTest, DefaultsAsShownOnTheFirstPages) {
    EXPECT_EQ("Testbild", formatValue(data, 1));
    EXPECT_EQ("  15", formatValue(data, 32));
    EXPECT_EQ("Nativ\tNative\tNative\tNativo", formatValue(data, 33));
    EXPECT_EQ("Normal", formatValue(data, 119));
    EXPECT_EQ("Auto", formatValue(data, 70));
    EXPECT_EQ("95 %", formatValue(data, 127));
    EXPECT_EQ("90 %", formatValue(data, 128));
    EXPECT_EQ("50 %", formatValue(data, 133));
    EXPECT_EQ("0.6400", formatValue(data, 615));
    EXPECT_EQ("0.3127", formatValue(data, 624));
    EXPECT_EQ(" 0.00.2000", formatValue(data, 277));
    EXPECT_EQ("", formatValue(data, 599));
    EXPECT_EQ("---.---", formatValue(data, 2)) << "a neutral item";
}

TEST_F(ValueFormatTest, NamedEntriesFollowTheirTextBuffer) {
    std::strcpy(data.textBuffers[42].data(), "Studio");
    EXPECT_STREQ("Studio", namedChoiceText(data, 14, 7));
    EXPECT_STREQ("VGA1", kNamedChoiceList[findNamedChoice(14)].text) << "the fixed text stays";
}

TEST_F(ValueFormatTest, MissingListsGiveNotFound) {
    EXPECT_STREQ("NOTFOUND", choiceText(99, 0));
    EXPECT_STREQ("NOTFOUND", choiceText(11, 0)) << "list 11 is a named list";
    EXPECT_STREQ("NOTFOUND", namedChoiceText(data, 10, 0));
    EXPECT_STREQ("NOTFOUND", choiceText(86, 5)) << "the end row is a list of its own";
    EXPECT_EQ(kChoiceRowCount - 1, findChoice(99));
    EXPECT_EQ(kNamedChoiceRowCount - 1, findNamedChoice(200));
    EXPECT_TRUE(choiceRows(99).empty());
    const MenuItem orphan{19, 0, 58, 0x0F80, 0, 0, 99, 0, 0};
    EXPECT_EQ("NOTFOUND", formatValue(data, orphan));
}

TEST_F(ValueFormatTest, NegativeKeyMatchesNoEntry) {
    const MenuItem fullWidth{19, 0, 500, 0, 0, 0, 47, 0, 0};
    data.settingValues[500] = -1;
    EXPECT_EQ("Off", formatValue(data, fullWidth)) << "the last entry of on/off";
    data.settingValues[500] = 1;
    EXPECT_EQ("On", formatValue(data, fullWidth));
}

TEST_F(ValueFormatTest, FindChoiceGivesTheFirstRowOfTheList) {
    const std::size_t gamma = findChoice(10);
    EXPECT_EQ(10, kChoiceList[gamma].listId);
    EXPECT_TRUE(gamma == 0 || kChoiceList[gamma - 1].listId != 10);
    EXPECT_EQ(27u, choiceRows(10).size());
    EXPECT_EQ(&kChoiceList[gamma], choiceRows(10).data());
    EXPECT_EQ(73u, namedChoiceRows(11).size());
    EXPECT_EQ(20u, namedChoiceRows(14).size());
}

TEST_F(ValueFormatTest, Ranges) {
    struct Case {
        int item;
        ValueRange range;
    } cases[] = {
        {24, {false, 0, 1}},                             // one bit
        {33, {false, 0, 127}},                           // seven bits
        {1, {false, 0, 255}},                            // eight bits
        {277, {false, 0, 65535}},                        // mask 0
        {20, {true, -512, 511}},  {32, {true, 0, 255}},  // up to value 358
        {127, {true, 20, 100}},   {131, {true, 0, 100}}, {615, {true, 0, 9999}},
        {129, {true, 0, 0}},      {130, {true, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.item);
        EXPECT_EQ(c.range, itemRange(data, c.item));
    }
    data.settingValues[358] = 100;
    EXPECT_EQ((ValueRange{true, 0, 100}), itemRange(data, 32));
}

TEST_F(ValueFormatTest, EveryRangeIndex) {
    const ValueRange expected[] = {
        {false, 0, 65535}, {true, -512, 511}, {true, 0, 255},  {true, 0, 32},      {true, 0, 50},
        {true, 0, 100},    {true, 10, 100},   {true, 0, 3000}, {true, -999, 3000}, {true, 0, 999},
        {true, 0, 9999},   {true, 0, 1023},   {true, 1, 52},   {true, 2000, 9999}, {true, 0, 255},
        {true, 0, 0},      {true, 0, 0},      {true, 0, 0},    {true, 0, 0},       {true, 0, 0},
        {true, 0, 0},      {true, 0, 0},      {true, 0, 0},    {true, 0, 0},       {true, 0, 0},
        {true, 20, 100},   {true, 0, 0},      {true, 0, 0},
    };
    for (int r = 0; r < static_cast<int>(std::size(expected)); ++r) {
        const MenuItem item{6, 0, 500, 0, 0, 0, 0, static_cast<std::int8_t>(r), 0};
        EXPECT_EQ(expected[r], itemRange(data, item)) << "range " << r;
    }
    for (int r : {28, 127, -1, -128}) {
        const MenuItem item{6, 0, 500, 0, 0, 0, 0, static_cast<std::int8_t>(r), 0};
        EXPECT_EQ((ValueRange{false, 0, 0}), itemRange(data, item)) << "range " << r;
    }
}

}  // namespace
}  // namespace hlx::preview
