#pragma once
// The Qt side of the charts' text: QtChartText draws and measures chart texts with QPainter straight into
// a chart's pixel buffer (a QImage wrapped around it, no copy), and OffscreenGuiApplication gives programs
// without a window the QGuiApplication that fonts need.
//
// Fonts: Font::family at Font::points × 96 / 72 pixels (rounded; 6 points are 8 pixels, 8 points 11),
// falling back to the platform's sans-serif face, without smoothing, so the small labels stay crisp on
// the black charts. Text is placed by the top of its ascent, as TextPainter requires.
//
// Threads: QFont needs a QGuiApplication; use QtChartText on the thread that created it (the GUI thread).

#include <memory>
#include <string_view>

#include "charts/text_painter.h"

class QFont;
class QGuiApplication;

namespace hlx::charts {

class QtChartText final : public charts::TextPainter {
public:
    int textWidth(const charts::Font& font, std::string_view text) override;
    void drawText(charts::RgbImage& image, int x, int y, const charts::Font& font,
                  std::string_view text) override;

    // The QFont a chart font is drawn with.
    static QFont qtFont(const charts::Font& font);
};

// Creates a QGuiApplication on the offscreen platform if the program has none yet (so it needs no
// display), and destroys it again with itself. When an application object exists it does nothing. Make
// it on the main thread before any QtChartText call and keep it for as long as they run.
class OffscreenGuiApplication {
public:
    OffscreenGuiApplication();
    ~OffscreenGuiApplication();
    OffscreenGuiApplication(const OffscreenGuiApplication&) = delete;
    OffscreenGuiApplication& operator=(const OffscreenGuiApplication&) = delete;

private:
    // QGuiApplication keeps references to argc and argv for its whole life.
    int m_argc = 3;
    char m_program[4] = "hlx";
    char m_option[10] = "-platform";
    char m_platform[10] = "offscreen";
    char* m_argv[4] = {m_program, m_option, m_platform, nullptr};
    std::unique_ptr<QGuiApplication> m_app;
};

}  // namespace hlx::charts
