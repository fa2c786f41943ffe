// The preview form's behaviour without Qt: what the technician sees after start-up, a click, a double
// click, a long press, the back button and the transition ticks, and what each does to the settings.

#include "preview/preview_logic.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace hlx::preview {
namespace {

class RecordingView : public PreviewView {
public:
    void showScene(const Scene& scene) override {
        ++shown;
        last = scene;
    }
    int shown = 0;
    Scene last;
};

class PreviewLogicTest : public ::testing::Test {
protected:
    PreviewLogicTest() { logic.openMenu(); }

    const Scene& scene() const { return logic.scene(); }
    const EntryTile& tile(int j) const { return scene().entryTiles[static_cast<std::size_t>(j)]; }
    const ChoiceTile& choice(int i) const { return scene().choiceTiles[static_cast<std::size_t>(i)]; }
    std::int16_t value(std::size_t index) const { return data.settingValues[index]; }

    std::vector<std::string> visibleTileNames() const {
        std::vector<std::string> names;
        for (const EntryTile& t : scene().entryTiles)
            if (t.panel.visible) names.push_back(t.name.text);
        return names;
    }
    std::vector<std::string> visibleChoiceTexts() const {
        std::vector<std::string> texts;
        for (const ChoiceTile& t : scene().choiceTiles)
            if (t.panel.visible) texts.push_back(t.label.text);
        return texts;
    }
    // Runs the transition timer until the transition has ended; the number of ticks it took.
    int runTransition() {
        int ticks = 0;
        while (scene().transitionRunning && ticks < 100) {
            logic.stepTransition();
            ++ticks;
        }
        return ticks;
    }
    void enter(ItemCode code) {
        logic.enterTile(code);
        runTransition();
    }
    void setField(std::size_t valueIndex, std::uint16_t mask, int field) {
        const int shift = std::countr_zero(mask);
        data.settingValues[valueIndex] = static_cast<std::int16_t>(
            ((field << shift) & mask) | (static_cast<std::uint16_t>(data.settingValues[valueIndex]) & ~mask));
    }

    MenuData data;
    RecordingView view;
    PreviewLogic logic{data, view};
};

TEST_F(PreviewLogicTest, StartShowsPageOneWithTheInformationView) {
    EXPECT_EQ(13, value(35)) << "the defaults are in";
    EXPECT_EQ((std::vector<std::string>{"EINGANG", "BACKLIGHT", "FARBE °K", "SKALIERUNG", "FORMAT"}),
              visibleTileNames());
    const int lefts[] = {20, 200, 380, 560, 740};
    for (int j = 0; j < 5; ++j) {
        SCOPED_TRACE(j);
        EXPECT_EQ((Rect{lefts[j], 20, 160, 160}), tile(j).panel.rect);
        EXPECT_EQ(j == 0 ? kSelectedColour : kTileColour, tile(j).panel.colour);
        EXPECT_EQ(itemCode(1, j), tile(j).tag);
        EXPECT_EQ(j >= 2, tile(j).more.visible);
    }
    EXPECT_EQ("TESTBILD", tile(0).value.text);
    EXPECT_EQ("  15", tile(1).value.text);
    EXPECT_EQ("NATIV", tile(2).value.text);
    EXPECT_EQ("NORMAL", tile(3).value.text);
    EXPECT_EQ("AUTO", tile(4).value.text);
    EXPECT_EQ("MEHR", tile(2).more.text);
    EXPECT_EQ((LabelState{"MEHR", true, 120, 140, 0, -12, Alignment::Right, true}), tile(4).more);
    EXPECT_EQ((LabelState{"TESTBILD", true, 0, 50, 160, -32, Alignment::Centre, false}), tile(0).value);

    EXPECT_FALSE(scene().backButtonVisible);
    EXPECT_EQ(810, scene().backButtonLeft);
    EXPECT_EQ(860, scene().exitButtonLeft);
    EXPECT_EQ((Rect{153, 541, 920, 200}), scene().testPanel);
    EXPECT_EQ(920, scene().headerPanel.width);
    // Information view.
    EXPECT_EQ((Rect{152, 741, 920, 200}), scene().detailsPanel);
    EXPECT_TRUE(scene().paintBox1Visible);
    EXPECT_EQ((Rect{0, 0, 920, 200}), scene().paintBox1);
    EXPECT_FALSE(scene().detailLabel.visible);
    EXPECT_FALSE(scene().detailValue.visible);
    EXPECT_FALSE(scene().detailSlider.visible);
    EXPECT_TRUE(visibleChoiceTexts().empty());
    EXPECT_EQ(0, logic.navStack().depth());
    EXPECT_EQ(256, logic.navStack().current());
    EXPECT_EQ(1, view.shown);
    EXPECT_EQ(scene(), view.last);
}

TEST_F(PreviewLogicTest, InformationViewNamesBrightnessBacklightAndCalibration) {
    const std::array<InfoLine, 3> lines = logic.infoLines();
    EXPECT_EQ("Helligkeit", lines[0].label);
    EXPECT_EQ("   0", lines[0].value);
    EXPECT_EQ("Backlight", lines[1].label);
    EXPECT_EQ("  15", lines[1].value);
    EXPECT_EQ("Letzte Kalibrierung", lines[2].label);
    EXPECT_EQ(" 0.00.2000", lines[2].value);
}

TEST_F(PreviewLogicTest, CardListBesideTheTiles) {
    EXPECT_EQ((Rect{152 + 920, 473, 293, 73 + 200 + 200}), scene().scrollBox);
    ASSERT_EQ(7u, scene().cards.size());
    const CardState& third = scene().cards[2];
    EXPECT_EQ((Rect{5, 165, 273, 75}), third.panel);
    EXPECT_EQ((Rect{0, 0, 263, 75}), third.shape);
    EXPECT_EQ("20\"", third.sizeText);
    EXPECT_EQ("SN1000002", third.serialText);
    logic.highlightCard(2);
    EXPECT_TRUE(scene().cards[2].highlighted);
    EXPECT_FALSE(scene().cards[1].highlighted);
    logic.unhighlightCard(2);
    EXPECT_FALSE(scene().cards[2].highlighted);
    logic.highlightCard(7);  // no such card
    EXPECT_EQ(view.last, scene());
}

TEST_F(PreviewLogicTest, PageTwoHasFourBigAndFourSmallTiles) {
    logic.showPage(itemCode(2, 0));
    EXPECT_EQ((std::vector<std::string>{"FARBE °K", "HELLIGKEIT", "KONTRAST", "GAMMA", "GAMUT", "SÄTTIGUNG",
                                        "SW", "HUE"}),
              visibleTileNames());
    for (int j = 0; j < 4; ++j) EXPECT_EQ((Rect{20 + 180 * j, 20, 160, 160}), tile(j).panel.rect);
    EXPECT_EQ((Rect{740, 20, 70, 70}), tile(4).panel.rect);
    EXPECT_EQ((Rect{830, 20, 70, 70}), tile(5).panel.rect);
    EXPECT_EQ((Rect{740, 110, 70, 70}), tile(6).panel.rect);
    EXPECT_EQ((Rect{830, 110, 70, 70}), tile(7).panel.rect);
    // Small tiles carry the small styles; Hue opens page 5.
    EXPECT_EQ((LabelState{"0", true, 0, 28, 70, -12, Alignment::Centre, false}), tile(6).value);
    EXPECT_EQ((LabelState{"MEHR", true, 45, 55, 0, -10, Alignment::Right, true}), tile(7).more);
    EXPECT_TRUE(tile(4).more.visible);
    EXPECT_FALSE(tile(5).more.visible);
    EXPECT_FALSE(tile(8).panel.visible);
}

TEST_F(PreviewLogicTest, PageTwelveHasOneBigTileAndThreeBlocksOfSmallOnes) {
    logic.showPage(itemCode(12, 0));
    EXPECT_EQ((Rect{20, 20, 160, 160}), tile(0).panel.rect);
    for (int j = 1; j <= 12; ++j) {
        SCOPED_TRACE(j);
        EXPECT_TRUE(tile(j).panel.visible);
        EXPECT_EQ(smallTileRect(1, j - 1), tile(j).panel.rect);
    }
    EXPECT_EQ((Rect{650, 110, 70, 70}), tile(12).panel.rect);
    EXPECT_FALSE(tile(13).panel.visible);
    EXPECT_EQ("ROT X", tile(1).name.text);
    EXPECT_EQ("0.6400", tile(1).value.text);
    EXPECT_EQ("", tile(4).value.text) << "the spacer item shows nothing";
}

TEST_F(PreviewLogicTest, ClickOnABitToggleFlipsItsBitAndShowsNoDetails) {
    logic.showPage(itemCode(2, 0));
    const ItemCode sw = itemCode(2, 6);
    logic.selectTile(sw);
    EXPECT_EQ(0x0F00, value(36));
    EXPECT_EQ("1", tile(6).value.text);
    EXPECT_EQ(kSelectedColour, tile(6).panel.colour);
    EXPECT_EQ(kTileColour, tile(0).panel.colour);
    EXPECT_EQ(0, scene().detailsPanel.height);
    EXPECT_FALSE(scene().paintBox1Visible);
    logic.selectTile(sw);
    EXPECT_EQ(0x0700, value(36));
    EXPECT_EQ("0", tile(6).value.text);
}

TEST_F(PreviewLogicTest, ClickOnBacklightShowsItsSlider) {
    logic.selectTile(itemCode(1, 1));
    EXPECT_EQ((SliderState{true, 0, 255, 15}), scene().detailSlider);
    EXPECT_TRUE(scene().detailValue.visible);
    EXPECT_EQ("  15", scene().detailValue.text);
    EXPECT_EQ(80, scene().detailsPanel.height);
    EXPECT_EQ(15, value(77));
    EXPECT_EQ(kSelectedColour, tile(1).panel.colour);
    EXPECT_EQ(kTileColour, tile(0).panel.colour);
    EXPECT_FALSE(scene().paintBox1Visible);
    EXPECT_TRUE(visibleChoiceTexts().empty());

    logic.moveDetailSlider(200);
    EXPECT_EQ(200, value(77));
    EXPECT_EQ(" 200", scene().detailValue.text);
    EXPECT_EQ(" 200", tile(1).value.text);
    logic.moveDetailSlider(999);
    EXPECT_EQ(255, value(77)) << "the slider keeps within its range";
}

TEST_F(PreviewLogicTest, BacklightLimitFollowsValue358) {
    data.settingValues[358] = 100;
    data.settingValues[77] = 300;
    logic.selectTile(itemCode(1, 1));
    EXPECT_EQ((SliderState{true, 0, 100, 100}), scene().detailSlider);
    EXPECT_EQ(100, value(77)) << "a setting outside its range is pulled into it";
}

TEST_F(PreviewLogicTest, ClickOnInputShowsTwentyChoiceTiles) {
    logic.selectTile(itemCode(1, 0));
    EXPECT_EQ((std::vector<std::string>{"VGA1", "VGA2", "FBAS1", "FBAS2", "FBAS3", "Y/C",  "YCRCB",
                                        "DVI1", "DVI2", "DVI3",  "DVI4",  "DVI5",  "DVI6", "DVI7",
                                        "DVI8", "HD1",  "HD2",   "HD3",   "HD4",   "TBG"}),
              visibleChoiceTexts());
    for (int i = 0; i < 20; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(choiceTileRect(i), choice(i).panel.rect);
        EXPECT_EQ(i == 19 ? kSelectedColour : kTileColour, choice(i).panel.colour);
    }
    EXPECT_EQ(detailTag(7, itemCode(1, 0)), choice(7).tag);
    EXPECT_EQ(200, scene().detailsPanel.height);
    EXPECT_EQ(20, logic.detailCount());
    EXPECT_FALSE(scene().detailSlider.visible);

    logic.chooseDetail(choice(7).tag);
    EXPECT_EQ(7, value(35) & 0xFF);
    EXPECT_EQ("DVI 1", tile(0).value.text);
    EXPECT_EQ(kSelectedColour, choice(7).panel.colour);
    EXPECT_EQ(kTileColour, choice(19).panel.colour);
}

TEST_F(PreviewLogicTest, ChoiceOnAnotherFieldOfTheSameValueKeepsTheOtherBits) {
    logic.showPage(itemCode(2, 0));
    setField(58, 0x007F, 36);          // colour temperature 6504
    logic.selectTile(itemCode(2, 4));  // gamut
    EXPECT_EQ(10u, visibleChoiceTexts().size());
    EXPECT_EQ(110, scene().detailsPanel.height) << "one row of tiles";
    EXPECT_EQ("USER", visibleChoiceTexts().back()) << "the fixed text, not the name in the texts";
    logic.chooseDetail(choice(9).tag);
    EXPECT_EQ(static_cast<std::int16_t>(0x9000 | 36), value(58));
    EXPECT_EQ("MYGAMUT", tile(4).value.text);
}

TEST_F(PreviewLogicTest, ColourTemperatureHasTooManyChoicesForTiles) {
    logic.selectTile(itemCode(1, 2));
    EXPECT_EQ((SliderState{true, 0, 72, 0}), scene().detailSlider);
    EXPECT_TRUE(visibleChoiceTexts().empty());
    EXPECT_EQ(80, scene().detailsPanel.height);
    EXPECT_EQ("NATIV", scene().detailValue.text);
    logic.moveDetailSlider(36);
    EXPECT_EQ(36, value(58) & 0x7F);
    EXPECT_EQ("6504 °K", tile(2).value.text);
}

TEST_F(PreviewLogicTest, ChoiceListsShowTheirEntriesAsTiles) {
    logic.selectTile(itemCode(1, 4));  // format
    EXPECT_EQ((std::vector<std::string>{"AUTO", "4:3", "14:9", "16:9", "21:9", "VOLLBILD", "USER"}),
              visibleChoiceTexts());
    EXPECT_EQ(kSelectedColour, choice(0).panel.colour);
    logic.chooseDetail(choice(4).tag);
    EXPECT_EQ(8, value(72) & 0x0F);
    EXPECT_EQ("21:9", tile(4).value.text);

    logic.showPage(itemCode(2, 0));
    logic.selectTile(itemCode(2, 3));  // gamma: 27 entries, the third row below the panel's edge
    EXPECT_EQ(27u, visibleChoiceTexts().size());
    EXPECT_EQ(200, scene().detailsPanel.height);
    EXPECT_EQ(200, choice(26).panel.rect.top);
    EXPECT_FALSE(choice(27).panel.visible);
}

TEST_F(PreviewLogicTest, NegativeBrightnessIsShownAndKept) {
    logic.showPage(itemCode(2, 0));
    data.settingValues[54] = -100;
    logic.selectTile(itemCode(2, 1));
    EXPECT_EQ((SliderState{true, -512, 511, -100}), scene().detailSlider);
    EXPECT_EQ(-100, value(54));
    EXPECT_EQ("-100", scene().detailValue.text);
}

TEST_F(PreviewLogicTest, ValueWithoutRangeShowsNothing) {
    enter(itemCode(1, 3));  // no page for "normal" scaling
    setField(68, 0x000F, 6);
    enter(itemCode(1, 3));
    ASSERT_EQ(9 * 256, logic.navStack().current());
    logic.selectTile(itemCode(9, 0));  // 1:1 position: range 0 .. 0
    EXPECT_FALSE(scene().detailSlider.visible);
    EXPECT_EQ(0, scene().detailsPanel.height);
}

TEST_F(PreviewLogicTest, DoubleClickZoomsIntoPageTwoAndBackZoomsOut) {
    const ItemCode colour = itemCode(1, 2);
    logic.enterTile(colour);
    EXPECT_TRUE(scene().transitionRunning);
    logic.stepTransition();
    EXPECT_EQ((BlindState{{380, 20, 160, 160}, true}), scene().blinds[0]);
    EXPECT_FALSE(scene().blinds[1].visible);
    for (int frame = 2; frame <= 10; ++frame) logic.stepTransition();
    EXPECT_EQ(5u, visibleTileNames().size()) << "page 1 stays until the end";
    logic.stepTransition();
    EXPECT_EQ((BlindState{{0, 0, 920, 200}, true}), scene().blinds[0]) << "the 11th frame covers the panel";
    EXPECT_TRUE(scene().transitionRunning);
    logic.stepTransition();  // the 12th tick ends it
    EXPECT_FALSE(scene().transitionRunning);
    EXPECT_FALSE(scene().blinds[0].visible);
    EXPECT_EQ(8u, visibleTileNames().size());
    EXPECT_EQ("FARBE °K", tile(0).name.text);
    EXPECT_TRUE(scene().backButtonVisible);
    EXPECT_EQ(1, logic.navStack().depth());
    EXPECT_EQ(colour, logic.navStack().at(0));
    EXPECT_EQ(512, logic.navStack().current());

    logic.goBack();
    logic.stepTransition();
    for (const BlindState& blind : scene().blinds) EXPECT_TRUE(blind.visible);
    EXPECT_EQ(0, scene().blinds[0].rect.width) << "the first frame leaves the whole panel open";
    logic.stepTransition();
    EXPECT_EQ((Rect{0, 0, 38, 200}), scene().blinds[0].rect);
    EXPECT_EQ((Rect{38, 0, 844, 2}), scene().blinds[1].rect);
    EXPECT_EQ(10, runTransition()) << "twelve ticks in all";
    EXPECT_EQ(5u, visibleTileNames().size());
    EXPECT_FALSE(scene().backButtonVisible);
    EXPECT_EQ(kSelectedColour, tile(2).panel.colour) << "the entry entered through is selected";
    EXPECT_EQ(kTileColour, tile(0).panel.colour);
}

TEST_F(PreviewLogicTest, BackAtTheTopDoesNothing) {
    const Scene before = scene();
    logic.goBack();
    EXPECT_FALSE(scene().transitionRunning);
    EXPECT_EQ(before, scene());
    EXPECT_EQ(0, logic.navStack().depth());
}

TEST_F(PreviewLogicTest, ScalingEntersTheDetailPageOfItsSetting) {
    struct Case {
        int scaling;
        int page;  // 1: nothing entered
    } cases[] = {{0, 1}, {1, 7}, {2, 8}, {6, 9}, {3, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scaling);
        logic.openMenu();
        setField(68, 0x000F, c.scaling);
        EXPECT_EQ(12, [&] {
            logic.enterTile(itemCode(1, 3));
            return runTransition();
        }());
        EXPECT_EQ(c.page, pageOf(logic.navStack().current()));
        EXPECT_EQ(c.page == 1 ? 0 : 1, logic.navStack().depth());
        EXPECT_EQ(c.page != 1, scene().backButtonVisible);
    }
}

TEST_F(PreviewLogicTest, UserGamutLeadsToThePrimariesPage) {
    enter(itemCode(1, 2));
    logic.selectTile(itemCode(2, 4));
    logic.chooseDetail(choice(9).tag);  // user gamut
    enter(itemCode(2, 4));
    EXPECT_EQ(12 * 256, logic.navStack().current());
    EXPECT_EQ(2, logic.navStack().depth());
    // On page 12 the gamut entry names its own page: entering it again changes nothing.
    enter(itemCode(12, 0));
    EXPECT_EQ(12 * 256, logic.navStack().current());
    EXPECT_EQ(2, logic.navStack().depth());
    logic.goBack();
    runTransition();
    logic.goBack();
    runTransition();
    EXPECT_EQ(itemCode(1, 2), logic.navStack().current());
}

TEST_F(PreviewLogicTest, LongPressEntersLikeADoubleClick) {
    logic.pressTile(itemCode(1, 2));
    EXPECT_TRUE(view.last.timer1Enabled);
    logic.releaseTile();
    EXPECT_FALSE(view.last.timer1Enabled);
    EXPECT_FALSE(scene().transitionRunning) << "a short press enters nothing";

    logic.pressTile(itemCode(1, 2));
    logic.enterHeldTile();
    EXPECT_FALSE(scene().timer1Enabled);
    EXPECT_TRUE(view.last.transitionRunning);
    runTransition();
    EXPECT_EQ(512, logic.navStack().current());
}

TEST_F(PreviewLogicTest, DoubleClickDuringATransitionRestartsIt) {
    logic.enterTile(itemCode(1, 0));
    for (int i = 0; i < 5; ++i) logic.stepTransition();
    logic.enterTile(itemCode(1, 2));
    logic.stepTransition();
    EXPECT_EQ((Rect{380, 20, 160, 160}), scene().blinds[0].rect) << "from the first frame of the new tile";
    EXPECT_EQ(11, runTransition());
    EXPECT_EQ(512, logic.navStack().current());
}

TEST_F(PreviewLogicTest, SliderOfAPercentItem) {
    setField(68, 0x000F, 1);
    enter(itemCode(1, 3));
    logic.selectTile(itemCode(7, 0));  // zoom 1 factor: 20 .. 100
    EXPECT_EQ((SliderState{true, 20, 100, 95}), scene().detailSlider);
    EXPECT_EQ("95 %", scene().detailValue.text);
    logic.moveDetailSlider(40);
    EXPECT_EQ(static_cast<std::int16_t>(0x5A28), value(69)) << "the other zoom factor stays";
    EXPECT_EQ("40 %", tile(0).value.text);
}

}  // namespace
}  // namespace hlx::preview
