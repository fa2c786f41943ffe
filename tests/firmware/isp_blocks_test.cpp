// How the boot loader job cuts a HEX file into copies: block sizes, gathering, the alignment rule, the
// file's final flash content and the vector checksum. Every plan is also checked for the rules of the part:
// destinations on 256-byte lines, sizes the boot loader takes, no line copied twice, every byte covered.

#include "firmware/isp_blocks.h"

#include <gtest/gtest.h>

#include <set>

#include "firmware/isp_verify.h"
#include "tests/support/hex_text.h"

namespace hlx::firmware {
namespace {

using Chunks = std::vector<CopyChunk>;

TEST(IspBlockSizeTest, RoundsUpWithTheStatedBoundaries) {
    const std::pair<std::uint64_t, std::uint32_t> cases[] = {
        {0, 256},     {1, 256},     {255, 256},   {256, 512},   {511, 512},   {512, 1024},
        {1023, 1024}, {1024, 4096}, {2048, 4096}, {4095, 4096}, {4096, 4096},
    };
    for (auto [extent, size] : cases) {
        SCOPED_TRACE(extent);
        EXPECT_EQ(size, blockSize(extent));
    }
}

TEST(IspVectorChecksumTest, MakesTheEightWordsSumToZero) {
    std::array<std::uint8_t, 40> area;
    area.fill(0xFF);  // words not covered by data count as 0xFFFFFFFF
    applyVectorChecksum(area);
    EXPECT_EQ((std::vector<std::uint8_t>{0x07, 0x00, 0x00, 0x00}),
              std::vector<std::uint8_t>(area.begin() + 0x14, area.begin() + 0x18));

    for (std::size_t i = 0; i < area.size(); ++i) area[i] = static_cast<std::uint8_t>(i * 13 + 5);
    const auto before = area;
    applyVectorChecksum(area);
    std::uint32_t sum = 0;
    for (std::size_t w = 0; w < 8; ++w)
        sum += static_cast<std::uint32_t>(area[w * 4]) | area[w * 4 + 1] << 8 | area[w * 4 + 2] << 16 |
               static_cast<std::uint32_t>(area[w * 4 + 3]) << 24;
    EXPECT_EQ(0u, sum);
    for (std::size_t i = 0; i < area.size(); ++i) {
        if (i >= 0x14 && i < 0x18) continue;
        EXPECT_EQ(before[i], area[i]) << i;
    }
}

TEST(IspRecordTest, UsesOnlyTheBytesTheLineHolds) {
    RecordArea record{};
    record.fill(0xEE);  // left over from an earlier line
    const std::uint8_t head[] = {0x10, 0x01, 0x00, 0x00, 0xAA, 0xBB};
    std::copy(std::begin(head), std::end(head), record.begin());
    IspRecord r = interpretRecord(record, 6);  // count 16, but only two data bytes on the line
    EXPECT_EQ(IspRecord::Kind::Data, r.kind);
    EXPECT_EQ(0x0100, r.offset);
    EXPECT_EQ(2u, r.data.size());

    const std::uint8_t page[] = {0x02, 0x00, 0x00, 0x04, 0x12};
    std::copy(std::begin(page), std::end(page), record.begin());
    r = interpretRecord(record, 5);
    EXPECT_EQ(IspRecord::Kind::Page, r.kind);
    EXPECT_EQ(0x1200, r.page) << "the missing low byte counts as 0";
    const std::uint8_t empty[] = {0x00, 0x00, 0x00, 0x04, 0xFC};  // no data: the checksum is no page byte
    std::copy(std::begin(empty), std::end(empty), record.begin());
    EXPECT_EQ(0x0000, interpretRecord(record, 5).page);
    EXPECT_EQ(IspRecord::Kind::None, interpretRecord(record, 3).kind);
}

TEST(CopiedLinesTest, KeepsRunsAndFindsGaps) {
    CopiedLines copied;
    copied.add(0x100, 0x200);
    copied.add(0x400, 0x500);
    copied.add(0x200, 0x300);  // touches the first run
    EXPECT_TRUE(copied.anyIn(0x2FF, 0x400));
    EXPECT_FALSE(copied.anyIn(0x300, 0x400));
    EXPECT_EQ(0x300u, copied.firstFree(0x100));
    EXPECT_EQ(0x000u, copied.firstFree(0x000));
    EXPECT_EQ((std::vector<std::pair<std::uint64_t, std::uint64_t>>{
                  {0x000, 0x100}, {0x300, 0x400}, {0x500, 0x600}}),
              copied.freeRuns(0x000, 0x600));
}

// The whole walk of the job over a file: the copies in order, and the flash content beside them.
struct Plan {
    Chunks chunks;
    std::vector<std::uint16_t> pages;
    FlashContent content;
};

Plan planFile(const std::string& text) {
    HexImage image;
    EXPECT_TRUE(image.assign(text));
    Plan plan;
    RecordArea scratch{};
    EXPECT_EQ(FlashContent::Result::Ok, plan.content.build(image, scratch));
    IspTransferPlan walk(image);
    std::int32_t word = 0;
    while (!walk.atEnd()) {
        IspTransferPlan::Step step = walk.next(word);
        if (step.page) plan.pages.push_back(*step.page);
        plan.chunks.insert(plan.chunks.end(), step.copies.begin(), step.copies.end());
    }
    EXPECT_EQ(0, word);
    return plan;
}

// The rules every plan keeps, whatever the file.
void expectSoundPlan(const Plan& plan, const test::HexText& file) {
    std::set<std::uint64_t> lines;
    for (const CopyChunk& c : plan.chunks) {
        EXPECT_EQ(0u, c.address % 256) << "destination " << c.address;
        EXPECT_TRUE(c.size == 256 || c.size == 512 || c.size == 1024 || c.size == 4096) << c.size;
        EXPECT_LE(c.address + c.size, kUserFlashEnd) << "copy at " << c.address << " passes the user flash";
        for (std::uint64_t line = c.address; line < c.address + c.size; line += 256)
            EXPECT_TRUE(lines.insert(line).second) << "line " << line << " copied twice";
    }
    for (const auto& [address, value] : file.bytes()) {
        if (address >= kSkippedPagesFrom) continue;
        EXPECT_TRUE(lines.count(address & ~0xFFu)) << "byte at " << address << " not programmed";
        std::array<std::uint8_t, 1> got{};
        plan.content.read(address, got);
        EXPECT_EQ(value, got[0]) << "at " << address;
    }
}

struct GatherCase {
    const char* name;
    test::HexText (*file)();
    Chunks chunks;
};

class IspGatherTest : public ::testing::TestWithParam<GatherCase> {};

TEST_P(IspGatherTest, PlansTheCopies) {
    const GatherCase& c = GetParam();
    const test::HexText file = c.file();
    const Plan plan = planFile(file.text());
    EXPECT_EQ(c.chunks, plan.chunks);
    expectSoundPlan(plan, file);
}

const GatherCase kGatherCases[] = {
    {"SingleRecord", [] { return test::HexText().fill(0x0100, 16).end(); }, {{0x0100, 256}}},
    {"Exactly256BytesGive512", [] { return test::HexText().fill(0x0000, 256).end(); }, {{0x0000, 512}}},
    {"Exactly1024BytesGive4096",
     [] { return test::HexText().fill(0x0000, 1024, 32).end(); },
     {{0x0000, 4096}}},
    {"RecordsAt000And800OneBlock",
     [] { return test::HexText().fill(0x000, 16).fill(0x800, 16).end(); },
     {{0x0000, 4096}}},
    {"RecordBelowTheStartStartsANewBlock",
     [] { return test::HexText().fill(0x200, 16).fill(0x100, 16).end(); },
     {{0x200, 256}, {0x100, 256}}},
    {"RecordBeyond4096StartsANewBlock",
     [] { return test::HexText().fill(0x0000, 16).fill(0x1000, 16).end(); },
     {{0x0000, 256}, {0x1000, 256}}},
    {"PageRecordEndsTheBlock",
     [] { return test::HexText().page(0).fill(0x0000, 16).page(1).fill(0x0010, 16).end(); },
     {{0x00000, 256}, {0x10000, 256}}},
    {"RegionAtAnOddAddressStartsOnItsLine",
     [] { return test::HexText().fill(0x1234, 0x300).end(); },
     {{0x1200, 1024}}},
    {"RecordCrossingTheBlockEndContinuesOnTheNextLine",
     [] { return test::HexText().fill(0x0008, 0x1100).end(); },
     {{0x0000, 4096}, {0x1000, 512}}},
    {"LongUnalignedRegionInWholeBlocks",
     [] { return test::HexText().fill(0x0010, 0x2100, 32).end(); },
     {{0x0000, 4096}, {0x1000, 4096}, {0x2000, 512}}},
    {"SameLineAfterAnotherRecordIsNotCopiedAgain",
     [] {
         return test::HexText().fill(0x0000, 16).record(5, 0, {0, 0, 0, 0}).fill(0x0010, 16).end();
     },
     {{0x0000, 256}}},
    {"RoundingThatWouldOverlapAnEarlierCopyShrinks",
     [] { return test::HexText().fill(0x1000, 16).fill(0x0F00, 0x100).end(); },
     {{0x1000, 256}, {0x0F00, 256}}},
    {"ExtentReachesTheHighestEnd",
     [] { return test::HexText().fill(0x000, 16).fill(0x100, 16).fill(0x010, 16).end(); },
     {{0x0000, 512}}},
    // The last 4 KiB below the boot block: no copy may pass 0x7DFFF, or the chip refuses it.
    {"LastLineBelowTheBootBlock",
     [] { return test::HexText().page(7).fill(0xDF00, 256).end(); },
     {{0x7DF00, 256}}},
    {"KiBAndAQuarterBelowTheBootBlock",
     [] { return test::HexText().page(7).fill(0xD800, 1280).end(); },
     {{0x7D800, 1024}, {0x7DC00, 256}}},
    {"LastSectorWhole",
     [] { return test::HexText().page(7).fill(0xD000, 4096, 32).end(); },
     {{0x7D000, 4096}}},
    {"SmallBlockInTheLastLines",
     [] { return test::HexText().page(7).fill(0xDE00, 16).end(); },
     {{0x7DE00, 256}}},
    {"SkippedPageProgramsNothing",
     [] { return test::HexText().page(0x8000).fill(0x0000, 64).page(0).fill(0x0200, 16).end(); },
     {{0x0200, 256}}},
};

INSTANTIATE_TEST_SUITE_P(Files, IspGatherTest, ::testing::ValuesIn(kGatherCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(IspGatherTest, ReportsPagesAndLeavesTheReadPositionAtTheNextBlock) {
    const Plan plan =
        planFile(test::HexText().page(0x0000).fill(0, 16).page(0x8000).fill(0, 16).end().text());
    EXPECT_EQ((std::vector<std::uint16_t>{0x0000, 0x8000}), plan.pages);
    EXPECT_EQ((Chunks{{0, 256}}), plan.chunks);
}

TEST(IspGatherTest, LaterRecordsInACopiedLineJoinItsContent) {
    // Two writes to the same bytes: the later one counts, and it is in the copy made for the earlier one.
    test::HexText file;
    file.data(0x0000, {1, 2, 3, 4}).record(3, 0, {0, 0, 0, 0}).data(0x0002, {9, 9});
    const Plan plan = planFile(file.end().text());
    EXPECT_EQ((Chunks{{0, 256}}), plan.chunks);
    std::array<std::uint8_t, 260> area{};
    fillChunk(plan.content, plan.chunks[0], area);
    EXPECT_EQ((std::vector<std::uint8_t>{1, 2, 9, 9, 0xFF}),
              std::vector<std::uint8_t>(area.begin(), area.begin() + 5));
}

// The block algorithm as first specified, written out literally: a block starts at its first data record,
// gathers while (address - start + count) <= 4096 without sign, takes its extent from the record placed
// last, and is copied whole. The reference for files whose blocks need no alignment.
struct ReferenceBlock {
    std::uint64_t address;
    std::uint32_t size;
    std::vector<std::uint8_t> bytes;
};

std::vector<ReferenceBlock> referenceBlocks(const std::string& text) {
    HexImage image;
    EXPECT_TRUE(image.assign(text));
    std::vector<ReferenceBlock> blocks;
    RecordArea record{};
    RecordArea ahead{};
    std::uint64_t upper = 0;
    while (!image.atEnd()) {
        std::array<std::uint8_t, 4098> area;
        area.fill(0xFF);
        int length = 0;
        image.readRecord(record, length);
        if (length >= 4 && record[3] == 4) upper = (std::uint64_t{record[4]} * 256 + record[5]) * 65536;
        if (upper >= 0x80000000 || length < 4 || record[3] != 0) continue;
        const int start = record[1] * 256 + record[2];
        std::copy_n(record.begin() + 4, record[0], area.begin());
        int extent = record[0];
        for (;;) {
            const std::int32_t remembered = image.position();
            int aheadLength = 0;
            image.readRecord(ahead, aheadLength);
            const int address = ahead[1] * 256 + ahead[2];
            if (aheadLength >= 4 && ahead[3] == 0 &&
                static_cast<unsigned>(address - start + ahead[0]) <= 4096u) {
                std::copy_n(ahead.begin() + 4, ahead[0], area.begin() + (address - start));
                extent = address - start + ahead[0];
                continue;
            }
            image.setPosition(remembered);
            break;
        }
        const std::uint32_t size = extent < 256 ? 256 : extent < 512 ? 512 : extent < 1024 ? 1024 : 4096;
        if (upper + start == 0) applyVectorChecksum(area);
        blocks.push_back(
            {upper + static_cast<std::uint64_t>(start), size, {area.begin(), area.begin() + size}});
    }
    return blocks;
}

// Random files whose blocks meet the rules as they are: sections on 256-byte lines, 256 bytes or more of
// 16- or 32-byte records in ascending order, over a few pages (one of them skipped).
test::HexText alignedFirmware(unsigned seed) {
    std::uint32_t state = seed * 2654435761u + 1;
    auto next = [&state](std::uint32_t below) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % below;
    };
    test::HexText file;
    for (std::uint16_t page : {std::uint16_t{0}, std::uint16_t{1}, std::uint16_t{0x8000}, std::uint16_t{3}}) {
        file.page(page);
        std::uint32_t at = page == 0 && next(2) == 0 ? 0 : next(16) * 256;
        while (at < 0xE000) {
            const std::uint32_t length = (1 + next(24)) * 256;
            file.fill(static_cast<std::uint16_t>(at), std::min<std::uint32_t>(length, 0x10000 - at),
                      next(2) ? 16 : 32);
            at += length + next(12) * 256;
        }
    }
    file.record(5, 0, {0, 0, 0, 0});
    return file.end();
}

TEST(IspGatherTest, FilesThatNeedNoAlignmentGetTheSameBlocksAsBefore) {
    for (unsigned seed = 1; seed <= 12; ++seed) {
        SCOPED_TRACE(seed);
        const test::HexText file = alignedFirmware(seed);
        const std::vector<ReferenceBlock> reference = referenceBlocks(file.text());
        const Plan plan = planFile(file.text());
        ASSERT_EQ(reference.size(), plan.chunks.size());
        for (std::size_t i = 0; i < reference.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(reference[i].address, plan.chunks[i].address);
            EXPECT_EQ(reference[i].size, plan.chunks[i].size);
            std::array<std::uint8_t, 4098> area;
            fillChunk(plan.content, plan.chunks[i], area);
            EXPECT_TRUE(std::equal(reference[i].bytes.begin(), reference[i].bytes.end(), area.begin()));
        }
        expectSoundPlan(plan, file);
    }
}

TEST(FlashContentTest, RefusesMoreDataThanAnyFlash) {
    FlashContent content;
    test::HexText file;
    for (std::uint32_t line = 0; line <= FlashContent::kMaxLines; ++line) {
        if (line % 256 == 0) file.page(static_cast<std::uint16_t>(line / 256));
        file.data(static_cast<std::uint16_t>(line % 256 * 256), {0x00});
    }
    HexImage image;
    ASSERT_TRUE(image.assign(file.end().text()));
    RecordArea scratch{};
    EXPECT_EQ(FlashContent::Result::TooMuchData, content.build(image, scratch));
    EXPECT_EQ(0, image.position());
    EXPECT_EQ(0u, content.lineCount());
}

TEST(FlashContentTest, KnowsWhereItsDataEndsAndWhetherItHoldsVectors) {
    struct Case {
        const char* name;
        test::HexText file;
        std::uint64_t dataEnd;
        bool vectors;
    };
    const Case cases[] = {
        {"UpToTheLastByte", test::HexText().page(7).fill(0xDF00, 256).end(), 0x7E000, false},
        {"IntoTheBootBlock", test::HexText().page(7).fill(0xDF00, 512).end(), 0x7E100, false},
        {"SkippedPagesDoNotCount", test::HexText().fill(0x0100, 16).page(0x8000).fill(0x0000, 64).end(),
         0x0110, false},
        {"VectorTable", test::HexText().fill(0x0000, 64).end(), 0x40, true},
        {"OneVectorWord", test::HexText().data(0x001C, {1, 2, 3, 4}).end(), 0x20, true},
        {"DataFrom0x20", test::HexText().fill(0x0020, 64).end(), 0x60, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Plan plan = planFile(c.file.text());
        EXPECT_EQ(c.dataEnd, plan.content.dataEnd());
        EXPECT_EQ(c.vectors, plan.content.holdsVectorTable());
    }
}

// The checksum word at 0x14 makes the boot loader start the code: only a file that has vectors gets it.
TEST(IspVectorChecksumTest, OnlyWhereTheFileHoldsVectors) {
    struct Case {
        const char* name;
        test::HexText file;
        std::vector<std::uint8_t> word5;  // bytes 0x14..0x17 of the copy at 0
    };
    const Case cases[] = {
        {"DataOnlyFrom0x40", test::HexText().fill(0x0040, 64).end(), {0xFF, 0xFF, 0xFF, 0xFF}},
        {"WholeVectorTable",
         test::HexText().data(0x0000, std::vector<std::uint8_t>(32, 0x00)).end(),
         {0x00, 0x00, 0x00, 0x00}},
        {"OnlyTheResetVector", test::HexText().data(0x0000, {0, 0, 0, 0}).end(), {0x06, 0x00, 0x00, 0x00}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Plan plan = planFile(c.file.text());
        ASSERT_FALSE(plan.chunks.empty());
        ASSERT_EQ(0u, plan.chunks[0].address);
        std::array<std::uint8_t, 4098> area;
        fillChunk(plan.content, plan.chunks[0], area);
        EXPECT_EQ(c.word5, std::vector<std::uint8_t>(area.begin() + 0x14, area.begin() + 0x18));
    }
}

TEST(IspVerifyTest, DifferingRangesJoinNeighbours) {
    const std::vector<std::uint8_t> expected(16, 0xFF);
    std::vector<std::uint8_t> actual = expected;
    actual[3] = 0;
    actual[4] = 0;
    actual[9] = 0;
    EXPECT_EQ((std::vector<AddressRange>{{0x103, 0x104}, {0x109, 0x109}}),
              differingRanges(0x100, expected, actual, 0x40));
    EXPECT_EQ((std::vector<AddressRange>{{0x9, 0x9}}), differingRanges(0x0, expected, actual, 0x5))
        << "below 5 skipped";
    EXPECT_TRUE(differingRanges(0x100, expected, expected, 0x40).empty());
}

// A copy is reported as one difference however its differing bytes lie: a block that never reached the
// flash reads back erased, and the file's own 0xFF bytes in it would otherwise cut it into pieces.
TEST(IspVerifyTest, OneDifferencePerCopy) {
    std::vector<std::uint8_t> file(4096);
    for (std::size_t i = 0; i < file.size(); ++i)
        file[i] = i % 256 == 7 ? 0xFF : static_cast<std::uint8_t>(i);
    const std::vector<std::uint8_t> erased(4096, 0xFF);
    std::vector<std::uint8_t> oneStuck = file;
    oneStuck[100] ^= 1;
    oneStuck[3000] ^= 1;

    std::vector<Difference> list;
    addCopyDifference(list, 0x1000, file, erased, 0x40);
    EXPECT_EQ((std::vector<Difference>{{{0x1000, 0x1FFE}, 4096 - 16 - 16}}), list)
        << "the file's 32 bytes 0xFF match, the last of them at 0x1FFF";

    list.clear();
    addCopyDifference(list, 0x2000, file, oneStuck, 0x40);
    addCopyDifference(list, 0x3000, file, file, 0x40);
    EXPECT_EQ((std::vector<Difference>{{{0x2064, 0x2BB8}, 2}}), list);

    // Copies side by side whose differences touch are one; the vector area is never compared.
    list.clear();
    addCopyDifference(list, 0x0000, std::vector<std::uint8_t>(256, 0), erased, 0x40);
    addCopyDifference(list, 0x0100, std::vector<std::uint8_t>(256, 0), erased, 0x40);
    EXPECT_EQ((std::vector<Difference>{{{0x0040, 0x01FF}, 512 - 64}}), list);
}

}  // namespace
}  // namespace hlx::firmware
