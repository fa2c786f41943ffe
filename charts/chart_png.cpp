#include "charts/chart_png.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include <string_view>

#include "base/atomic_file.h"
#include "charts/rgb_image.h"

namespace hlx::charts {

base::Status saveChartPng(const charts::RgbImage& image, const std::string& path, base::FileSystem& files) {
    if (image.width() == 0 || image.height() == 0)
        return base::Status::error(path + ": an empty chart cannot be written as PNG");
    const QImage view(image.bytes().data(), image.width(), image.height(), image.bytesPerLine(),
                      QImage::Format_RGB888);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!view.save(&buffer, "PNG")) return base::Status::error(path + ": the PNG encoder failed");
    return base::replaceFileAtomically(
               path, std::string_view(png.constData(), static_cast<std::size_t>(png.size())), 0666, files)
        .withContext(path);
}

}  // namespace hlx::charts
