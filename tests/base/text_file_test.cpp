#include "base/text_file.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/faulty_file_system.h"
#include "tests/support/temp_dir.h"

namespace hlx::base {
namespace {

using namespace std::string_view_literals;

const char* encodingName(base::TextEncoding e) {
    switch (e) {
        case base::TextEncoding::Windows1252:
            return "Windows1252";
        case base::TextEncoding::Utf8:
            return "Utf8";
        case base::TextEncoding::Utf8Bom:
            return "Utf8Bom";
        case base::TextEncoding::Utf16LE:
            return "Utf16LE";
        case base::TextEncoding::Utf16BE:
            return "Utf16BE";
    }
    return "?";
}

std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// --- decoding --------------------------------------------------------------------------------------------

struct DecodeCase {
    const char* name;
    std::string_view bytes;
    std::string_view text;
    base::TextEncoding encoding;
};

const DecodeCase kDecodeCases[] = {
    {"Empty", ""sv, ""sv, base::TextEncoding::Utf8},
    {"AsciiIsUtf8", "LoadFW?\r\n"sv, "LoadFW?\r\n"sv, base::TextEncoding::Utf8},
    {"LoneLf", "a\nb\n"sv, "a\r\nb\r\n"sv, base::TextEncoding::Utf8},
    {"LoneCr", "a\rb"sv, "a\r\nb"sv, base::TextEncoding::Utf8},
    {"TrailingCr", "a\r"sv, "a\r\n"sv, base::TextEncoding::Utf8},
    {"LfCrIsTwoBreaks", "a\n\rb"sv, "a\r\n\r\nb"sv, base::TextEncoding::Utf8},
    {"CrCrLfIsTwoBreaks", "a\r\r\nb"sv, "a\r\n\r\nb"sv, base::TextEncoding::Utf8},
    {"Utf8WithoutMark",
     "Gr\xC3\xBC\xC3\x9F"
     "e"sv,
     "Gr\xC3\xBC\xC3\x9F"
     "e"sv,
     base::TextEncoding::Utf8},
    {"Utf8Mark",
     "\xEF\xBB\xBF"
     "\xC3\xA4\n"sv,
     "\xC3\xA4\r\n"sv, base::TextEncoding::Utf8Bom},
    {"Utf8MarkOnly", "\xEF\xBB\xBF"sv, ""sv, base::TextEncoding::Utf8Bom},
    {"Utf8MarkTwiceKeepsSecond", "\xEF\xBB\xBF\xEF\xBB\xBF"sv, "\xEF\xBB\xBF"sv, base::TextEncoding::Utf8Bom},
    {"Utf8MarkWithBadByte",
     "\xEF\xBB\xBF"
     "A\xFF"sv,
     "A\xEF\xBF\xBD"sv, base::TextEncoding::Utf8Bom},
    {"Windows1252UmlautEuro", "\xE4\x80"sv, "\xC3\xA4\xE2\x82\xAC"sv, base::TextEncoding::Windows1252},
    {"Windows1252LineBreaks", "\xFC\rx\n"sv, "\xC3\xBC\r\nx\r\n"sv, base::TextEncoding::Windows1252},
    {"Windows1252Nul", "\xE4\0"sv, "\xC3\xA4\xE2\x90\x80"sv, base::TextEncoding::Windows1252},
    {"OverlongIsWindows1252", "\xC0\x80"sv, "\xC3\x80\xE2\x82\xAC"sv, base::TextEncoding::Windows1252},
    {"Utf16LE",
     "\xFF\xFE"
     "a\0\n\0\xE4\0"sv,
     "a\r\n\xC3\xA4"sv, base::TextEncoding::Utf16LE},
    {"Utf16BE", "\xFE\xFF\0a\0\r\0\n\x20\xAC"sv, "a\r\n\xE2\x82\xAC"sv, base::TextEncoding::Utf16BE},
    {"Utf16MarkOnly", "\xFE\xFF"sv, ""sv, base::TextEncoding::Utf16BE},
    {"Utf16LEPair", "\xFF\xFE\x3D\xD8\x00\xDE"sv, "\xF0\x9F\x98\x80"sv, base::TextEncoding::Utf16LE},
    {"Utf16LELoneSurrogate",
     "\xFF\xFE\x3D\xD8"
     "b\0"sv,
     "\xEF\xBF\xBD"
     "b"sv,
     base::TextEncoding::Utf16LE},
    {"Utf16LEOddByte",
     "\xFF\xFE"
     "a\0b"sv,
     "a\xEF\xBF\xBD"sv, base::TextEncoding::Utf16LE},
    {"Utf16BELoneCr", "\xFE\xFF\0\r\0x"sv, "\r\nx"sv, base::TextEncoding::Utf16BE},
};

class DecodeTextTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTextTest, FindsEncodingAndNormalisesLineBreaks) {
    const DecodeCase& c = GetParam();
    const base::DecodedText decoded = base::decodeText(c.bytes);
    EXPECT_EQ(c.text, decoded.text);
    EXPECT_EQ(encodingName(c.encoding), encodingName(decoded.encoding));
}

INSTANTIATE_TEST_SUITE_P(TextFile, DecodeTextTest, ::testing::ValuesIn(kDecodeCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- encoding --------------------------------------------------------------------------------------------

TEST(EncodeTextTest, WritesTheTextUnchangedWithTheMarkOfItsEncoding) {
    struct Case {
        const char* name;
        std::string_view text;
        base::TextEncoding encoding;
        std::string_view bytes;
    };
    const Case cases[] = {
        {"Utf8", "\xC3\xA4\r\n"sv, base::TextEncoding::Utf8, "\xC3\xA4\r\n"sv},
        {"Utf8Bom", "\xC3\xA4\r\n"sv, base::TextEncoding::Utf8Bom, "\xEF\xBB\xBF\xC3\xA4\r\n"sv},
        {"Utf16LE", "\xC3\xA4\r\n"sv, base::TextEncoding::Utf16LE, "\xFF\xFE\xE4\0\r\0\n\0"sv},
        {"Utf16BE", "\xC3\xA4\r\n"sv, base::TextEncoding::Utf16BE, "\xFE\xFF\0\xE4\0\r\0\n"sv},
        {"Utf16LEPair", "\xF0\x9F\x98\x80"sv, base::TextEncoding::Utf16LE, "\xFF\xFE\x3D\xD8\x00\xDE"sv},
        {"Utf16BEEmpty", ""sv, base::TextEncoding::Utf16BE, "\xFE\xFF"sv},
        {"Windows1252", "\xC3\xA4\xE2\x82\xAC\r\n"sv, base::TextEncoding::Windows1252, "\xE4\x80\r\n"sv},
        {"Windows1252Unmappable", "a\xF0\x9F\x98\x80"sv, base::TextEncoding::Windows1252, "a?"sv},
        {"LoneLfKept", "a\nb\r"sv, base::TextEncoding::Utf8, "a\nb\r"sv},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.bytes, base::encodeText(c.text, c.encoding));
    }
}

// --- files -----------------------------------------------------------------------------------------------

class TextFileTest : public ::testing::Test {
protected:
    test::TempDir m_dir;
};

TEST_F(TextFileTest, SaveThenLoadGivesTheSameTextInEveryEncoding) {
    // Every character here exists in Windows-1252, so no encoding loses any of it.
    const std::string text = "Output & Terminal Window\r\nPrüfe Hex File\r\n\r\nPreis: 5 €\r\nEnde";
    const base::TextEncoding encodings[] = {base::TextEncoding::Windows1252, base::TextEncoding::Utf8,
                                            base::TextEncoding::Utf8Bom, base::TextEncoding::Utf16LE,
                                            base::TextEncoding::Utf16BE};
    for (const base::TextEncoding encoding : encodings) {
        SCOPED_TRACE(encodingName(encoding));
        const std::string path = m_dir.file(std::string("saved-") + encodingName(encoding) + ".txt");
        ASSERT_TRUE(base::writeTextFile(path, text, encoding)) << path;
        EXPECT_EQ(base::encodeText(text, encoding), test::readFile(path));

        base::DecodedText loaded;
        ASSERT_TRUE(base::readTextFile(path, loaded));
        EXPECT_EQ(text, loaded.text);
        EXPECT_STREQ(encodingName(encoding), encodingName(loaded.encoding));
    }
}

TEST_F(TextFileTest, LoadOfUtf8WithMarkThenSaveWritesUtf8WithMark) {
    const std::string original =
        "\xEF\xBB\xBFGr\xC3\xBC\xC3\x9F"
        "e\r\nZeile 2\r\n";
    test::writeFile(m_dir.file("in.txt"), original);

    base::DecodedText loaded;
    ASSERT_TRUE(base::readTextFile(m_dir.file("in.txt"), loaded));
    EXPECT_EQ(
        "Gr\xC3\xBC\xC3\x9F"
        "e\r\nZeile 2\r\n",
        loaded.text);
    ASSERT_TRUE(base::writeTextFile(m_dir.file("out.txt"), loaded.text, loaded.encoding));
    EXPECT_EQ(original, test::readFile(m_dir.file("out.txt")));
}

TEST_F(TextFileTest, LoadTurnsLoneCrAndLfIntoCrLfAndSaveKeepsThem) {
    test::writeFile(m_dir.file("mixed.txt"), "a\rb\nc\r\nd");
    base::DecodedText loaded;
    ASSERT_TRUE(base::readTextFile(m_dir.file("mixed.txt"), loaded));
    EXPECT_EQ("a\r\nb\r\nc\r\nd", loaded.text);
    ASSERT_TRUE(base::writeTextFile(m_dir.file("mixed.txt"), loaded.text, loaded.encoding));
    EXPECT_EQ("a\r\nb\r\nc\r\nd", test::readFile(m_dir.file("mixed.txt")));
}

TEST_F(TextFileTest, LoadOfWindows1252Bytes) {
    test::writeFile(m_dir.file("ansi.txt"), "\xE4\x80");
    base::DecodedText loaded;
    ASSERT_TRUE(base::readTextFile(m_dir.file("ansi.txt"), loaded));
    EXPECT_EQ("\xC3\xA4\xE2\x82\xAC", loaded.text);  // "ä€"
    EXPECT_EQ(base::TextEncoding::Windows1252, loaded.encoding);
}

TEST_F(TextFileTest, LoadFailuresNameTheFileAndLeaveTheResultAlone) {
    base::DecodedText loaded{"before", base::TextEncoding::Utf16BE};
    const std::string missing = m_dir.file("missing.txt");
    const base::Status status = base::readTextFile(missing, loaded);
    ASSERT_FALSE(status);
    EXPECT_EQ(missing + ": No such file or directory", status.message());
    EXPECT_TRUE(status.isNotFound()) << status;

    const base::Status folder = base::readTextFile(m_dir.path(), loaded);
    ASSERT_FALSE(folder);
    EXPECT_EQ(m_dir.path() + ": Is a directory", folder.message());
    EXPECT_TRUE(folder.isNotRegularFile()) << folder;

    // A FIFO would block the open and a device would never end: neither is read.
    const std::string fifo = m_dir.file("fifo");
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
    const base::Status special = base::readTextFile(fifo, loaded);
    ASSERT_FALSE(special);
    EXPECT_EQ(fifo + ": Not a regular file", special.message());
    EXPECT_TRUE(special.isNotRegularFile()) << special;
    const base::Status device = base::readTextFile("/dev/zero", loaded);
    EXPECT_EQ("/dev/zero: Not a regular file", device.message());
    EXPECT_TRUE(device.isNotRegularFile()) << device;

    EXPECT_EQ("before", loaded.text);
    EXPECT_EQ(base::TextEncoding::Utf16BE, loaded.encoding);
}

TEST_F(TextFileTest, SaveReplacesAnExistingFileWholeAndKeepsItsPermissions) {
    const std::string path = m_dir.file("terminal.txt");
    test::writeFile(path, "a much longer old content that must not survive as a tail\r\n");
    ASSERT_EQ(0, ::chmod(path.c_str(), 0640));

    ASSERT_TRUE(base::writeTextFile(path, "neu\r\n", base::TextEncoding::Utf8));
    EXPECT_EQ("neu\r\n", test::readFile(path));
    struct stat info {};
    ASSERT_EQ(0, ::stat(path.c_str(), &info));
    EXPECT_EQ(0640u, info.st_mode & 07777);
    EXPECT_EQ(std::vector<std::string>{"terminal.txt"}, folderEntries(m_dir.path()));
}

TEST_F(TextFileTest, SaveThroughALinkReplacesTheLinkedFile) {
    const std::string target = m_dir.file("target.txt");
    const std::string link = m_dir.file("link.txt");
    test::writeFile(target, "old");
    ASSERT_EQ(0, ::symlink(target.c_str(), link.c_str()));

    ASSERT_TRUE(base::writeTextFile(link, "new", base::TextEncoding::Utf8));
    EXPECT_EQ("new", test::readFile(target));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
}

TEST_F(TextFileTest, SaveIntoAMissingFolderFailsWithThePath) {
    const std::string path = m_dir.file("no-such-folder/terminal.txt");
    const base::Status status = base::writeTextFile(path, "x", base::TextEncoding::Utf8);
    ASSERT_FALSE(status);
    EXPECT_EQ(path + ": No such file or directory", status.message());
    EXPECT_TRUE(status.isNotFound()) << status;
    EXPECT_TRUE(folderEntries(m_dir.path()).empty());
}

TEST_F(TextFileTest, SaveOverAFolderFailsAndLeavesItAlone) {
    const std::string folder = m_dir.file("folder");
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    test::writeFile(folder + "/inside.txt", "kept");

    const base::Status status = base::writeTextFile(folder, "x", base::TextEncoding::Utf8);
    ASSERT_FALSE(status);
    EXPECT_EQ(folder + ": Is a directory", status.message());
    EXPECT_TRUE(status.isNotRegularFile()) << status;
    EXPECT_EQ("kept", test::readFile(folder + "/inside.txt"));
    EXPECT_EQ(std::vector<std::string>{"folder"}, folderEntries(m_dir.path()));
}

TEST_F(TextFileTest, SaveIntoAReadOnlyFolderFailsAndLeavesTheOldFile) {
    if (::geteuid() == 0) GTEST_SKIP() << "folder permissions do not bind root";
    const std::string path = m_dir.file("terminal.txt");
    test::writeFile(path, "old text");
    ASSERT_EQ(0, ::chmod(m_dir.path().c_str(), 0555));

    const base::Status status = base::writeTextFile(path, "new text", base::TextEncoding::Utf8);
    ::chmod(m_dir.path().c_str(), 0755);
    ASSERT_FALSE(status);
    EXPECT_EQ(path + ": Permission denied", status.message());
    EXPECT_EQ("old text", test::readFile(path));
}

// The same through a file system that refuses new files in the folder, which binds root as well.
TEST_F(TextFileTest, SaveIntoAFolderThatTakesNoNewFileFailsAndLeavesTheOldFileAsRootToo) {
    const std::string path = m_dir.file("terminal.txt");
    test::writeFile(path, "old text");
    test::FaultyFileSystem files;
    files.makeReadOnly(m_dir.path());

    const base::Status status = base::writeTextFile(path, "new text", base::TextEncoding::Utf8, files);
    ASSERT_FALSE(status);
    EXPECT_EQ(path + ": Permission denied", status.message());
    EXPECT_TRUE(status.isPermissionDenied()) << status;
    EXPECT_EQ("old text", test::readFile(path));
    EXPECT_EQ(std::vector<std::string>{"terminal.txt"}, folderEntries(m_dir.path()));
}

// A write that fails half-way (here: the file size limit, which binds root too, as a full disk would) must
// leave the old file exactly as it was and no temporary file behind.
TEST_F(TextFileTest, SaveThatFailsHalfWayLeavesTheOldFileUntouched) {
    const std::string path = m_dir.file("terminal.txt");
    const std::string old = "old terminal text\r\n";
    test::writeFile(path, old);

    struct rlimit saved {};
    ASSERT_EQ(0, ::getrlimit(RLIMIT_FSIZE, &saved));
    struct rlimit limited = saved;
    limited.rlim_cur = 64;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(0, ::setrlimit(RLIMIT_FSIZE, &limited));
    const base::Status status = base::writeTextFile(path, std::string(4096, 'x'), base::TextEncoding::Utf8);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    ASSERT_FALSE(status);
    EXPECT_EQ(path + ": File too large", status.message());
    EXPECT_TRUE(status.isTooLarge()) << status;
    EXPECT_EQ(old, test::readFile(path));
    EXPECT_EQ(std::vector<std::string>{"terminal.txt"}, folderEntries(m_dir.path()));
}

TEST_F(TextFileTest, SaveRemovesTemporaryFilesThatAnInterruptedSaveLeftBehind) {
    const std::string path = m_dir.file("terminal.txt");
    test::writeFile(path, "old\r\n");
    // A process id that is in use by nobody: what its saves left is stale.
    pid_t gone = 4194303;
    while (::kill(gone, 0) == 0 || errno != ESRCH) --gone;
    const std::string stale = ".terminal.txt.tmp-" + std::to_string(gone) + "-0";
    const std::string running = ".terminal.txt.tmp-" + std::to_string(::getppid()) + "-7";  // still alive
    const std::string other = ".other.txt.tmp-" + std::to_string(gone) + "-0";              // not this file's
    for (const std::string& name : {stale, running, other}) test::writeFile(m_dir.file(name), "half");

    ASSERT_TRUE(base::writeTextFile(path, "new\r\n", base::TextEncoding::Utf8));
    EXPECT_EQ("new\r\n", test::readFile(path));
    EXPECT_EQ((std::vector<std::string>{other, running, "terminal.txt"}), folderEntries(m_dir.path()));
}

}  // namespace
}  // namespace hlx::base
