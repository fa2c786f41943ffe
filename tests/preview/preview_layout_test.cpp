// The preview's geometry and label styles: how many big tiles a page gets, where small and choice tiles
// go, the frames of the zoom transition, the stack of entered pages, and the text and style of a label.

#include <string>

#include <gtest/gtest.h>

#include "preview/label_style.h"
#include "preview/nav_stack.h"
#include "preview/tile_layout.h"

namespace hlx::preview {
namespace {

TEST(TileLayoutTest, BigTilesByNumberOfEntries) {
    const std::pair<int, int> cases[] = {{0, 5},  {1, 5},  {5, 5},  {6, 4},  {8, 4}, {9, 3},
                                         {12, 3}, {13, 2}, {16, 2}, {17, 1}, {20, 1}};
    for (const auto& [entries, big] : cases) EXPECT_EQ(big, bigTileCount(entries)) << entries << " entries";
}

TEST(TileLayoutTest, SmallTilesFillTwoByTwoBlocksRightOfTheBigOnes) {
    // Page 12: one big tile, twelve small ones.
    const Rect expected[] = {
        {200, 20, 70, 70}, {290, 20, 70, 70}, {200, 110, 70, 70}, {290, 110, 70, 70},
        {380, 20, 70, 70}, {470, 20, 70, 70}, {380, 110, 70, 70}, {470, 110, 70, 70},
        {560, 20, 70, 70}, {650, 20, 70, 70}, {560, 110, 70, 70}, {650, 110, 70, 70},
    };
    for (int k = 0; k < 12; ++k) EXPECT_EQ(expected[k], smallTileRect(1, k)) << "small tile " << k;
    EXPECT_EQ((Rect{740, 110, 70, 70}), smallTileRect(4, 2));
    EXPECT_EQ((Rect{740, 20, 160, 160}), bigTileRect(4));
}

TEST(TileLayoutTest, ChoiceTilesTenToARow) {
    EXPECT_EQ((Rect{20, 20, 70, 70}), choiceTileRect(0));
    EXPECT_EQ((Rect{830, 20, 70, 70}), choiceTileRect(9));
    EXPECT_EQ((Rect{20, 110, 70, 70}), choiceTileRect(10));
    EXPECT_EQ((Rect{560, 200, 70, 70}), choiceTileRect(26)) << "the third row starts at the panel's edge";
}

struct FrameCase {
    const char* name;
    Rect tile;
    int step;
    TransitionDirection direction;
    Rect frame;
};

class TransitionFrameTest : public ::testing::TestWithParam<FrameCase> {};

TEST_P(TransitionFrameTest, MixesTileAndPanel) {
    const FrameCase& c = GetParam();
    EXPECT_EQ(c.frame, transitionFrame(c.tile, 920, 200, c.step, c.direction));
}

constexpr Rect kThirdBigTile{380, 20, 160, 160};
constexpr Rect kSmallTile{830, 110, 70, 70};

const FrameCase kFrameCases[] = {
    {"EnterStartsAtTheTile", kThirdBigTile, 1, TransitionDirection::Enter, kThirdBigTile},
    {"EnterHalfWay", kThirdBigTile, 6, TransitionDirection::Enter, {190, 10, 80 + 460, 80 + 100}},
    {"EnterEndsOnThePanel", kThirdBigTile, 11, TransitionDirection::Enter, {0, 0, 920, 200}},
    {"EnterSecondFrame", kSmallTile, 2, TransitionDirection::Enter, {747, 99, 63 + 92, 63 + 20}},
    {"BackStartsOnThePanel", kThirdBigTile, 1, TransitionDirection::Back, {0, 0, 920, 200}},
    {"BackSecondFrame", kSmallTile, 2, TransitionDirection::Back, {83, 11, 7 + 828, 7 + 180}},
    {"BackEndsAtTheTile", kSmallTile, 11, TransitionDirection::Back, kSmallTile},
};

INSTANTIATE_TEST_SUITE_P(Frames, TransitionFrameTest, ::testing::ValuesIn(kFrameCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TileLayoutTest, BackStripsSurroundTheFrame) {
    const std::array<Rect, 4> strips = backStrips({83, 11, 835, 187}, 920, 200);
    EXPECT_EQ((Rect{0, 0, 83, 200}), strips[0]) << "left";
    EXPECT_EQ((Rect{83, 0, 835, 11}), strips[1]) << "above";
    EXPECT_EQ((Rect{83, 198, 835, 2}), strips[2]) << "below";
    EXPECT_EQ((Rect{918, 0, 2, 200}), strips[3]) << "right";
}

TEST(NavStackTest, PushRecordsTheWayAndRefusesBeyondForty) {
    NavStack stack;
    stack.reset(256);
    EXPECT_TRUE(stack.push(258, 512));
    EXPECT_EQ(1, stack.depth());
    EXPECT_EQ(258, stack.at(0));
    EXPECT_EQ(512, stack.current());
    while (stack.depth() < NavStack::kCapacity - 1) ASSERT_TRUE(stack.push(stack.current(), 768));
    EXPECT_FALSE(stack.push(777, 1024));
    EXPECT_EQ(NavStack::kCapacity - 1, stack.depth());
    EXPECT_EQ(768, stack.current()) << "a refused push changes nothing";
    while (stack.pop()) {
    }
    EXPECT_EQ(0, stack.depth());
    EXPECT_EQ(258, stack.current());
}

TEST(LabelStyleTest, TextIsTheFirstLanguageInUpperCase) {
    const std::pair<const char*, const char*> cases[] = {
        {"Helligkeit\tBrightness\tLuminosit\xE8\tBrillo", "HELLIGKEIT"},
        {"S\xE4ttigung\tSaturation", "SÄTTIGUNG"},
        {"Farbe \xB0K\tColor \xB0K", "FARBE °K"},
        {"mehr", "MEHR"},
        {"Stra\xDF"
         "e \xB5m",
         "STRAßE µM"},
        {"\xE8\xF7\xFF\x9A\x9C\x9E", "È÷ŸŠŒŽ"},
        {"zwei\nZeilen", "ZWEI"},
        {"", ""},
    };
    for (const auto& [text, shown] : cases) EXPECT_EQ(shown, labelText(text)) << text;
    EXPECT_EQ("Letzte Kalibrierung", firstLanguage("Letzte Kalibrierung\tLast Calibration"));
}

TEST(LabelStyleTest, StylesPlaceAndSizeTheLabel) {
    const LabelState start{"", true, 7, 9, 33, -11, Alignment::Left, true};
    struct Case {
        LabelStyle style;
        LabelState expected;
    } cases[] = {
        {LabelStyle::Keep, {"X", true, 7, 9, 33, -11, Alignment::Left, true}},
        {LabelStyle::Name, {"X", true, 7, 0, 33, -16, Alignment::Left, true}},
        {LabelStyle::BigValue, {"X", true, 0, 50, 160, -32, Alignment::Centre, false}},
        {LabelStyle::BigMore, {"X", true, 120, 140, 33, -12, Alignment::Right, true}},
        {LabelStyle::SmallValue, {"X", true, 0, 28, 70, -12, Alignment::Centre, false}},
        {LabelStyle::SmallMore, {"X", true, 45, 55, 33, -10, Alignment::Right, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.style));
        LabelState label = start;
        setLabel(label, "x", c.style);
        EXPECT_EQ(c.expected, label);
    }
}

}  // namespace
}  // namespace hlx::preview
