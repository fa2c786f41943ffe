// Decoding damaged and foreign streams: the decoder stops at the first bad record, says where and why,
// and never reads outside the stream or paints outside the target (MemoryBitmap aborts if it does).

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <ostream>
#include <string>

#include "imaging/vxc_decoder.h"
#include "tests/imaging/picture_helpers.h"

namespace hlx::test {
namespace {

struct DamageCase {
    const char* name;
    int targetWidth;
    int targetHeight;
    Bytes stream;
    std::string message;  // empty: the stream decodes without complaint
    int rows;             // rows painted before decoding stopped
};

void PrintTo(const DamageCase& c, std::ostream* os) {
    *os << c.name;
}

std::vector<DamageCase> damageCases() {
    return {
        {"EmptyStreamPaintsNothing", 2, 2, {}, "", 0},
        {"UnknownCode", 2, 2, concat({headerBytes(2, 2), {0x12}}),
         "VXC-Daten beschädigt bei Byte 11: unbekannter Code 0x12", 0},
        {"UnknownCodeAfterARow", 1, 2, concat({headerBytes(1, 2), {0x81, 0x1F, 0x00, 0x99}}),
         "VXC-Daten beschädigt bei Byte 14: unbekannter Code 0x99", 1},
        {"NoHeaderAtTheStart",
         1,
         1,
         {0x81, 0x00, 0x00},
         "VXC-Daten beschädigt bei Byte 0: kein Kopfsatz am Anfang (Code 0x81)",
         0},
        {"TruncatedHeader",
         1,
         1,
         {0x80, 'V', 'X'},
         "VXC-Daten beschädigt bei Byte 0: Datensatz 0x80 abgeschnitten (11 Bytes nötig, 3 vorhanden)",
         0},
        {"SecondHeader", 1, 2, concat({headerBytes(1, 2), {0x65}, headerBytes(1, 2)}),
         "VXC-Daten beschädigt bei Byte 12: zweiter Kopfsatz", 1},
        {"HeaderWithZeroWidth", 1, 1, headerBytes(0, 1), "VXC-Daten beschädigt bei Byte 0: Bildbreite 0", 0},
        {"HeaderWiderThanTarget", 2, 1, headerBytes(3, 1),
         "VXC-Daten beschädigt bei Byte 0: Bildbreite 3 größer als das Ziel (2)", 0},
        {"TruncatedPlainRow", 2, 1, concat({headerBytes(2, 1), {0x81, 0x1F, 0x00, 0x00}}),
         "VXC-Daten beschädigt bei Byte 11: Datensatz 0x81 abgeschnitten (5 Bytes nötig, 4 vorhanden)", 0},
        {"TruncatedShortRunEntry", 2, 1, concat({headerBytes(2, 1), {0x82, 0x1F, 0x00}}),
         "VXC-Daten beschädigt bei Byte 11: Datensatz 0x82 abgeschnitten (4 Bytes nötig, 3 vorhanden)", 0},
        {"ShortRunsEndBeforeTheRowDoes", 4, 1, concat({headerBytes(4, 1), {0x82, 0x1F, 0x00, 0x01}}),
         "VXC-Daten beschädigt bei Byte 11: Datensatz 0x82 abgeschnitten (7 Bytes nötig, 4 vorhanden)", 0},
        {"ShortRunPastTheRowEnd", 2, 2, concat({headerBytes(2, 2), {0x82, 0x1F, 0x00, 0x02}}),
         "VXC-Daten beschädigt bei Byte 12: Lauf endet bei Pixel 3 hinter dem Zeilenende (2)", 0},
        {"LongRunPastTheRowEnd", 2, 2, concat({headerBytes(2, 2), {0x83, 0x1F, 0x00, 0xFF, 0xFF}}),
         "VXC-Daten beschädigt bei Byte 12: Lauf endet bei Pixel 65536 hinter dem Zeilenende (2)", 0},
        {"TruncatedLongRunCount", 2, 1, concat({headerBytes(2, 1), {0x83, 0x1F, 0x00, 0x01}}),
         "VXC-Daten beschädigt bei Byte 11: Datensatz 0x83 abgeschnitten (5 Bytes nötig, 4 vorhanden)", 0},
        {"PlainRowBelowTheLastRow", 1, 1, concat({headerBytes(1, 1), {0x81, 0x00, 0x00, 0x81, 0x00, 0x00}}),
         "VXC-Daten beschädigt bei Byte 14: mehr Zeilen als das Bild hat (1)", 1},
        {"RepeatPairWithOneRowLeft", 1, 1, concat({headerBytes(1, 1), {0x55}}),
         "VXC-Daten beschädigt bei Byte 11: mehr Zeilen als das Bild hat (1)", 0},
        {"RunRowBelowTheLastRow", 2, 1, concat({headerBytes(2, 1), {0x65, 0x82, 0x1F, 0x00, 0x01}}),
         "VXC-Daten beschädigt bei Byte 12: mehr Zeilen als das Bild hat (1)", 1},
        {"FewerRowsThanTheTargetIsNoDamage", 1, 3, concat({headerBytes(1, 3), {0x81, 0x1F, 0x00}}), "", 1},
        {"MagicAndHeightAreNotNeeded", 1, 2,
         concat({{0x80, 'x', 'y', 'z', '!', 0x01, 0x00, 0x09, 0x09, 0x7, 0x7}, {0x55}}), "", 2},
    };
}

class VxcDecoderDamageTest : public ::testing::TestWithParam<DamageCase> {};

TEST_P(VxcDecoderDamageTest, StopsAtTheFirstBadRecordAndSaysWhere) {
    const DamageCase& c = GetParam();
    MemoryBitmap target(c.targetWidth, c.targetHeight);
    // An exact-size copy, so that reading one byte past the end shows under AddressSanitizer.
    const std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[c.stream.size()]);
    std::copy(c.stream.begin(), c.stream.end(), exact.get());
    const imaging::VxcDecodeResult result = imaging::decodeStream({exact.get(), c.stream.size()}, target);
    EXPECT_EQ(c.message, result.status.message());
    EXPECT_EQ(c.message.empty(), result.status.isOk());
    EXPECT_EQ(c.rows, result.rows);
    // Rows above the stop are painted once each, nothing below them.
    for (int y = 0; y < c.targetHeight; ++y)
        for (int x = 0; x < c.targetWidth; ++x)
            EXPECT_EQ(y < c.rows ? 1 : 0, target.paints(x, y)) << "pixel " << x << "," << y;

    // Measuring without a target finds the same rows and damage (its width bound is the format's own).
    if (c.message.find("größer als das Ziel") == std::string::npos) {
        const imaging::VxcDecodeResult measured =
            imaging::measureStream({exact.get(), c.stream.size()}, c.targetHeight);
        EXPECT_EQ(c.message, measured.status.message());
        EXPECT_EQ(c.rows, measured.rows);
        EXPECT_EQ(result.width, measured.width);
    }
}

INSTANTIATE_TEST_SUITE_P(Streams, VxcDecoderDamageTest, ::testing::ValuesIn(damageCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(VxcDecoder, RepeatRowsTakeTheLastWordReadEvenFromARunRow) {
    // Runs red then blue; the next rows repeat blue. Before any word, the current colour is black.
    const Bytes stream = concat({headerBytes(3, 4), {0x65, 0x82, 0x1F, 0x00, 0x00, 0x00, 0xF8, 0x01, 0x55}});
    MemoryBitmap target(3, 4, kWhite);
    ASSERT_TRUE(imaging::decodeStream(stream, target).status);
    const imaging::Rgb blue = imaging::truncateToVxc(kBlue);
    const imaging::Rgb red = imaging::truncateToVxc(kRed);
    EXPECT_EQ((std::vector<imaging::Rgb>{kBlack, kBlack, kBlack, red, blue, blue, blue, blue, blue, blue,
                                         blue, blue}),
              target.pixels());
}

// A few bytes may claim the largest picture the format allows: measuring walks the records only, so it
// takes the time of the stream, not of the picture, and a target can be sized by the rows painted.
TEST(VxcDecoder, MeasuringTakesTheStreamsTimeNotThePictures) {
    const Bytes claims = concat({headerBytes(65'535, 65'535), Bytes(1000, 0x55), {0x65}});
    const imaging::VxcDecodeResult measured = imaging::measureStream(claims, 65'535);
    EXPECT_TRUE(measured.status) << measured.status.message();
    EXPECT_EQ(65'535, measured.width);
    EXPECT_EQ(2001, measured.rows);

    const imaging::VxcDecodeResult beyond = imaging::measureStream(claims, 2000);
    EXPECT_EQ("VXC-Daten beschädigt bei Byte 1011: mehr Zeilen als das Bild hat (2000)",
              beyond.status.message());
    EXPECT_EQ(2000, beyond.rows);
}

TEST(VxcDecoder, HeaderGivesTheSizeOnlyWithItsMagic) {
    imaging::VxcHeader header;
    ASSERT_TRUE(imaging::readVxcHeader(headerBytes(640, 480), header));
    EXPECT_EQ(640, header.width);
    EXPECT_EQ(480, header.height);

    struct Case {
        const char* name;
        Bytes stream;
        std::string message;
    };
    const Case cases[] = {
        {"Empty", {}, "keine VXC-Daten (Länge 0)"},
        {"WrongMagic",
         {0x80, 'V', 'X', 'P', '2', 1, 0, 1, 0, 0, 0},
         "keine VXC-Daten (Kopfsatz 0x80 \"VXP1\" fehlt)"},
        {"ShortHeader",
         {0x80, 'V', 'X', 'P', '1', 1, 0, 1, 0, 0},
         "keine VXC-Daten (Kopfsatz 0x80 \"VXP1\" fehlt)"},
        {"ZeroHeight", headerBytes(5, 0), "VXC-Kopfsatz mit leerem Bild (5 x 0)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        imaging::VxcHeader untouched{7, 9};
        const base::Status s = imaging::readVxcHeader(c.stream, untouched);
        EXPECT_EQ(c.message, s.message());
        EXPECT_EQ(7, untouched.width);
    }
}

}  // namespace
}  // namespace hlx::test
