#pragma once
// OsdPreviewWindow: the OSD menu preview form on Qt. It builds the form's controls (each with the object name
// of the form's design), shows the Scene that PreviewLogic keeps, and turns Qt's mouse, timer and slider
// events into the logic's handlers. The behaviour lives in PreviewLogic; this class only reads and
// writes widgets and paints the information view.
//
// Construction runs openMenu: the menu data gets its defaults, all tiles are built, page 1 and the
// information view are shown and the card list is filled, while the form stays hidden. show() then
// shows it maximised. The form edits only its own MenuData; it never talks to the monitor.
//
// Mouse: a press on an entry tile starts the 200 ms long-press timer and a release stops it; a click
// (press and release on the tile) selects it; a double click enters the page behind it. The tiles'
// labels let the mouse through to their tile. The wheel over the card list scrolls it by the wheel
// distance in pixels.
//
// Threads: GUI thread only. Ownership: the form owns its widgets, its MenuData and its logic.

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

// The charts the information view copies: the xy chromaticity diagram (A) and the xy tolerance fields
// of the red, green and blue primaries (H, I, J), drawn once by openMenu. The images show the chart
// bitmaps without copying them; the form keeps the bitmaps for as long as it lives.
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

    // The window's event handlers (see PreviewLogic for what each does); the Qt events of its controls end
    // here. paintCharts draws the chart bitmaps of the information view; scrollTiles scrolls the tile list
    // by a wheel turn; paintSecondBox and paintThirdBox serve the two further paint boxes, which draw
    // nothing.
    void openMenu();
    void selectTile(ItemCode code);
    void enterTile(ItemCode code);
    void pressTile(ItemCode code);
    void releaseTile();
    void enterHeldTile();
    void stepTransition();
    void goBack();
    void chooseDetail(DetailTag tag);
    void moveDetailSlider(int position);
    void paintCharts(QPainter& painter);
    void scrollTiles(int wheelDelta);
    void highlightCard(int card);
    void unhighlightCard(int card);
    void paintSecondBox(QPainter& painter);
    void paintThirdBox(QPainter& painter);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showScene(const Scene& scene) override;
    void buildControls();
    void buildNamePlate(QWidget* client);
    void buildCards(const Scene& scene);

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
    QScrollArea* m_scrollBox = nullptr;
    QToolButton* m_btnZurueck = nullptr;
    QLabel* m_btnExit = nullptr;
    QLabel* m_detailValue = nullptr;
    QLabel* m_detailLabel = nullptr;
    QWidget* m_paintBox1 = nullptr;
    QSlider* m_detailSlider = nullptr;
    QTimer* m_timer1 = nullptr;
    QTimer* m_timer2 = nullptr;
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
