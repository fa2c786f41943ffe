#include "charts/qt_chart_text.h"

#include <algorithm>

#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QString>

#include "charts/rgb_image.h"

namespace hlx::charts {

namespace {

// Points at 96 pixels per inch, rounded half up (6 → 8, 8 → 11).
int pixelSize(int points) {
    return (points * 96 + 36) / 72;
}

QString qtText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// While the offscreen application starts, Qt remarks on a session without a runtime folder
// (XDG_RUNTIME_DIR), which does not concern drawing into images; everything else goes on as before.
QtMessageHandler g_previousHandler = nullptr;

void quietStartHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type != QtFatalMsg && type != QtCriticalMsg && message.startsWith(QLatin1String("QStandardPaths:")))
        return;
    g_previousHandler(type, context, message);
}

}  // namespace

QFont QtChartText::qtFont(const charts::Font& font) {
    QFont qfont(qtText(font.family));
    qfont.setStyleHint(QFont::SansSerif, QFont::NoAntialias);
    qfont.setPixelSize(std::max(1, pixelSize(font.points)));
    return qfont;
}

int QtChartText::textWidth(const charts::Font& font, std::string_view text) {
    return QFontMetrics(qtFont(font)).horizontalAdvance(qtText(text));
}

void QtChartText::drawText(charts::RgbImage& image, int x, int y, const charts::Font& font,
                           std::string_view text) {
    if (image.width() == 0 || image.height() == 0 || text.empty()) return;
    // The chart's buffer is RGB888 with rows of 3 × width bytes; QPainter draws into it in place.
    QImage target(image.bytes().data(), image.width(), image.height(), image.bytesPerLine(),
                  QImage::Format_RGB888);
    QPainter painter(&target);
    const QFont qfont = qtFont(font);
    painter.setFont(qfont);
    painter.setPen(QColor(font.colour.r, font.colour.g, font.colour.b));
    painter.drawText(x, y + QFontMetrics(qfont).ascent(), qtText(text));
}

OffscreenGuiApplication::OffscreenGuiApplication() {
    if (QCoreApplication::instance() != nullptr) return;
    g_previousHandler = qInstallMessageHandler(quietStartHandler);
    m_app = std::make_unique<QGuiApplication>(m_argc, m_argv);
    qInstallMessageHandler(g_previousHandler);
}

OffscreenGuiApplication::~OffscreenGuiApplication() = default;

}  // namespace hlx::charts
