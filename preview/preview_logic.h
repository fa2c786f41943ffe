#pragma once
// PreviewLogic: the behaviour of the OSD menu preview window, as state. It shows the entries of one menu
// page as tiles with the item's name and formatted value; a click selects a tile and opens the item's
// details (a slider for a numeric setting, choice tiles for a coded one, nothing for a bit toggle, which
// the click flips); a double click or a 200 ms press enters the page behind the entry with an 11-frame
// zoom transition on 25 ms ticks, and the back button leaves it the same way. Without a selection the
// detail area shows the information view (charts and three values, drawn by the window). Beside the tiles
// sits a list of cards that light up under the pointer.
//
// The logic edits only the setting values of its MenuData. Each event handler changes the Scene and then
// hands it to the view once; the internal operations (showPage, showDetails, ...) change the Scene
// without telling the view, for the handlers that use them and for tests.
//
// Threads: everything runs on the GUI thread, the two timers' ticks included.
// Ownership: the MenuData and the view belong to the caller and must outlive the logic.

#include <array>
#include <optional>
#include <string>

#include "preview/menu_data.h"
#include "preview/menu_tables.h"
#include "preview/nav_stack.h"
#include "preview/preview_scene.h"
#include "preview/tile_layout.h"

namespace hlx::preview {

class PreviewView {
public:
    virtual ~PreviewView() = default;
    // The scene after an event; the view shows it, and runs the long-press timer while
    // scene.longPressTimerRunning and the transition timer while scene.transitionRunning.
    virtual void showScene(const Scene& scene) = 0;
};

// One line of the information view: an item's label (first language) and its value text, UTF-8.
struct InfoLine {
    int itemId;
    std::string label;
    std::string value;
};

// The number of cards in the list beside the tiles.
inline constexpr int kCardCount = 7;
// The information view names these items: brightness, backlight, last calibration.
inline constexpr std::array<int, 3> kInfoItems = {20, 32, 277};

class PreviewLogic {
public:
    PreviewLogic(MenuData& data, PreviewView& view);

    // Event handlers. Codes and tags are those the tiles carry.
    // Menu data to its defaults, page 1 with the information view, the card list (the window is built).
    void start();
    // A click on an entry tile: a bit toggle flips; the tile shows selected and the item's details open.
    void selectTile(ItemCode code);
    // A double click on an entry tile: the zoom into the page behind the entry starts.
    void enterTilePage(ItemCode code);
    // A press on an entry tile starts the long-press timer; a release stops it.
    void pressTile(ItemCode code);
    void releaseTile();
    // The long-press timer ran out (200 ms held): as enterTilePage for the tile pressed.
    void longPressElapsed();
    // A tick of the transition timer (25 ms): the next frame of the zoom; the page changes after the last.
    void transitionTick();
    // The back arrow (btnZurueck): the zoom back to the page before, when there is one.
    void goBack();
    // A click on a choice tile: the entry's setting takes that choice.
    void chooseDetail(DetailTag tag);
    // The technician moved the slider to position (kept within its range).
    void moveDetailSlider(int position);
    // The pointer came over a card of the list, or left it.
    void highlightCard(int card);
    void clearCardHighlight(int card);

    // Internal operations.
    void showPage(ItemCode code);
    // code -1 shows the information view.
    void showDetails(ItemCode code);
    void refreshTile(ItemCode code);
    void setField(ItemCode code, int field);
    // One frame of the running transition; true once it has ended (the tick after the 11th frame).
    bool transitionStep(ItemCode code);
    void navigateInto(ItemCode code);
    void buildCardList(int count);

    const Scene& scene() const { return m_scene; }
    const NavStack& navStack() const { return m_nav; }
    const MenuData& data() const { return m_data; }
    int detailCount() const { return m_detailCount; }
    std::array<InfoLine, 3> infoLines() const;

private:
    std::optional<PageEntry> entryAt(ItemCode code) const;
    int itemAt(ItemCode code) const;
    void notify();
    void startTransition(ItemCode code);
    void enterPage(ItemCode from, int page);
    // The track bar: every change of its position runs the slider's change handler.
    void setSliderMinimum(int minimum);
    void setSliderMaximum(int maximum);
    void setSliderPosition(int position);
    void sliderChanged();
    void showSlider(int minimum, int maximum, int position, int itemId);
    void hideSlider();
    void hideChoiceTiles(std::size_t from);
    template <typename Rows, typename TextOf>
    void showChoiceTiles(const Rows& rows, TextOf textOf, int field, ItemCode code);

    MenuData& m_data;
    PreviewView& m_view;
    Scene m_scene;
    NavStack m_nav;
    int m_detailCount = 0;
    ItemCode m_detailsTag = 0;  // DetailsPanel's tag: the entry whose details are shown
    int m_step = 0;
    TransitionDirection m_direction = TransitionDirection::None;
    ItemCode m_longPressTag = 0;
    ItemCode m_transitionTag = 0;
    ItemCode m_backTag = 0;  // the entry the last transition zoomed from (the back arrow zooms out to it)
};

}  // namespace hlx::preview
