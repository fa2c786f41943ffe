#include "app/picture_frame.h"

#include <QPainter>

namespace hlx::app {

PictureFrame::PictureFrame(QWidget* parent) : QWidget(parent) {}

void PictureFrame::showFrame() {
    m_frame = true;
    update();
}

void PictureFrame::paintEvent(QPaintEvent*) {
    if (!m_frame) return;
    QPainter painter(this);
    painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
    painter.drawRect(0, 0, width() - 1, height() - 1);
}

}  // namespace hlx::app
