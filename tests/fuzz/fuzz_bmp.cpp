// Fuzz target for reading BMP files through QtBitmap: the BMP reader and the QImage it fills. For every
// input: a file the reader refuses is refused by loading too; a loaded picture has the size and depth the
// headers gave and a palette that fits the depth; every pixel can be read and painted back; and the BMP
// file it saves loads again with the same size, depth, palette and colours (16-bit colours compared in
// the bits the format keeps).

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "imaging/bmp_reader.h"
#include "imaging/qt_bitmap.h"

namespace {

bool sameColour(hlx::imaging::Rgb a, hlx::imaging::Rgb b, int depth, bool green6) {
    if (depth != 16) return a == b;
    return a.r >> 3 == b.r >> 3 && a.b >> 3 == b.b >> 3 && a.g >> (green6 ? 2 : 3) == b.g >> (green6 ? 2 : 3);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace hlx;
    const std::span<const std::uint8_t> file(data, size);
    imaging::BmpInfo info;
    const bool headersOk = imaging::readBmpInfo(file, info).isOk();
    // Large pictures are refused or read the same way as small ones; they only slow the search down.
    if (headersOk && static_cast<std::int64_t>(info.width) * info.height > 1 << 20) return 0;

    imaging::QtBitmap bitmap;
    const base::Status loaded = bitmap.loadBytes(file, "fuzz.bmp");
    if (!loaded) {
        if (loaded.message().empty() || bitmap.bitDepth() != 0 || bitmap.width() != 0) std::abort();
        return 0;
    }
    if (!headersOk) std::abort();
    if (bitmap.width() != info.width || bitmap.height() != info.height || bitmap.bitDepth() != info.bitDepth)
        std::abort();
    const std::vector<imaging::Rgb> palette = bitmap.palette();
    if (info.bitDepth <= 8 ? palette.empty() || palette.size() > (1u << info.bitDepth) : !palette.empty())
        std::abort();

    std::vector<imaging::Rgb> row(static_cast<std::size_t>(bitmap.width()));
    for (int y = 0; y < bitmap.height(); ++y) {
        bitmap.readRow(y, row);
        for (int x = 0; x < bitmap.width(); ++x) {
            if (!(row[x] == bitmap.pixel(x, y))) std::abort();
            // Every colour of a palette picture is an entry of its palette, and paints as itself.
            if (!palette.empty() && std::find(palette.begin(), palette.end(), row[x]) == palette.end())
                std::abort();
            bitmap.setPixel(x, y, row[x]);
            if (!(bitmap.pixel(x, y) == row[x])) std::abort();
        }
    }

    const std::vector<std::uint8_t> saved = bitmap.bmpBytes();
    imaging::QtBitmap again;
    if (!again.loadBytes(saved, "saved.bmp")) std::abort();
    if (again.width() != bitmap.width() || again.height() != bitmap.height() ||
        again.bitDepth() != bitmap.bitDepth() || again.palette() != palette)
        std::abort();
    for (int y = 0; y < bitmap.height(); ++y)
        for (int x = 0; x < bitmap.width(); ++x)
            if (!sameColour(bitmap.pixel(x, y), again.pixel(x, y), info.bitDepth, info.green6)) std::abort();
    return 0;
}
