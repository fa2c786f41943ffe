// The console seam with output that is no console (a file): the UTF-8 bytes go out unchanged, also a
// character split between two calls; printf-style text of any length; the drawing calls give the escapes
// a terminal takes. (A real Windows console is tested by tests/wine/console-test.sh, off the screen.)
// And programFolder, which names the folder of the running program.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "base/console.h"
#include "base/user_folders.h"
#include "tests/support/temp_dir.h"

namespace hlx::base {
namespace {

struct ConsoleCase {
    const char* name;
    std::function<void(std::FILE*)> write;
    std::string bytes;
};

class ConsoleToAFileTest : public ::testing::TestWithParam<ConsoleCase> {};

TEST_P(ConsoleToAFileTest, WritesTheseBytes) {
    test::TempDir dir;
    const std::string path = dir.file("out.txt");
    // Binary mode: on Windows the C library's text mode would turn LF into CR LF, as it does for stdout.
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, file);
    GetParam().write(file);
    std::fclose(file);
    EXPECT_EQ(GetParam().bytes, test::readFile(path));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConsoleToAFileTest,
    ::testing::Values(
        ConsoleCase{"Utf8TextAsItIs", [](std::FILE* f) { writeText(f, "Prüfe Hex File\n"); },
                    "Pr\xC3\xBC"
                    "fe Hex File\n"},
        ConsoleCase{"ACharacterSplitBetweenTwoWrites",
                    [](std::FILE* f) {
                        writeText(f, "Pr\xC3");
                        writeText(f,
                                  "\xBC"
                                  "fe");
                    },
                    "Pr\xC3\xBC"
                    "fe"},
        ConsoleCase{"PrintfStyleText",
                    [](std::FILE* f) { printText(f, "%s: %d of %zu\n", "COM5", 3, std::size_t{4}); },
                    "COM5: 3 of 4\n"},
        ConsoleCase{"PrintfStyleTextLongerThanAnyBuffer",
                    [](std::FILE* f) { printText(f, "%s|", std::string(100000, 'x').c_str()); },
                    std::string(100000, 'x') + "|"},
        ConsoleCase{"ClearLineGoesToTheLineStartAndClearsIt", [](std::FILE* f) { clearLine(f); }, "\r\033[K"},
        ConsoleCase{"MoveUpGoesToTheStartOfALineAbove", [](std::FILE* f) { moveUp(f, 3); }, "\033[3F"},
        ConsoleCase{"MoveUpByNothingWritesNothing", [](std::FILE* f) { moveUp(f, 0); }, ""}),
    [](const ::testing::TestParamInfo<ConsoleCase>& info) { return std::string(info.param.name); });

TEST(ProgramFolderTest, NamesTheFolderOfTheRunningProgram) {
    const std::filesystem::path folder = programFolder();
    ASSERT_FALSE(folder.empty());
    EXPECT_TRUE(std::filesystem::exists(folder / "base_tests") ||
                std::filesystem::exists(folder / "base_tests.exe"))
        << folder;
}

}  // namespace
}  // namespace hlx::base
