// The value store and the text buffers: what initMenuData puts in and leaves alone, and how pickLanguage
// chooses and copies the language part of a text.

#include "preview/menu_data.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace hlx::preview {
namespace {

void setLanguage(MenuData& data, int index) {
    data.settingValues[kLanguageValue] = static_cast<std::int16_t>(index << 12);
}

TEST(MenuDataTest, InitPutsInTheDefaultsAndTheGermanTexts) {
    MenuData data;
    initMenuData(data);
    EXPECT_EQ(13, data.settingValues[35]);
    EXPECT_EQ(0x5A5F, data.settingValues[69]);
    EXPECT_EQ(-1, data.settingValues[160]);
    EXPECT_EQ(6400, data.settingValues[165]);
    EXPECT_STREQ("Video 1", data.textBuffer(37));
    EXPECT_STREQ("Testbild", data.textBuffer(48));
    EXPECT_STREQ("MyGamut", data.textBuffer(57));
    EXPECT_STREQ("HLX1.0 Start", data.textBuffer(0));
    EXPECT_STREQ("", data.textBuffer(kMenuTextCount)) << "the end row has no buffer";
}

TEST(MenuDataTest, InitOverwritesEditedValuesButNotThoseWithoutDefault) {
    MenuData data;
    data.settingValues[35] = 7;
    data.settingValues[555] = 99;
    data.settingValues[556] = 1234;
    data.settingValues[573] = -4;
    initMenuData(data);
    EXPECT_EQ(13, data.settingValues[35]);
    EXPECT_EQ(0, data.settingValues[555]);
    EXPECT_EQ(1234, data.settingValues[556]);
    EXPECT_EQ(-4, data.settingValues[573]);
}

TEST(MenuDataTest, InitKeepsTheModelTextsAndCodes) {
    MenuData data;
    for (std::size_t row : {14, 15, 18, 32, 33, 34}) std::strcpy(data.textBuffers[row].data(), "kept");
    std::strcpy(data.textBuffers[17].data(), "replaced");
    initMenuData(data);
    for (std::size_t row : {14, 15, 18, 32, 33, 34}) EXPECT_STREQ("kept", data.textBuffer(row)) << row;
    EXPECT_STREQ("", data.textBuffer(17));
    EXPECT_STREQ("000000", data.textBuffer(19));
}

TEST(MenuDataTest, InitTakesTheLanguageOfTheStore) {
    MenuData data;
    initMenuData(data);
    setLanguage(data, 2);
    initMenuData(data);  // value 53 is reset to German before the texts are filled
    EXPECT_STREQ("Testbild", data.textBuffer(48));
    // Filling the texts alone with French chosen:
    setLanguage(data, 2);
    pickLanguage(data, data.textBuffers[48], kMenuTexts[48].defaultText, kMenuTexts[48].maxLength);
    EXPECT_STREQ("Image de Test", data.textBuffer(48));
}

struct PickCase {
    const char* name;
    int language;
    bool firstOnly;  // bit 15 of value 379
    const char* text;
    std::size_t maxLength;
    std::size_t startOffset;
    const char* copied;
};

class PickLanguageTest : public ::testing::TestWithParam<PickCase> {};

TEST_P(PickLanguageTest, ChoosesAndCopiesThePart) {
    const PickCase& c = GetParam();
    MenuData data;
    setLanguage(data, c.language);
    if (c.firstOnly) data.settingValues[kFirstLanguageValue] = static_cast<std::int16_t>(0x8000);
    std::array<char, 40> buffer;
    buffer.fill('#');
    const char* start = pickLanguage(data, buffer, c.text, c.maxLength);
    EXPECT_EQ(c.text + c.startOffset, start);
    EXPECT_STREQ(c.copied, buffer.data());
}

const PickCase kPickCases[] = {
    {"GermanIsTheFirstPart", 0, false, "Helligkeit\tBrightness\tLuminosit\xE8\tBrillo", 39, 0, "Helligkeit"},
    {"EnglishIsTheSecondPart", 1, false, "Helligkeit\tBrightness\tLuminosit\xE8\tBrillo", 39, 11,
     "Brightness"},
    {"FrenchIsTheThirdPart", 2, false, "Helligkeit\tBrightness\tLuminosit\xE8\tBrillo", 39, 22,
     "Luminosit\xE8"},
    {"SpanishIsTheLastPart", 3, false, "Helligkeit\tBrightness\tLuminosit\xE8\tBrillo", 39, 33, "Brillo"},
    {"OneTextServesEveryLanguage", 3, false, "Format", 39, 0, "Format"},
    {"TooFewTabsGiveTheStartAndStopAtTheTab", 2, false, "Eins\tOne", 39, 0, "Eins"},
    {"IndexBeyondTheFourLanguagesGivesTheStart", 7, false, "a\tb\tc\td", 39, 0, "a"},
    {"FirstLanguageBitWins", 2, true, "Helligkeit\tBrightness\tLuminosit\xE8\tBrillo", 39, 0, "Helligkeit"},
    {"CopyStopsAtMaxLength", 1, false, "Testbild\tTestimage\tImage de Test", 5, 9, "Testi"},
    {"MaxLengthZeroGivesAnEmptyText", 0, false, "Testbild", 0, 0, ""},
    {"EmptyPartBetweenTwoTabs", 1, false, "a\t\tc\td", 39, 2, ""},
    {"TextEndingInTheChosenTab", 1, false, "Nur\t", 39, 4, ""},
};

INSTANTIATE_TEST_SUITE_P(Texts, PickLanguageTest, ::testing::ValuesIn(kPickCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(MenuDataTest, PickLanguageWithoutBufferOnlyChooses) {
    MenuData data;
    setLanguage(data, 1);
    const char* text = "Kontrast\tContrast\tContraste\tContraste";
    EXPECT_EQ(text + 9, pickLanguage(data, {}, text, 39));
}

TEST(MenuDataTest, PickLanguageNeverWritesBeyondTheBuffer) {
    MenuData data;
    std::array<char, 8> storage;
    storage.fill('#');
    pickLanguage(data, std::span<char>(storage).first(4), "Testbild", 39);
    EXPECT_STREQ("Tes", storage.data());
    EXPECT_EQ('#', storage[4]);
}

}  // namespace
}  // namespace hlx::preview
