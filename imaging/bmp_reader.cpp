#include "imaging/bmp_reader.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

#include <fmt/format.h>

namespace hlx::imaging {
namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::size_t kInfoHeaderSize = 40;
constexpr std::size_t kCoreHeaderSize = 12;
constexpr std::size_t kMasksAt = kFileHeaderSize + kInfoHeaderSize;
constexpr int kMaxSide = 65'535;
constexpr std::uint64_t kMaxPixelBytes = 256ull * 1024 * 1024;
// A run pair of 2 bytes paints at most 255 pixels: no sound stream covers more pixels than this per byte.
constexpr std::uint64_t kRlePixelsPerByte = 256;

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint32_t kBiAlphaBitfields = 6;

std::uint32_t u16At(std::span<const std::uint8_t> b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at] | b[at + 1] << 8);
}
std::uint32_t u32At(std::span<const std::uint8_t> b, std::size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}

std::string size(std::int64_t width, std::int64_t height) {
    return std::to_string(width) + " x " + std::to_string(height) + " Pixel";
}

bool makeChannel(std::uint32_t mask, BmpChannel& channel) {
    channel = {mask, 0, 0};
    if (mask == 0) return true;
    channel.shift = std::countr_zero(mask);
    const std::uint32_t bits = mask >> channel.shift;
    channel.bits = std::popcount(bits);
    return (bits & (bits + 1)) == 0;  // one run of ones
}

// Walks a run-length stream; paint(row, x, index) for every pixel it sets inside the picture, the row
// counted as the file stores them (bottom row first unless top-down). Returns whether the stream reached
// the end of its picture (the end-of-picture code, a row past the last, or the last row painted whole)
// before its bytes ran out; row is left at the row it reached.
template <class Paint>
bool walkRunLengths(std::span<const std::uint8_t> data, int width, int height, bool fourBits, Paint&& paint,
                    std::int64_t& row) {
    std::size_t p = 0;
    std::int64_t x = 0;
    row = 0;
    auto complete = [&] { return row >= height || (row == height - 1 && x >= width); };
    auto put = [&](std::uint8_t index) {
        if (x < width && row < height) paint(static_cast<int>(row), static_cast<int>(x), index);
        ++x;
    };
    for (;;) {
        if (row >= height) return true;
        if (data.size() - p < 2) return complete();
        const std::uint8_t count = data[p];
        const std::uint8_t value = data[p + 1];
        p += 2;
        if (count > 0) {
            for (int i = 0; i < count; ++i)
                put(fourBits ? static_cast<std::uint8_t>(i % 2 == 0 ? value >> 4 : value & 0x0F) : value);
            continue;
        }
        switch (value) {
            case 0:
                x = 0;
                ++row;
                break;
            case 1:
                return true;
            case 2:
                if (data.size() - p < 2) return complete();
                x += data[p];
                row += data[p + 1];
                p += 2;
                break;
            default: {
                const std::size_t bytes = fourBits ? (value + 1u) / 2 : value;
                if (data.size() - p < bytes) return complete();
                for (int i = 0; i < value; ++i) {
                    const std::uint8_t b = data[p + (fourBits ? static_cast<std::size_t>(i / 2) : i)];
                    put(fourBits ? static_cast<std::uint8_t>(i % 2 == 0 ? b >> 4 : b & 0x0F) : b);
                }
                p += std::min(bytes + (bytes & 1), data.size() - p);  // padded to 16 bits
                break;
            }
        }
    }
}

std::span<const std::uint8_t> pixelData(std::span<const std::uint8_t> file, const BmpInfo& info) {
    return info.dataOffset < file.size() ? file.subspan(info.dataOffset) : std::span<const std::uint8_t>{};
}

base::Status indexBeyondPalette(unsigned index, std::size_t colours) {
    return base::Status::error("Farbindex " + std::to_string(index) + " außerhalb der Farbtabelle (" +
                               std::to_string(colours) + " Farben)");
}

std::uint32_t argb(std::uint8_t a, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    return static_cast<std::uint32_t>(a) << 24 | static_cast<std::uint32_t>(r) << 16 |
           static_cast<std::uint32_t>(g) << 8 | b;
}

std::uint8_t channelOf(std::uint32_t pixel, const BmpChannel& c) {
    return c.bits == 0 ? 0 : widenChannel((pixel & c.mask) >> c.shift, c.bits);
}

}  // namespace

std::uint8_t widenChannel(std::uint32_t value, int bits) {
    if (bits <= 0) return 0;
    if (bits >= 8) return static_cast<std::uint8_t>(value >> (bits - 8));
    std::uint32_t wide = 0;
    int filled = 0;
    while (filled < 8) {
        wide = wide << bits | value;
        filled += bits;
    }
    return static_cast<std::uint8_t>(wide >> (filled - 8));
}

base::Status readBmpInfo(std::span<const std::uint8_t> file, BmpInfo& info) {
    if (file.size() < 2 || file[0] != 'B' || file[1] != 'M')
        return base::Status::error("keine BMP-Datei (Kennung \"BM\" fehlt)");
    if (file.size() < kFileHeaderSize + 4)
        return base::Status::error("BMP-Datei abgeschnitten (Kopf unvollständig)");
    const std::uint32_t headerSize = u32At(file, kFileHeaderSize);
    if (headerSize != kCoreHeaderSize && (headerSize < kInfoHeaderSize || headerSize > 124))
        return base::Status::error("BMP-Kopf mit " + std::to_string(headerSize) +
                                   " Bytes wird nicht unterstützt");
    if (file.size() < kFileHeaderSize + headerSize)
        return base::Status::error("BMP-Datei abgeschnitten (Kopf unvollständig)");

    BmpInfo found;
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint32_t compression = kBiRgb;
    if (headerSize == kCoreHeaderSize) {
        width = u16At(file, 18);
        height = u16At(file, 20);
        found.bitDepth = static_cast<int>(u16At(file, 24));
    } else {
        width = static_cast<std::int32_t>(u32At(file, 18));
        height = static_cast<std::int32_t>(u32At(file, 22));
        found.bitDepth = static_cast<int>(u16At(file, 28));
        compression = u32At(file, 30);
    }
    if (height < 0) {
        found.topDown = true;
        height = -height;
    }
    if (width <= 0 || height == 0) return base::Status::error("leeres Bild (" + size(width, height) + ")");
    if (width > kMaxSide || height > kMaxSide)
        return base::Status::error("Bild zu groß (" + size(width, height) + ", höchstens 65535 je Richtung)");
    found.width = static_cast<int>(width);
    found.height = static_cast<int>(height);
    const int depth = found.bitDepth;
    if (depth != 1 && depth != 4 && depth != 8 && depth != 16 && depth != 24 && depth != 32)
        return base::Status::error("Farbtiefe " + std::to_string(depth) + " Bit wird nicht unterstützt");

    const bool fields = compression == kBiBitfields || compression == kBiAlphaBitfields;
    if (compression == kBiRgb)
        found.compression = BmpCompression::None;
    else if (compression == kBiRle8 && depth == 8)
        found.compression = BmpCompression::Rle8;
    else if (compression == kBiRle4 && depth == 4)
        found.compression = BmpCompression::Rle4;
    else if (fields && (depth == 16 || depth == 32))
        found.compression = BmpCompression::BitFields;
    else
        return base::Status::error("Kompression " + std::to_string(compression) + " bei " +
                                   std::to_string(depth) + " Bit wird nicht unterstützt");

    std::size_t headersEnd = kFileHeaderSize + headerSize;
    if (depth == 16 || depth == 32) {
        std::array<std::uint32_t, 4> masks = depth == 16
                                                 ? std::array<std::uint32_t, 4>{0x7C00, 0x03E0, 0x001F, 0}
                                                 : std::array<std::uint32_t, 4>{0xFF0000, 0xFF00, 0xFF, 0};
        if (fields) {
            // The masks follow a 40-byte header and sit at the same place inside the longer ones.
            const std::size_t count = compression == kBiAlphaBitfields || headerSize >= 56 ? 4 : 3;
            if (file.size() < kMasksAt + 4 * count)
                return base::Status::error("BMP-Datei abgeschnitten (Farbmasken fehlen)");
            for (std::size_t i = 0; i < count; ++i) masks[i] = u32At(file, kMasksAt + 4 * i);
            headersEnd = std::max(headersEnd, kMasksAt + 4 * count);
        }
        for (std::size_t i = 0; i < 4; ++i) {
            if (makeChannel(masks[i], found.channels[i])) continue;
            return base::Status::error(fmt::format("Farbmaske 0x{:08X} nicht zusammenhängend", masks[i]));
        }
        found.green6 = depth == 16 && masks[1] == 0x07E0;
        found.hasAlpha = depth == 32 && masks[3] != 0;
    }
    if (depth <= 8) {
        // Entries of 4 bytes (B, G, R, 0) after the header, 3 bytes after an OS/2 core header; as many as
        // the header says are used (0: all the depth allows), never more than the depth allows.
        const std::size_t entrySize = headerSize == kCoreHeaderSize ? 3 : 4;
        const std::size_t most = std::size_t{1} << depth;
        const std::size_t used = headerSize >= kInfoHeaderSize ? u32At(file, 46) : 0;
        const std::size_t count = used == 0 || used > most ? most : used;
        if (file.size() < headersEnd + count * entrySize)
            return base::Status::error("BMP-Datei abgeschnitten (Farbtabelle unvollständig)");
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* e = file.data() + headersEnd + i * entrySize;
            found.palette.push_back({e[2], e[1], e[0]});
        }
        headersEnd += count * entrySize;
    }

    const std::uint64_t pixels =
        static_cast<std::uint64_t>(found.width) * static_cast<std::uint64_t>(found.height);
    if (pixels * (depth <= 8 ? 1 : 4) > kMaxPixelBytes)
        return base::Status::error("Bild zu groß zum Laden (" + size(found.width, found.height) + ")");

    // Where the pixels start; an offset that points into the headers means right after them.
    found.dataOffset = std::max<std::size_t>(u32At(file, 10), headersEnd);
    const std::span<const std::uint8_t> data = pixelData(file, found);
    if (found.compression == BmpCompression::Rle8 || found.compression == BmpCompression::Rle4) {
        if (pixels > kRlePixelsPerByte * data.size())
            return base::Status::error("BMP-Datei abgeschnitten (" + std::to_string(data.size()) +
                                       " Bytes Lauflängendaten für " + size(found.width, found.height) + ")");
        std::int64_t reached = 0;
        if (!walkRunLengths(
                data, found.width, found.height, found.compression == BmpCompression::Rle4,
                [](int, int, std::uint8_t) {}, reached))
            return base::Status::error("BMP-Datei abgeschnitten (Lauflängendaten enden in Zeile " +
                                       std::to_string(reached + 1) + " von " + std::to_string(found.height) +
                                       ")");
    } else {
        found.rowBytes =
            (static_cast<std::size_t>(found.width) * static_cast<std::size_t>(depth) + 31) / 32 * 4;
        const std::uint64_t need =
            static_cast<std::uint64_t>(found.rowBytes) * static_cast<std::uint64_t>(found.height);
        if (data.size() < need)
            return base::Status::error("BMP-Datei abgeschnitten (Bilddaten: " + std::to_string(data.size()) +
                                       " von " + std::to_string(need) + " Bytes)");
    }
    info = std::move(found);
    return base::Status::ok();
}

base::Status decodeBmpIndices(std::span<const std::uint8_t> file, const BmpInfo& info,
                              std::span<std::uint8_t> out, std::size_t stride) {
    const std::size_t width = static_cast<std::size_t>(info.width);
    const std::size_t colours = info.palette.size();
    auto rowOut = [&](int fileRow) {
        const int y = info.topDown ? fileRow : info.height - 1 - fileRow;
        return out.subspan(static_cast<std::size_t>(y) * stride, width);
    };
    const std::span<const std::uint8_t> data = pixelData(file, info);
    if (info.compression == BmpCompression::Rle8 || info.compression == BmpCompression::Rle4) {
        for (int row = 0; row < info.height; ++row) std::ranges::fill(rowOut(row), std::uint8_t{0});
        unsigned beyond = 0;
        bool bad = false;
        std::int64_t reached = 0;
        walkRunLengths(
            data, info.width, info.height, info.compression == BmpCompression::Rle4,
            [&](int row, int x, std::uint8_t index) {
                if (index >= colours && !bad) {
                    bad = true;
                    beyond = index;
                }
                rowOut(row)[static_cast<std::size_t>(x)] = index;
            },
            reached);
        return bad ? indexBeyondPalette(beyond, colours) : base::Status::ok();
    }
    for (int row = 0; row < info.height; ++row) {
        const std::uint8_t* in = data.data() + static_cast<std::size_t>(row) * info.rowBytes;
        const std::span<std::uint8_t> line = rowOut(row);
        for (std::size_t x = 0; x < width; ++x) {
            std::uint8_t index = 0;
            if (info.bitDepth == 8)
                index = in[x];
            else if (info.bitDepth == 4)
                index = static_cast<std::uint8_t>(x % 2 == 0 ? in[x / 2] >> 4 : in[x / 2] & 0x0F);
            else
                index = static_cast<std::uint8_t>(in[x / 8] >> (7 - x % 8) & 0x01);
            if (index >= colours) return indexBeyondPalette(index, colours);
            line[x] = index;
        }
    }
    return base::Status::ok();
}

base::Status decodeBmpColours(std::span<const std::uint8_t> file, const BmpInfo& info,
                              std::span<std::uint8_t> out, std::size_t stride) {
    const std::span<const std::uint8_t> data = pixelData(file, info);
    const std::size_t width = static_cast<std::size_t>(info.width);
    const bool masked = info.bitDepth == 16 || info.compression == BmpCompression::BitFields;
    const auto& [red, green, blue, alpha] = info.channels;
    for (int row = 0; row < info.height; ++row) {
        const std::uint8_t* in = data.data() + static_cast<std::size_t>(row) * info.rowBytes;
        const int y = info.topDown ? row : info.height - 1 - row;
        std::uint8_t* line = out.data() + static_cast<std::size_t>(y) * stride;
        for (std::size_t x = 0; x < width; ++x) {
            std::uint32_t word = 0;
            if (info.bitDepth == 24) {
                const std::uint8_t* p = in + 3 * x;
                word = argb(0xFF, p[2], p[1], p[0]);
            } else if (!masked) {  // 32 bits as blue, green, red and a byte that is not read
                const std::uint8_t* p = in + 4 * x;
                word = argb(0xFF, p[2], p[1], p[0]);
            } else {
                const std::uint32_t pixel =
                    info.bitDepth == 16 ? u16At(data, static_cast<std::size_t>(in - data.data()) + 2 * x)
                                        : u32At(data, static_cast<std::size_t>(in - data.data()) + 4 * x);
                word = argb(info.hasAlpha ? channelOf(pixel, alpha) : 0xFF, channelOf(pixel, red),
                            channelOf(pixel, green), channelOf(pixel, blue));
            }
            std::memcpy(line + 4 * x, &word, 4);
        }
    }
    return base::Status::ok();
}

}  // namespace hlx::imaging
