// The Intel HEX file a read writes: its size known before anything is read (so the folder can be tried
// for room first) is the size of the text it turns out to be, and the text reads back as the bytes given.

#include "firmware/isp_read.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "firmware/isp_parts.h"
#include "tests/support/hex_text.h"

namespace hlx::firmware {
namespace {

struct HexSizeCase {
    const char* name;
    std::uint64_t address;
    std::uint64_t length;
};

class IntelHexSizeTest : public ::testing::TestWithParam<HexSizeCase> {};

TEST_P(IntelHexSizeTest, IsTheSizeOfTheText) {
    const HexSizeCase& c = GetParam();
    std::vector<std::uint8_t> bytes(c.length);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    const std::string text = intelHexOf(c.address, bytes);
    EXPECT_EQ(text.size(), intelHexSize(c.address, c.length));
    const auto read = test::hexBytesOf(text);
    ASSERT_TRUE(read.has_value());
    ASSERT_EQ(bytes.size(), read->size());
    for (std::size_t i = 0; i < bytes.size(); ++i) ASSERT_EQ(bytes[i], read->at(c.address + i)) << i;
}

INSTANTIATE_TEST_SUITE_P(Files, IntelHexSizeTest,
                         ::testing::Values(HexSizeCase{"Nothing", 0x1000, 0}, HexSizeCase{"OneWord", 0x40, 4},
                                           HexSizeCase{"WholeRecords", 0x1000, 0x100},
                                           HexSizeCase{"AShortLastRecord", 0x40, 0x1C},
                                           HexSizeCase{"AcrossA64KiBPage", 0xFFF8, 0x20},
                                           HexSizeCase{"FromAnOddPlaceInAPage", 0x1FFF4, 0x10010},
                                           HexSizeCase{"TheWholeUserFlash", 0x40, 0x7E000 - 0x40}),
                         [](const ::testing::TestParamInfo<HexSizeCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(ReadFileSizeTest, LeavesOutTheHiddenVectorsAndDefaultsToTheWholeUserFlash) {
    const std::uint64_t userFlashEnd = familySectorStart(kFamilySectors);
    EXPECT_EQ(intelHexSize(0x40, userFlashEnd - 0x40), readFileSize(0, std::nullopt));
    EXPECT_EQ(intelHexSize(0x40, 0x1000 - 0x40), readFileSize(0, 0x1000));
    EXPECT_EQ(intelHexSize(0x2000, 0x100), readFileSize(0x2000, 0x100));
    EXPECT_EQ(intelHexSize(0x40, 0), readFileSize(0, 0x20));
}

}  // namespace
}  // namespace hlx::firmware
