// The VXC stream: pixel words, the encoder's choice of row form (byte for byte on small hand-made
// pictures), repeat rows, round trips through the decoder, and the limits.

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "imaging/vxc_decoder.h"
#include "imaging/vxc_encoder.h"
#include "tests/imaging/picture_helpers.h"

namespace hlx::test {
namespace {

using imaging::Rgb;
using imaging::VxcPixel;

// ---- pixel words -----------------------------------------------------------------------------------

struct PixelCase {
    const char* name;
    Rgb colour;
    VxcPixel word;
    Rgb shown;  // the colour the word gives back
};

void PrintTo(const PixelCase& c, std::ostream* os) {
    *os << c.name;
}

constexpr PixelCase kPixelCases[] = {
    {"Black", {0, 0, 0}, 0x0000, {0, 0, 0}},
    {"RedInLowBits", {255, 0, 0}, 0x001F, {248, 0, 0}},
    {"GreenInMiddleBits", {0, 255, 0}, 0x07E0, {0, 252, 0}},
    {"BlueInHighBits", {0, 0, 255}, 0xF800, {0, 0, 248}},
    {"WhiteWithoutBitReplication", {255, 255, 255}, 0xFFFF, {248, 252, 248}},
    {"LowBitsTruncatedNotRounded", {7, 3, 7}, 0x0000, {0, 0, 0}},
    {"SmallestStepOfEachChannel", {8, 4, 8}, 0x0821, {8, 4, 8}},
    {"MixedChannels", {0x12, 0x34, 0x56}, 0x51A2, {16, 52, 80}},
};

class VxcPixelTest : public ::testing::TestWithParam<PixelCase> {};

TEST_P(VxcPixelTest, PacksBlueHighRedLowAndUnpacksWithZeroLowBits) {
    const PixelCase& c = GetParam();
    EXPECT_EQ(c.word, imaging::packVxcPixel(c.colour));
    const Rgb shown = imaging::unpackVxcPixel(c.word);
    EXPECT_EQ(c.shown.r, shown.r);
    EXPECT_EQ(c.shown.g, shown.g);
    EXPECT_EQ(c.shown.b, shown.b);
}

INSTANTIATE_TEST_SUITE_P(Words, VxcPixelTest, ::testing::ValuesIn(kPixelCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(VxcPixel, EveryWordSurvivesUnpackingAndPackingAgain) {
    for (unsigned w = 0; w <= 0xFFFF; ++w)
        ASSERT_EQ(w, imaging::packVxcPixel(imaging::unpackVxcPixel(static_cast<VxcPixel>(w)))) << w;
}

// ---- encoder: exact streams ------------------------------------------------------------------------

struct StreamCase {
    const char* name;
    std::vector<Row> rows;
    Bytes expected;
};

void PrintTo(const StreamCase& c, std::ostream* os) {
    *os << c.name;
}

Bytes code(std::initializer_list<std::uint8_t> bytes) {
    return Bytes(bytes);
}

std::vector<StreamCase> streamCases() {
    return {
        {"TwoBlackRowsThenShortRuns",
         {rowOf(4, kBlack), rowOf(4, kBlack), joined({rowOf(3, kRed), rowOf(1, kBlue)})},
         concat({headerBytes(4, 3), code({0x55, 0x82, 0x1F, 0x00, 0x02, 0x00, 0xF8, 0x00})})},
        {"OnePixelWideRowsArePlainUnlessRepeated",
         {{kRed}, {kRed}, {kGreen}, {kBlack}, {kBlack}},
         concat(
             {headerBytes(1, 5), code({0x81, 0x1F, 0x00, 0x65, 0x81, 0xE0, 0x07, 0x81, 0x00, 0x00, 0x65})})},
        {"TwoPixelWhiteRunThenOneRepeatPair",
         {rowOf(2, kWhite), rowOf(2, kWhite), rowOf(2, kWhite)},
         concat({headerBytes(2, 3), code({0x82, 0xFF, 0xFF, 0x01, 0x55})})},
        {"FiveRepeatRowsBeforeAPlainRow",
         {{kBlack}, {kBlack}, {kBlack}, {kBlack}, {kBlack}, {kRed}},
         concat({headerBytes(1, 6), code({0x55, 0x55, 0x65, 0x81, 0x1F, 0x00})})},
        {"OddRepeatRowsAtTheEndCloseWithSingleRepeat",
         {{kRed}, {kRed}, {kRed}, {kRed}},
         concat({headerBytes(1, 4), code({0x81, 0x1F, 0x00, 0x55, 0x65})})},
        {"EvenRepeatRowsAtTheEndNeedNoClosing",
         {{kRed}, {kRed}, {kRed}},
         concat({headerBytes(1, 3), code({0x81, 0x1F, 0x00, 0x55})})},
        {"FlatRowOf257NeedsLongRun",
         {rowOf(257, kRed)},
         concat({headerBytes(257, 1), code({0x83, 0x1F, 0x00, 0x00, 0x01})})},
        {"FlatRowOf256IsOneShortRun",
         {rowOf(256, kRed)},
         concat({headerBytes(256, 1), code({0x82, 0x1F, 0x00, 0xFF})})},
        {"ShortRunsWinTheirTieWithLongRuns",
         {joined({rowOf(257, kRed), rowOf(1, kGreen), rowOf(1, kBlue)})},
         concat({headerBytes(259, 1),
                 code({0x82, 0x1F, 0x00, 0xFF, 0x1F, 0x00, 0x00, 0xE0, 0x07, 0x00, 0x00, 0xF8, 0x00})})},
        {"PlainWinsItsTieWithShortRuns",
         {joined({rowOf(2, kRed), rowOf(1, kBlue)})},
         concat({headerBytes(3, 1), code({0x81, 0x1F, 0x00, 0x1F, 0x00, 0x00, 0xF8})})},
        {"RepeatFollowsTheLastPixelOfThePreviousRow",
         {{kRed, kBlue}, {kBlue, kBlue}},
         concat({headerBytes(2, 2), code({0x81, 0x1F, 0x00, 0x00, 0xF8, 0x65})})},
        {"FlatRowInAnotherColourIsNoRepeat",
         {rowOf(2, kBlack), rowOf(2, kRed), rowOf(2, kRed)},
         concat({headerBytes(2, 3), code({0x65, 0x82, 0x1F, 0x00, 0x01, 0x65})})},
        {"RowEndingInThePreviousColourButNotFlatIsNoRepeat",
         {{kRed, kRed}, {kBlue, kRed}},
         concat({headerBytes(2, 2), code({0x82, 0x1F, 0x00, 0x01, 0x81, 0x00, 0xF8, 0x1F, 0x00})})},
    };
}

class VxcEncoderStreamTest : public ::testing::TestWithParam<StreamCase> {};

TEST_P(VxcEncoderStreamTest, GivesExactlyTheseBytes) {
    const StreamCase& c = GetParam();
    const MemoryBitmap picture = pictureOf(c.rows);
    imaging::VxcEncoder encoder;
    ASSERT_TRUE(encoder.encode(picture));
    EXPECT_EQ(c.expected, encoder.stream());
}

INSTANTIATE_TEST_SUITE_P(SmallPictures, VxcEncoderStreamTest, ::testing::ValuesIn(streamCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(VxcEncoder, ReportsEachRowBeforeEncodingItAndStartsAfreshForTheNextPicture) {
    const MemoryBitmap picture = pictureOf({rowOf(4, kBlack), rowOf(4, kBlack), rowOf(4, kRed)});
    imaging::VxcEncoder encoder;
    std::vector<int> rows;
    ASSERT_TRUE(encoder.encode(picture, [&](int y) { rows.push_back(y); }));
    EXPECT_EQ((std::vector<int>{0, 1, 2}), rows);
    const Bytes first = encoder.stream();
    ASSERT_TRUE(encoder.encode(pictureOf({{kRed}})));
    EXPECT_EQ(concat({headerBytes(1, 1), code({0x81, 0x1F, 0x00})}), encoder.stream());
    ASSERT_TRUE(encoder.encode(picture));
    EXPECT_EQ(first, encoder.stream());
}

// ---- round trips -----------------------------------------------------------------------------------

struct RoundTripCase {
    const char* name;
    MemoryBitmap (*make)();
};

void PrintTo(const RoundTripCase& c, std::ostream* os) {
    *os << c.name;
}

MemoryBitmap gradient() {
    MemoryBitmap p(300, 200);
    for (int y = 0; y < p.height(); ++y)
        for (int x = 0; x < p.width(); ++x)
            p.setPixel(x, y,
                       {static_cast<std::uint8_t>(x * 255 / 299), static_cast<std::uint8_t>(y * 255 / 199),
                        static_cast<std::uint8_t>((x + y) & 0xFF)});
    return p;
}

// Flat areas and bars: repeat blocks of every length, runs longer than 256 and 65,536-pixel-free rows.
MemoryBitmap flatAreas() {
    MemoryBitmap p(700, 120);
    for (int y = 0; y < p.height(); ++y)
        for (int x = 0; x < p.width(); ++x) {
            Rgb c = kBlack;
            if (y >= 10 && y < 17) c = kWhite;                       // an odd block of repeats
            if (y >= 30 && y < 60 && x >= 100 && x < 600) c = kRed;  // a box
            if (y >= 80 && x % 50 < 3) c = kBlue;                    // stripes
            if (y == 119) c = {static_cast<std::uint8_t>(x), 7, 9};  // a noisy last row
            p.setPixel(x, y, c);
        }
    return p;
}

constexpr RoundTripCase kRoundTrips[] = {
    {"Noise", [] { return noisePicture(97, 61, 7); }},
    {"Gradient", gradient},
    {"FlatAreas", flatAreas},
    {"SinglePixel",
     [] {
         return MemoryBitmap(1, 1, {200, 100, 50});
     }},
    {"SingleBlackPixel", [] { return MemoryBitmap(1, 1, kBlack); }},
    {"WidestRowsNoise", [] { return noisePicture(imaging::kMaxRowPixels, 2, 3); }},
    {"WidestRowsFlat", [] { return MemoryBitmap(imaging::kMaxRowPixels, 2, kGreen); }},
    {"TallColumn", [] { return noisePicture(1, 5000, 11); }},
};

class VxcRoundTripTest : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(VxcRoundTripTest, DecodingPaintsEveryPixelOnceInItsTruncatedColour) {
    const MemoryBitmap picture = GetParam().make();
    imaging::VxcEncoder encoder;
    ASSERT_TRUE(encoder.encode(picture));
    EXPECT_LE(encoder.stream().size(), imaging::maxVxcStreamSize(picture.width(), picture.height()));

    MemoryBitmap target(picture.width(), picture.height(), {1, 2, 3});
    const imaging::VxcDecodeResult result = imaging::decodeStream(encoder.stream(), target);
    ASSERT_TRUE(result.status) << result.status.message();
    EXPECT_EQ(picture.width(), result.width);
    EXPECT_EQ(picture.height(), result.rows);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            ASSERT_EQ(1, target.paints(x, y)) << "pixel " << x << "," << y;
            ASSERT_EQ(imaging::truncateToVxc(picture.pixel(x, y)), target.pixel(x, y))
                << "pixel " << x << "," << y;
        }
}

INSTANTIATE_TEST_SUITE_P(Pictures, VxcRoundTripTest, ::testing::ValuesIn(kRoundTrips),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- limits ----------------------------------------------------------------------------------------

TEST(VxcEncoderLimits, RefusesPicturesBeyondTheRowAreasAndTheSizeFields) {
    imaging::VxcEncoder encoder;
    EXPECT_TRUE(encoder.encode(MemoryBitmap(imaging::kMaxRowPixels, 1)));

    const base::Status wide = encoder.encode(MemoryBitmap(imaging::kMaxRowPixels + 1, 1));
    ASSERT_FALSE(wide);
    EXPECT_EQ("Fehler: Bild zu breit: 20001 Pixel, höchstens 20000 Pixel je Zeile, keine Datei erzeugt",
              wide.message());
    EXPECT_TRUE(encoder.stream().empty());

    EXPECT_TRUE(encoder.encode(MemoryBitmap(1, 65'535)));
    const base::Status high = encoder.encode(MemoryBitmap(1, 65'536));
    ASSERT_FALSE(high);
    EXPECT_EQ("Fehler: Bild zu hoch: 65536 Zeilen, höchstens 65535 Zeilen, keine Datei erzeugt",
              high.message());

    const base::Status empty = encoder.encode(MemoryBitmap(0, 0));
    ASSERT_FALSE(empty);
    EXPECT_EQ("Fehler: Bild ist leer (0 x 0 Pixel), keine Datei erzeugt", empty.message());
}

TEST(VxcEncoderLimits, StreamMayFillTheBufferExactlyButNotOneByteMore) {
    // 11 + 44,843 plain rows of 1 + 2 x 111 bytes = 10,000,000 bytes.
    MemoryBitmap picture = noisePicture(111, 44'843, 5);
    imaging::VxcEncoder encoder;
    ASSERT_TRUE(encoder.encode(picture));
    EXPECT_EQ(imaging::kMaxStreamBytes, encoder.stream().size());

    // One more row in the last pixel's colour is a repeat row: a single 0x65 byte too many.
    MemoryBitmap longer(111, 44'844);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < 111; ++x) longer.setPixel(x, y, picture.pixel(x, y));
    for (int x = 0; x < 111; ++x) longer.setPixel(x, 44'843, picture.pixel(110, 44'842));
    const base::Status refused = encoder.encode(longer);
    ASSERT_FALSE(refused);
    EXPECT_EQ(
        "Fehler: Bild zu groß: die VXC-Daten überschreiten 10000000 Bytes (bei Zeile 44844 von 44844), "
        "keine Datei erzeugt",
        refused.message());
    EXPECT_TRUE(encoder.stream().empty());
}

}  // namespace
}  // namespace hlx::test
