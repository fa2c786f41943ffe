#include "tools/monitor_image.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/temp_dir.h"

namespace hlx::tools {
namespace {

struct LineCase {
    const char* name;
    std::string_view line;
    LineError error;
};

constexpr LineCase kLineCases[] = {
    {"GoodUpperCase", ":03001000010203E7", LineError::None},
    {"GoodLowerCase", ":03001000aabbccBC", LineError::None},
    {"TrailingCrIgnored", ":00000001FF\r", LineError::None},
    {"NoColon", "03001000010203E7", LineError::Format},
    {"OddDigits", ":03001000010203E", LineError::Format},
    {"NotADigit", ":03001000010G03E7", LineError::Format},
    {"CountTooSmall", ":02001000010203E8", LineError::Format},
    {"TooShort", ":000000", LineError::Format},
    {"SpaceBeforeEnd", ":00000001FF ", LineError::Format},
    {"WrongChecksum", ":03001000010203E8", LineError::Checksum},
};

class DecodeHexLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(DecodeHexLineTest, MatchesTable) {
    EXPECT_EQ(GetParam().error, decodeHexLine(GetParam().line).error);
}

INSTANTIATE_TEST_SUITE_P(HexLines, DecodeHexLineTest, ::testing::ValuesIn(kLineCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DecodeHexLine, GivesTheRecordBytes) {
    const DecodedLine decoded = decodeHexLine(":03001000aaBBccbc");
    EXPECT_EQ((std::vector<std::uint8_t>{0x03, 0x00, 0x10, 0x00, 0xAA, 0xBB, 0xCC, 0xBC}), decoded.record);
}

TEST(AddressSpace, LinearAndSegmentBasesPlaceTheData) {
    MemoryImage memory;
    AddressSpace space(memory);
    const std::vector<std::vector<std::uint8_t>> records = {
        {0x02, 0x00, 0x00, 0x04, 0x00, 0x02, 0xF8},              // base 0x20000
        {0x02, 0xFF, 0xFE, 0x00, 0x11, 0x22, 0x00},              // 0x2FFFE, 0x2FFFF
        {0x02, 0x00, 0x00, 0x02, 0x10, 0x00, 0xEC},              // segment 0x1000: base 0x10000
        {0x01, 0x00, 0x05, 0x00, 0x33, 0x00},                    // 0x10005
        {0x04, 0x00, 0x00, 0x05, 0x00, 0x00, 0x01, 0x00, 0x00},  // start address: ignored
    };
    std::vector<std::uint32_t> addresses;
    for (const auto& r : records) addresses.push_back(space.apply(r));
    // A base record itself stands at the base in force before it.
    EXPECT_EQ((std::vector<std::uint32_t>{0x0, 0x2FFFE, 0x20000, 0x10005, 0x10000}), addresses);
    EXPECT_EQ((MemoryImage{{0x2FFFE, 0x11}, {0x2FFFF, 0x22}, {0x10005, 0x33}}), memory);
    space.reset();
    EXPECT_EQ(0u, space.base());
}

MemoryImage imageFromHex(const std::string& text) {
    MemoryImage memory;
    AddressSpace space(memory);
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        const DecodedLine decoded = decodeHexLine(line);
        EXPECT_EQ(LineError::None, decoded.error) << line;
        space.apply(decoded.record);
    }
    return memory;
}

TEST(ToIntelHex, LayoutOfRunsPagesAndGaps) {
    MemoryImage memory;
    for (std::uint32_t a = 0x0FFF8; a < 0x10008; ++a)
        memory[a] = static_cast<std::uint8_t>(a);  // crosses a page
    memory[0x30000] = 0xAB;                        // after a gap
    const std::string expected =
        ":020000040000FA\r\n"
        ":08FFF800F8F9FAFBFCFDFEFF25\r\n"
        ":020000040001F9\r\n"
        ":080000000001020304050607DC\r\n"
        ":020000040003F7\r\n"
        ":01000000AB54\r\n"
        ":00000001FF\r\n";
    EXPECT_EQ(expected, toIntelHex(memory));
}

TEST(ToIntelHex, ReadsBackAsTheSameImage) {
    MemoryImage memory;
    for (std::uint32_t a = 0x1003; a < 0x1003 + 300; ++a) memory[a] = static_cast<std::uint8_t>(a * 7);
    for (std::uint32_t a = 0x2FFF0; a < 0x30020; ++a) memory[a] = static_cast<std::uint8_t>(a >> 3);
    EXPECT_EQ(memory, imageFromHex(toIntelHex(memory)));
    EXPECT_EQ(":00000001FF\r\n", toIntelHex({}));
}

TEST(WriteImageFile, WritesTheHexTextAndRefusesAMissingFolder) {
    test::TempDir dir;
    const MemoryImage memory{{0x10, 0x01}, {0x11, 0x02}};
    ASSERT_TRUE(writeImageFile(dir.file("image.hex"), memory));
    EXPECT_EQ(toIntelHex(memory), test::readFile(dir.file("image.hex")));
    EXPECT_FALSE(writeImageFile(dir.file("missing/image.hex"), memory));
}

}  // namespace
}  // namespace hlx::tools
