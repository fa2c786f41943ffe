#pragma once
// The preview form as plain state: every control the form's behaviour moves, colours, shows or fills,
// with the values the form's design gives them at the start. PreviewLogic changes a Scene; the Qt form
// (OsdPreviewWindow) shows it. Nothing here draws.
//
// Coordinates are pixels relative to the control's parent, as in the form's design: HeaderPanel,
// TestPanel, DetailsPanel and ScrollBox1 on the form; entry tiles and blinds on TestPanel; choice tiles,
// DetailLabel, DetailValue, DetailSlider and PaintBox1 on DetailsPanel; labels on their tile.
//
// Colours are 24-bit values with red in the low byte (0x000080 is dark red, 0xFF8080 light blue).

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace hlx::preview {

// Page number x 256 + the entry's index on that page: one entry of one page.
using ItemCode = int;
// Key of a choice x 65536 + the ItemCode of the entry whose setting the choice sets.
using DetailTag = std::uint32_t;

inline constexpr ItemCode itemCode(int page, int entry) {
    return page * 256 + entry;
}
inline constexpr int pageOf(ItemCode code) {
    return code / 256;
}
inline constexpr int entryOf(ItemCode code) {
    return code % 256;
}
inline constexpr DetailTag detailTag(int key, ItemCode code) {
    return static_cast<DetailTag>(key) * 65536u + static_cast<DetailTag>(code);
}

using Colour = std::uint32_t;
inline constexpr Colour kSelectedColour = 0x000080;
inline constexpr Colour kTileColour = 0x808080;
inline constexpr Colour kWhite = 0xFFFFFF;
inline constexpr Colour kBlack = 0x000000;
inline constexpr Colour kCardHighlightColour = 0xFF8080;
inline constexpr Colour kHeaderColour = 0x000080;
inline constexpr Colour kFormColour = 0x202020;

inline constexpr std::size_t kEntryTileCount = 20;
inline constexpr std::size_t kChoiceTileCount = 100;
inline constexpr std::size_t kBlindCount = 4;

struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

enum class Alignment { Left, Centre, Right };

// A label in white Segoe UI. Font heights are pixels, negative for the character height without
// internal leading. An auto-sized label is as wide and high as its text; otherwise it has the width
// given and the height of one line of its font.
struct LabelState {
    std::string text;  // UTF-8, as shown
    bool visible = true;
    int left = 0;
    int top = 0;
    int width = 0;
    int fontHeight = -11;
    Alignment alignment = Alignment::Left;
    bool autoSize = true;
    friend bool operator==(const LabelState&, const LabelState&) = default;
};

// A panel with no bevels, no border and no caption.
struct TileState {
    Rect rect;
    Colour colour = kTileColour;
    bool visible = false;
    friend bool operator==(const TileState&, const TileState&) = default;
};

struct EntryTile {
    TileState panel;
    ItemCode tag = 0;
    LabelState name;
    LabelState value;
    LabelState more;  // "mehr": the entry opens another page
    friend bool operator==(const EntryTile&, const EntryTile&) = default;
};

struct ChoiceTile {
    TileState panel;
    DetailTag tag = 0;
    LabelState label;
    friend bool operator==(const ChoiceTile&, const ChoiceTile&) = default;
};

// A track bar: its position always lies within minimum .. maximum.
struct SliderState {
    bool visible = true;
    int minimum = 0;
    int maximum = 10;
    int position = 0;
    friend bool operator==(const SliderState&, const SliderState&) = default;
};

struct BlindState {
    Rect rect;
    bool visible = false;
    friend bool operator==(const BlindState&, const BlindState&) = default;
};

// One card of the list beside the tiles.
struct CardState {
    Rect panel;
    Rect shape;
    std::string sizeText;  // the screen size, for example 20" (font height -40)
    std::string serialText;
    std::string userText;
    std::string addressText;
    bool highlighted = false;  // the pointer is over the card: shape and edits light blue
    friend bool operator==(const CardState&, const CardState&) = default;
};

// Where a card's parts sit on it (parent: the card panel).
struct CardPart {
    int top;
    int left;
    int width;
    int height;
};
inline constexpr CardPart kCardSizeLabel{1, 0, 70, 70};
inline constexpr CardPart kCardSerialLabel{1, 70, 80, 12};
inline constexpr CardPart kCardUserLabel{1, 150, 80, 12};
inline constexpr CardPart kCardAddressLabel{14, 70, 80, 12};
inline constexpr CardPart kCardRoomEdit{42, 70, 60, 12};
inline constexpr CardPart kCardGroupEdit{42, 135, 60, 12};
inline constexpr const char* kCardRoomText = "ROOM";
inline constexpr const char* kCardGroupText = "GROUP";

struct Scene {
    Rect headerPanel{152, 473, 713, 73};
    Rect testPanel{153, 541, 713, 200};
    Rect detailsPanel{152, 741, 713, 73};
    Rect scrollBox{975, 441, 293, 402};
    // On HeaderPanel.
    int backButtonLeft = 588;  // btnZurueck, top 15
    bool backButtonVisible = true;
    int exitButtonLeft = 642;  // btnExit, top 9

    std::array<EntryTile, kEntryTileCount> entryTiles{};
    std::array<ChoiceTile, kChoiceTileCount> choiceTiles{};
    LabelState detailLabel{"", true, 1, 0, 0, -16, Alignment::Left, true};
    LabelState detailValue{"", true, 49, 12, 0, -32, Alignment::Left, true};
    SliderState detailSlider{};  // at 225, 24; 177 x 45
    Rect paintBox1{16, 14, 689, 49};
    bool paintBox1Visible = true;
    std::array<BlindState, kBlindCount> blinds{};  // Blind1Panel .. Blind4Panel, black, in front of the tiles
    std::vector<CardState> cards;

    bool timer1Enabled = false;      // the long-press timer (200 ms)
    bool transitionRunning = false;  // Timer2 ticks (25 ms) are needed
    friend bool operator==(const Scene&, const Scene&) = default;
};

inline constexpr int kLongPressMs = 200;
inline constexpr int kTransitionTickMs = 25;

}  // namespace hlx::preview
