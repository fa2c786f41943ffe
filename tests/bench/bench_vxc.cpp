// bench_vxc: how fast pictures of the monitor's full-HD size become VXC streams and back, and how small the
// streams are. Two 1920 x 1080 pictures: a photo-like one (smooth gradients with sensor noise, so nearly
// every row is plain pixel words) and a flat-graphics one (a background, boxes, bars and text-like
// strokes, the start-up screens and logos the format is made for). Each benchmark reports, besides the
// time, the pixels per second and the sizes in bytes: the stream, the same picture as plain RGB565 data
// (2 bytes a pixel) and as a PNG file (when Qt is built).
//
// Encode reads the picture from memory; decode paints onto the preview bitmap the converter uses (QImage
// when Qt is built, else a plain in-memory picture).

#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>

#include "imaging/vxc_decoder.h"
#include "imaging/vxc_encoder.h"
#include "tests/support/memory_bitmap.h"

#if HLX_HAVE_QTGRAPHICS
#include <QBuffer>
#include <QImage>

#include "imaging/qt_bitmap.h"
#endif

namespace {

using hlx::imaging::Rgb;
using hlx::test::MemoryBitmap;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;

std::uint8_t clamp(int v) {
    return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

const MemoryBitmap& photo() {
    static const MemoryBitmap picture = [] {
        MemoryBitmap p(kWidth, kHeight);
        std::uint32_t state = 12345;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                state = state * 1664525u + 1013904223u;
                const int noise = static_cast<int>(state >> 29) - 4;  // -4 .. 3
                p.setPixel(x, y,
                           {clamp(x * 255 / kWidth + noise), clamp(y * 255 / kHeight + noise / 2),
                            clamp(128 + (x - y) / 16 + noise)});
            }
        return p;
    }();
    return picture;
}

const MemoryBitmap& flatGraphics() {
    static const MemoryBitmap picture = [] {
        MemoryBitmap p(kWidth, kHeight, {0, 40, 90});  // background
        auto box = [&p](int x0, int y0, int x1, int y1, Rgb c) {
            for (int y = y0; y < y1; ++y)
                for (int x = x0; x < x1; ++x) p.setPixel(x, y, c);
        };
        box(0, 0, kWidth, 120, {255, 255, 255});    // title bar
        box(200, 300, 1720, 780, {230, 230, 230});  // panel
        for (int i = 0; i < 12; ++i)
            box(260 + i * 120, 360, 320 + i * 120, 720, {255, clamp(80 + i * 10), 0});  // bars
        for (int line = 0; line < 8; ++line)  // text-like strokes in the title bar
            for (int x = 100; x < 1800; x += 9)
                if ((x / 9 + line) % 3 != 0) box(x, 20 + line * 12, x + 6, 28 + line * 12, {0, 0, 0});
        box(1500, 900, 1800, 1040, {200, 0, 0});  // logo block
        return p;
    }();
    return picture;
}

void reportSizes(benchmark::State& state, const MemoryBitmap& picture, std::size_t streamBytes) {
    state.counters["stream_bytes"] = static_cast<double>(streamBytes);
    state.counters["rgb565_bytes"] = static_cast<double>(picture.width()) * picture.height() * 2;
#if HLX_HAVE_QTGRAPHICS
    QImage image(picture.width(), picture.height(), QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const Rgb c = picture.pixel(x, y);
            image.setPixel(x, y, qRgb(c.r, c.g, c.b));
        }
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    state.counters["png_bytes"] = static_cast<double>(png.size());
#endif
}

std::unique_ptr<hlx::imaging::Bitmap> previewTarget() {
#if HLX_HAVE_QTGRAPHICS
    auto target = std::make_unique<hlx::imaging::QtBitmap>();
    (void)target->create(kWidth, kHeight);
    return target;
#else
    return std::make_unique<MemoryBitmap>(kWidth, kHeight);
#endif
}

void encode(benchmark::State& state, const MemoryBitmap& picture) {
    hlx::imaging::VxcEncoder encoder;
    for (auto _ : state) {
        if (!encoder.encode(picture)) state.SkipWithError("refused");
        benchmark::DoNotOptimize(encoder.stream().data());
    }
    state.SetItemsProcessed(state.iterations() * picture.width() * picture.height());
    reportSizes(state, picture, encoder.stream().size());
}

void decode(benchmark::State& state, const MemoryBitmap& picture) {
    hlx::imaging::VxcEncoder encoder;
    if (!encoder.encode(picture)) state.SkipWithError("refused");
    const std::unique_ptr<hlx::imaging::Bitmap> target = previewTarget();
    for (auto _ : state) {
        const hlx::imaging::VxcDecodeResult result = hlx::imaging::decodeStream(encoder.stream(), *target);
        if (result.rows != kHeight) state.SkipWithError("stream did not decode whole");
    }
    state.SetItemsProcessed(state.iterations() * picture.width() * picture.height());
    reportSizes(state, picture, encoder.stream().size());
}

void BM_EncodePhoto(benchmark::State& state) {
    encode(state, photo());
}
void BM_EncodeFlatGraphics(benchmark::State& state) {
    encode(state, flatGraphics());
}
void BM_DecodePhoto(benchmark::State& state) {
    decode(state, photo());
}
void BM_DecodeFlatGraphics(benchmark::State& state) {
    decode(state, flatGraphics());
}

BENCHMARK(BM_EncodePhoto)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EncodeFlatGraphics)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodePhoto)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeFlatGraphics)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
