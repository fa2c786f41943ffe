// BMP files through QtBitmap: every depth Windows writes is read into the right colours, remembers its
// pixel format, and is written back in that format; broken and oversized files are refused with a reason.

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "imaging/qt_bitmap.h"
#include "tests/imaging/bmp_builder.h"
#include "tests/imaging/picture_helpers.h"
#include "tests/support/temp_dir.h"

namespace hlx::test {
namespace {

using imaging::Rgb;

// 5- and 6-bit channels widened to 8 bits by repeating their top bits, so 31 is 255 and the 16-bit word
// survives unchanged (its low bits are the top bits again).
constexpr std::uint8_t five(unsigned v) {
    return static_cast<std::uint8_t>(v << 3 | v >> 2);
}
constexpr std::uint8_t six(unsigned v) {
    return static_cast<std::uint8_t>(v << 2 | v >> 4);
}

const std::vector<Rgb> kFour = {{10, 20, 30},    {255, 0, 0},  {0, 255, 0},  {0, 0, 255},
                                {250, 250, 250}, {1, 2, 3},    {4, 5, 6},    {7, 8, 9},
                                {11, 12, 13},    {14, 15, 16}, {17, 18, 19}, {20, 21, 22},
                                {23, 24, 25},    {26, 27, 28}, {29, 30, 31}, {128, 64, 32}};
const std::vector<Rgb> kEight = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};

struct DepthCase {
    const char* name;
    BmpSpec spec;
    std::vector<std::vector<Rgb>> rows;  // expected colours, top row first
};

void PrintTo(const DepthCase& c, std::ostream* os) {
    *os << c.name;
}

// Each picture is 3 x 2 pixels; rows in the file are padded to 4 bytes and stored bottom row first unless
// the height is negative.
std::vector<DepthCase> depthCases() {
    const Rgb a{10, 20, 30};
    const Rgb b{200, 100, 50};
    const std::vector<std::vector<Rgb>> fourBitRows{{kFour[1], kFour[2], kFour[3]},
                                                    {kFour[4], kFour[0], kFour[15]}};
    const std::vector<std::vector<Rgb>> eightBitRows{{kEight[0], kEight[1], kEight[2]},
                                                     {kEight[3], kEight[4], kEight[0]}};
    const std::vector<std::vector<Rgb>> directRows{{{255, 0, 0}, {0, 255, 0}, {0, 0, 255}},
                                                   {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}};
    // clang-format off
    return {
        {"OneBit",
         {.width = 3, .height = 2, .depth = 1, .palette = {a, b},
          .pixels = {0xC0, 0, 0, 0,          // bottom: 1 1 0
                     0x40, 0, 0, 0}},        // top:    0 1 0
         {{a, b, a}, {b, b, a}}},
        {"FourBits",
         {.width = 3, .height = 2, .depth = 4, .palette = kFour,
          .pixels = {0x40, 0xF0, 0, 0,       // bottom: 4 0 15
                     0x12, 0x30, 0, 0}},     // top:    1 2 3
         fourBitRows},
        {"FourBitsRunLength",
         {.width = 3, .height = 2, .depth = 4, .compression = 2, .palette = kFour,
          .pixels = {0x00, 0x03, 0x40, 0xF0, 0x00, 0x00,   // bottom: absolute 4 0 15, end of line
                     0x02, 0x12, 0x01, 0x30, 0x00, 0x00,   // top: run 1 2, run 3, end of line
                     0x00, 0x01}},                         // end of picture
         fourBitRows},
        {"FourBitsOs2Header",
         {.width = 3, .height = 2, .depth = 4, .palette = kFour, .headerSize = 12,
          .pixels = {0x40, 0xF0, 0, 0, 0x12, 0x30, 0, 0}},
         fourBitRows},
        {"EightBits",
         {.width = 3, .height = 2, .depth = 8, .palette = kEight,
          .pixels = {3, 4, 0, 0,
                     0, 1, 2, 0}},
         eightBitRows},
        {"EightBitsRunLength",
         {.width = 3, .height = 2, .depth = 8, .compression = 1, .palette = kEight,
          .pixels = {0x02, 0x03, 0x01, 0x04, 0x00, 0x00,               // bottom: run 3 3, run 4, end of line
                     0x00, 0x03, 0x00, 0x01, 0x02, 0x00, 0x00, 0x00,   // top: absolute 0 1 2 (padded), end of line
                     0x00, 0x01}},
         {{kEight[0], kEight[1], kEight[2]}, {kEight[3], kEight[3], kEight[4]}}},
        {"SixteenBitsFiveFiveFive",
         {.width = 3, .height = 2, .depth = 16,
          .pixels = {0xFF, 0x7F, 0x00, 0x00, 0x10, 0x42, 0, 0,      // bottom: white, black, (16, 16, 16)
                     0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0, 0}},    // top: red, green, blue
         {{{five(31), 0, 0}, {0, five(31), 0}, {0, 0, five(31)}},
          {{five(31), five(31), five(31)}, {0, 0, 0}, {five(16), five(16), five(16)}}}},
        {"SixteenBitsFiveSixFive",
         {.width = 3, .height = 2, .depth = 16, .compression = 3, .masks = {0xF800, 0x07E0, 0x001F},
          .pixels = {0x41, 0x08, 0x00, 0x00, 0x10, 0x84, 0, 0,      // bottom: (1, 2, 1), black, (16, 32, 16)
                     0x00, 0xF8, 0xE0, 0x07, 0x1F, 0x00, 0, 0}},    // top: red, green, blue
         {{{five(31), 0, 0}, {0, six(63), 0}, {0, 0, five(31)}},
          {{five(1), six(2), five(1)}, {0, 0, 0}, {five(16), six(32), five(16)}}}},
        {"TwentyFourBits",
         {.width = 3, .height = 2, .depth = 24,
          .pixels = {3, 2, 1, 6, 5, 4, 9, 8, 7, 0, 0, 0,
                     0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 0, 0}},
         directRows},
        {"TwentyFourBitsTopDown",
         {.width = 3, .height = -2, .depth = 24,
          .pixels = {0, 0, 255, 0, 255, 0, 255, 0, 0, 0, 0, 0,
                     3, 2, 1, 6, 5, 4, 9, 8, 7, 0, 0, 0}},
         directRows},
        {"ThirtyTwoBits",
         {.width = 3, .height = 2, .depth = 32,
          .pixels = {3, 2, 1, 0, 6, 5, 4, 0, 9, 8, 7, 0,
                     0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0}},
         directRows},
        {"ThirtyTwoBitsWithAlphaKeepTheirColours",
         {.width = 3, .height = -2, .depth = 32, .compression = 3, .headerSize = 124,
          .masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000},
          .pixels = {0, 0, 255, 0x80, 0, 255, 0, 0x00, 255, 0, 0, 0xFF,
                     3, 2, 1, 0x10, 6, 5, 4, 0x20, 9, 8, 7, 0x30}},
         directRows},
    };
    // clang-format on
}

std::vector<Rgb> pixelsOf(const imaging::Bitmap& bitmap) {
    std::vector<Rgb> pixels;
    for (int y = 0; y < bitmap.height(); ++y)
        for (int x = 0; x < bitmap.width(); ++x) pixels.push_back(bitmap.pixel(x, y));
    return pixels;
}

std::string describe(const std::vector<Rgb>& pixels) {
    std::string text;
    for (const Rgb& c : pixels)
        text += "(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + ")";
    return text;
}

class QtBitmapDepthTest : public ::testing::TestWithParam<DepthCase> {};

TEST_P(QtBitmapDepthTest, ReadsTheColoursAndWritesTheSameFormatBack) {
    const DepthCase& c = GetParam();
    TempDir dir;
    const std::string source = dir.file("source.bmp");
    const std::vector<std::uint8_t> file = buildBmp(c.spec);
    writeFile(source, std::string(file.begin(), file.end()));

    imaging::QtBitmap bitmap;
    ASSERT_TRUE(bitmap.load(source)) << bitmap.load(source).message();
    EXPECT_EQ(3, bitmap.width());
    EXPECT_EQ(2, bitmap.height());
    EXPECT_EQ(c.spec.depth, bitmap.bitDepth());
    std::vector<Rgb> expected;
    for (const auto& row : c.rows) expected.insert(expected.end(), row.begin(), row.end());
    EXPECT_EQ(describe(expected), describe(pixelsOf(bitmap)));
    std::vector<Rgb> row(3);
    bitmap.readRow(1, row);
    EXPECT_EQ(describe(c.rows[1]), describe(row));
    EXPECT_EQ(describe(c.spec.palette), describe(bitmap.palette()));

    const std::string copy = dir.file("copy.bmp");
    ASSERT_TRUE(bitmap.save(copy));
    imaging::QtBitmap again;
    ASSERT_TRUE(again.load(copy));
    EXPECT_EQ(c.spec.depth, again.bitDepth());
    EXPECT_EQ(describe(c.spec.palette), describe(again.palette()));
    EXPECT_EQ(describe(expected), describe(pixelsOf(again)));
    // A plain bottom-up file with a 40-byte header, in the source's depth.
    const std::string saved = readFile(copy);
    ASSERT_GE(saved.size(), 54u);
    EXPECT_EQ(40, saved[14]);
    EXPECT_EQ(2, saved[22]);
    EXPECT_EQ(c.spec.depth, saved[28]);
    const bool fields = c.spec.depth == 16 && c.spec.compression == 3;
    EXPECT_EQ(fields ? 3 : 0, saved[30]) << "compression";
}

INSTANTIATE_TEST_SUITE_P(BmpFiles, QtBitmapDepthTest, ::testing::ValuesIn(depthCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(QtBitmap, PalettePicturesTakeTheNearestPaletteColour) {
    imaging::QtBitmap bitmap;
    const std::vector<std::uint8_t> file =
        buildBmp({3, 2, 4, 0, kFour, 40, {}, {0x40, 0xF0, 0, 0, 0x12, 0x30, 0, 0}});
    ASSERT_TRUE(bitmap.loadBytes(file, "four.bmp"));
    bitmap.setPixel(0, 0, {240, 16, 8});     // nearest: red
    bitmap.setPixel(1, 0, {120, 70, 40});    // nearest: (128, 64, 32)
    bitmap.setPixel(2, 0, {248, 252, 248});  // nearest: (250, 250, 250)
    EXPECT_EQ(describe({kFour[1], kFour[15], kFour[4]}),
              describe({bitmap.pixel(0, 0), bitmap.pixel(1, 0), bitmap.pixel(2, 0)}));
}

TEST(QtBitmap, DirectColourPicturesKeepEveryBitAndTheirAlpha) {
    imaging::QtBitmap bitmap;
    ASSERT_TRUE(bitmap.create(2, 1));
    EXPECT_EQ(24, bitmap.bitDepth());
    EXPECT_EQ(describe({{0, 0, 0}, {0, 0, 0}}), describe(pixelsOf(bitmap)));
    bitmap.setPixel(1, 0, {1, 2, 3});
    EXPECT_EQ(describe({{0, 0, 0}, {1, 2, 3}}), describe(pixelsOf(bitmap)));
}

TEST(QtBitmap, SixteenBitPreviewsKeepTheirLayout) {
    // A 5-5-5 source saves its picture with five green bits, a 5-6-5 source with six.
    for (const bool green6 : {false, true}) {
        SCOPED_TRACE(green6 ? "5-6-5" : "5-5-5");
        BmpSpec spec{1, 1, 16, green6 ? 3u : 0u, {}, 40, {}, {0, 0, 0, 0}};
        if (green6) spec.masks = {0xF800, 0x07E0, 0x001F};
        imaging::QtBitmap bitmap;
        ASSERT_TRUE(bitmap.loadBytes(buildBmp(spec), "p.bmp"));
        bitmap.setPixel(0, 0, {0, 4, 0});  // green 1 of 6 bits, 0 of 5
        const std::vector<std::uint8_t> saved = bitmap.bmpBytes();
        const std::size_t pixelAt = saved[10];
        EXPECT_EQ(green6 ? 0x20 : 0x00, saved[pixelAt]);
    }
}

TEST(QtBitmap, LoadFailuresNameTheFileAndLeaveNoPicture) {
    TempDir dir;
    imaging::QtBitmap bitmap;
    ASSERT_TRUE(bitmap.create(2, 2));
    EXPECT_EQ(dir.file("missing.bmp") + ": No such file or directory",
              bitmap.load(dir.file("missing.bmp")).message());
    EXPECT_EQ(0, bitmap.bitDepth());
    EXPECT_EQ(0, bitmap.width());

    writeFile(dir.file("text.bmp"), "just some text");
    EXPECT_EQ(dir.file("text.bmp") + ": keine BMP-Datei (Kennung \"BM\" fehlt)",
              bitmap.load(dir.file("text.bmp")).message());

    // Headers in order, but the pixels are missing, or one byte of them.
    std::vector<std::uint8_t> cut = buildBmp({3, 2, 24, 0, {}, 40, {}, std::vector<std::uint8_t>(24, 0x40)});
    cut.pop_back();
    EXPECT_EQ("short.bmp: BMP-Datei abgeschnitten (Bilddaten: 23 von 24 Bytes)",
              bitmap.loadBytes(cut, "short.bmp").message());
    EXPECT_EQ(0, bitmap.bitDepth());

    // An OS/2 header's height above 32767 is a picture of 54530 rows, which the file does not hold.
    const std::vector<std::uint8_t> os2 = buildBmp({.width = 3,
                                                    .height = 0xD502,
                                                    .depth = 4,
                                                    .palette = kFour,
                                                    .headerSize = 12,
                                                    .pixels = {0x12, 0x30}});
    const base::Status tall = bitmap.loadBytes(os2, "os2.bmp");
    EXPECT_EQ("os2.bmp: BMP-Datei abgeschnitten (Bilddaten: 2 von 218120 Bytes)", tall.message());
    EXPECT_EQ(0, bitmap.bitDepth());

    // An index beyond a colour table of two entries.
    const std::vector<std::uint8_t> beyond = buildBmp(
        {.width = 2, .height = 1, .depth = 8, .palette = {{1, 2, 3}, {4, 5, 6}}, .pixels = {1, 7, 0, 0}});
    EXPECT_EQ("idx.bmp: Farbindex 7 außerhalb der Farbtabelle (2 Farben)",
              bitmap.loadBytes(beyond, "idx.bmp").message());
    EXPECT_EQ(0, bitmap.width());

    EXPECT_EQ("Fehler: " + dir.file("x.bmp") + " nicht gespeichert: kein Bild",
              bitmap.save(dir.file("x.bmp")).message());
    ASSERT_TRUE(bitmap.create(1, 1));
    EXPECT_EQ("Fehler: " + dir.path() + " nicht gespeichert: Is a directory",
              bitmap.save(dir.path()).message());
}

}  // namespace
}  // namespace hlx::test
