#include "app/qt_picture_control.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>

#include "imaging/qt_bitmap.h"

namespace hlx::app {

QtPictureControl::QtPictureControl(QLabel* label, const QtCall& call)
    : QObject(label), m_label(label), m_call(call) {
    m_label->installEventFilter(this);
}

std::unique_ptr<imaging::Bitmap> QtPictureControl::newBitmap() const {
    return std::make_unique<imaging::QtBitmap>();
}

void QtPictureControl::showPictureFile(const std::string& path) {
    imaging::QtBitmap picture;
    if (!picture.load(path)) return;
    const QSize size = m_call.get([this] { return m_label->size(); });
    if (size.isEmpty()) return;  // released meanwhile (or a label of no size)
    QImage scaled = picture.image().scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    m_call.run([this, scaled = std::move(scaled)] {
        m_label->setPixmap(QPixmap::fromImage(scaled));
        m_label->update();
    });
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
