#pragma once
// OsdPreviewWindow: the OSD menu preview window on Qt. It builds the window's controls (each with the
// object name the tests know it by), shows the Scene that PreviewLogic keeps, and turns Qt's mouse,
// timer and slider events into the logic's handlers. The behaviour lives in PreviewLogic; this class only
// reads and writes widgets and paints the information view.
//
// Construction draws the charts and starts the logic: the menu data gets its defaults, all tiles are
// built, page 1 and the information view are shown and the card list is filled, while the window stays
// hidden. show() then shows it maximised. The window edits only its own MenuData; it never talks to the
// monitor.
//
// Where each control leads (object name -> PreviewLogic):
//   an entry tile (EntryTile0 .. 19): press -> pressTile (starts the 200 ms long-press timer, Timer1),
//       release -> releaseTile, click -> selectTile, double click -> enterTilePage
//   Timer1 -> longPressElapsed; Timer2, every 25 ms while a transition runs -> transitionTick
//   the back arrow (btnZurueck) -> goBack
//   a choice tile (ChoiceTile0 .. 99) -> chooseDetail; the slider (DetailSlider) -> moveDetailSlider
//   the pointer over or off a card of the list (ScrollBox1) -> highlightCard, clearCardHighlight
//   the wheel over the card list scrolls it by the wheel distance in pixels (the window alone)
// The tiles' labels let the mouse through to their tile.
//
// Threads: GUI thread only. Ownership: the window owns its widgets, its MenuData and its logic.

#include <QImage>
#include <QWidget>

#include <array>
#include <memory>
#include <vector>

#include "preview/menu_data.h"
#include "preview/preview_logic.h"

class QLabel;
class QLineEdit;
class QPainter;
class QScrollArea;
class QSlider;
class QTimer;
class QToolButton;

namespace hlx::charts {
struct ChartSet;
}

namespace hlx::preview {

class TilePanel;
class CardShape;
class PaintedWidget;

// The charts the information view copies: the xy chromaticity diagram (A) and the xy tolerance fields
// of the red, green and blue primaries (H, I, J), drawn once when the window is built. The images show the
// chart bitmaps without copying them; the window keeps the bitmaps for as long as it lives.
struct PreviewCharts {
    QImage a;
    QImage h;
    QImage i;
    QImage j;
};

class OsdPreviewWindow : public QWidget, private PreviewView {
    Q_OBJECT
public:
    explicit OsdPreviewWindow(QWidget* parent = nullptr);
    ~OsdPreviewWindow() override;

    PreviewLogic& logic() { return m_logic; }
    const MenuData& menuData() const { return m_data; }
    const PreviewCharts& charts() const { return m_charts; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showScene(const Scene& scene) override;
    void drawCharts();
    void buildControls();
    void buildNamePlate(QWidget* client);
    void buildCards(const Scene& scene);
    // Scrolls the card list by a wheel's distance (in pixels; positive: up).
    void scrollCards(int wheelDelta);
    // The information view: the four charts and the values of three items.
    void paintInfoView(QPainter& painter);

    MenuData m_data;
    PreviewLogic m_logic;
    std::unique_ptr<charts::ChartSet> m_chartSet;
    PreviewCharts m_charts;
    Scene m_shown;  // what the widgets show
    bool m_built = false;

    QScrollArea* m_area = nullptr;
    QWidget* m_client = nullptr;
    QWidget* m_headerPanel = nullptr;
    QWidget* m_testPanel = nullptr;
    QWidget* m_detailsPanel = nullptr;
    QScrollArea* m_cardList = nullptr;    // ScrollBox1
    QToolButton* m_backButton = nullptr;  // btnZurueck
    QLabel* m_exitButton = nullptr;       // btnExit: a picture only, it does nothing
    QLabel* m_detailValue = nullptr;
    QLabel* m_detailLabel = nullptr;
    PaintedWidget* m_infoView = nullptr;  // PaintBox1
    QSlider* m_detailSlider = nullptr;
    QTimer* m_longPressTimer = nullptr;   // Timer1
    QTimer* m_transitionTimer = nullptr;  // Timer2
    std::array<QWidget*, kBlindCount> m_blinds{};

    struct EntryTileWidgets {
        TilePanel* panel = nullptr;
        QLabel* name = nullptr;
        QLabel* value = nullptr;
        QLabel* more = nullptr;
    };
    std::array<EntryTileWidgets, kEntryTileCount> m_entryTiles{};
    struct ChoiceTileWidgets {
        TilePanel* panel = nullptr;
        QLabel* label = nullptr;
    };
    std::array<ChoiceTileWidgets, kChoiceTileCount> m_choiceTiles{};
    struct CardWidgets {
        QWidget* panel = nullptr;
        CardShape* shape = nullptr;
        std::array<QLabel*, 4> labels{};
        std::array<QLineEdit*, 2> edits{};
    };
    QWidget* m_cardContent = nullptr;
    std::vector<CardWidgets> m_cards;
};

}  // namespace hlx::preview
