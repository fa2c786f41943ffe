#pragma once
// QtPictureControl: the main window's picture control Image1 (a QLabel) as the picture converter sees it.
// It shows a BMP file scaled to fit the label with its aspect kept, hands out QtBitmaps, and signals a
// click on the label (a press and release of the left button over it, or Return or Space while it has the
// focus).
//
// Threads: built on the GUI thread. newBitmap and showPictureFile may be called from the conversion's
// thread: the file is read and scaled there, and only the finished picture is handed to the label on the
// GUI thread through the QtCall (at once after its release). Ownership: a child of the label it watches,
// so it goes with the label; the QtCall must outlive it.

#include <QObject>

#include "app/qt_call.h"
#include "imaging/bitmap_conversion.h"

class QLabel;

namespace hlx::app {

class QtPictureControl : public QObject, public imaging::PictureControl {
    Q_OBJECT
public:
    QtPictureControl(QLabel* label, const QtCall& call);

    std::unique_ptr<imaging::Bitmap> newBitmap() const override;
    // A file that cannot be read leaves the picture shown before.
    void showPictureFile(const std::string& path) override;

signals:
    void clicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLabel* m_label;
    const QtCall& m_call;
};

}  // namespace hlx::app
