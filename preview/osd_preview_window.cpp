#include "preview/osd_preview_window.h"

#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <cstdlib>
#include <functional>
#include <utility>

#include "charts/qt_chart_text.h"
#include "charts/render_charts.h"
#include "preview/preview_widgets.h"

namespace hlx::preview {

namespace {

constexpr int kClientWidth = 1380;  // room for the panels, the card list and a margin
constexpr int kClientHeight = 960;
constexpr int kBackButtonTop = 15;
constexpr int kExitButtonTop = 9;
constexpr int kButtonSize = 44;
constexpr QRect kSliderRect{225, 24, 177, 45};
constexpr QPoint kChartH{200, 0};
constexpr QPoint kChartI{200, 60};
constexpr QPoint kChartJ{200, 120};
constexpr int kInfoLabelLeft = 320;
constexpr int kInfoValueLeft = 460;
constexpr int kInfoTop = 10;
constexpr int kInfoPitch = 20;
constexpr int kInfoPointSize = 10;
constexpr int kCardTextPixels = 10;
constexpr int kCardSizePixels = 40;
constexpr const char* kCardIndex = "hlxCard";

// Segoe UI where it is installed; else a face of about its width.
const QStringList kFaces = {QStringLiteral("Segoe UI"), QStringLiteral("DejaVu Sans Condensed"),
                            QStringLiteral("DejaVu Sans")};

// A chart bitmap as an image, sharing its pixels (rows of red, green, blue bytes without padding).
QImage chartImage(const charts::Chart& chart) {
    const charts::RgbImage& image = chart.image;
    return QImage(image.bytes().data(), image.width(), image.height(), image.bytesPerLine(),
                  QImage::Format_RGB888);
}

QColor toQColor(Colour c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}
QRect toQRect(const Rect& r) {
    return QRect(r.left, r.top, r.width, r.height);
}
QString qs(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

QFont faceFont(int pixelHeight) {
    QFont font;
    font.setFamilies(kFaces);
    font.setPixelSize(std::max(1, std::abs(pixelHeight)));
    return font;
}

void setColour(QWidget* widget, QPalette::ColorRole role, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

QWidget* makePanel(QWidget* parent, const char* name, Colour colour) {
    auto* panel = new QWidget(parent);
    panel->setObjectName(QString::fromLatin1(name));
    panel->setAutoFillBackground(true);
    setColour(panel, QPalette::Window, toQColor(colour));
    return panel;
}

QLabel* makeWhiteLabel(QWidget* parent, const QString& name) {
    auto* label = new QLabel(parent);
    label->setObjectName(name);
    setColour(label, QPalette::WindowText, Qt::white);
    return label;
}

Qt::Alignment toQt(Alignment alignment) {
    switch (alignment) {
        case Alignment::Centre:
            return Qt::AlignHCenter | Qt::AlignTop;
        case Alignment::Right:
            return Qt::AlignRight | Qt::AlignTop;
        case Alignment::Left:
            break;
    }
    return Qt::AlignLeft | Qt::AlignTop;
}

// Shows a label's state: an auto-sized label takes the size of its text, any other the width given and
// the height of one line.
void applyLabel(QLabel* label, const LabelState& state) {
    const QFont font = faceFont(state.fontHeight);
    if (label->font() != font) label->setFont(font);
    const QString text = qs(state.text);
    if (label->text() != text) label->setText(text);
    label->setAlignment(toQt(state.alignment));
    const QFontMetrics metrics(font);
    const int width = state.autoSize ? metrics.horizontalAdvance(text) : state.width;
    label->setGeometry(state.left, state.top, width, metrics.height());
    label->setVisible(state.visible);
}

void applyLabel(QLabel* label, const LabelState& state, const LabelState& shown, bool force) {
    if (force || !(state == shown)) applyLabel(label, state);
}

void applyGeometry(QWidget* widget, const Rect& rect, const Rect& shown, bool force) {
    if (force || !(rect == shown)) widget->setGeometry(toQRect(rect));
}

// A card's edit: thin grey frame, the card's colour behind the text.
void setEditColour(QLineEdit* edit, const QColor& colour) {
    const QString sheet =
        QStringLiteral("QLineEdit { border: 1px solid #808080; padding: 0px; background: %1; }")
            .arg(colour.name());
    if (edit->styleSheet() != sheet) edit->setStyleSheet(sheet);
}

// The pictures of the two header buttons: a back arrow and a power sign, white on the header.
QPixmap backPicture() {
    QPixmap picture(kButtonSize, kButtonSize);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawEllipse(QRectF(3, 3, kButtonSize - 6, kButtonSize - 6));
    p.drawLine(QPointF(13, 22), QPointF(31, 22));
    p.drawPolyline(QPolygonF({QPointF(21, 14), QPointF(13, 22), QPointF(21, 30)}));
    return picture;
}

QPixmap exitPicture() {
    QPixmap picture(kButtonSize, kButtonSize);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(9, 10, 26, 26), 120 * 16, -300 * 16);
    p.drawLine(QPointF(22, 6), QPointF(22, 22));
    return picture;
}

}  // namespace

// ---- construction ----

OsdPreviewWindow::OsdPreviewWindow(QWidget* parent) : QWidget(parent), m_logic(m_data, *this) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("OSD Menu Preview"));
    buildControls();
    resize(kClientWidth, kClientHeight);
    setWindowState(Qt::WindowMaximized);
    openMenu();
}

OsdPreviewWindow::~OsdPreviewWindow() = default;

void OsdPreviewWindow::buildControls() {
    m_area = new QScrollArea(this);
    m_area->setObjectName(QStringLiteral("FormArea"));
    m_area->setFrameShape(QFrame::NoFrame);
    m_area->setWidgetResizable(false);
    m_area->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setColour(m_area->viewport(), QPalette::Window, toQColor(kFormColour));
    m_client = makePanel(nullptr, "FormClient", kFormColour);
    m_client->setFixedSize(kClientWidth, kClientHeight);
    m_area->setWidget(m_client);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_area);

    buildNamePlate(m_client);

    const Scene design;
    m_headerPanel = makePanel(m_client, "HeaderPanel", kHeaderColour);
    auto* caption = makeWhiteLabel(m_headerPanel, QStringLiteral("Label1"));
    caption->setFont(faceFont(-32));
    caption->setText(QStringLiteral("Quendal HLX1.0"));
    caption->move(16, 14);
    caption->adjustSize();
    m_btnZurueck = new QToolButton(m_headerPanel);
    m_btnZurueck->setObjectName(QStringLiteral("btnZurueck"));
    m_btnZurueck->setAutoRaise(true);
    m_btnZurueck->setIcon(QIcon(backPicture()));
    m_btnZurueck->setIconSize(QSize(kButtonSize, kButtonSize));
    m_btnZurueck->setGeometry(design.backButtonLeft, kBackButtonTop, kButtonSize, kButtonSize);
    m_btnZurueck->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; }"));
    connect(m_btnZurueck, &QToolButton::clicked, this, [this] { goBack(); });
    m_btnExit = new QLabel(m_headerPanel);
    m_btnExit->setObjectName(QStringLiteral("btnExit"));
    m_btnExit->setPixmap(exitPicture());
    m_btnExit->setGeometry(design.exitButtonLeft, kExitButtonTop, kButtonSize, kButtonSize);

    m_testPanel = makePanel(m_client, "TestPanel", kWhite);
    // The design-time tile whose handlers the entry tiles take over; never shown.
    auto* designTile = new QWidget(m_testPanel);
    designTile->setObjectName(QStringLiteral("Panel"));
    designTile->hide();
    for (std::size_t j = 0; j < kEntryTileCount; ++j) {
        EntryTileWidgets& w = m_entryTiles[j];
        w.panel = new TilePanel(m_testPanel);
        w.panel->setObjectName(QStringLiteral("EntryTile%1").arg(j));
        w.panel->hide();
        w.name = makeWhiteLabel(w.panel, QStringLiteral("EntryName%1").arg(j));
        w.value = makeWhiteLabel(w.panel, QStringLiteral("EntryValue%1").arg(j));
        w.more = makeWhiteLabel(w.panel, QStringLiteral("EntryMore%1").arg(j));
        for (QLabel* label : {w.name, w.value, w.more}) label->setAttribute(Qt::WA_TransparentForMouseEvents);
        auto tag = [this, j] { return m_logic.scene().entryTiles[j].tag; };
        w.panel->onPress = [this, tag] { pressTile(tag()); };
        w.panel->onRelease = [this] { releaseTile(); };
        w.panel->onClick = [this, tag] { selectTile(tag()); };
        w.panel->onDoubleClick = [this, tag] { enterTile(tag()); };
    }
    // Created after the tiles, so the blinds cover them.
    for (std::size_t i = 0; i < kBlindCount; ++i) {
        m_blinds[i] = makePanel(m_testPanel, "", kBlack);
        m_blinds[i]->setObjectName(QStringLiteral("Blind%1Panel").arg(i + 1));
        m_blinds[i]->hide();
    }

    m_detailsPanel = makePanel(m_client, "DetailsPanel", kBlack);
    m_paintBox1 = new PaintBox(m_detailsPanel, [this](QPainter& p) { paintCharts(p); });
    m_paintBox1->setObjectName(QStringLiteral("PaintBox1"));
    m_detailValue = makeWhiteLabel(m_detailsPanel, QStringLiteral("DetailValue"));
    m_detailLabel = makeWhiteLabel(m_detailsPanel, QStringLiteral("DetailLabel"));
    m_detailSlider = new QSlider(Qt::Horizontal, m_detailsPanel);
    m_detailSlider->setObjectName(QStringLiteral("DetailSlider"));
    m_detailSlider->setTickPosition(QSlider::NoTicks);
    m_detailSlider->setGeometry(kSliderRect);
    connect(m_detailSlider, &QSlider::valueChanged, this,
            [this](int position) { moveDetailSlider(position); });
    for (std::size_t i = 0; i < kChoiceTileCount; ++i) {
        ChoiceTileWidgets& w = m_choiceTiles[i];
        w.panel = new TilePanel(m_detailsPanel);
        w.panel->setObjectName(QStringLiteral("ChoiceTile%1").arg(i));
        w.panel->hide();
        w.label = makeWhiteLabel(w.panel, QStringLiteral("ChoiceLabel%1").arg(i));
        w.label->setAttribute(Qt::WA_TransparentForMouseEvents);
        w.panel->onClick = [this, i] { chooseDetail(m_logic.scene().choiceTiles[i].tag); };
    }

    m_scrollBox = new QScrollArea(m_client);
    m_scrollBox->setObjectName(QStringLiteral("ScrollBox1"));
    m_scrollBox->setFrameShape(QFrame::NoFrame);
    m_scrollBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scrollBox->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_scrollBox->verticalScrollBar()->setFixedWidth(12);
    m_scrollBox->setWidgetResizable(false);
    setColour(m_scrollBox->viewport(), QPalette::Window, Qt::white);
    m_scrollBox->viewport()->setAutoFillBackground(true);
    m_scrollBox->viewport()->installEventFilter(this);
    m_cardContent = makePanel(nullptr, "ScrollBox1Content", kWhite);
    m_scrollBox->setWidget(m_cardContent);

    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setInterval(kLongPressMs);
    connect(m_timer1, &QTimer::timeout, this, [this] { enterHeldTile(); });
    m_timer2 = new QTimer(this);
    m_timer2->setObjectName(QStringLiteral("Timer2"));
    m_timer2->setInterval(kTransitionTickMs);
    connect(m_timer2, &QTimer::timeout, this, [this] { stepTransition(); });

    // The panels in design order, so the tiles' panel lies over the header's lower edge.
    m_headerPanel->raise();
    m_testPanel->raise();
    m_detailsPanel->raise();
    m_scrollBox->raise();
}

// The controls that no handler moves: a name plate of the monitor (shape, "HLX1.0" and its
// size, 55") and two panels and paint boxes that stay empty.
void OsdPreviewWindow::buildNamePlate(QWidget* client) {
    auto* shape = new CardShape(client);
    shape->setObjectName(QStringLiteral("Shape1"));
    shape->setBrush(QColor(0x30, 0x30, 0x30));
    shape->setGeometry(152, 24, 260, 120);
    auto* label3 = makeWhiteLabel(client, QStringLiteral("Label3"));
    label3->setFont(faceFont(-32));
    label3->setText(QStringLiteral("HLX1.0"));
    label3->move(172, 40);
    label3->adjustSize();
    auto* label6 = makeWhiteLabel(client, QStringLiteral("Label6"));
    label6->setFont(faceFont(-24));
    label6->setText(QStringLiteral("55\""));
    label6->move(172, 92);
    label6->adjustSize();
    auto* panel1 = makePanel(client, "Panel1", 0x404040);
    panel1->setGeometry(432, 24, 120, 120);
    auto* panel2 = makePanel(client, "Panel2", 0x404040);
    panel2->setGeometry(572, 24, 120, 120);
    auto* paintBox2 = new PaintBox(client, [this](QPainter& p) { paintSecondBox(p); });
    paintBox2->setObjectName(QStringLiteral("PaintBox2"));
    paintBox2->setGeometry(712, 24, 120, 120);
    auto* paintBox3 = new PaintBox(client, [this](QPainter& p) { paintThirdBox(p); });
    paintBox3->setObjectName(QStringLiteral("PaintBox3"));
    paintBox3->setGeometry(852, 24, 120, 120);
}

void OsdPreviewWindow::buildCards(const Scene& scene) {
    for (CardWidgets& card : m_cards) delete card.panel;
    m_cards.clear();
    const auto place = [](QWidget* w, const CardPart& part) {
        w->setGeometry(part.left, part.top, part.width, part.height);
    };
    int bottom = 0;
    for (std::size_t i = 0; i < scene.cards.size(); ++i) {
        const CardState& state = scene.cards[i];
        CardWidgets card;
        card.panel = new QWidget(m_cardContent);
        card.panel->setObjectName(QStringLiteral("Card%1").arg(i));
        card.panel->setGeometry(toQRect(state.panel));
        card.shape = new CardShape(card.panel);
        card.shape->setObjectName(QStringLiteral("CardShape%1").arg(i));
        card.shape->setGeometry(toQRect(state.shape));
        const std::array<std::pair<const std::string*, CardPart>, 4> labels = {{
            {&state.sizeText, kCardSizeLabel},
            {&state.serialText, kCardSerialLabel},
            {&state.userText, kCardUserLabel},
            {&state.addressText, kCardAddressLabel},
        }};
        for (std::size_t k = 0; k < labels.size(); ++k) {
            auto* label = new QLabel(qs(*labels[k].first), card.panel);
            label->setObjectName(QStringLiteral("CardLabel%1_%2").arg(i).arg(k));
            label->setFont(faceFont(k == 0 ? kCardSizePixels : kCardTextPixels));
            place(label, labels[k].second);
            card.labels[k] = label;
        }
        const std::array<std::pair<const char*, CardPart>, 2> edits = {{
            {kCardRoomText, kCardRoomEdit},
            {kCardGroupText, kCardGroupEdit},
        }};
        for (std::size_t k = 0; k < edits.size(); ++k) {
            auto* edit = new QLineEdit(QString::fromLatin1(edits[k].first), card.panel);
            edit->setObjectName(QStringLiteral("CardEdit%1_%2").arg(i).arg(k));
            edit->setFont(faceFont(kCardTextPixels));
            edit->setTextMargins(0, 0, 0, 0);
            place(edit, edits[k].second);
            card.edits[k] = edit;
        }
        QList<QWidget*> parts{card.shape};
        for (QLabel* label : card.labels) parts.append(label);
        for (QLineEdit* edit : card.edits) parts.append(edit);
        for (QWidget* part : parts) {
            part->setProperty(kCardIndex, static_cast<int>(i));
            part->installEventFilter(this);
        }
        bottom = std::max(bottom, state.panel.top + state.panel.height);
        m_cards.push_back(card);
    }
    m_cardContent->setFixedSize(scene.scrollBox.width - m_scrollBox->verticalScrollBar()->width(),
                                bottom + 5);
    for (CardWidgets& card : m_cards) card.panel->show();
}

// ---- showing the scene ----

void OsdPreviewWindow::showScene(const Scene& scene) {
    const bool force = !m_built;
    const Scene& shown = m_shown;

    applyGeometry(m_headerPanel, scene.headerPanel, shown.headerPanel, force);
    applyGeometry(m_testPanel, scene.testPanel, shown.testPanel, force);
    applyGeometry(m_detailsPanel, scene.detailsPanel, shown.detailsPanel, force);
    applyGeometry(m_scrollBox, scene.scrollBox, shown.scrollBox, force);
    m_btnZurueck->move(scene.backButtonLeft, kBackButtonTop);
    m_btnZurueck->setVisible(scene.backButtonVisible);
    m_btnExit->move(scene.exitButtonLeft, kExitButtonTop);

    for (std::size_t j = 0; j < kEntryTileCount; ++j) {
        const EntryTile& tile = scene.entryTiles[j];
        const EntryTile& was = shown.entryTiles[j];
        EntryTileWidgets& w = m_entryTiles[j];
        if (!force && tile == was) continue;
        applyGeometry(w.panel, tile.panel.rect, was.panel.rect, force);
        w.panel->setColour(toQColor(tile.panel.colour));
        applyLabel(w.name, tile.name, was.name, force);
        applyLabel(w.value, tile.value, was.value, force);
        applyLabel(w.more, tile.more, was.more, force);
        w.panel->setVisible(tile.panel.visible);
    }
    for (std::size_t i = 0; i < kChoiceTileCount; ++i) {
        const ChoiceTile& tile = scene.choiceTiles[i];
        const ChoiceTile& was = shown.choiceTiles[i];
        ChoiceTileWidgets& w = m_choiceTiles[i];
        if (!force && tile == was) continue;
        applyGeometry(w.panel, tile.panel.rect, was.panel.rect, force);
        w.panel->setColour(toQColor(tile.panel.colour));
        applyLabel(w.label, tile.label, was.label, force);
        w.panel->setVisible(tile.panel.visible);
    }

    applyLabel(m_detailLabel, scene.detailLabel, shown.detailLabel, force);
    applyLabel(m_detailValue, scene.detailValue, shown.detailValue, force);
    {
        const QSignalBlocker block(m_detailSlider);
        m_detailSlider->setRange(scene.detailSlider.minimum, scene.detailSlider.maximum);
        m_detailSlider->setValue(scene.detailSlider.position);
        m_detailSlider->setVisible(scene.detailSlider.visible);
    }
    applyGeometry(m_paintBox1, scene.paintBox1, shown.paintBox1, force);
    m_paintBox1->setVisible(scene.paintBox1Visible);
    if (scene.paintBox1Visible) m_paintBox1->update();  // the values it shows may have changed

    for (std::size_t i = 0; i < kBlindCount; ++i) {
        const BlindState& blind = scene.blinds[i];
        applyGeometry(m_blinds[i], blind.rect, shown.blinds[i].rect, force);
        if (blind.visible) m_blinds[i]->raise();
        m_blinds[i]->setVisible(blind.visible);
    }

    if (force || scene.cards.size() != shown.cards.size()) buildCards(scene);
    for (std::size_t i = 0; i < scene.cards.size() && i < m_cards.size(); ++i) {
        const QColor colour = scene.cards[i].highlighted ? toQColor(kCardHighlightColour) : QColor(Qt::white);
        m_cards[i].shape->setBrush(colour);
        for (QLineEdit* edit : m_cards[i].edits) setEditColour(edit, colour);
    }

    if (scene.timer1Enabled && !m_timer1->isActive()) m_timer1->start();
    if (!scene.timer1Enabled) m_timer1->stop();
    if (scene.transitionRunning && !m_timer2->isActive()) m_timer2->start();
    if (!scene.transitionRunning) m_timer2->stop();

    m_shown = scene;
    m_built = true;
}

// ---- handlers ----

void OsdPreviewWindow::openMenu() {
    // The charts first: the information view that the logic opens paints them.
    charts::QtChartText text;
    m_chartSet = std::make_unique<charts::ChartSet>(charts::renderCharts(text));
    m_charts = {chartImage(m_chartSet->chart('A')), chartImage(m_chartSet->chart('H')),
                chartImage(m_chartSet->chart('I')), chartImage(m_chartSet->chart('J'))};
    m_logic.openMenu();
}
void OsdPreviewWindow::selectTile(ItemCode code) {
    m_logic.selectTile(code);
}
void OsdPreviewWindow::enterTile(ItemCode code) {
    m_logic.enterTile(code);
}
void OsdPreviewWindow::pressTile(ItemCode code) {
    m_logic.pressTile(code);
}
void OsdPreviewWindow::releaseTile() {
    m_logic.releaseTile();
}
void OsdPreviewWindow::enterHeldTile() {
    m_logic.enterHeldTile();
}
void OsdPreviewWindow::stepTransition() {
    m_logic.stepTransition();
}
void OsdPreviewWindow::goBack() {
    m_logic.goBack();
}
void OsdPreviewWindow::chooseDetail(DetailTag tag) {
    m_logic.chooseDetail(tag);
}
void OsdPreviewWindow::moveDetailSlider(int position) {
    m_logic.moveDetailSlider(position);
}
void OsdPreviewWindow::highlightCard(int card) {
    m_logic.highlightCard(card);
}
void OsdPreviewWindow::unhighlightCard(int card) {
    m_logic.unhighlightCard(card);
}

void OsdPreviewWindow::scrollTiles(int wheelDelta) {
    QScrollBar* bar = m_scrollBox->verticalScrollBar();
    bar->setValue(bar->value() - wheelDelta);
}

void OsdPreviewWindow::paintCharts(QPainter& painter) {
    painter.drawImage(QPoint(0, 0), m_charts.a);
    const QRect part(QPoint(0, 0), m_charts.h.size());
    painter.drawImage(kChartH, m_charts.h, part);
    painter.drawImage(kChartI, m_charts.i, part);
    painter.drawImage(kChartJ, m_charts.j, part);

    QFont font;
    font.setFamilies(kFaces);
    font.setPointSize(kInfoPointSize);
    painter.setFont(font);
    painter.setPen(Qt::white);
    const QFontMetrics metrics(font);
    const std::array<InfoLine, 3> lines = m_logic.infoLines();
    for (std::size_t u = 0; u < lines.size(); ++u) {
        const int top = kInfoTop + kInfoPitch * static_cast<int>(u);
        // Text is placed by the top of its line, as a canvas writes it.
        painter.drawText(QPoint(kInfoLabelLeft, top + metrics.ascent()), qs(lines[u].label));
        painter.drawText(QPoint(kInfoValueLeft, top + metrics.ascent()), qs(lines[u].value));
    }
}

void OsdPreviewWindow::paintSecondBox(QPainter&) {}
void OsdPreviewWindow::paintThirdBox(QPainter&) {}

bool OsdPreviewWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_scrollBox->viewport() && event->type() == QEvent::Wheel) {
        scrollTiles(static_cast<QWheelEvent*>(event)->angleDelta().y());
        return true;
    }
    const QVariant card = watched->property(kCardIndex);
    if (card.isValid()) {
        if (event->type() == QEvent::Enter) highlightCard(card.toInt());
        if (event->type() == QEvent::Leave) unhighlightCard(card.toInt());
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace hlx::preview
