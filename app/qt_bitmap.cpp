#include "app/qt_bitmap.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

#include <array>
#include <cassert>
#include <cstring>

#include "base/atomic_file.h"
#include "base/file_reader.h"

namespace hlx::app {
namespace {

using imaging::Rgb;

constexpr std::size_t kMaxFileBytes = 512u * 1024 * 1024;
constexpr int kMaxPixelMegabytes = 256;
constexpr int kMaxSide = 65'535;
constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint32_t kBiAlphaBitfields = 6;
constexpr std::int32_t kDefaultDotsPerMeter = 2835;  // 72 dpi

std::uint32_t u16At(std::span<const std::uint8_t> b, std::size_t at) {
    return b[at] | b[at + 1] << 8;
}
std::uint32_t u32At(std::span<const std::uint8_t> b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

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

base::Status readBmpInfo(std::span<const std::uint8_t> file, BmpInfo& info) {
    if (file.size() < 2 || file[0] != 'B' || file[1] != 'M')
        return base::Status::error("keine BMP-Datei (Kennung \"BM\" fehlt)");
    if (file.size() < kFileHeaderSize + 4)
        return base::Status::error("BMP-Datei abgeschnitten (Kopf unvollständig)");
    const std::uint32_t headerSize = u32At(file, kFileHeaderSize);
    if (headerSize != 12 && (headerSize < kInfoHeaderSize || headerSize > 124))
        return base::Status::error("BMP-Kopf mit " + std::to_string(headerSize) +
                                   " Bytes wird nicht unterstützt");
    if (file.size() < kFileHeaderSize + headerSize)
        return base::Status::error("BMP-Datei abgeschnitten (Kopf unvollständig)");

    BmpInfo found;
    std::int64_t height = 0;
    std::uint32_t compression = kBiRgb;
    if (headerSize == 12) {  // OS/2 core header
        found.width = static_cast<int>(u16At(file, 18));
        height = u16At(file, 20);
        found.bitDepth = static_cast<int>(u16At(file, 24));
    } else {
        found.width = static_cast<std::int32_t>(u32At(file, 18));
        height = static_cast<std::int32_t>(u32At(file, 22));
        found.bitDepth = static_cast<int>(u16At(file, 28));
        compression = u32At(file, 30);
    }
    if (height < 0) {
        found.topDown = true;
        height = -height;
    }
    if (found.width <= 0 || height == 0)
        return base::Status::error("leeres Bild (" + std::to_string(found.width) + " x " +
                                   std::to_string(height) + " Pixel)");
    if (found.width > kMaxSide || height > kMaxSide)
        return base::Status::error("Bild zu groß (" + std::to_string(found.width) + " x " +
                                   std::to_string(height) + " Pixel, höchstens 65535 je Richtung)");
    found.height = static_cast<int>(height);
    switch (found.bitDepth) {
        case 1:
        case 4:
        case 8:
        case 16:
        case 24:
        case 32:
            break;
        default:
            return base::Status::error("Farbtiefe " + std::to_string(found.bitDepth) +
                                       " Bit wird nicht unterstützt");
    }
    if (found.bitDepth == 16 && (compression == kBiBitfields || compression == kBiAlphaBitfields)) {
        // The masks follow a 40-byte header and sit at the same place inside the longer ones.
        constexpr std::size_t kGreenMask = kFileHeaderSize + kInfoHeaderSize + 4;
        if (file.size() < kGreenMask + 4)
            return base::Status::error("BMP-Datei abgeschnitten (Farbmasken fehlen)");
        found.green6 = u32At(file, kGreenMask) == 0x07E0;
    }
    if (found.bitDepth <= 8) {
        // Entries of 4 bytes (B, G, R, 0) after the header, 3 bytes after an OS/2 core header; as many as
        // the header says are used (0: all the depth allows), never more than the depth allows.
        const std::size_t entrySize = headerSize == 12 ? 3 : 4;
        const std::size_t most = std::size_t{1} << found.bitDepth;
        const std::size_t used = headerSize >= kInfoHeaderSize ? u32At(file, 46) : 0;
        const std::size_t count = used == 0 || used > most ? most : used;
        const std::size_t start = kFileHeaderSize + headerSize;
        if (file.size() < start + count * entrySize)
            return base::Status::error("BMP-Datei abgeschnitten (Farbtabelle unvollständig)");
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* e = file.data() + start + i * entrySize;
            found.palette.push_back({e[2], e[1], e[0]});
        }
    }
    const std::uint64_t bytesInMemory = static_cast<std::uint64_t>(found.width) *
                                        static_cast<std::uint64_t>(found.height) *
                                        (found.bitDepth <= 8 ? 1 : 4);
    if (bytesInMemory > static_cast<std::uint64_t>(kMaxPixelMegabytes) * 1024 * 1024)
        return base::Status::error("Bild zu groß zum Laden (" + std::to_string(found.width) + " x " +
                                   std::to_string(found.height) + " Pixel)");
    info = found;
    return base::Status::ok();
}

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
    BmpInfo info;
    if (base::Status s = readBmpInfo(file, info); !s) return base::Status::error(name + ": " + s.message());

    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(file.data()),
                                              static_cast<qsizetype>(file.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    reader.setDecideFormatFromContent(false);
    reader.setAllocationLimit(kMaxPixelMegabytes);
    QImage image;
    if (!reader.read(&image) || image.isNull())
        return base::Status::error(name + ": BMP-Datei nicht lesbar (" + reader.errorString().toStdString() +
                                   ")");
    if (image.width() != info.width || image.height() != info.height)
        return base::Status::error(name + ": BMP-Datei nicht lesbar (Bildgröße " +
                                   std::to_string(image.width()) + " x " + std::to_string(image.height()) +
                                   " statt " + std::to_string(info.width) + " x " +
                                   std::to_string(info.height) + " laut Kopf)");

    if (info.bitDepth <= 8) {
        if (image.format() != QImage::Format_Indexed8) image = image.convertToFormat(QImage::Format_Indexed8);
        // Qt may order the colour table its own way (it swaps a two-colour table, for one): the indices
        // are turned back into indices of the file's own table, which the preview keeps.
        const QList<QRgb> table = image.colorTable();
        std::array<std::uint8_t, 256> toFile{};
        for (qsizetype i = 0; i < table.size() && i < 256; ++i) {
            const Rgb c{static_cast<std::uint8_t>(qRed(table[i])),
                        static_cast<std::uint8_t>(qGreen(table[i])),
                        static_cast<std::uint8_t>(qBlue(table[i]))};
            toFile[static_cast<std::size_t>(i)] =
                static_cast<std::uint8_t>(std::max(0, imaging::nearestPaletteIndex(info.palette, c)));
        }
        for (int y = 0; y < image.height(); ++y) {
            uchar* line = image.scanLine(y);
            for (int x = 0; x < image.width(); ++x) line[x] = toFile[line[x]];
        }
        m_palette = info.palette;
    } else if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32) {
        image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    }
    if (image.isNull()) return base::Status::error(name + ": kein Speicher für das Bild");
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

}  // namespace hlx::app
