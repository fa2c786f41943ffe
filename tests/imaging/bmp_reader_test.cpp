// The BMP reader on its own: what it refuses and why, how it widens narrow channels, and, over a few
// thousand damaged files, that everything it accepts is a picture made of the file alone, in memory
// bounded by the file's size.

#include "imaging/bmp_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/imaging/bmp_builder.h"

namespace hlx::test {
namespace {

using imaging::BmpInfo;
using imaging::Rgb;

const std::vector<Rgb> kTwo = {{10, 20, 30}, {200, 100, 50}};
const std::vector<Rgb> kFive = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};

std::vector<std::uint8_t> cut(std::vector<std::uint8_t> file, std::size_t bytes) {
    file.resize(file.size() - bytes);
    return file;
}

TEST(BmpReaderTest, RefusesWhatItCannotReadWithAReason) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> file;
        std::string message;
    };
    std::vector<std::uint8_t> headerCut = buildBmp({3, 2, 24, 0, {}, 40, {}, {}});
    headerCut.resize(40);
    std::vector<std::uint8_t> paletteCut = buildBmp({1, 1, 8, 0, {}, 40, {}, {}});
    paletteCut.insert(paletteCut.end(), 12, 0x7F);  // announces no count (so 256) but holds three entries
    // 20000 x 3000 pixels claimed by a file of 118 bytes.
    const std::vector<std::uint8_t> claimsMuch =
        buildBmp({20'000, 3'000, 24, 0, {}, 40, {}, std::vector<std::uint8_t>(64, 0)});
    const std::vector<std::uint8_t> rle =
        buildBmp({.width = 4,
                  .height = 2,
                  .depth = 8,
                  .compression = 1,
                  .palette = kFive,
                  .pixels = {0x04, 0x01, 0x00, 0x00, 0x04, 0x02, 0x00, 0x01}});
    const Case cases[] = {
        {"Empty", {}, "keine BMP-Datei (Kennung \"BM\" fehlt)"},
        {"PngFile", {0x89, 'P', 'N', 'G', 13, 10, 26, 10}, "keine BMP-Datei (Kennung \"BM\" fehlt)"},
        {"HeaderCut", headerCut, "BMP-Datei abgeschnitten (Kopf unvollständig)"},
        {"UnknownHeaderSize", buildBmp({3, 2, 24, 0, {}, 20, {}, {}}),
         "BMP-Kopf mit 20 Bytes wird nicht unterstützt"},
        {"TwoBitsPerPixel", buildBmp({3, 2, 2, 0, {}, 40, {}, {}}), "Farbtiefe 2 Bit wird nicht unterstützt"},
        {"NoWidth", buildBmp({0, 2, 24, 0, {}, 40, {}, {}}), "leeres Bild (0 x 2 Pixel)"},
        {"NoHeight", buildBmp({3, 0, 24, 0, {}, 40, {}, {}}), "leeres Bild (3 x 0 Pixel)"},
        {"NegativeWidth", buildBmp({-3, 2, 24, 0, {}, 40, {}, {}}), "leeres Bild (-3 x 2 Pixel)"},
        {"WiderThanSixteenBits", buildBmp({70'000, 1, 24, 0, {}, 40, {}, {}}),
         "Bild zu groß (70000 x 1 Pixel, höchstens 65535 je Richtung)"},
        {"MorePixelsThanMemoryAllows", buildBmp({20'000, -20'000, 24, 0, {}, 40, {}, {}}),
         "Bild zu groß zum Laden (20000 x 20000 Pixel)"},
        {"MasksCut", buildBmp({1, 1, 16, 3, {}, 40, {}, {}}), "BMP-Datei abgeschnitten (Farbmasken fehlen)"},
        {"MaskWithAHole", buildBmp({1, 1, 16, 3, {}, 40, {0xF00F, 0x07E0, 0x001F}, {0, 0, 0, 0}}),
         "Farbmaske 0x0000F00F nicht zusammenhängend"},
        {"PaletteCut", paletteCut, "BMP-Datei abgeschnitten (Farbtabelle unvollständig)"},
        {"RunLengthAtTwentyFourBits", buildBmp({1, 1, 24, 1, {}, 40, {}, {0, 0, 0, 0}}),
         "Kompression 1 bei 24 Bit wird nicht unterstützt"},
        {"JpegInside", buildBmp({1, 1, 24, 4, {}, 40, {}, {0, 0, 0, 0}}),
         "Kompression 4 bei 24 Bit wird nicht unterstützt"},
        // The pixel data shorter than the header says.
        {"TwentyFourBitsOneByteShort",
         cut(buildBmp({3, 2, 24, 0, {}, 40, {}, std::vector<std::uint8_t>(24, 9)}), 1),
         "BMP-Datei abgeschnitten (Bilddaten: 23 von 24 Bytes)"},
        {"OneBitRowMissing", cut(buildBmp({3, 2, 1, 0, kTwo, 40, {}, std::vector<std::uint8_t>(8, 0)}), 4),
         "BMP-Datei abgeschnitten (Bilddaten: 4 von 8 Bytes)"},
        {"Claims20000x3000In118Bytes", claimsMuch,
         "BMP-Datei abgeschnitten (Bilddaten: 64 von 180000000 Bytes)"},
        // Run-length data: the stream must reach the end of its picture.
        {"RunLengthWithoutTheLastRow", cut(rle, 4),
         "BMP-Datei abgeschnitten (Lauflängendaten enden in Zeile 2 von 2)"},
        {"RunLengthCutInsideARun", cut(rle, 3),
         "BMP-Datei abgeschnitten (Lauflängendaten enden in Zeile 2 von 2)"},
        {"RunLengthFarTooShort", buildBmp({3000, 2000, 8, 1, kFive, 40, {}, {0x00, 0x01}}),
         "BMP-Datei abgeschnitten (2 Bytes Lauflängendaten für 3000 x 2000 Pixel)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BmpInfo info;
        info.width = -7;
        EXPECT_EQ(c.message, imaging::readBmpInfo(c.file, info).message());
        EXPECT_EQ(-7, info.width) << "left as it was";
    }
    BmpInfo info;
    EXPECT_TRUE(imaging::readBmpInfo(rle, info).isOk());
    EXPECT_TRUE(imaging::readBmpInfo(cut(rle, 2), info).isOk())
        << "the last row is whole without its end code";
}

TEST(BmpReaderTest, NarrowChannelsAreWidenedByRepeatingTheirBits) {
    struct Case {
        std::uint32_t value;
        int bits;
        std::uint8_t wide;
    };
    const Case cases[] = {
        {0, 5, 0},        {31, 5, 255},      {16, 5, 132}, {1, 5, 8},   {63, 6, 255},
        {32, 6, 130},     {1, 1, 255},       {2, 2, 170},  {5, 3, 182}, {0xAB, 8, 0xAB},
        {0x3FF, 10, 255}, {0x200, 10, 0x80}, {7, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.value) + " of " + std::to_string(c.bits) + " bits");
        EXPECT_EQ(c.wide, imaging::widenChannel(c.value, c.bits));
    }
}

// Every 5-5-5 and 5-6-5 value, against the widening written out: top bits again below.
TEST(BmpReaderTest, SixteenBitPicturesKeepTheirColours) {
    for (const bool green6 : {false, true}) {
        SCOPED_TRACE(green6 ? "5-6-5" : "5-5-5");
        const int greenBits = green6 ? 6 : 5;
        std::vector<std::uint8_t> pixels;
        std::vector<Rgb> expected;
        for (unsigned v = 0; v < 64; ++v) {
            const unsigned r = v % 32, g = v % (1u << greenBits), b = 31 - v % 32;
            const unsigned word = green6 ? r << 11 | g << 5 | b : r << 10 | g << 5 | b;
            pixels.push_back(static_cast<std::uint8_t>(word));
            pixels.push_back(static_cast<std::uint8_t>(word >> 8));
            auto widen = [](unsigned value, int bits) {
                return static_cast<std::uint8_t>(value << (8 - bits) | value >> (2 * bits - 8));
            };
            expected.push_back({widen(r, 5), widen(g, greenBits), widen(b, 5)});
        }
        BmpSpec spec{.width = 64, .height = -1, .depth = 16, .pixels = pixels};
        if (green6) {
            spec.compression = 3;
            spec.masks = {0xF800, 0x07E0, 0x001F};
        }
        const std::vector<std::uint8_t> file = buildBmp(spec);
        BmpInfo info;
        ASSERT_TRUE(imaging::readBmpInfo(file, info).isOk());
        EXPECT_EQ(green6, info.green6);
        std::vector<std::uint8_t> out(64 * 4);
        ASSERT_TRUE(imaging::decodeBmpColours(file, info, out, 64 * 4).isOk());
        for (std::size_t x = 0; x < 64; ++x) {
            std::uint32_t word = 0;
            std::memcpy(&word, out.data() + 4 * x, 4);
            const Rgb got{static_cast<std::uint8_t>(word >> 16), static_cast<std::uint8_t>(word >> 8),
                          static_cast<std::uint8_t>(word)};
            EXPECT_EQ(expected[x], got) << "pixel " << x;
        }
        EXPECT_EQ(0xFFu, out[3]) << "opaque";
    }
}

// Valid files of every kind the reader takes, to be damaged below.
std::vector<std::vector<std::uint8_t>> sampleFiles() {
    std::vector<Rgb> sixteen;
    for (std::uint8_t i = 0; i < 16; ++i) sixteen.push_back({i, static_cast<std::uint8_t>(i * 3), 200});
    std::vector<std::uint8_t> ramp(4 * 5 * 4);
    for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<std::uint8_t>(i * 37 + 11);
    return {
        buildBmp({3, 2, 1, 0, kTwo, 40, {}, {0xC0, 0, 0, 0, 0x40, 0, 0, 0}}),
        buildBmp({5, 2, 4, 0, sixteen, 40, {}, {0x12, 0x34, 0x50, 0, 0xFE, 0xDC, 0xB0, 0}}),
        buildBmp({.width = 5,
                  .height = 3,
                  .depth = 4,
                  .compression = 2,
                  .palette = sixteen,
                  .pixels = {0x05, 0x12, 0x00, 0x00, 0x00, 0x05, 0x34, 0x5F, 0x60, 0x00, 0x00,
                             0x00, 0x00, 0x02, 0x01, 0x01, 0x03, 0x0F, 0x00, 0x00, 0x00, 0x01}}),
        buildBmp({3, 2, 8, 0, kFive, 40, {}, {3, 4, 0, 0, 0, 1, 2, 0}}),
        buildBmp({.width = 6,
                  .height = 3,
                  .depth = 8,
                  .compression = 1,
                  .palette = kFive,
                  .pixels = {0x06, 0x01, 0x00, 0x00, 0x00, 0x03, 0x02, 0x03, 0x04, 0x00, 0x03,
                             0x00, 0x00, 0x00, 0x00, 0x02, 0x02, 0x01, 0x02, 0x04, 0x00, 0x01}}),
        buildBmp({3,
                  2,
                  16,
                  0,
                  {},
                  40,
                  {},
                  {0xFF, 0x7F, 0x00, 0x00, 0x10, 0x42, 0, 0, 0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0, 0}}),
        buildBmp({3,
                  -2,
                  16,
                  3,
                  {},
                  40,
                  {0xF800, 0x07E0, 0x001F},
                  {0x41, 0x08, 0, 0, 0x10, 0x84, 0, 0, 0, 0xF8, 0xE0, 0x07, 0x1F, 0, 0, 0}}),
        buildBmp({5, 4, 24, 0, {}, 40, {}, ramp}),
        buildBmp({5, 4, 32, 0, {}, 40, {}, std::vector<std::uint8_t>(ramp.begin(), ramp.begin() + 80)}),
        buildBmp({.width = 3,
                  .height = -2,
                  .depth = 32,
                  .compression = 3,
                  .headerSize = 124,
                  .masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000},
                  .pixels = std::vector<std::uint8_t>(ramp.begin(), ramp.begin() + 24)}),
        buildBmp({.width = 3,
                  .height = 2,
                  .depth = 4,
                  .palette = sixteen,
                  .headerSize = 12,
                  .pixels = {0x40, 0xF0, 0, 0, 0x12, 0x30, 0, 0}}),
    };
}

// Decodes an accepted file into a buffer first filled with fill; the bytes of its rows.
std::vector<std::uint8_t> decodeOver(const std::vector<std::uint8_t>& file, const BmpInfo& info,
                                     std::uint8_t fill, bool& ok) {
    const std::size_t perPixel = info.bitDepth <= 8 ? 1 : 4;
    const std::size_t stride =
        static_cast<std::size_t>(info.width) * perPixel + 3;  // room a decoder must not use
    std::vector<std::uint8_t> out(stride * static_cast<std::size_t>(info.height), fill);
    ok = (perPixel == 1 ? imaging::decodeBmpIndices(file, info, out, stride)
                        : imaging::decodeBmpColours(file, info, out, stride))
             .isOk();
    std::vector<std::uint8_t> rows;
    for (int y = 0; y < info.height; ++y) {
        const auto row = out.begin() + static_cast<long>(static_cast<std::size_t>(y) * stride);
        rows.insert(rows.end(), row,
                    row + static_cast<long>(static_cast<std::size_t>(info.width) * perPixel));
        EXPECT_TRUE(std::all_of(row + static_cast<long>(static_cast<std::size_t>(info.width) * perPixel),
                                row + static_cast<long>(stride),
                                [fill](std::uint8_t b) { return b == fill; }))
            << "written beyond its row";
    }
    return rows;
}

// Whatever the damage: a file the reader accepts decodes to the same pixels over any memory (so none is
// left unwritten), every index names an entry of the file's colour table, and the picture costs at most
// 256 bytes of memory per byte of the file.
TEST(BmpReaderTest, AcceptedPicturesComeFromTheFileAlone) {
    std::mt19937 random(16);
    int accepted = 0;
    int refused = 0;
    for (const std::vector<std::uint8_t>& sample : sampleFiles()) {
        BmpInfo whole;
        ASSERT_TRUE(imaging::readBmpInfo(sample, whole).isOk()) << "a sample must be sound";
        std::vector<std::vector<std::uint8_t>> variants{sample};
        for (std::size_t length = 0; length < sample.size(); ++length)
            variants.emplace_back(sample.begin(), sample.begin() + static_cast<long>(length));
        for (int i = 0; i < 300; ++i) {
            std::vector<std::uint8_t> damaged = sample;
            const int flips = 1 + static_cast<int>(random() % 4);
            for (int f = 0; f < flips; ++f)
                damaged[random() % damaged.size()] = static_cast<std::uint8_t>(random() & 0xFF);
            variants.push_back(std::move(damaged));
        }
        for (const std::vector<std::uint8_t>& file : variants) {
            BmpInfo info;
            if (!imaging::readBmpInfo(file, info)) {
                ++refused;
                continue;
            }
            const std::size_t perPixel = info.bitDepth <= 8 ? 1 : 4;
            const std::uint64_t pictureBytes =
                static_cast<std::uint64_t>(info.width) * static_cast<std::uint64_t>(info.height) * perPixel;
            ASSERT_LE(pictureBytes, 256u * file.size()) << info.width << " x " << info.height;
            bool ok0 = false;
            bool ok1 = false;
            const std::vector<std::uint8_t> over0 = decodeOver(file, info, 0x00, ok0);
            const std::vector<std::uint8_t> over1 = decodeOver(file, info, 0xFF, ok1);
            ASSERT_EQ(ok0, ok1);
            if (!ok0) {
                ++refused;
                continue;
            }
            ++accepted;
            ASSERT_EQ(over0, over1) << "a pixel not written by the decoder";
            if (perPixel == 1)
                for (std::uint8_t index : over0) ASSERT_LT(index, info.palette.size());
        }
    }
    EXPECT_GT(accepted, 100);
    EXPECT_GT(refused, 100);
}

}  // namespace
}  // namespace hlx::test
