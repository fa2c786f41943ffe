#include "base/text_codec.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <set>
#include <string>
#include <string_view>

namespace hlx::base {
namespace {

using namespace std::string_view_literals;

constexpr std::u16string_view kReplacement16 = u"\uFFFD";
const std::string kReplacement8 = "\xEF\xBF\xBD";

std::string repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

// --- UTF-8 to UTF-16 -------------------------------------------------------------------------------------

struct Utf8Case {
    const char* name;
    std::string_view utf8;
    std::u16string_view utf16;
    bool valid;
};

const Utf8Case kUtf8Cases[] = {
    {"Empty", ""sv, u""sv, true},
    {"Ascii", "Hex File"sv, u"Hex File"sv, true},
    {"EmbeddedNul", "a\0b"sv, u"a\0b"sv, true},
    {"TwoByte", "\xC3\xA4"sv, u"\u00E4"sv, true},
    {"ThreeByteEuro", "\xE2\x82\xAC"sv, u"\u20AC"sv, true},
    {"LastBmpCharacter", "\xEF\xBF\xBF"sv, u"\uFFFF"sv, true},
    {"FourByteBecomesPair", "\xF0\x9F\x98\x80"sv, u"\xD83D\xDE00"sv, true},
    {"HighestCodePoint", "\xF4\x8F\xBF\xBF"sv, u"\xDBFF\xDFFF"sv, true},
    {"StrayContinuation", "a\x80z"sv, u"a\uFFFDz"sv, false},
    {"OverlongSlash", "\xC0\xAF"sv, u"\uFFFD\uFFFD"sv, false},
    {"OverlongC1Lead", "\xC1\xBF"sv, u"\uFFFD\uFFFD"sv, false},
    {"OverlongThreeByte", "\xE0\x80\x80"sv, u"\uFFFD\uFFFD\uFFFD"sv, false},
    {"OverlongFourByte", "\xF0\x8F\xBF\xBF"sv, u"\uFFFD\uFFFD\uFFFD\uFFFD"sv, false},
    {"EncodedSurrogate", "\xED\xA0\x80"sv, u"\uFFFD\uFFFD\uFFFD"sv, false},
    {"AboveMaximum", "\xF4\x90\x80\x80"sv, u"\uFFFD\uFFFD\uFFFD\uFFFD"sv, false},
    {"NeverValidLeads", "\xF5\xFE\xFF"sv, u"\uFFFD\uFFFD\uFFFD"sv, false},
    {"CutShortBeforeAscii",
     "\xE2\x82"
     "A"sv,
     u"\uFFFD\uFFFDA"sv, false},
    {"CutShortAtEnd", "ok\xF0\x9F\x98"sv, u"ok\uFFFD\uFFFD\uFFFD"sv, false},
    {"Windows1252Umlaut",
     "\xE4"
     "a"sv,
     u"\uFFFDa"sv, false},
};

class Utf8DecodeTest : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8DecodeTest, ToUtf16AndValidity) {
    const Utf8Case& c = GetParam();
    EXPECT_EQ(std::u16string(c.utf16), utf8ToUtf16(c.utf8));
    EXPECT_EQ(c.valid, isValidUtf8(c.utf8));
    // toValidUtf8 keeps valid text byte for byte and otherwise gives what the UTF-16 form says.
    EXPECT_EQ(utf16ToUtf8(c.utf16), toValidUtf8(c.utf8));
    EXPECT_TRUE(isValidUtf8(toValidUtf8(c.utf8)));
}

INSTANTIATE_TEST_SUITE_P(Codec, Utf8DecodeTest, ::testing::ValuesIn(kUtf8Cases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- UTF-16 to UTF-8 -------------------------------------------------------------------------------------

TEST(Utf16ToUtf8Test, PairsJoinAndLoneSurrogatesBecomeReplacement) {
    struct Case {
        const char* name;
        std::u16string_view utf16;
        std::string utf8;
    };
    const Case cases[] = {
        {"Pair", u"\xD83D\xDE00"sv, "\xF0\x9F\x98\x80"},
        {"LoneHighBeforeAscii",
         u"\xD83D"
         u"A"sv,
         kReplacement8 + "A"},
        {"LoneHighAtEnd", u"x\xD83D"sv, "x" + kReplacement8},
        {"LoneLow", u"\xDE00"sv, kReplacement8},
        {"PairInWrongOrder", u"\xDE00\xD83D"sv, kReplacement8 + kReplacement8},
        {"TwoHighsThenLow", u"\xD83D\xD83D\xDE00"sv, kReplacement8 + "\xF0\x9F\x98\x80"},
        {"Nul", u"\0"sv, std::string(1, '\0')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.utf8, utf16ToUtf8(c.utf16));
    }
}

TEST(Utf16ToUtf8Test, EveryScalarValueSurvivesTheRoundTrip) {
    std::u16string all;
    for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) continue;
        if (cp < 0x10000) {
            all.push_back(static_cast<char16_t>(cp));
        } else {
            all.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
            all.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
        }
    }
    const std::string utf8 = utf16ToUtf8(all);
    EXPECT_TRUE(isValidUtf8(utf8));
    // 128 one-byte, 1920 two-byte, 61440 three-byte (without surrogates) and 1048576 four-byte sequences.
    EXPECT_EQ(128u + 1920u * 2 + 61440u * 3 + 1048576u * 4, utf8.size());
    EXPECT_TRUE(utf8ToUtf16(utf8) == all);
}

// --- Windows-1252 ----------------------------------------------------------------------------------------

TEST(Windows1252Test, BytesBecomeTheirCharacters) {
    struct Case {
        unsigned byte;
        std::u16string_view character;
    };
    const Case cases[] = {
        {0x00, u"\u2400"}, {0x01, u"\x0001"}, {0x0A, u"\n"},     {0x0D, u"\r"},     {0x1F, u"\x001F"},
        {0x41, u"A"},      {0x7F, u"\x007F"}, {0x80, u"\u20AC"}, {0x81, u"\x0081"}, {0x82, u"\u201A"},
        {0x8A, u"\u0160"}, {0x8D, u"\x008D"}, {0x8F, u"\x008F"}, {0x90, u"\x0090"}, {0x96, u"\u2013"},
        {0x99, u"\u2122"}, {0x9D, u"\x009D"}, {0x9F, u"\u0178"}, {0xA0, u"\u00A0"}, {0xDF, u"\u00DF"},
        {0xE4, u"\u00E4"}, {0xFF, u"\u00FF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.byte);
        EXPECT_EQ(utf16ToUtf8(c.character), windows1252ToUtf8(std::string(1, static_cast<char>(c.byte))));
    }
    EXPECT_EQ(
        "Pr\xC3\xBC"
        "fe \xE2\x82\xAC\r\n",
        windows1252ToUtf8("Pr\xFC"
                          "fe \x80\r\n"));
}

// The C library's converter is an independent reference for every byte the code page defines.
TEST(Windows1252Test, AgreesWithTheSystemConverter) {
    iconv_t cd = iconv_open("UTF-8", "CP1252");
    if (cd == reinterpret_cast<iconv_t>(-1)) GTEST_SKIP() << "the C library has no CP1252 converter";
    for (unsigned byte = 1; byte < 256; ++byte) {
        if (byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D) continue;
        char in = static_cast<char>(byte);
        char out[8] = {};
        char* inPtr = &in;
        char* outPtr = out;
        std::size_t inLeft = 1;
        std::size_t outLeft = sizeof out;
        ASSERT_NE(static_cast<std::size_t>(-1), iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft)) << byte;
        SCOPED_TRACE(byte);
        EXPECT_EQ(std::string(out, sizeof out - outLeft), windows1252ToUtf8(std::string(1, in)));
    }
    iconv_close(cd);
}

TEST(Windows1252Test, EveryByteIsOneCharacterAndComesBack) {
    std::string all;
    for (unsigned byte = 0; byte < 256; ++byte) all.push_back(static_cast<char>(byte));
    const std::string utf8 = windows1252ToUtf8(all);
    EXPECT_TRUE(isValidUtf8(utf8));
    const std::u16string units = utf8ToUtf16(utf8);
    ASSERT_EQ(256u, units.size());  // one window position per received byte
    EXPECT_EQ(256u, std::set<char16_t>(units.begin(), units.end()).size());
    EXPECT_EQ(all, utf8ToWindows1252(utf8));

    // Long input: the table-driven loop must not lose or misplace bytes at any offset.
    const std::string longInput = repeat(all, 300);
    EXPECT_EQ(repeat(utf8, 300), windows1252ToUtf8(longInput));
}

TEST(Windows1252Test, EncodingReplacesWhatTheCodePageCannotShow) {
    struct Case {
        const char* name;
        std::string utf8;
        char replacement;
        std::string bytes;
    };
    const Case cases[] = {
        {"UmlautAndEuro", "\xC3\xA4\xE2\x82\xAC", '?', "\xE4\x80"},
        {"VisibleNulBecomesNul",
         "a\xE2\x90\x80"
         "b",
         '?', std::string("a\0b", 3)},
        {"RealNulStaysNul", std::string("\0", 1), '?', std::string("\0", 1)},
        {"Emoji", "\xF0\x9F\x98\x80", '?', "?"},
        {"C1NotInCodePage", "\xC2\x80", '?', "?"},
        {"CustomReplacement", "\xE2\x82\xACx\xE2\x86\x92", '_', "\x80x_"},
        {"InvalidUtf8Byte", "a\xFF", '?', "a?"},
        {"ControlsKept", "\t\r\n\x01", '?', "\t\r\n\x01"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.bytes, utf8ToWindows1252(c.utf8, c.replacement));
    }
}

// --- 8-bit text for the monitor --------------------------------------------------------------------------

TEST(To8BitTest, ControlsDroppedAndLowByteOfEveryOtherCharacter) {
    struct Case {
        const char* name;
        std::string utf8;
        std::string bytes;
    };
    const Case cases[] = {
        {"Ascii", "LoadFW?", "LoadFW?"},
        {"TabDropped", "a\tb", "ab"},
        {"LineBreakDropped", "line\r\n", "line"},
        {"AllBelow32Dropped", "\x01\x1F\x7F \x1B", "\x7F "},
        {"NulDropped", std::string("a\0b", 3), "ab"},
        {"Umlaut", "\xC3\xA4", "\xE4"},
        {"EuroGivesLowByte", "\xE2\x82\xAC", "\xAC"},
        {"LatinExtendedA", "\xC4\x80", std::string("\0", 1)},
        {"VisibleNulGivesNul", "\xE2\x90\x80", std::string("\0", 1)},
        {"Emoji", "\xF0\x9F\x98\x80", std::string("\0", 1)},  // U+1F600: low byte 0x00
        {"YWithDiaeresis", "\xC3\xBF", "\xFF"},
        {"Empty", "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.bytes, to8Bit(c.utf8));
    }
}

}  // namespace
}  // namespace hlx::base
