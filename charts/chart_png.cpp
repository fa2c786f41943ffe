#include "charts/chart_png.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QSaveFile>
#include <QString>

#include "charts/rgb_image.h"

namespace hlx::charts {

PngResult saveChartPng(const charts::RgbImage& image, const std::string& path) {
    const QString fileName = QString::fromStdString(path);
    if (image.width() == 0 || image.height() == 0)
        return {false, path + ": an empty chart cannot be written as PNG"};
    const QImage view(image.bytes().data(), image.width(), image.height(), image.bytesPerLine(),
                      QImage::Format_RGB888);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!view.save(&buffer, "PNG")) return {false, path + ": the PNG encoder failed"};

    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) return {false, path + ": " + file.errorString().toStdString()};
    if (file.write(png) != png.size() || !file.commit())
        return {false, path + ": " + file.errorString().toStdString()};
    return {true, {}};
}

}  // namespace hlx::charts
