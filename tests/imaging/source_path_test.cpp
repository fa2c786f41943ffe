// Output names next to the source bitmap.

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "imaging/source_path.h"

namespace hlx::test {
namespace {

struct PathCase {
    const char* name;
    const char* source;
    const char* baseName;
    const char* directory;
    const char* vxcPath;
};

void PrintTo(const PathCase& c, std::ostream* os) {
    *os << c.name;
}

constexpr PathCase kPathCases[] = {
    {"WindowsPath", "D:\\bilder\\logo.bmp", "logo", "D:\\bilder", "D:\\bilder\\vxc_logo.vxc"},
    {"PosixPath", "/home/t/bilder/logo.bmp", "logo", "/home/t/bilder", "/home/t/bilder/vxc_logo.vxc"},
    {"BareName", "logo.bmp", "logo", "", "vxc_logo.vxc"},
    {"OnlyTheLastFullStopGoes", "/home/t/logo.v2.BMP", "logo.v2", "/home/t", "/home/t/vxc_logo.v2.vxc"},
    {"NoExtension", "/home/t/logo", "logo", "/home/t", "/home/t/vxc_logo.vxc"},
    {"FullStopInTheFolderOnlyCutsTheFolder", "D:\\v1.2\\logo", "v1", "D:", "D:\\vxc_v1.vxc"},
    {"FullStopInAPosixFolderOnly", "/home/t/v1.2/logo", "v1", "/home/t", "/home/t/vxc_v1.vxc"},
    {"FileInTheRootFolder", "/logo.bmp", "logo", "", "/vxc_logo.vxc"},
    {"LastSeparatorOfEitherKind", "C:/pics\\sub/logo.bmp", "logo", "C:/pics\\sub",
     "C:/pics\\sub/vxc_logo.vxc"},
    {"NameOfOnlyAnExtension", "/home/t/.bmp", "", "/home/t", "/home/t/vxc_.vxc"},
    {"Utf8Name", "/home/t/Gr\u00fc\u00dfe.bmp", "Gr\u00fc\u00dfe", "/home/t",
     "/home/t/vxc_Gr\u00fc\u00dfe.vxc"},
};

class SplitSourcePathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(SplitSourcePathTest, NamesTheOutputsNextToTheSource) {
    const PathCase& c = GetParam();
    const imaging::SourcePathParts parts = imaging::splitSourcePath(c.source);
    EXPECT_EQ(c.baseName, parts.name);
    EXPECT_EQ(c.directory, parts.directory);
    const imaging::OutputPaths outputs = imaging::outputPathsFor(parts);
    const std::string vxc = c.vxcPath;
    const std::string stem = vxc.substr(0, vxc.size() - 4);
    EXPECT_EQ(vxc, outputs.vxc);
    EXPECT_EQ(stem + ".c", outputs.cSource);
    EXPECT_EQ(stem + ".bmp", outputs.preview);
}

INSTANTIATE_TEST_SUITE_P(Paths, SplitSourcePathTest, ::testing::ValuesIn(kPathCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace hlx::test
