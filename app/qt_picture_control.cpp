#include "app/qt_picture_control.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>

#include "app/qt_bitmap.h"

namespace hlx::app {

QtPictureControl::QtPictureControl(QLabel* label) : QObject(label), m_label(label) {
    m_label->installEventFilter(this);
}

std::unique_ptr<imaging::Bitmap> QtPictureControl::newBitmap() const {
    return std::make_unique<QtBitmap>();
}

void QtPictureControl::showPictureFile(const std::string& path) {
    QtBitmap picture;
    if (!picture.load(path)) return;
    const QPixmap pixmap = QPixmap::fromImage(picture.image());
    m_label->setPixmap(pixmap.scaled(m_label->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
    m_label->repaint();
}

bool QtPictureControl::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_label && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton && m_label->rect().contains(mouse->position().toPoint()))
            emit clicked();
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace hlx::app
