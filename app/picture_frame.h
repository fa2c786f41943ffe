#pragma once
// PictureFrame: the area at the top right of the main window that holds the picture control (object name
// "PaintBox1"). It stays blank until the terminal's "Bilder" command shows the picture; from then on it
// draws a dashed frame around it.
//
// Threads: GUI thread only.

#include <QWidget>

namespace hlx::app {

class PictureFrame : public QWidget {
public:
    explicit PictureFrame(QWidget* parent = nullptr);
    void showFrame();
    bool frameShown() const { return m_frame; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_frame = false;
};

}  // namespace hlx::app
