// UU lines of the ISP data transfer: the count character, the grave accent for 0, line lengths, the final
// partial group, decoding of both zero characters, and the checksum line's sum.

#include "firmware/uu_encode.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

namespace hlx::firmware {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string encode(const Bytes& area, std::size_t count) {
    return std::string(encodeUuLine(area, count).text());
}

TEST(UuLineTest, EncodesKnownLines) {
    struct Case {
        const char* name;
        Bytes area;
        std::size_t count;
        std::string line;
    };
    const Case cases[] = {
        {"ThreeLetters", {'C', 'a', 't'}, 3, "#0V%T\r\n"},
        {"ZeroValuesAreGraveAccents", {0, 0, 0}, 3, "#````\r\n"},
        {"NoBytesIsAGraveAccentCount", {}, 0, "`\r\n"},
        {"OneByteCompletedFromTheArea", {0xFF, 0xFF, 0xFF}, 1, "!____\r\n"},
        {"OneByteAtTheAreaEndCompletedWithZero", {0xFF}, 1, "!_P``\r\n"},
        {"TwoBytes", {0x12, 0x34, 0x00}, 2, "\"$C0`\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.line, encode(c.area, c.count));
    }
}

TEST(UuLineTest, LengthFollowsTheCount) {
    Bytes area(48);
    std::iota(area.begin(), area.end(), std::uint8_t{1});
    for (std::size_t count = 0; count <= kUuMaxBytes; ++count) {
        SCOPED_TRACE(count);
        const std::string line = encode(area, count);
        EXPECT_EQ(1 + 4 * ((count + 2) / 3) + 2, line.size());
        EXPECT_EQ(count == 0 ? '`' : static_cast<char>(0x20 + count), line[0]);
        EXPECT_EQ("\r\n", line.substr(line.size() - 2));
        EXPECT_EQ(std::string::npos, line.find(' ')) << "0 must be written as the grave accent";
    }
    EXPECT_EQ(kUuMaxLineLength, encode(area, 45).size());
    EXPECT_EQ('M', encode(area, 45)[0]);
}

TEST(UuLineTest, DecodesWhatItEncodesWithEitherZeroCharacter) {
    Bytes area(47);
    for (std::size_t i = 0; i < area.size(); ++i)
        area[i] = static_cast<std::uint8_t>(i * 37 % 7 == 0 ? 0 : i * 91);
    std::array<std::uint8_t, kUuMaxBytes> out{};
    for (std::size_t count = 1; count <= kUuMaxBytes; ++count) {
        SCOPED_TRACE(count);
        std::string line = encode(area, count);
        line.resize(line.size() - 2);
        for (bool spaces : {false, true}) {
            std::string sent = line;
            if (spaces)
                for (char& c : sent)
                    if (c == '`') c = ' ';
            const auto n = decodeUuLine(sent, out);
            ASSERT_TRUE(n);
            EXPECT_EQ(count, *n);
            EXPECT_TRUE(
                std::equal(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(count), area.begin()));
        }
    }
}

TEST(UuLineTest, RefusesWhatIsNotAUuLine) {
    std::array<std::uint8_t, kUuMaxBytes> out{};
    const char* bad[] = {"", "#0V%", "#0V%T0", "#0V%a", "N!!!!", "!\x7f!!!"};
    for (const char* line : bad) {
        SCOPED_TRACE(line);
        EXPECT_FALSE(decodeUuLine(line, out));
    }
    EXPECT_FALSE(decodeUuLine("N" + std::string(64, '!'), out)) << "46 bytes is more than a line holds";
}

TEST(UuLineTest, ChecksumIsThePlainSum) {
    EXPECT_EQ(229500, uuChecksum(Bytes(900, 0xFF)));
    EXPECT_EQ(0, uuChecksum({}));
    EXPECT_EQ(6, uuChecksum(Bytes{1, 2, 3}));
}

}  // namespace
}  // namespace hlx::firmware
