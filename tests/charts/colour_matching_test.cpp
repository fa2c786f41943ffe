// The colour-matching table compiled into the program, and the build step that makes it from the CSV:
// it must take the published rows as they are and refuse a damaged file with the line at fault.

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "charts/colour_matching.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace hlx::charts;

TEST(ColourMatchingTable, HoldsEveryFiveNanometresFrom390To830ThenAZeroRow) {
    ASSERT_EQ(89, kColourMatchingRows);
    for (int i = 0; i < kColourMatchingRows; ++i) {
        const ColourMatchingRow& row = kColourMatchingTable[static_cast<std::size_t>(i)];
        SCOPED_TRACE(row.wavelength);
        EXPECT_EQ(390 + 5 * i, row.wavelength);
        EXPECT_GE(row.xBar, 0.0f);
        EXPECT_GT(row.yBar, 0.0f);
        EXPECT_GE(row.zBar, 0.0f);
    }
    const ColourMatchingRow& end = kColourMatchingTable.back();
    EXPECT_EQ(0, end.wavelength);
    EXPECT_EQ(0.0f, end.xBar + end.yBar + end.zBar);
}

TEST(ColourMatchingTable, KeepsThePublishedValues) {
    const ColourMatchingRow& first = kColourMatchingTable[0];
    EXPECT_FLOAT_EQ(3.769647E-03f, first.xBar);
    EXPECT_FLOAT_EQ(4.146161E-04f, first.yBar);
    EXPECT_FLOAT_EQ(1.847260E-02f, first.zBar);
    const ColourMatchingRow& last = kColourMatchingTable[kColourMatchingRows - 1];
    EXPECT_EQ(830, last.wavelength);
    EXPECT_FLOAT_EQ(1.762465E-06f, last.xBar);
    EXPECT_FLOAT_EQ(7.053860E-07f, last.yBar);
    EXPECT_FLOAT_EQ(0.0f, last.zBar);
    // 555 nm, near the peak of the luminous efficiency.
    const ColourMatchingRow& green = kColourMatchingTable[(555 - 390) / 5];
    EXPECT_EQ(555, green.wavelength);
    EXPECT_NEAR(1.0, green.yBar, 0.01);
}

struct Generated {
    int exitCode;
    std::string output;
    std::string source;
};

Generated generate(const hlx::test::TempDir& dir, const std::string& csv) {
    const std::string input = dir.file("table.csv");
    const std::string output = dir.file("table.cpp");
    hlx::test::writeFile(input, csv);
    const hlx::test::CommandOutcome outcome =
        hlx::test::runCommand(std::string("\"") + HLX_CMAKE_COMMAND + "\" -DINPUT=" + input +
                              " -DOUTPUT=" + output + " -P \"" + HLX_COLOUR_MATCHING_SCRIPT + "\"");
    Generated run{outcome.exitCode, {}, {}};
    // CMake wraps its messages; one space for every run of white space makes them searchable.
    for (const char ch : outcome.out) {
        const bool space = ch == ' ' || ch == '\n' || ch == '\t';
        if (!space || (!run.output.empty() && run.output.back() != ' ')) run.output += space ? ' ' : ch;
    }
    if (std::filesystem::exists(output)) run.source = hlx::test::readFile(output);
    return run;
}

// The published file with one edit.
std::string publishedWith(const std::string& from, const std::string& to) {
    std::string csv = hlx::test::readFile(HLX_COLOUR_MATCHING_CSV);
    const std::size_t at = csv.find(from);
    EXPECT_NE(std::string::npos, at) << from;
    if (at != std::string::npos) csv.replace(at, from.size(), to);
    return csv;
}

TEST(ColourMatchingGenerator, TurnsThePublishedFileIntoTheTable) {
    hlx::test::TempDir dir;
    const Generated run = generate(dir, hlx::test::readFile(HLX_COLOUR_MATCHING_CSV));
    ASSERT_EQ(0, run.exitCode) << run.output;
    EXPECT_NE(std::string::npos, run.source.find("{390, 3.769647E-03f, 4.146161E-04f, 1.847260E-02f},"));
    EXPECT_NE(std::string::npos, run.source.find("{830, 1.762465E-06f, 7.053860E-07f, 0.000000E+00f},\n"
                                                 "    {0, 0.0f, 0.0f, 0.0f},"));
}

TEST(ColourMatchingGenerator, RefusesADamagedFileNamingTheLine) {
    struct Case {
        const char* name;
        std::string csv;
        const char* message;
    };
    const Case cases[] = {
        {"missing row", publishedWith("395,9.382967E-03,1.059646E-03,4.609784E-02\n", ""),
         ":4: expected the row of 395 nm, found 400 nm"},
        {"not a number", publishedWith("400,2.214302E-02", "400,2.2x"), ":5: '2.2x' is not a number"},
        {"a field short", publishedWith("400,2.214302E-02,", "400,"),
         ":5: not a row of a wavelength and three numbers"},
        {"ends early", publishedWith("830,1.762465E-06,7.053860E-07,0.000000E+00\n", ""),
         "the table ends before 830 nm"},
        {"row after 830",
         publishedWith("830,1.762465E-06,7.053860E-07,0.000000E+00\n",
                       "830,1.762465E-06,7.053860E-07,0.000000E+00\n835,1E-06,1E-07,0\n"),
         ": a row after 830 nm"},
        {"wrong header", publishedWith("wavelength_nm,xbar,ybar,zbar", "nm,x,y,z"), "expected the header"},
        {"empty file", "", "no header line"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        hlx::test::TempDir dir;
        const Generated run = generate(dir, c.csv);
        EXPECT_NE(0, run.exitCode);
        EXPECT_NE(std::string::npos, run.output.find(c.message)) << run.output;
        EXPECT_EQ("", run.source) << "no table is written from a damaged file";
    }
}

TEST(ColourMatchingGenerator, AcceptsWholeNumbersAsFloats) {
    hlx::test::TempDir dir;
    const Generated run = generate(dir, publishedWith("0.000000E+00\n", "0\n"));
    ASSERT_EQ(0, run.exitCode) << run.output;
    EXPECT_NE(std::string::npos, run.source.find(", 0.0f},"));
}

}  // namespace
