// The menu tables as the firmware numbers them: table sizes and end rows, the lists and pages of the
// preview with their items, labels (Windows-1252) and links.

#include "preview/menu_tables.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/text_codec.h"

namespace hlx::preview {
namespace {

// The first (German) part of a table text, as UTF-8.
std::string german(const char* text) {
    const std::string bytes(text);
    return base::windows1252ToUtf8(bytes.substr(0, bytes.find('\t')));
}

TEST(MenuTablesTest, ChoiceTablesEndWithTheNotFoundRow) {
    EXPECT_EQ(kEndListId, kChoiceList.back().listId);
    EXPECT_STREQ("NOTFOUND", kChoiceList.back().text);
    EXPECT_EQ(kEndListId, kNamedChoiceList.back().listId);
    EXPECT_STREQ("NOTFOUND", kNamedChoiceList.back().text);
}

// Each list's rows follow each other, so a list is found by its first row; and the top bit of a row's
// list id is never set.
template <typename Row, std::size_t N>
std::map<int, int> listSizes(const std::array<Row, N>& table) {
    std::map<int, int> sizes;
    int previous = -1;
    for (std::size_t i = 0; i + 1 < N; ++i) {
        const int id = table[i].listId;
        EXPECT_EQ(0, id & 0x80) << "row " << i;
        EXPECT_NE(kEndListId, id) << "row " << i;
        if (id != previous) {
            EXPECT_EQ(0u, sizes.count(id)) << "list " << id << " split at row " << i;
        }
        ++sizes[id];
        previous = id;
    }
    return sizes;
}

TEST(MenuTablesTest, ChoiceListHoldsSixtyFourListsFromTenToEightyFive) {
    const std::map<int, int> sizes = listSizes(kChoiceList);
    EXPECT_EQ(64u, sizes.size());
    EXPECT_EQ(10, sizes.begin()->first);
    EXPECT_EQ(85, sizes.rbegin()->first);
    const std::map<int, int> described = {{10, 27}, {12, 4}, {13, 7}, {17, 7},
                                          {28, 4},  {47, 2}, {51, 7}, {63, 4}};
    for (const auto& [id, size] : described) EXPECT_EQ(size, sizes.at(id)) << "list " << id;
    EXPECT_TRUE(sizes.count(64)) << "resolutions";
}

TEST(MenuTablesTest, NamedChoiceListHoldsItsNineLists) {
    const std::map<int, int> sizes = listSizes(kNamedChoiceList);
    const std::map<int, int> described = {{14, 20}, {20, 8}, {77, 10}, {11, 73}, {68, 15}};
    for (const auto& [id, size] : described) EXPECT_EQ(size, sizes.at(id)) << "list " << id;
    std::set<int> ids;
    for (const auto& entry : sizes) ids.insert(entry.first);
    EXPECT_EQ((std::set<int>{11, 14, 20, 68, 77, 78, 79, 80, 81}), ids);
}

struct NamedRow {
    int key;
    const char* text;
    int textRow;
};

std::vector<NamedRow> namedRows(int listId) {
    std::vector<NamedRow> rows;
    for (const NamedChoiceRow& row : kNamedChoiceList)
        if (row.listId == listId) rows.push_back({row.key, row.text, row.textRow});
    return rows;
}

TEST(MenuTablesTest, InputsInTableOrderWithTheirNames) {
    const std::vector<NamedRow> expected = {
        {0, "VGA1", 35},  {1, "VGA2", 36},  {2, "FBAS1", 37}, {3, "FBAS2", 38}, {4, "FBAS3", 39},
        {5, "Y/C", 40},   {6, "YCrCb", 41}, {7, "DVI1", 42},  {8, "DVI2", 43},  {16, "DVI3", 51},
        {17, "DVI4", 52}, {18, "DVI5", 53}, {19, "DVI6", 54}, {20, "DVI7", 55}, {21, "DVI8", 56},
        {9, "HD1", 44},   {10, "HD2", 45},  {11, "HD3", 46},  {12, "HD4", 47},  {13, "TBG", 48},
    };
    const std::vector<NamedRow> rows = namedRows(14);
    ASSERT_EQ(expected.size(), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(expected[i].key, rows[i].key);
        EXPECT_STREQ(expected[i].text, rows[i].text);
        EXPECT_EQ(expected[i].textRow, rows[i].textRow);
    }
}

TEST(MenuTablesTest, ColourTemperaturesRunFromNativeToUserXy) {
    const std::vector<NamedRow> rows = namedRows(11);
    ASSERT_EQ(73u, rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(static_cast<int>(i), rows[i].key);
    const std::map<int, std::string> samples = {
        {0, "Nativ"},     {1, "User"},           {2, "A"},        {9, "E"},        {10, "2400 °K"},
        {25, "5400 °K"},  {26, "5500 °K"},       {36, "6504 °K"}, {37, "6600 °K"}, {51, "8000 °K"},
        {52, "8200 °K"},  {57, "9200 °K"},       {58, "9300 °K"}, {59, "9400 °K"}, {60, "9600 °K"},
        {71, "11800 °K"}, {72, "User (x/y) °K"},
    };
    for (const auto& [key, text] : samples) EXPECT_EQ(text, german(rows[key].text)) << "key " << key;
    EXPECT_EQ(58, rows[72].textRow);
    EXPECT_EQ(0, rows[71].textRow);
}

TEST(MenuTablesTest, GamutsEndWithTheUserGamutNamedInTheTexts) {
    const std::vector<NamedRow> rows = namedRows(77);
    const char* expected[] = {"Nativ",      "ITU-R BT.709", "sRGB",      "Adobe RGB", "Apple RGB",
                              "ColorMatch", "Wide Gamut",   "PAL/SECAM", "NTSC",      "User"};
    ASSERT_EQ(std::size(expected), rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(static_cast<int>(i), rows[i].key);
        EXPECT_EQ(expected[i], german(rows[i].text));
        EXPECT_EQ(i == 9 ? 57 : 0, rows[i].textRow);
    }
}

std::vector<std::pair<int, std::string>> choiceRows(int listId) {
    std::vector<std::pair<int, std::string>> rows;
    for (const ChoiceRow& row : kChoiceList)
        if (row.listId == listId) rows.emplace_back(row.key, base::windows1252ToUtf8(row.text));
    return rows;
}

TEST(MenuTablesTest, ChoiceListsOfThePreviewInTableOrder) {
    using Rows = std::vector<std::pair<int, std::string>>;
    EXPECT_EQ((Rows{{2, "Auto"},
                    {0, "4:3"},
                    {3, "14:9"},
                    {1, "16:9"},
                    {8, "21:9"},
                    {7, "Vollbild\tFullscreen\tFullscreen\tCompleto"},
                    {5, "User\tUser\tUsager\tUsador"}}),
              choiceRows(17));
    EXPECT_EQ((Rows{{0, "Normal"},
                    {6, "1:1"},
                    {7, "2:1"},
                    {3, "Underscan\tUnderscan\tSous-bal.\tBajoscan"},
                    {4, "Overscan\tOverscan\tSurbalayage\tSobrescan"},
                    {1, "Zoom1\tZoom1\tZoom1\tZum1"},
                    {2, "Zoom2\tZoom2\tZoom2\tZum2"}}),
              choiceRows(51));
    EXPECT_EQ((Rows{{1, "On"}, {0, "Off"}}), choiceRows(47));
    const Rows baud = choiceRows(13);
    ASSERT_EQ(7u, baud.size());
    EXPECT_EQ("9600", baud.front().second);
    EXPECT_EQ("576K", baud.back().second);
}

TEST(MenuTablesTest, GammaListHasTwentySevenKeysWithTwoPointThreeFiveInserted) {
    const auto rows = choiceRows(10);
    ASSERT_EQ(27u, rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_EQ(static_cast<int>(i), rows[i].first);
    EXPECT_EQ("Nativ\tNative\tNative\tNativo", rows[0].second);
    EXPECT_EQ("DICOM", rows[1].second);
    EXPECT_EQ("1.0", rows[2].second);
    EXPECT_EQ("2.3", rows[15].second);
    EXPECT_EQ("2.35", rows[16].second);
    EXPECT_EQ("2.4", rows[17].second);
    EXPECT_EQ("3.3", rows[26].second);
}

TEST(MenuTablesTest, TellingDefaults) {
    const std::map<int, int> defaults = {
        {35, 13},    {36, 0x0700}, {58, 0},     {68, 0x0700}, {69, 0x5A5F}, {70, 0x3232}, {71, 0x3232},
        {72, 2},     {77, 15},     {160, -1},   {161, -1},    {162, -1},    {164, -1},    {165, 6400},
        {166, 3000}, {167, 2126},  {168, 3000}, {169, 6000},  {170, 7152},  {171, 1500},  {172, 600},
        {173, 722},  {174, 3127},  {175, 3290}, {358, 255},   {53, 0},      {379, 0},     {403, 0},
    };
    for (const auto& [index, value] : defaults)
        EXPECT_EQ(value, kSettingDefaults[index].value) << "value " << index;
    for (int index : {54, 55, 56, 57, 59, 60, 61, 62, 63, 64, 65, 66, 67})
        EXPECT_EQ(0, kSettingDefaults[index].value) << "value " << index;
    for (int index = 54; index <= 77; ++index) EXPECT_EQ(0x40u, kSettingDefaults[index].groupMask);
    for (const SettingDefault& row : kSettingDefaults) {
        EXPECT_EQ(nullptr, row.handler);
        EXPECT_GE(row.valueClass, 1u);
        EXPECT_LE(row.valueClass, 6u);
        EXPECT_EQ(0, row.pad);
    }
}

TEST(MenuTablesTest, MenuTextRowsAndTheirSizes) {
    EXPECT_FALSE(kMenuTexts[kMenuTextCount].hasBuffer);
    for (std::size_t row = 0; row < kMenuTextCount; ++row) {
        EXPECT_TRUE(kMenuTexts[row].hasBuffer) << row;
        EXPECT_LE(kMenuTexts[row].group, 8u) << row;
    }
    for (std::size_t row = 0; row <= 9; ++row)
        EXPECT_EQ(0u, std::string(kMenuTexts[row].defaultText).rfind("HLX1.0", 0)) << row;
    for (std::size_t row : {0, 9, 16, 70}) EXPECT_EQ(39u, kMenuTexts[row].maxLength) << row;
    for (std::size_t row = 35; row <= 48; ++row) EXPECT_EQ(15u, kMenuTexts[row].maxLength) << row;
    for (std::size_t row = 59; row <= 66; ++row) EXPECT_EQ(30u, kMenuTexts[row].maxLength) << row;
    const std::map<std::size_t, std::string> texts = {
        {16, "HLX"},
        {22, "UMDNAME"},
        {23, "UMD STA-TIC TEXT"},
        {35, "VGA 1"},
        {42, "DVI 1"},
        {47, "HDSDI 4"},
        {48, "Testbild\tTestimage\tImage de Test\tPrueba Imagen"},
        {51, "DVI 3"},
        {56, "DVI 8"},
        {57, "MyGamut"},
        {58, "My xy"},
        {59, "User1"},
        {66, "User8"},
        {70, "HLX1.0"},
    };
    for (const auto& [row, text] : texts) EXPECT_EQ(text, kMenuTexts[row].defaultText) << row;
    EXPECT_EQ("Vidéo 1", base::windows1252ToUtf8(std::string(kMenuTexts[37].defaultText).substr(16, 7)));
}

TEST(MenuTablesTest, ItemRowsOutsideTheTableAreTheRowOfZeros) {
    const MenuItem zero{};
    for (int id : {-1, 652, 1000}) {
        const MenuItem& item = menuItem(id);
        EXPECT_EQ(zero.type, item.type);
        EXPECT_EQ(zero.valueIndex, item.valueIndex);
        EXPECT_EQ(zero.mask, item.mask);
    }
    EXPECT_EQ(&kMenuItems[kMenuItemCount], &menuItem(652));
    EXPECT_STREQ("", itemLabel(747));
    EXPECT_STREQ("", itemLabel(-3));
    for (const MenuItem& item : kMenuItems) EXPECT_LT(item.valueIndex, kSettingValueCount);
}

struct ItemCase {
    int id;
    int type;
    int valueIndex;
    int mask;
    int listId;
    int rangeIndex;
};

TEST(MenuTablesTest, ItemsOfThePreview) {
    const ItemCase cases[] = {
        {1, 20, 35, 0x00FF, 14, 0},   {20, 6, 54, 0, 0, 1},        {21, 6, 55, 0, 0, 1},
        {23, 6, 56, 0, 0, 1},         {22, 6, 57, 0, 0, 1},        {24, 47, 36, 0x0800, 0, 0},
        {27, 47, 36, 0x1000, 0, 0},   {28, 47, 36, 0x0100, 0, 0},  {29, 47, 36, 0x0200, 0, 0},
        {30, 47, 36, 0x0400, 0, 0},   {32, 6, 77, 0, 0, 14},       {33, 20, 58, 0x007F, 11, 0},
        {34, 19, 58, 0x0F80, 10, 0},  {35, 6, 59, 0, 0, 1},        {36, 6, 60, 0, 0, 1},
        {37, 6, 61, 0, 0, 1},         {38, 6, 62, 0, 0, 1},        {39, 6, 63, 0, 0, 1},
        {40, 6, 64, 0, 0, 1},         {41, 6, 65, 0, 0, 1},        {42, 6, 66, 0, 0, 1},
        {43, 6, 67, 0, 0, 1},         {45, 20, 58, 0xF000, 77, 0}, {70, 19, 72, 0x000F, 17, 0},
        {119, 19, 68, 0x000F, 51, 0}, {127, 2, 69, 0x00FF, 0, 25}, {128, 2, 69, 0xFF00, 0, 25},
        {131, 2, 70, 0x00FF, 0, 5},   {132, 2, 71, 0x00FF, 0, 5},  {133, 2, 70, 0xFF00, 0, 5},
        {129, 6, 26, 0, 0, 26},       {130, 6, 27, 0, 0, 27},      {599, 103, 379, 0x0800, 0, 0},
        {277, 99, 403, 0, 0, 0},      {615, 44, 165, 0, 0, 10},    {620, 44, 170, 0, 0, 10},
        {625, 44, 175, 0, 0, 10},
    };
    for (const ItemCase& c : cases) {
        SCOPED_TRACE(c.id);
        const MenuItem& item = menuItem(c.id);
        EXPECT_EQ(c.type, item.type);
        EXPECT_EQ(c.valueIndex, item.valueIndex);
        EXPECT_EQ(c.mask, item.mask);
        EXPECT_EQ(c.listId, item.listId);
        EXPECT_EQ(c.rangeIndex, item.rangeIndex);
        if (c.type == 47) {
            EXPECT_EQ(c.mask, item.parameter);
        }
    }
    for (int id = 615; id <= 625; ++id) EXPECT_EQ(165 + id - 615, menuItem(id).valueIndex);
}

struct PageCase {
    int page;
    int ownerItem;
    int ownerValue;
    std::vector<std::tuple<int, const char*, int>> entries;  // item, German label, link
};

TEST(MenuTablesTest, PagesWithTheirEntriesLabelsAndLinks) {
    const PageCase cases[] = {
        {1,
         0,
         0,
         {{1, "Eingang", 0},
          {32, "Backlight", 0},
          {33, "Farbe °K", 2},
          {119, "Skalierung", -1},
          {70, "Format", -1}}},
        {2,
         0,
         0,
         {{33, "Farbe °K", -1},
          {20, "Helligkeit", 3},
          {21, "Kontrast", 4},
          {34, "Gamma", 0},
          {45, "Gamut", -1},
          {23, "Sättigung", 0},
          {24, "SW", 0},
          {22, "Hue", 5}}},
        {3,
         0,
         0,
         {{20, "Helligkeit", 0},
          {41, "Rot Bias", 0},
          {42, "Grün Bias", 0},
          {43, "Blau Bias", 0},
          {28, "R", 0},
          {29, "G", 0},
          {30, "B", 0}}},
        {4,
         0,
         0,
         {{21, "Kontrast", 0},
          {38, "Rot Gain", 0},
          {39, "Grün Gain", 0},
          {40, "Blau Gain", 0},
          {24, "SW", 0},
          {27, "IN", 0}}},
        {5, 0, 0, {{28, "R", 0}, {29, "G", 0}, {30, "B", 0}, {24, "SW", 0}, {27, "IN", 0}}},
        {6, 0, 0, {}},
        {7,
         119,
         1,
         {{127, "Faktor Zoom 1", 0}, {131, "Zoom 1 X Position", 0}, {132, "Zoom 1 Y Position", 0}}},
        {8,
         119,
         2,
         {{128, "Faktor Zoom 2", 0}, {133, "Zoom 2 X Position", 0}, {133, "Zoom 2 X Position", 0}}},
        {9, 119, 6, {{129, "1:1 X Position", 0}, {130, "1:1 Y Position", 0}}},
        {10, 33, 1, {{33, "Farbe °K", -1}, {35, "°K Rot", 0}, {36, "°K Grün", 0}, {37, "°K Blau", 0}}},
        {11, 33, 72, {{33, "Farbe °K", -1}, {624, "", 0}, {625, "°K x", 0}}},
        {12,
         45,
         9,
         {{45, "Gamut", -1},
          {615, "Rot x", -2},
          {616, "Rot y", 0},
          {617, "Rot Y", 0},
          {599, "", 0},
          {618, "Grün x", 0},
          {619, "Grün y", 0},
          {620, "Grün Y", 0},
          {599, "", 0},
          {621, "Blau x", 0},
          {622, "Blau y", 0},
          {623, "Blau Y", 0},
          {599, "", 0}}},
    };
    for (const PageCase& c : cases) {
        SCOPED_TRACE("page " + std::to_string(c.page));
        const MenuPage& page = menuPage(c.page);
        ASSERT_NE(nullptr, page.entries);
        EXPECT_EQ(0, page.selected);
        EXPECT_EQ(c.ownerItem, page.ownerItem);
        EXPECT_EQ(c.ownerValue, page.ownerValue);
        const std::span<const PageEntry> entries = pageEntries(c.page);
        ASSERT_EQ(c.entries.size(), entries.size());
        EXPECT_EQ(0, page.entries[entries.size()].itemId) << "closing entry";
        for (std::size_t j = 0; j < entries.size(); ++j) {
            const auto& [item, label, link] = c.entries[j];
            EXPECT_EQ(item, entries[j].itemId) << j;
            EXPECT_EQ(label, german(itemLabel(item))) << j;
            EXPECT_EQ(link, entries[j].link) << j;
        }
    }
    EXPECT_EQ(nullptr, menuPage(0).entries);
    EXPECT_EQ(nullptr, menuPage(13).entries);
    EXPECT_TRUE(pageEntries(13).empty());
    EXPECT_EQ(nullptr, menuPage(14).entries) << "a page number beyond the table";
}

TEST(MenuTablesTest, LabelsInFourLanguagesAreWindows1252) {
    EXPECT_EQ("Helligkeit\tBrightness\tLuminositè\tBrillo", base::windows1252ToUtf8(itemLabel(20)));
    EXPECT_EQ("Farbe °K\tColor °K\tCouleur °K\tColor °K", base::windows1252ToUtf8(itemLabel(33)));
    EXPECT_EQ("Format", base::windows1252ToUtf8(itemLabel(70)));
    EXPECT_EQ("Letzte Kalibrierung", german(itemLabel(277)));
    // Every label has one part or all four.
    for (const char* label : kItemLabels) {
        const std::string text(label);
        const auto tabs = std::count(text.begin(), text.end(), '\t');
        EXPECT_TRUE(tabs == 0 || tabs == 3) << text;
    }
}

}  // namespace
}  // namespace hlx::preview
