// The HEX reader and checker: line results and resume positions of readRecord over a table of small
// files, the check's transcript in the output window, loading from disk (missing, too large, exact
// capacity), and lines longer than the caller's record buffer.

#include "firmware/hex_image.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "jobs/job_file.h"
#include "tests/support/fake_output_window.h"
#include "tests/support/temp_dir.h"

namespace hlx::firmware {
namespace {

using namespace std::string_literals;

// One program-sized image for the whole suite: it holds 30 MB.
HexImage& image() {
    static HexImage shared;
    return shared;
}

std::string hexOf(const std::uint8_t* bytes, int n) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (int i = 0; i < n; ++i) {
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

// Reads the image to its end. Each record shows as its decoded bytes in hex, each failure as
// "E<code>@<position after it>"; a call that yields no record and no error shows nothing.
std::string readAll(HexImage& hex) {
    std::string out;
    std::array<std::uint8_t, 512> record{};
    for (int calls = 0; !hex.atEnd(); ++calls) {
        if (calls > 100000) return out + " (no end)";
        const std::int32_t before = hex.position();
        int length = -1;
        const int code = hex.readRecord(record, length);
        EXPECT_GT(hex.position(), before) << "the position must advance";
        std::string event;
        if (code != 0) {
            EXPECT_EQ(0, length) << "a failure has decoded length 0";
            event = "E" + std::to_string(code) + "@" + std::to_string(hex.position());
        } else if (length > 0) {
            event = hexOf(record.data(), length);
        }
        if (event.empty()) continue;
        if (!out.empty()) out += ' ';
        out += event;
    }
    return out;
}

struct ReaderCase {
    const char* name;
    std::string_view file;
    std::string_view expected;
};

const ReaderCase kReaderCases[] = {
    {"CrLf", ":0100000000FF\r\n:00000001FF\r\n", "0100000000FF 00000001FF"},
    {"LfOnly", ":0100000000FF\n:00000001FF\n", "0100000000FF 00000001FF"},
    {"CrOnly", ":0100000000FF\r:00000001FF\r", "0100000000FF 00000001FF"},
    {"EmptyLinesSkipped", "\r\n\r\n:0100000000FF\n\n\r\r\n:00000001FF\r\n\r\n", "0100000000FF 00000001FF"},
    {"LowerAndUpperCaseDigits", ":02000004abCD80\r\n", "02000004ABCD80"},
    {"SpaceBeforeLineEndIsOneCode4", ":0100000000FF \r\n:00000001FF\r\n", "E4@14 00000001FF"},
    {"SpaceBeforeColonIsOneCode8", " :0100000000FF\r\n", "E8@1 0100000000FF"},
    {"LastLineWithoutLineEndYieldsNothing", ":0100000000FF\r\n:00000001FF", "0100000000FF"},
    {"LoneLastByteIgnored", ":00000001FF\r\n\x1a", "00000001FF"},
    {"LoneColonAsLastByteIgnored", ":00000001FF\r\n:", "00000001FF"},
    {"SameByteElsewhereIsCode8", ":00000001FF\r\n\x1a\r\n", "00000001FF E8@14"},
    {"LineCutInsidePairByCrIsOneCode2", ":0100000000F\r\n:00000001FF\r\n", "E2@13 00000001FF"},
    {"DataEndsInsidePairIsCode2", ":0100000000F", "E2@12"},
    // After the bad character every further character of the line is a wrong line start.
    {"BadCharacterThenCode8PerCharacter", ":01000G0000FF\r\n:00000001FF\r\n",
     "E4@7 E8@8 E8@9 E8@10 E8@11 E8@12 E8@13 00000001FF"},
    {"WrongChecksumPasses", ":0100000000FE\r\n", "0100000000FE"},
    {"ByteCountDisagreeingWithPairsPasses", ":0500000000FF\r\n", "0500000000FF"},
    {"ColonAloneIsAnEmptyRecord", ":\r\n:00000001FF\r\n", "00000001FF"},
    {"OnlyLineEnds", "\r\n\r\n\n", ""},
};

class ReaderTest : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(ReaderTest, DecodesLinesAndResumesAfterFailures) {
    const ReaderCase& c = GetParam();
    ASSERT_TRUE(image().assign(c.file));
    EXPECT_EQ(c.expected, readAll(image()));
    EXPECT_EQ(image().size(), image().position());
}

INSTANTIATE_TEST_SUITE_P(HexFiles, ReaderTest, ::testing::ValuesIn(kReaderCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ReaderTest, LookAheadAndSetBackReadsTheSameRecordAgain) {
    ASSERT_TRUE(image().assign(":0100000011EE\r\n:0100010022DC\r\n"));
    std::array<std::uint8_t, 512> first{}, again{};
    int length = 0;
    ASSERT_EQ(0, image().readRecord(first, length));
    const std::int32_t remembered = image().position();
    ASSERT_EQ(0, image().readRecord(first, length));
    image().setPosition(remembered);
    ASSERT_EQ(0, image().readRecord(again, length));
    EXPECT_EQ(hexOf(first.data(), 6), hexOf(again.data(), 6));
    EXPECT_FALSE(image().atEnd()) << "the LF of the last line is still to be read";
    EXPECT_EQ(0, image().readRecord(again, length));
    EXPECT_EQ(0, length);
    EXPECT_TRUE(image().atEnd());

    image().setPosition(1'000'000);  // never past the end
    EXPECT_EQ(image().size(), image().position());
    image().setPosition(-5);
    EXPECT_EQ(0, image().position());
}

// A line with more digit pairs than the buffer: nothing beyond the buffer is written, the line is read
// to its end, and the record is empty so no consumer sends a cut-off record.
TEST(ReaderTest, LineLongerThanBufferDoesNotOverrun) {
    const std::string longLine = ":" + std::string(40, 'A') + "\r\n";  // 20 pairs
    ASSERT_TRUE(image().assign(longLine + ":00000001FF\r\n" + longLine.substr(0, 30) + "G\r\n"));
    std::array<std::uint8_t, 16> area;
    area.fill(0x55);
    const std::span<std::uint8_t> buffer(area.data() + 4, 8);  // guards: 4 bytes before, 4 after

    int length = -1;
    EXPECT_EQ(0, image().readRecord(buffer, length));
    EXPECT_EQ(0, length);
    EXPECT_TRUE(image().lastLineTooLong());
    EXPECT_EQ(20, image().lastLinePairs());
    EXPECT_EQ(static_cast<std::int32_t>(longLine.size()) - 1, image().position()) << "just after the CR";
    for (int i : {0, 1, 2, 3, 12, 13, 14, 15}) EXPECT_EQ(0x55, area[i]) << "guard byte " << i;
    EXPECT_EQ(0xAA, area[4]);
    EXPECT_EQ(0xAA, area[11]);

    EXPECT_EQ(0, image().readRecord(buffer, length));
    EXPECT_EQ(5, length);
    EXPECT_FALSE(image().lastLineTooLong());

    // Too long and broken: the syntax result stands.
    EXPECT_EQ(4, image().readRecord(buffer, length));
    EXPECT_FALSE(image().lastLineTooLong());
    for (int i : {0, 1, 2, 3, 12, 13, 14, 15}) EXPECT_EQ(0x55, area[i]) << "guard byte " << i;
}

class CheckFileTest : public ::testing::Test {
protected:
    int check(std::string_view file, std::span<std::uint8_t> scratch) {
        EXPECT_TRUE(image().assign(file));
        const int errors = image().checkFile(scratch, m_log);
        EXPECT_EQ(0, image().position()) << "the check rewinds";
        return errors;
    }
    int check(std::string_view file) { return check(file, m_scratch); }

    test::FakeOutputWindow m_window;
    output::OutputLog m_log{m_window};
    std::array<std::uint8_t, 512> m_scratch{};
};

TEST_F(CheckFileTest, CleanFileShowsHeaderAndZeroCount) {
    EXPECT_EQ(0, check(":0100000000FF\r\n:0100010000FE\r\n:00000001FF\r\n"));
    EXPECT_EQ("Prüfe Hex File\r\nAnzahl Fehler: 0\r\n", m_window.text());
    EXPECT_EQ(2, m_window.refreshCount());
}

TEST_F(CheckFileTest, TwelveErrorsListNineCodesAndTheCount) {
    std::string file;
    for (int i = 0; i < 4; ++i) file += ":0\r\n:0G\r\nx\r\n";  // codes 2, 4, 8
    file += ":0100000000FF\r\n:00000001FF\r\n";
    EXPECT_EQ(12, check(file));
    std::string expected = "Prüfe Hex File\r\n";
    for (int i = 0; i < 3; ++i) expected += "Fehlercode: 2\r\nFehlercode: 4\r\nFehlercode: 8\r\n";
    expected += "Anzahl Fehler: 12\r\n";
    EXPECT_EQ(expected, m_window.text());
    EXPECT_EQ(11, m_window.refreshCount()) << "every line is shown at once";
}

// Bad records refuse the file already: the count stays the number of bad records, with no finding about
// missing data on top.
TEST_F(CheckFileTest, BadRecordsInAFileWithoutDataAreCountedAlone) {
    std::string file;
    for (int i = 0; i < 4; ++i) file += ":0\r\n:0G\r\nx\r\n";
    file += ":00000001FF\r\n";
    EXPECT_EQ(12, check(file));
    EXPECT_TRUE(m_window.text().ends_with("Fehlercode: 8\r\nAnzahl Fehler: 12\r\n")) << m_window.text();
    EXPECT_EQ(std::string::npos, m_window.text().find("keine Daten")) << m_window.text();
}

// A line whose checksum does not match its bytes was damaged: it is a bad record of its own code, so no
// method programs it (neither with the file's checksum nor with one it computes).
struct ChecksumCase {
    const char* name;
    std::string_view file;
    int errors;
    std::string_view listed;  // the lines between the header and the count
};

void PrintTo(const ChecksumCase& c, std::ostream* os) {
    *os << c.name;
}

class ChecksumTest : public CheckFileTest, public ::testing::WithParamInterface<ChecksumCase> {};

TEST_P(ChecksumTest, WrongChecksumIsABadRecord) {
    const ChecksumCase& c = GetParam();
    EXPECT_EQ(c.errors, check(c.file));
    EXPECT_EQ(
        "Prüfe Hex File\r\n" + std::string(c.listed) + "Anzahl Fehler: " + std::to_string(c.errors) + "\r\n",
        m_window.text());
}

const ChecksumCase kChecksumCases[] = {
    {"LastDataLine", ":0100000000FF\r\n:0100010000FD\r\n:00000001FF\r\n", 1, "Fehlercode: 16\r\n"},
    {"LastLineOfTheFileWithoutEndRecord", ":0100000000FF\r\n:0100010000FD\r\n", 1, "Fehlercode: 16\r\n"},
    {"EndRecord", ":0100000000FF\r\n:00000001FE\r\n", 1, "Fehlercode: 16\r\n"},
    {"PageRecord", ":020000040001FA\r\n:0100000000FF\r\n:00000001FF\r\n", 1, "Fehlercode: 16\r\n"},
    {"OnlyDataRecordNoExtraNoDataError", ":0100000000FE\r\n:00000001FF\r\n", 1, "Fehlercode: 16\r\n"},
    {"LowerCaseDigitsThatMatch", ":02000000abcd86\r\n:00000001ff\r\n", 0, ""},
    {"SumWrapsToZero", ":04000000FFFFFFFF00\r\n:00000001FF\r\n", 0, ""},
};

INSTANTIATE_TEST_SUITE_P(CheckFile, ChecksumTest, ::testing::ValuesIn(kChecksumCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CheckFileTest, ByteCountThatDisagreesWithTheLineIsAnErrorWithItsLineNumber) {
    // Line 4 says 16 bytes but holds 3; line 6 says 1 but holds 2. Line ends of every kind count.
    EXPECT_EQ(
        2,
        check(":0100000000FF\r\n\r\n:0100010000FE\n:10002000AABBCCFF\r:00000001FF\r\n:01000000AABB00\r\n"));
    EXPECT_EQ(
        "Prüfe Hex File\r\n"
        "Fehler in Zeile 4: 16 Datenbytes angegeben, 3 vorhanden\r\n"
        "Fehler in Zeile 6: 1 Datenbytes angegeben, 2 vorhanden\r\n"
        "Anzahl Fehler: 2\r\n",
        m_window.text());
}

TEST_F(CheckFileTest, LineTooLongForScratchIsAnError) {
    std::string file = ":" + std::string(2 * 600, '0') + "\r\n:0100000000FF\r\n:00000001FF\r\n";
    EXPECT_EQ(1, check(file));
    EXPECT_EQ(
        "Prüfe Hex File\r\nFehler: Zeile zu lang (600 Bytes, höchstens 512 Bytes)\r\nAnzahl Fehler: 1\r\n",
        m_window.text());
}

// A file whose download would program nothing is refused by the check, so no method sends its command,
// and the boot loader erases nothing.
TEST_F(CheckFileTest, FileWithoutDataIsAnError) {
    struct Case {
        const char* name;
        std::string_view file;
        int errors;
        bool noDataLine;  // said only when no record was bad
    };
    const Case cases[] = {
        {"Empty", "", 1, true},
        {"OnlyTheEndRecord", ":00000001FF\r\n", 1, true},
        {"OnlyEmptyLines", "\r\n\n\r\n", 1, true},
        {"PageAndStartAddressButNoData", ":020000040000FA\r\n:0400000500000000F7\r\n:00000001FF\r\n", 1,
         true},
        {"DataRecordWithoutBytes", ":0000000000\r\n:00000001FF\r\n", 1, true},
        {"BrokenLineAndNoData", ":0G\r\n:00000001FF\r\n", 1, false},
        {"OneDataByte", ":0100000000FF\r\n:00000001FF\r\n", 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_window.setText("");
        EXPECT_EQ(c.errors, check(c.file));
        const std::string text = m_window.text();
        EXPECT_EQ(c.noDataLine, text.find("Fehler: Datei enthält keine Daten\r\n") != std::string::npos)
            << text;
        EXPECT_TRUE(text.ends_with("Anzahl Fehler: " + std::to_string(c.errors) + "\r\n")) << text;
    }
}

class LoadTest : public ::testing::Test {
protected:
    test::TempDir m_dir;
};

TEST_F(LoadTest, ReadsTheFileAsStored) {
    const std::string bytes = ":0100000000FF\r\n\n\0binary\xff"s;
    test::writeFile(m_dir.file("a.hex"), bytes);
    image().setPosition(0);
    ASSERT_TRUE(image().load(m_dir.file("a.hex")));
    EXPECT_EQ(bytes, image().bytes());
    EXPECT_EQ(static_cast<std::int32_t>(bytes.size()), image().size());
    EXPECT_EQ(0, image().position());
    EXPECT_EQ(static_cast<std::int64_t>(bytes.size()), image().lastFileSize());
}

TEST_F(LoadTest, FileThatCannotBeOpenedLeavesTheImageAlone) {
    test::writeFile(m_dir.file("a.hex"), ":00000001FF\r\n");
    ASSERT_TRUE(image().load(m_dir.file("a.hex")));
    image().setPosition(4);
    EXPECT_EQ(base::StatusCode::NotFound, image().load(m_dir.file("missing.hex")).code());
    EXPECT_EQ(base::StatusCode::NotRegularFile, image().load(m_dir.path()).code());
    EXPECT_EQ(":00000001FF\r\n", image().bytes());
    EXPECT_EQ(4, image().position());
}

TEST_F(LoadTest, FileLargerThanTheBufferIsRefusedUnread) {
    test::writeFile(m_dir.file("a.hex"), ":00000001FF\r\n");
    ASSERT_TRUE(image().load(m_dir.file("a.hex")));
    const std::string big = m_dir.file("big.hex");
    test::writeFile(big, "");
    std::filesystem::resize_file(big, HexImage::kCapacity + 1);  // sparse: cheap to make
    EXPECT_EQ(base::StatusCode::TooLarge, image().load(big).code());
    EXPECT_EQ(HexImage::kCapacity + 1, image().lastFileSize());
    EXPECT_EQ(":00000001FF\r\n", image().bytes());
    EXPECT_EQ("Fehler: Datei ist zu groß (30000001 Bytes, höchstens 30000000 Bytes)",
              jobs::tooLargeLine(image().lastFileSize()));

    EXPECT_EQ(base::StatusCode::TooLarge, image().assign(std::string(HexImage::kCapacity + 1, ':')).code());
    EXPECT_EQ(":00000001FF\r\n", image().bytes());
}

TEST_F(LoadTest, FileOfExactlyTheCapacityIsRead) {
    const std::string full = m_dir.file("full.hex");
    test::writeFile(full, "");
    std::filesystem::resize_file(full, HexImage::kCapacity);
    ASSERT_TRUE(image().load(full));
    EXPECT_EQ(HexImage::kCapacity, image().size());
    EXPECT_EQ(0, image().data()[HexImage::kCapacity - 1]);
}

}  // namespace
}  // namespace hlx::firmware
