#pragma once
// The preview window's own small controls, each a plain QWidget that paints itself and hands its mouse
// events to handlers of the window:
// - TilePanel: a flat panel in one colour (a menu tile), with press, release, click and double click;
// - CardShape: the rounded rectangle of a card of the card list;
// - PaintBox: a widget whose painting is a handler of the window (the charts of the information view).
//
// Threads: the GUI thread, as every widget.

#include <QColor>
#include <QMouseEvent>
#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <functional>
#include <utility>

namespace hlx::preview {

// A flat panel in one colour that reports presses, releases, clicks and double clicks. A click is a
// press and a release on the panel that are not the second half of a double click.
class TilePanel : public QWidget {
public:
    using QWidget::QWidget;

    std::function<void()> onPress;
    std::function<void()> onRelease;
    std::function<void()> onClick;
    std::function<void()> onDoubleClick;

    void setColour(const QColor& colour) {
        if (colour == m_colour) return;
        m_colour = colour;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), m_colour); }
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) return;
        m_clickArmed = true;
        if (onPress) onPress();
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) return;
        m_clickArmed = false;
        if (onDoubleClick) onDoubleClick();
        if (onPress) onPress();
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) return;
        const bool click = m_clickArmed && rect().contains(event->position().toPoint());
        m_clickArmed = false;
        if (click && onClick) onClick();
        if (onRelease) onRelease();
    }

private:
    QColor m_colour{Qt::gray};
    bool m_clickArmed = false;
};

// The rounded rectangle of a card.
class CardShape : public QWidget {
public:
    using QWidget::QWidget;
    void setBrush(const QColor& colour) {
        if (colour == m_brush) return;
        m_brush = colour;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Qt::black, 1));
        painter.setBrush(m_brush);
        const qreal radius = std::min(width(), height()) / 8.0;
        painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    }

private:
    QColor m_brush{Qt::white};
};

// A widget whose painting is a handler of the form.
class PaintBox : public QWidget {
public:
    PaintBox(QWidget* parent, std::function<void(QPainter&)> paint)
        : QWidget(parent), m_paint(std::move(paint)) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        m_paint(painter);
    }

private:
    std::function<void(QPainter&)> m_paint;
};

}  // namespace hlx::preview
