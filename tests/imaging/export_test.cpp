// The two containers of a stream (the C array text and the ".vxc" file), the 8-bit file names, and the
// writers on real files.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <string>
#include <vector>

#include "imaging/c_array.h"
#include "imaging/narrow_path.h"
#include "imaging/vxc_file.h"
#include "tests/imaging/picture_helpers.h"
#include "tests/support/faulty_file_system.h"
#include "tests/support/temp_dir.h"

namespace hlx::test {
namespace {

Bytes numbered(std::size_t n, unsigned step) {
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * step);
    return bytes;
}

// The stream of a 4 x 3 picture: two black rows, then red, red, red, blue.
const Bytes kSmallStream = concat({headerBytes(4, 3), {0x55, 0x82, 0x1F, 0x00, 0x02, 0x00, 0xF8, 0x00}});

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::string asString(const Bytes& bytes) {
    return std::string(bytes.begin(), bytes.end());
}

// ---- C array text ----------------------------------------------------------------------------------

TEST(CArrayText, SmallStreamsWhole) {
    struct Case {
        const char* name;
        Bytes stream;
        std::string text;
    };
    const Case cases[] = {
        {"Empty", {}, "const unsigned char vxc_stream[]={0x00,0x00,0x00,0x00,0x00};\n\n"},
        {"SixteenBytesMakeOneFullLine", numbered(16, 17),
         "const unsigned char vxc_stream[]={0x10,0x00,0x00,0x00,\n"
         "0x00,0x11,0x22,0x33,0x44,0x55,0x66,0x77,0x88,0x99,0xaa,0xbb,0xcc,0xdd,0xee,0xff,0x00};\n\n"},
        {"SeventeenthByteOpensASecondLine", numbered(17, 15),
         "const unsigned char vxc_stream[]={0x11,0x00,0x00,0x00,\n"
         "0x00,0x0f,0x1e,0x2d,0x3c,0x4b,0x5a,0x69,0x78,0x87,0x96,0xa5,0xb4,0xc3,0xd2,0xe1,\n"
         "0xf0,0x00};\n\n"},
        {"FourByThreePicture", kSmallStream,
         "const unsigned char vxc_stream[]={0x13,0x00,0x00,0x00,\n"
         "0x80,0x56,0x58,0x50,0x31,0x04,0x00,0x03,0x00,0x00,0x00,0x55,0x82,0x1f,0x00,0x02,\n"
         "0x00,0xf8,0x00,0x00};\n\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.text, imaging::cArrayText(c.stream));
    }
}

// Reads the items of a C array text back, line by line, checking the layout on the way.
TEST(CArrayText, ThreeHundredBytesLaidOutSixteenToALine) {
    const Bytes stream = numbered(300, 7);
    const std::string text = imaging::cArrayText(stream);
    const std::string declaration = "const unsigned char vxc_stream[]={0x2c,0x01,0x00,0x00,\n";
    ASSERT_EQ(declaration, text.substr(0, declaration.size()));
    ASSERT_EQ("0x00};\n\n", text.substr(text.size() - 8));

    std::vector<std::string> lines;
    for (std::size_t start = declaration.size(), end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1)
        lines.push_back(text.substr(start, end - start));
    ASSERT_EQ(20u, lines.size());  // 18 full lines, 12 items and the closing, the empty line
    EXPECT_EQ("", lines.back());
    Bytes items;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        const std::string& line = lines[i];
        const std::size_t expected = i < 18 ? 16 : 12;
        const std::string body = i < 18 ? line : line.substr(0, line.size() - std::string("0x00};").size());
        ASSERT_EQ(expected * 5, body.size()) << "line " << i;
        for (std::size_t k = 0; k < expected; ++k) {
            const std::string item = body.substr(k * 5, 5);
            ASSERT_EQ("0x", item.substr(0, 2));
            ASSERT_EQ(',', item[4]);
            ASSERT_EQ(std::string::npos, item.find_first_of("ABCDEF "));
            items.push_back(static_cast<std::uint8_t>(std::stoul(item.substr(2, 2), nullptr, 16)));
        }
    }
    EXPECT_EQ(stream, items);
}

// ---- ".vxc" file -----------------------------------------------------------------------------------

TEST(VxcFileBytes, LengthLittleEndianThenTheStreamUnchanged) {
    EXPECT_EQ(concat({{0x13, 0x00, 0x00, 0x00}, kSmallStream}), imaging::vxcFileBytes(kSmallStream));
    EXPECT_EQ((Bytes{0, 0, 0, 0}), imaging::vxcFileBytes({}));
    const Bytes big = numbered(0x012345, 1);
    const Bytes file = imaging::vxcFileBytes(big);
    EXPECT_EQ((Bytes{0x45, 0x23, 0x01, 0x00}), Bytes(file.begin(), file.begin() + 4));
    EXPECT_EQ(big.size() + 4, file.size());
}

TEST(ParseVxcFile, TakesOnlyAPrefixThatMatchesTheBytesFollowing) {
    struct Case {
        const char* name;
        Bytes file;
        std::string message;
    };
    const Case cases[] = {
        {"Whole", imaging::vxcFileBytes(kSmallStream), ""},
        {"EmptyStream", {0, 0, 0, 0}, ""},
        {"NoRoomForThePrefix",
         {0x13, 0x00, 0x00},
         "keine VXC-Datei: 3 Bytes, die Längenangabe allein braucht 4"},
        {"StreamCutShort",
         {0x05, 0, 0, 0, 1, 2, 3},
         "keine gültige VXC-Datei: Längenangabe 5 Bytes, es folgen aber 3"},
        {"BytesAfterTheStream",
         {0x01, 0, 0, 0, 1, 2},
         "keine gültige VXC-Datei: Längenangabe 1 Bytes, es folgen aber 2"},
        {"PrefixBeyondTheLimit",
         {0x81, 0x96, 0x98, 0x00},
         "keine gültige VXC-Datei: Längenangabe 10000001 Bytes, höchstens 10000000"},
        {"PrefixOfABitmap",
         {'B', 'M', 0x36, 0x00, 0, 0},
         "keine gültige VXC-Datei: Längenangabe 3558722 Bytes, es folgen aber 2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes stream{9, 9};
        const base::Status s = imaging::parseVxcFile(c.file, stream);
        EXPECT_EQ(c.message, s.message());
        if (s)
            EXPECT_EQ(Bytes(c.file.begin() + 4, c.file.end()), stream);
        else
            EXPECT_EQ((Bytes{9, 9}), stream);
    }
}

// ---- 8-bit names -----------------------------------------------------------------------------------

TEST(NarrowPath, DropsControlCharactersAndQuotesAndKeepsTheLowByte) {
    struct Case {
        const char* name;
        std::u16string path;
        std::string narrow;
    };
    const Case cases[] = {
        {"Plain", u"/home/t/vxc_logo.c", "/home/t/vxc_logo.c"},
        {"TabAndQuoteDropped", u"/home/t/a\t\"b.c", "/home/t/ab.c"},
        {"LineBreaksDropped", u"a\r\nb\x1f", "ab"},
        {"SpaceAndDeleteKept", u"a b\x7f", "a b\x7f"},
        {"Latin1KeepsItsCode", u"m\u00fcll", "m\xfcll"},
        {"BeyondLatin1KeepsTheLowByte", u"\u20ac\u0141", "\xac\x41"},
        {"EndsAtTheFirstZero", std::u16string(u"ab\0cd", 5), "ab"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<std::string> narrow = imaging::narrowPath(c.path);
        ASSERT_TRUE(narrow);
        EXPECT_EQ(c.narrow, *narrow);
    }
}

TEST(NarrowPath, RefusesMoreThan499CharactersInsteadOfCuttingThem) {
    EXPECT_EQ(std::string(499, 'a'), imaging::narrowPath(std::u16string(499, u'a')).value_or("refused"));
    EXPECT_FALSE(imaging::narrowPath(std::u16string(500, u'a')));
    // What is dropped does not count.
    EXPECT_TRUE(imaging::narrowPath(std::u16string(499, u'a') + u"\t\""));
}

TEST(NarrowFileName, HandsTheNarrowedNameToTheFileSystemAsUtf8) {
    EXPECT_EQ("/tmp/m\u00fcll.c", imaging::narrowFileName("/tmp/m\u00fcll.c").value_or(""));
    EXPECT_EQ("/tmp/\u00ac.c", imaging::narrowFileName("/tmp/\u20ac.c").value_or(""));
    EXPECT_EQ("/tmp/ab.c", imaging::narrowFileName("/tmp/a\t\"b.c").value_or(""));
}

// ---- writers on disk -------------------------------------------------------------------------------

TEST(VxcWriters, WriteBothContainersAndReplaceOlderFiles) {
    TempDir dir;
    const std::string vxc = dir.file("vxc_logo.vxc");
    const std::string c = dir.file("vxc_logo.c");
    writeFile(vxc, std::string(100, 'x'));
    writeFile(c, std::string(100'000, 'x'));
    ASSERT_TRUE(imaging::writeVxcFile(vxc, kSmallStream));
    ASSERT_TRUE(imaging::writeCArray(c, kSmallStream));
    EXPECT_EQ(asString(imaging::vxcFileBytes(kSmallStream)), readFile(vxc));
    EXPECT_EQ(imaging::cArrayText(kSmallStream), readFile(c));

    Bytes back;
    ASSERT_TRUE(imaging::readVxcFile(vxc, back));
    EXPECT_EQ(kSmallStream, back);

    ASSERT_TRUE(imaging::writeVxcFile(vxc, {}));
    EXPECT_EQ(std::string(4, '\0'), readFile(vxc));
}

TEST(VxcWriters, OpenTheNarrowedName) {
    TempDir dir;
    ASSERT_TRUE(imaging::writeVxcFile(dir.file("vxc_a\t\"b.vxc"), kSmallStream));
    EXPECT_TRUE(exists(dir.file("vxc_ab.vxc")));
    ASSERT_TRUE(imaging::writeCArray(dir.file("vxc_m\u00fcll.c"), kSmallStream));
    EXPECT_TRUE(exists(dir.file("vxc_m\u00fcll.c")));
}

TEST(VxcWriters, SayWhyAFileWasNotWrittenAndLeaveNothingBehind) {
    TempDir dir;
    const std::string missingFolder = dir.file("nowhere") + "/vxc_logo.vxc";
    const base::Status s = imaging::writeVxcFile(missingFolder, kSmallStream);
    EXPECT_EQ("Fehler: " + missingFolder + " nicht geschrieben: No such file or directory", s.message());

    const std::string folder = dir.file("vxc_logo.c");
    ASSERT_EQ(0, ::mkdir(folder.c_str(), 0755));
    const base::Status onFolder = imaging::writeCArray(folder, kSmallStream);
    EXPECT_EQ("Fehler: " + folder + " nicht geschrieben: Is a directory", onFolder.message());

    // 499 characters in all, in folders short enough for the file system.
    const std::string folders = dir.path() + "/" + std::string(200, 'a') + "/" + std::string(200, 'b');
    ASSERT_EQ(0, ::mkdir(folders.substr(0, dir.path().size() + 201).c_str(), 0755));
    ASSERT_EQ(0, ::mkdir(folders.c_str(), 0755));
    const std::string longest = folders + "/" + std::string(499 - folders.size() - 1, 'n');
    ASSERT_EQ(499u, longest.size());
    EXPECT_TRUE(imaging::writeVxcFile(longest, kSmallStream));
    const base::Status tooLong = imaging::writeVxcFile(longest + "x", kSmallStream);
    EXPECT_EQ("Fehler: " + longest + "x nicht geschrieben: Dateiname länger als 499 Zeichen",
              tooLong.message());
    EXPECT_FALSE(exists(longest + "x"));
}

// The disk failing under either writer, as root too: the older file stays whole, no part of the new one
// is left, and the message names the file and the system's reason.
TEST(VxcWriters, ADiskThatFailsLeavesTheOlderFileWhole) {
    using Writer = base::Status (*)(std::string_view, std::span<const std::uint8_t>, base::FileSystem&);
    const struct {
        const char* name;
        Writer write;
        const char* file;
    } writers[] = {{"Vxc", imaging::writeVxcFile, "vxc_logo.vxc"},
                   {"CArray", imaging::writeCArray, "vxc_logo.c"}};
    const struct {
        const char* name;
        void (*breakIt)(FaultyFileSystem&, const std::string& folder);
        base::StatusCode code;
        const char* reason;
    } failures[] = {
        {"DiskFull", [](FaultyFileSystem& f, const std::string&) { f.failWritesAfter(5, ENOSPC); },
         base::StatusCode::NoSpace, "No space left on device"},
        {"FsyncFails", [](FaultyFileSystem& f, const std::string&) { f.fail(FileStep::Sync, EIO); },
         base::StatusCode::IoError, "Input/output error"},
        {"ReadOnlyFolder", [](FaultyFileSystem& f, const std::string& folder) { f.makeReadOnly(folder); },
         base::StatusCode::PermissionDenied, "Permission denied"},
    };
    for (const auto& w : writers) {
        for (const auto& f : failures) {
            SCOPED_TRACE(std::string(w.name) + "/" + f.name);
            TempDir dir;
            const std::string path = dir.file(w.file);
            writeFile(path, "older picture");
            FaultyFileSystem files;
            f.breakIt(files, dir.path());
            const base::Status s = w.write(path, kSmallStream, files);
            EXPECT_EQ(f.code, s.code()) << s;
            EXPECT_EQ("Fehler: " + path + " nicht geschrieben: " + f.reason, s.message());
            EXPECT_EQ("older picture", readFile(path));
            EXPECT_EQ(std::vector<std::string>{w.file}, dir.entries());
        }
    }
}

TEST(ReadVxcFile, RefusesWhatIsNoVxcFile) {
    TempDir dir;
    Bytes stream{7};
    EXPECT_EQ(dir.file("missing.vxc") + ": No such file or directory",
              imaging::readVxcFile(dir.file("missing.vxc"), stream).message());
    // A folder is refused by the file reader, in its words, before anything is read.
    const base::Status folder = imaging::readVxcFile(dir.path(), stream);
    EXPECT_FALSE(folder);
    EXPECT_EQ(0u, folder.message().rfind(dir.path() + ": ", 0)) << folder.message();
    writeFile(dir.file("logo.bmp"), std::string("BM6\0\0\0", 6));
    EXPECT_EQ(
        dir.file("logo.bmp") + ": keine gültige VXC-Datei: Längenangabe 3558722 Bytes, es folgen aber 2",
        imaging::readVxcFile(dir.file("logo.bmp"), stream).message());
    EXPECT_EQ(Bytes{7}, stream) << "a refused file leaves the stream as it was";
}

}  // namespace
}  // namespace hlx::test
