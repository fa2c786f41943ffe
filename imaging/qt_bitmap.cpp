#include "imaging/qt_bitmap.h"

#include <cassert>
#include <cstring>

#include "base/atomic_file.h"
#include "base/file_reader.h"
#include "imaging/bmp_reader.h"

namespace hlx::imaging {
namespace {

using imaging::Rgb;

constexpr std::size_t kMaxFileBytes = 512u * 1024 * 1024;
constexpr int kMaxSide = 65'535;
constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::int32_t kDefaultDotsPerMeter = 2835;  // 72 dpi

void put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}

std::uint32_t colourKey(Rgb c) {
    return static_cast<std::uint32_t>(c.r) << 16 | c.g << 8 | c.b;
}

}  // namespace

Rgb QtBitmap::pixel(int x, int y) const {
    assert(x >= 0 && y >= 0 && x < width() && y < height());
    if (m_depth <= 8) {
        const std::uint8_t index = m_image.constScanLine(y)[x];
        return index < m_palette.size() ? m_palette[index] : Rgb{};
    }
    const QRgb p = reinterpret_cast<const QRgb*>(m_image.constScanLine(y))[x];
    return {static_cast<std::uint8_t>(qRed(p)), static_cast<std::uint8_t>(qGreen(p)),
            static_cast<std::uint8_t>(qBlue(p))};
}

void QtBitmap::setPixel(int x, int y, Rgb colour) {
    assert(x >= 0 && y >= 0 && x < width() && y < height());
    if (m_depth <= 8) {
        m_image.scanLine(y)[x] = static_cast<uchar>(paletteIndex(colour));
        return;
    }
    QRgb& p = reinterpret_cast<QRgb*>(m_image.scanLine(y))[x];
    p = qRgba(colour.r, colour.g, colour.b, qAlpha(p));
}

void QtBitmap::readRow(int y, std::span<Rgb> out) const {
    assert(static_cast<int>(out.size()) == width());
    if (m_depth <= 8) {
        imaging::Bitmap::readRow(y, out);
        return;
    }
    const QRgb* line = reinterpret_cast<const QRgb*>(m_image.constScanLine(y));
    for (std::size_t x = 0; x < out.size(); ++x)
        out[x] = {static_cast<std::uint8_t>(qRed(line[x])), static_cast<std::uint8_t>(qGreen(line[x])),
                  static_cast<std::uint8_t>(qBlue(line[x]))};
}

int QtBitmap::paletteIndex(Rgb colour) {
    const std::uint32_t key = colourKey(colour);
    if (auto it = m_nearest.find(key); it != m_nearest.end()) return it->second;
    const int index = std::max(0, imaging::nearestPaletteIndex(m_palette, colour));
    m_nearest.emplace(key, static_cast<std::uint8_t>(index));
    return index;
}

void QtBitmap::clear() {
    m_image = QImage();
    m_depth = 0;
    m_green6 = false;
    m_palette.clear();
    m_nearest.clear();
}

base::Status QtBitmap::load(const std::string& path) {
    clear();
    std::string bytes;
    const base::FileRead read = base::readRegularFile(path, bytes, kMaxFileBytes);
    if (!read.status) return read.status;
    return loadBytes({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}, path);
}

base::Status QtBitmap::loadBytes(std::span<const std::uint8_t> file, const std::string& name) {
    clear();
    imaging::BmpInfo info;
    if (base::Status s = imaging::readBmpInfo(file, info); !s)
        return base::Status::error(name + ": " + s.message());

    // The file holds every pixel of the picture: only now is it allocated.
    const bool indexed = info.bitDepth <= 8;
    QImage image(info.width, info.height,
                 indexed         ? QImage::Format_Indexed8
                 : info.hasAlpha ? QImage::Format_ARGB32
                                 : QImage::Format_RGB32);
    if (image.isNull()) return base::Status::error(name + ": kein Speicher für das Bild");
    const std::span<std::uint8_t> pixels(image.bits(), static_cast<std::size_t>(image.sizeInBytes()));
    const auto stride = static_cast<std::size_t>(image.bytesPerLine());
    const base::Status decoded = indexed ? imaging::decodeBmpIndices(file, info, pixels, stride)
                                         : imaging::decodeBmpColours(file, info, pixels, stride);
    if (!decoded) return base::Status::error(name + ": " + decoded.message());
    if (indexed) {
        QList<QRgb> table;
        for (const Rgb& c : info.palette) table.push_back(qRgb(c.r, c.g, c.b));
        image.setColorTable(table);
        m_palette = info.palette;
    }
    m_image = std::move(image);
    m_depth = info.bitDepth;
    m_green6 = info.green6;
    return base::Status::ok();
}

base::Status QtBitmap::create(int width, int height) {
    clear();
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide)
        return base::Status::error("Bildgröße " + std::to_string(width) + " x " + std::to_string(height) +
                                   " nicht möglich (1 bis 65535 je Richtung)");
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull())
        return base::Status::error("kein Speicher für ein Bild von " + std::to_string(width) + " x " +
                                   std::to_string(height) + " Pixel");
    image.fill(qRgb(0, 0, 0));
    m_image = std::move(image);
    m_depth = 24;
    return base::Status::ok();
}

std::vector<std::uint8_t> QtBitmap::bmpBytes() const {
    const int w = width();
    const int h = height();
    const std::size_t rowBytes = (static_cast<std::size_t>(w) * m_depth + 31) / 32 * 4;
    const std::size_t paletteCount = m_depth <= 8 ? m_palette.size() : 0;
    const bool masks = m_depth == 16 && m_green6;
    const std::size_t offset = kFileHeaderSize + kInfoHeaderSize + (masks ? 12 : 0) + 4 * paletteCount;
    const std::size_t imageSize = rowBytes * static_cast<std::size_t>(h);
    const auto dotsPerMeter = [](int value) {
        return static_cast<std::uint32_t>(value > 0 ? value : kDefaultDotsPerMeter);
    };

    std::vector<std::uint8_t> out;
    out.reserve(offset + imageSize);
    out.push_back('B');
    out.push_back('M');
    put32(out, static_cast<std::uint32_t>(offset + imageSize));
    put32(out, 0);
    put32(out, static_cast<std::uint32_t>(offset));
    put32(out, kInfoHeaderSize);
    put32(out, static_cast<std::uint32_t>(w));
    put32(out, static_cast<std::uint32_t>(h));  // positive: bottom-up
    put16(out, 1);
    put16(out, static_cast<std::uint32_t>(m_depth));
    put32(out, masks ? kBiBitfields : kBiRgb);
    put32(out, static_cast<std::uint32_t>(imageSize));
    put32(out, dotsPerMeter(m_image.dotsPerMeterX()));
    put32(out, dotsPerMeter(m_image.dotsPerMeterY()));
    put32(out, static_cast<std::uint32_t>(paletteCount));
    put32(out, 0);
    if (masks) {
        put32(out, 0xF800);
        put32(out, 0x07E0);
        put32(out, 0x001F);
    }
    for (std::size_t i = 0; i < paletteCount; ++i) {
        out.push_back(m_palette[i].b);
        out.push_back(m_palette[i].g);
        out.push_back(m_palette[i].r);
        out.push_back(0);
    }

    for (int y = h - 1; y >= 0; --y) {
        const std::size_t start = out.size();
        out.resize(start + rowBytes, 0);
        std::uint8_t* row = out.data() + start;
        if (m_depth <= 8) {
            const uchar* indices = m_image.constScanLine(y);
            for (int x = 0; x < w; ++x) {
                const unsigned index = indices[x];
                if (m_depth == 8)
                    row[x] = static_cast<std::uint8_t>(index);
                else if (m_depth == 4)
                    row[x / 2] |= static_cast<std::uint8_t>((index & 0x0F) << (x % 2 ? 0 : 4));
                else
                    row[x / 8] |= static_cast<std::uint8_t>((index & 0x01) << (7 - x % 8));
            }
            continue;
        }
        const QRgb* line = reinterpret_cast<const QRgb*>(m_image.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            const QRgb p = line[x];
            const unsigned r = qRed(p), g = qGreen(p), b = qBlue(p);
            if (m_depth == 16) {
                const unsigned word = m_green6 ? (r >> 3) << 11 | (g >> 2) << 5 | (b >> 3)
                                               : (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
                row[2 * x] = static_cast<std::uint8_t>(word);
                row[2 * x + 1] = static_cast<std::uint8_t>(word >> 8);
            } else {
                std::uint8_t* px = row + static_cast<std::size_t>(x) * (m_depth / 8);
                px[0] = static_cast<std::uint8_t>(b);
                px[1] = static_cast<std::uint8_t>(g);
                px[2] = static_cast<std::uint8_t>(r);
                if (m_depth == 32) px[3] = static_cast<std::uint8_t>(qAlpha(p));
            }
        }
    }
    return out;
}

base::Status QtBitmap::save(const std::string& path) const {
    if (m_depth == 0) return base::Status::error("Fehler: " + path + " nicht gespeichert: kein Bild");
    const std::vector<std::uint8_t> bytes = bmpBytes();
    return base::replaceFileAtomically(
               path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), 0666)
        .withContext("Fehler: " + path + " nicht gespeichert");
}

std::unique_ptr<imaging::Bitmap> QtBitmapFactory::newBitmap() const {
    return std::make_unique<QtBitmap>();
}

}  // namespace hlx::imaging
