#include "preview/preview_logic.h"

#include <algorithm>
#include <bit>

#include "base/text_codec.h"
#include "preview/label_style.h"
#include "preview/value_format.h"

namespace hlx::preview {
namespace {

constexpr int kShownWidth = 920;  // TestPanel and HeaderPanel once a page is shown
constexpr int kShownHeight = 200;
constexpr int kExitButtonLeft = 860;
constexpr int kBackButtonLeft = 810;
constexpr int kSliderHeight = 80;   // DetailsPanel with a slider
constexpr int kOneRowHeight = 110;  // DetailsPanel with up to ten choice tiles
constexpr int kTwoRowHeight = 200;
constexpr int kInfoHeight = 200;
constexpr std::size_t kMostChoicesAsTiles = 20;  // a named list beyond this gets a slider
constexpr int kCardPitch = 80;
constexpr int kCardHeight = 75;
constexpr const char* kMore = "mehr";

}  // namespace

PreviewLogic::PreviewLogic(MenuData& data, PreviewView& view) : m_data(data), m_view(view) {}

void PreviewLogic::notify() {
    m_scene.transitionRunning = m_direction != TransitionDirection::None;
    m_view.showScene(m_scene);
}

std::optional<PageEntry> PreviewLogic::entryAt(ItemCode code) const {
    if (code < 0) return std::nullopt;
    const std::span<const PageEntry> entries = pageEntries(pageOf(code));
    const auto index = static_cast<std::size_t>(entryOf(code));
    if (index >= entries.size()) return std::nullopt;
    return entries[index];
}

int PreviewLogic::itemAt(ItemCode code) const {
    const std::optional<PageEntry> entry = entryAt(code);
    return entry ? entry->itemId : 0;
}

// ---- event handlers ----

void PreviewLogic::openMenu() {
    initMenuData(m_data);
    const ItemCode start = itemCode(1, menuPage(1).selected);
    m_nav.reset(start);
    showPage(start);
    showDetails(-1);
    buildCardList(kCardCount);
    notify();
}

void PreviewLogic::selectTile(ItemCode code) {
    const MenuItem& item = menuItem(itemAt(code));
    if (item.type == item_type::kBitToggle) {
        std::int16_t& value = m_data.settingValues[item.valueIndex];
        value = static_cast<std::int16_t>(value ^ effectiveMask(item));
    }
    refreshTile(code);
    showDetails(code);
    notify();
}

void PreviewLogic::startTransition(ItemCode code) {
    m_timer2Tag = code;
    m_backTag = code;
    m_step = 1;
    m_direction = TransitionDirection::Enter;
}

void PreviewLogic::enterTile(ItemCode code) {
    startTransition(code);
    notify();
}

void PreviewLogic::pressTile(ItemCode code) {
    m_timer1Tag = code;
    m_scene.timer1Enabled = true;
    notify();
}

void PreviewLogic::releaseTile() {
    m_scene.timer1Enabled = false;
    notify();
}

void PreviewLogic::enterHeldTile() {
    m_scene.timer1Enabled = false;
    startTransition(m_timer1Tag);
    notify();
}

void PreviewLogic::stepTransition() {
    if (m_direction == TransitionDirection::None) return;
    if (transitionStep(m_timer2Tag)) {
        if (m_direction == TransitionDirection::Enter)
            navigateInto(m_timer2Tag);
        else
            showPage(m_nav.current());
        m_direction = TransitionDirection::None;
    }
    notify();
}

void PreviewLogic::goBack() {
    m_timer2Tag = m_backTag;
    if (m_nav.pop()) {
        m_direction = TransitionDirection::Back;
        m_step = 1;
    }
    notify();
}

void PreviewLogic::chooseDetail(DetailTag tag) {
    const auto code = static_cast<ItemCode>(tag % 65536u);
    const auto key = static_cast<int>(tag / 65536u);
    setField(code, key);
    const std::size_t shown =
        std::min<std::size_t>(static_cast<std::size_t>(m_detailCount), kChoiceTileCount);
    for (std::size_t i = 0; i < shown; ++i) {
        ChoiceTile& tile = m_scene.choiceTiles[i];
        tile.panel.colour = static_cast<int>(tile.tag / 65536u) == key ? kSelectedColour : kTileColour;
        tile.panel.visible = true;
    }
    refreshTile(code);
    notify();
}

void PreviewLogic::moveDetailSlider(int position) {
    SliderState& slider = m_scene.detailSlider;
    slider.position = std::clamp(position, slider.minimum, slider.maximum);
    sliderChanged();
    notify();
}

void PreviewLogic::highlightCard(int card) {
    if (card < 0 || static_cast<std::size_t>(card) >= m_scene.cards.size()) return;
    m_scene.cards[static_cast<std::size_t>(card)].highlighted = true;
    notify();
}

void PreviewLogic::unhighlightCard(int card) {
    if (card < 0 || static_cast<std::size_t>(card) >= m_scene.cards.size()) return;
    m_scene.cards[static_cast<std::size_t>(card)].highlighted = false;
    notify();
}

// ---- internal operations ----

void PreviewLogic::showPage(ItemCode code) {
    const int page = pageOf(code);
    const int selected = entryOf(code);
    m_nav.setCurrent(code);
    m_scene.backButtonVisible = m_nav.depth() != 0;

    const std::span<const PageEntry> entries = pageEntries(page);
    const int n = static_cast<int>(std::min(entries.size(), kEntryTileCount));
    int big = bigTileCount(n);
    for (int j = 0; j < n; ++j) {
        const PageEntry& entry = entries[static_cast<std::size_t>(j)];
        if (entry.link == kLinkDetailFirstSmall) big = j;
        const bool isBig = j < big;
        EntryTile& tile = m_scene.entryTiles[static_cast<std::size_t>(j)];
        tile.tag = itemCode(page, j);
        tile.panel.rect = isBig ? bigTileRect(j) : smallTileRect(big, j - big);
        tile.panel.colour = j == selected ? kSelectedColour : kTileColour;
        tile.panel.visible = true;
        setLabel(tile.name, itemLabel(entry.itemId), LabelStyle::Name);
        setLabel(tile.value, formatValue(m_data, entry.itemId),
                 isBig ? LabelStyle::BigValue : LabelStyle::SmallValue);
        tile.more.visible = entry.link != 0;
        if (tile.more.visible)
            setLabel(tile.more, kMore, isBig ? LabelStyle::BigMore : LabelStyle::SmallMore);
    }
    for (std::size_t j = static_cast<std::size_t>(n); j < kEntryTileCount; ++j) {
        m_scene.entryTiles[j].panel.visible = false;
        m_scene.entryTiles[j].more.visible = false;
    }

    m_scene.testPanel.width = kShownWidth;
    m_scene.testPanel.height = kShownHeight;
    m_scene.headerPanel.width = kShownWidth;
    m_scene.exitButtonLeft = kExitButtonLeft;
    m_scene.backButtonLeft = kBackButtonLeft;
    m_scene.detailsPanel.height = 0;
}

void PreviewLogic::showDetails(ItemCode code) {
    Rect& panel = m_scene.detailsPanel;
    if (code < 0) {
        panel.width = m_scene.testPanel.width;
        panel.height = kInfoHeight;
        m_scene.detailLabel.visible = false;
        m_scene.detailSlider.visible = false;
        m_scene.detailValue.visible = false;
        m_scene.paintBox1 = {0, 0, m_scene.testPanel.width, kInfoHeight};
        m_scene.paintBox1Visible = true;
        return;
    }

    m_scene.paintBox1Visible = false;
    m_detailCount = 0;
    m_detailsTag = code;
    panel.width = m_scene.testPanel.width;
    panel.height = 0;

    const int itemId = itemAt(code);
    const MenuItem& item = menuItem(itemId);
    setLabel(m_scene.detailLabel, itemLabel(itemId), LabelStyle::Name);
    const int field = readField(m_data, itemId);
    const ValueRange range = itemRange(m_data, itemId);

    if (range.adjustable && range.minimum != range.maximum) {
        showSlider(range.minimum, range.maximum, field, itemId);
        hideChoiceTiles(0);
        return;
    }
    switch (item.type) {
        case item_type::kChoice:
            hideSlider();
            showChoiceTiles(
                choiceRows(item.listId), [](const ChoiceRow& row) { return row.text; }, field, code);
            break;
        case item_type::kNamedChoice: {
            const std::span<const NamedChoiceRow> rows = namedChoiceRows(item.listId);
            if (rows.size() > kMostChoicesAsTiles) {
                showSlider(range.minimum, static_cast<int>(rows.size()) - 1, field, itemId);
                hideChoiceTiles(0);
                m_detailCount = static_cast<int>(rows.size());
            } else {
                hideSlider();
                // The tiles name the entries by their fixed texts, never by the names in MenuTexts.
                showChoiceTiles(
                    rows, [](const NamedChoiceRow& row) { return row.text; }, field, code);
            }
            break;
        }
        default:
            break;  // a bit toggle (flipped by the click) or a value without details
    }
}

void PreviewLogic::showSlider(int minimum, int maximum, int position, int itemId) {
    m_scene.detailSlider.visible = true;
    m_scene.detailValue.visible = true;
    setSliderMinimum(minimum);
    setSliderMaximum(maximum);
    setSliderPosition(position);
    m_scene.detailsPanel.height = kSliderHeight;
    setLabel(m_scene.detailValue, formatValue(m_data, itemId), LabelStyle::Keep);
}

void PreviewLogic::hideSlider() {
    m_scene.detailSlider.visible = false;
    m_scene.detailValue.visible = false;
}

void PreviewLogic::hideChoiceTiles(std::size_t from) {
    for (std::size_t i = from; i < kChoiceTileCount; ++i) m_scene.choiceTiles[i].panel.visible = false;
}

template <typename Rows, typename TextOf>
void PreviewLogic::showChoiceTiles(const Rows& rows, TextOf textOf, int field, ItemCode code) {
    // A list longer than the tiles shows its first hundred entries.
    const std::size_t count = std::min(rows.size(), kChoiceTileCount);
    for (std::size_t i = 0; i < count; ++i) {
        ChoiceTile& tile = m_scene.choiceTiles[i];
        tile.panel.rect = choiceTileRect(static_cast<int>(i));
        tile.panel.colour = rows[i].key == field ? kSelectedColour : kTileColour;
        tile.panel.visible = true;
        tile.tag = detailTag(rows[i].key, code);
        setLabel(tile.label, textOf(rows[i]), LabelStyle::SmallValue);
    }
    hideChoiceTiles(count);
    m_scene.detailsPanel.height = rows.size() < 11 ? kOneRowHeight : kTwoRowHeight;
    m_detailCount = static_cast<int>(count);
}

void PreviewLogic::setSliderMinimum(int minimum) {
    SliderState& slider = m_scene.detailSlider;
    slider.minimum = minimum;
    slider.maximum = std::max(slider.maximum, minimum);
    setSliderPosition(slider.position);
}

void PreviewLogic::setSliderMaximum(int maximum) {
    SliderState& slider = m_scene.detailSlider;
    slider.maximum = maximum;
    slider.minimum = std::min(slider.minimum, maximum);
    setSliderPosition(slider.position);
}

void PreviewLogic::setSliderPosition(int position) {
    SliderState& slider = m_scene.detailSlider;
    const int kept = std::clamp(position, slider.minimum, slider.maximum);
    if (kept == slider.position) return;
    slider.position = kept;
    sliderChanged();
}

void PreviewLogic::sliderChanged() {
    setField(m_detailsTag, m_scene.detailSlider.position);
    setLabel(m_scene.detailValue, formatValue(m_data, itemAt(m_detailsTag)), LabelStyle::Keep);
    refreshTile(m_detailsTag);
}

void PreviewLogic::refreshTile(ItemCode code) {
    const auto index = static_cast<std::size_t>(entryOf(code));
    const std::optional<PageEntry> entry = entryAt(code);
    if (entry && index < kEntryTileCount)
        setLabel(m_scene.entryTiles[index].value, formatValue(m_data, entry->itemId), LabelStyle::Keep);
    for (std::size_t i = 0; i < kEntryTileCount && m_scene.entryTiles[i].panel.visible; ++i)
        m_scene.entryTiles[i].panel.colour = i == index ? kSelectedColour : kTileColour;
}

void PreviewLogic::setField(ItemCode code, int field) {
    const std::optional<PageEntry> entry = entryAt(code);
    if (!entry) return;
    const MenuItem& item = menuItem(entry->itemId);
    const std::uint16_t mask = effectiveMask(item);
    const unsigned shifted = static_cast<unsigned>(field) << std::countr_zero(mask);
    std::int16_t& value = m_data.settingValues[item.valueIndex];
    value = static_cast<std::int16_t>((shifted & mask) | (static_cast<std::uint16_t>(value) & ~mask));
}

bool PreviewLogic::transitionStep(ItemCode code) {
    if (m_step == 0) {
        for (BlindState& blind : m_scene.blinds) blind.visible = false;
        return true;
    }
    const int width = m_scene.testPanel.width;
    const int height = m_scene.testPanel.height;
    const auto index = static_cast<std::size_t>(entryOf(code));
    const Rect tile =
        index < kEntryTileCount ? m_scene.entryTiles[index].panel.rect : Rect{0, 0, width, height};
    const Rect frame = transitionFrame(tile, width, height, m_step, m_direction);
    if (m_direction == TransitionDirection::Back) {
        const std::array<Rect, 4> strips = backStrips(frame, width, height);
        for (std::size_t i = 0; i < kBlindCount; ++i) m_scene.blinds[i] = {strips[i], true};
    } else {
        m_scene.blinds[0] = {frame, true};
        for (std::size_t i = 1; i < kBlindCount; ++i) m_scene.blinds[i].visible = false;
    }
    m_step = m_step >= kTransitionFrames ? 0 : m_step + 1;
    return false;
}

void PreviewLogic::enterPage(ItemCode from, int page) {
    const ItemCode entered = itemCode(page, menuPage(page).selected);
    if (!m_nav.push(from, entered)) return;
    showPage(entered);
}

void PreviewLogic::navigateInto(ItemCode code) {
    const std::optional<PageEntry> entry = entryAt(code);
    if (!entry) return;
    if (entry->link > 0) {
        enterPage(code, entry->link);
        return;
    }
    if (entry->link == 0) return;
    // The detail page of the item's current setting, if the menu has one.
    const int field = readField(m_data, entry->itemId);
    for (int page = 1; menuPage(page).entries != nullptr; ++page) {
        const MenuPage& row = menuPage(page);
        if (row.ownerItem != entry->itemId || row.ownerValue != field) continue;
        if (page != pageOf(code)) enterPage(code, page);
        return;
    }
}

void PreviewLogic::buildCardList(int count) {
    Rect& box = m_scene.scrollBox;
    box.left = m_scene.headerPanel.left + kShownWidth;
    box.top = m_scene.headerPanel.top;
    box.height = m_scene.headerPanel.height + m_scene.testPanel.height + m_scene.detailsPanel.height;
    m_scene.cards.clear();
    for (int i = 0; i < count; ++i) {
        CardState card;
        card.panel = {5, kCardPitch * i + 5, box.width - 20, kCardHeight};
        card.shape = {0, 0, box.width - 30, kCardHeight};
        card.sizeText = std::to_string(10 * i) + "\"";
        card.serialText = "SN" + std::to_string(1000000 + i);
        card.userText = "User " + std::to_string(i + 1);
        card.addressText = "192.168.1." + std::to_string(100 + i);
        m_scene.cards.push_back(std::move(card));
    }
}

std::array<InfoLine, 3> PreviewLogic::infoLines() const {
    std::array<InfoLine, 3> lines;
    for (std::size_t u = 0; u < lines.size(); ++u) {
        const int itemId = kInfoItems[u];
        lines[u] = {itemId, firstLanguage(itemLabel(itemId)),
                    base::windows1252ToUtf8(formatValue(m_data, itemId))};
    }
    return lines;
}

}  // namespace hlx::preview
