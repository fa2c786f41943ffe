#include "app/registry_file.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace hlx::app {
namespace {

using namespace std::string_literals;

constexpr std::string_view kKey = "\\QUENDAL\\RTQ1.0\\COMNO";

// One expected read after parsing: a string, a dword, or nothing at all (neither type readable).
struct Expect {
    std::string_view key;
    std::string_view name;
    std::optional<std::string> text;
    std::optional<std::uint32_t> number;
};

struct ParseCase {
    const char* name;
    std::string fileText;
    std::vector<Expect> reads;
    friend void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.name; }
};

std::string utf16le(std::u16string_view text) {
    std::string bytes = "\xFF\xFE";
    for (const char16_t unit : text) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

const std::vector<ParseCase>& parseCases() {
    static const std::vector<ParseCase> cases{
        {"CrLfWithUtf8ByteOrderMark",
         "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n\"v\"=\"x\"\r\n"
         "\"n\"=dword:0000002a\r\n",
         {{"\\A", "v", "x", {}}, {"\\A", "n", {}, 42u}}},
        {"Utf16LittleEndianAsRegeditWritesIt",
         utf16le(u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n\"v\"=\"K\u00e4se "
                 u"\u20ac\"\r\n"),
         {{"\\A", "v", "K\xC3\xA4se \xE2\x82\xAC", {}}}},
        {"Regedit4InWindows1252",
         "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n\"v\"=\"K\xE4se \x80\"\r\n",
         {{"\\A", "v", "K\xC3\xA4se \xE2\x82\xAC", {}}}},
        {"MissingHeader", "[HKEY_CURRENT_USER\\A]\n\"v\"=\"x\"\n", {{"\\A", "v", "x", {}}}},
        // Found by fuzzing: 8-bit text under another header was kept as bytes that are not UTF-8, and
        // came back changed after a save in UTF-16LE.
        {"EightBitTextUnderAnyHeaderIsWindows1252",
         "REGEDIT2\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n\"v\"=\"C:\\\\fw\\\\K\xE4se.hex\"\r\n",
         {{"\\A", "v", "C:\\fw\\K\xC3\xA4se.hex", {}}}},
        {"EscapesAndDefaultValue",
         "[HKEY_CURRENT_USER\\A]\n\"a\\\\b\\\"c\"=\"C:\\\\x\\\"y\\\"\"\n@=\"default\"\n",
         {{"\\A", "a\\b\"c", "C:\\x\"y\"", {}}, {"\\A", "", "default", {}}}},
        {"UnescapedBackslashStandsForItself",
         "[HKEY_CURRENT_USER\\A]\n\"v\"=\"C:\\temp\"\n",
         {{"\\A", "v", "C:\\temp", {}}}},
        {"KeysAndNamesIgnoreCase",
         "[hkey_current_user\\quendal\\Rtq1.0]\n\"Value\"=\"x\"\n",
         {{"\\QUENDAL\\RTQ1.0", "VALUE", "x", {}}, {"QUENDAL\\rtq1.0\\", "value", "x", {}}}},
        {"SpacesAroundEquals",
         "[HKEY_CURRENT_USER\\A]\n  \"v\" = \"x\"  \n\"n\"= dword:FFFFFFFF\n",
         {{"\\A", "v", "x", {}}, {"\\A", "n", {}, 0xFFFFFFFFu}}},
        {"DwordNeedsExactlyEightHexDigits",
         "[HKEY_CURRENT_USER\\A]\n\"seven\"=dword:0000003\n\"nine\"=dword:000000003\n\"bad\"=dword:0000000g\n"
         "\"ok\"=dword:00000003\n",
         {{"\\A", "seven", {}, {}}, {"\\A", "nine", {}, {}}, {"\\A", "bad", {}, {}}, {"\\A", "ok", {}, 3u}}},
        {"HexValuesAreSkippedButTheirNeighboursRead",
         "[HKEY_CURRENT_USER\\A]\n\"bin\"=hex:01,02,\\\n  03,04\n\"after\"=\"x\"\n",
         {{"\\A", "bin", {}, {}}, {"\\A", "after", "x", {}}}},
        {"HexStringReadsAsString",
         "[HKEY_CURRENT_USER\\A]\n\"s\"=hex(1):48,00,69,00,\\\n  0a,00,00,00\n",
         {{"\\A", "s", "Hi\n", {}}}},
        {"KeyLineWithoutBracketDropsItsValues",
         "[HKEY_CURRENT_USER\\A]\n\"v\"=\"a\"\n[HKEY_CURRENT_USER\\B\n\"w\"=\"b\"\n[HKEY_CURRENT_USER\\C]"
         "\n\"x\"=\"c\"\n",
         {{"\\A", "v", "a", {}}, {"\\A", "w", {}, {}}, {"\\B", "w", {}, {}}, {"\\C", "x", "c", {}}}},
        {"DeletionKeyDropsItsValues",
         "[HKEY_CURRENT_USER\\A]\n[-HKEY_CURRENT_USER\\B]\n\"w\"=\"b\"\n",
         {{"\\A", "w", {}, {}}, {"\\B", "w", {}, {}}}},
        {"ValueBeforeAnyKeyIsDropped", "\"v\"=\"x\"\n[HKEY_CURRENT_USER\\A]\n", {{"\\A", "v", {}, {}}}},
        {"UnterminatedStringIsDropped",
         "[HKEY_CURRENT_USER\\A]\n\"v\"=\"abc\n\"w\"=\"abc\" junk\n",
         {{"\\A", "v", {}, {}}, {"\\A", "w", {}, {}}}},
        {"RepeatedKeyMergesAndLaterValueWins",
         "[HKEY_CURRENT_USER\\A]\n\"v\"=\"1\"\n\"w\"=\"2\"\n[HKEY_CURRENT_USER\\a]\n\"V\"=dword:00000003\n",
         {{"\\A", "v", {}, 3u}, {"\\A", "w", "2", {}}}},
        {"OtherHivesAreNotCurrentUser", "[HKEY_LOCAL_MACHINE\\A]\n\"v\"=\"x\"\n", {{"\\A", "v", {}, {}}}},
        {"TruncatedInTheMiddleOfAValue",
         "[HKEY_CURRENT_USER\\A]\n\"v\"=\"x\"\n\"w\"=\"ab",
         {{"\\A", "v", "x", {}}, {"\\A", "w", {}, {}}}},
        {"BinaryGarbageAroundValidLines",
         "\x00\xFF\x13[\x01]\n[HKEY_CURRENT_USER\\A]\n\x80\x81\"\"\"\n\"v\"=\"x\"\n\x00\x00"s,
         {{"\\A", "v", "x", {}}}},
    };
    return cases;
}

class RegistryParseTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(RegistryParseTest, ReadsWhatCanBeRead) {
    const RegistryFile file = RegistryFile::parse(GetParam().fileText);
    for (const Expect& expect : GetParam().reads) {
        SCOPED_TRACE(std::string(expect.key) + " / " + std::string(expect.name));
        EXPECT_EQ(expect.text, file.readString(expect.key, expect.name));
        EXPECT_EQ(expect.number, file.readDword(expect.key, expect.name));
    }
}

// Whatever parse made of a file, writing it out and reading that again must change nothing more.
TEST_P(RegistryParseTest, SecondRoundTripChangesNothing) {
    const std::string once = RegistryFile::parse(GetParam().fileText).serialise();
    EXPECT_EQ(once, RegistryFile::parse(once).serialise());
}

INSTANTIATE_TEST_SUITE_P(Files, RegistryParseTest, ::testing::ValuesIn(parseCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RegistryFileTest, KeyWithoutValuesExistsAndKeyOfAnotherHiveDoesNot) {
    const RegistryFile file =
        RegistryFile::parse("[HKEY_CURRENT_USER\\Empty\\]\n[HKEY_LOCAL_MACHINE\\Other]\n\"v\"=\"x\"\n");
    EXPECT_TRUE(file.keyExists("\\Empty"));
    EXPECT_TRUE(file.keyExists("\\EMPTY\\"));
    EXPECT_FALSE(file.keyExists("\\Other"));
    EXPECT_FALSE(file.keyExists("\\Empty\\Sub"));
}

TEST(RegistryFileTest, SerialiseKeepsFirstOrderSpellingAndForeignContent) {
    RegistryFile file = RegistryFile::parse(
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\X]\r\n\"m\"=hex(2):25,00,00,00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Quendal\\B]\r\n\"Keep\"=hex:01,\\\r\n  02\r\n\"s\"=\"old\"\r\n");
    file.writeString("\\QUENDAL\\b", "S", "new");  // same key and value, other spelling
    file.createKey("\\Z");
    file.writeDword("\\A", "n", 0xFFFFFFFFu);
    file.writeString("\\A", "path", "C:\\fw \"1\".hex");
    file.writeString("\\A", "n", "replaced dword");
    EXPECT_EQ(
        "Windows Registry Editor Version 5.00\n"
        "\n"
        "[HKEY_LOCAL_MACHINE\\Software\\X]\n"
        "\"m\"=hex(2):25,00,00,00\n"
        "\n"
        "[HKEY_CURRENT_USER\\Quendal\\B]\n"
        "\"Keep\"=hex:01,02\n"
        "\"s\"=\"new\"\n"
        "\n"
        "[HKEY_CURRENT_USER\\Z]\n"
        "\n"
        "[HKEY_CURRENT_USER\\A]\n"
        "\"n\"=\"replaced dword\"\n"
        "\"path\"=\"C:\\\\fw \\\"1\\\".hex\"\n"
        "\n",
        file.serialise());
}

TEST(RegistryFileTest, WrittenValuesReadBackAfterSerialiseAndParse) {
    const std::vector<std::string> texts{
        "",
        "3",
        "C:\\Users\\Jörg\\fw.hex",
        "quote \" inside",
        "ends with backslash\\",
        "\\\\server\\share",
        "K\xC3\xA4se \xE2\x82\xAC",
        "two\nlines",
        "cr\rlf\r\n",
        "tab\tand ; and [bracket]",
        "@=\"x\"",
    };
    RegistryFile file;
    const auto numbered = [](std::size_t i) { return "value " + std::to_string(i); };
    const auto usableAsName = [](const std::string& text) { return text.find('\n') == std::string::npos; };
    for (std::size_t i = 0; i < texts.size(); ++i) {
        file.writeString(kKey, numbered(i), texts[i]);
        if (usableAsName(texts[i])) file.writeString(kKey, texts[i], texts[i]);
    }
    file.writeDword("\\D", "zero", 0);
    file.writeDword("\\D", "max", 0xFFFFFFFFu);
    const RegistryFile back = RegistryFile::parse(file.serialise());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(texts[i]);
        EXPECT_EQ(texts[i], back.readString(kKey, numbered(i)));
        if (usableAsName(texts[i])) {
            EXPECT_EQ(texts[i], back.readString(kKey, texts[i]));
        }
    }
    EXPECT_EQ(0u, back.readDword("\\D", "zero"));
    EXPECT_EQ(0xFFFFFFFFu, back.readDword("\\D", "max"));
}

// Windows reads a .reg file without byte-order mark in its ANSI code page: text beyond ASCII is written
// in regedit's own encoding, so an umlaut in a file name survives the import there.
TEST(RegistryFileTest, TextBeyondAsciiIsWrittenAsRegeditWritesIt) {
    RegistryFile file;
    file.writeString("\\A", "v", "C:\\J\xC3\xB6rg\\fw \xE2\x82\xAC.hex");
    const std::string bytes = file.serialise();
    EXPECT_EQ(utf16le(u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n"
                      u"\"v\"=\"C:\\\\J\u00f6rg\\\\fw \u20ac.hex\"\r\n\r\n"),
              bytes);
    EXPECT_EQ("C:\\J\xC3\xB6rg\\fw \xE2\x82\xAC.hex", RegistryFile::parse(bytes).readString("\\A", "v"));
}

TEST(RegistryFileTest, TextWithLineBreakIsWrittenAsHexString) {
    RegistryFile file;
    file.writeString("\\A", "v", "a\nb");
    EXPECT_EQ(
        "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\A]\n"
        "\"v\"=hex(1):61,00,0a,00,62,00,00,00\n\n",
        file.serialise());
}

}  // namespace
}  // namespace hlx::app
