#pragma once
// The OSD menu preview window's own small widgets: the flat tiles of the menu entries and choices, the
// rounded shape of a card, and a widget whose painting the window supplies.
//
// Threads: GUI thread only.

#include <QColor>
#include <QWidget>

#include <functional>

class QPainter;

namespace hlx::preview {

// A flat panel in one colour that reports presses, releases, clicks and double clicks of the left button.
// A click is a press and a release on the panel that are not the second half of a double click.
class TilePanel : public QWidget {
public:
    using QWidget::QWidget;

    std::function<void()> onPress;
    std::function<void()> onRelease;
    std::function<void()> onClick;
    std::function<void()> onDoubleClick;

    void setColour(const QColor& colour);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QColor m_colour{Qt::gray};
    bool m_clickArmed = false;
};

// The rounded rectangle of a card, black outline, filled with the brush colour.
class CardShape : public QWidget {
public:
    using QWidget::QWidget;
    void setBrush(const QColor& colour);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_brush{Qt::white};
};

// A widget painted by a function of its owner (the information view's charts and values).
class PaintedWidget : public QWidget {
public:
    PaintedWidget(QWidget* parent, std::function<void(QPainter&)> paint);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::function<void(QPainter&)> m_paint;
};

}  // namespace hlx::preview
