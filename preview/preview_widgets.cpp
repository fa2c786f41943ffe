#include "preview/preview_widgets.h"

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <utility>

namespace hlx::preview {

void TilePanel::setColour(const QColor& colour) {
    if (colour == m_colour) return;
    m_colour = colour;
    update();
}

void TilePanel::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), m_colour);
}

void TilePanel::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    m_clickArmed = true;
    if (onPress) onPress();
}

void TilePanel::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    m_clickArmed = false;
    if (onDoubleClick) onDoubleClick();
    if (onPress) onPress();
}

void TilePanel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const bool click = m_clickArmed && rect().contains(event->position().toPoint());
    m_clickArmed = false;
    if (click && onClick) onClick();
    if (onRelease) onRelease();
}

void CardShape::setBrush(const QColor& colour) {
    if (colour == m_brush) return;
    m_brush = colour;
    update();
}

void CardShape::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(m_brush);
    const qreal radius = std::min(width(), height()) / 8.0;
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
}

PaintedWidget::PaintedWidget(QWidget* parent, std::function<void(QPainter&)> paint)
    : QWidget(parent), m_paint(std::move(paint)) {}

void PaintedWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    m_paint(painter);
}

}  // namespace hlx::preview
