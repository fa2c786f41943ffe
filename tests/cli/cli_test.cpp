// The hlx binary as a technician runs it: the command line (help, version and usage errors on every
// level), the file checks, why a port could not be used, and a stop by signal in the middle of a
// download against the virtual monitor. hlx runs as a child process; stdout and stderr are read apart,
// or merged where their order matters.

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "serial/posix_serial_device.h"
#include "serial/serial_port.h"
#include "tests/imaging/bmp_builder.h"
#include "tests/support/child_process.h"
#include "tests/support/contains.h"
#include "tests/support/hex_text.h"
#include "tests/support/port_probe.h"
#include "tests/support/pty.h"
#include "tests/support/temp_dir.h"
#include "tools/virtual_monitor.h"

namespace {

using namespace std::chrono_literals;

using hlx::test::HlxRun;
using hlx::test::kNobody;
using hlx::test::RunOptions;

// hlx as a child process with its stdout and stderr on pipes.
class HlxProcess : public hlx::test::ChildProcess {
public:
    explicit HlxProcess(const std::vector<std::string>& arguments, RunOptions options = {})
        : ChildProcess(HLX_CLI_PATH, arguments, options) {}
};

HlxRun hlx(const std::vector<std::string>& arguments, RunOptions options = {}) {
    return HlxProcess(arguments, options).finish();
}

using hlx::test::contains;

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// ---- command line -------------------------------------------------------------------------------------

struct HelpCase {
    const char* name;
    std::vector<std::string> arguments;
    std::vector<std::string> shows;  // parts of stdout
};

void PrintTo(const HelpCase& c, std::ostream* os) {
    *os << c.name;
}

const HelpCase kHelpCases[] = {
    {"Top", {"--help"}, {"Usage: hlx", "ports", "check-hex", "hex-info", "flash", "--version"}},
    {"Ports", {"ports", "--help"}, {"Usage: hlx ports", "--version"}},
    {"CheckHex", {"check-hex", "-h"}, {"Usage: hlx check-hex [OPTIONS] FILE", "--version"}},
    {"HexInfo", {"hex-info", "--help"}, {"Usage: hlx hex-info [OPTIONS] FILE"}},
    {"FlashGroup", {"flash", "--help"}, {"Usage: hlx flash", "rtq", "realterm", "--version"}},
    {"FlashRtq",
     {"flash", "rtq", "--help"},
     {"Usage: hlx flash rtq [OPTIONS] FILE", "--port TEXT ... REQUIRED", "--settings", "--print-result",
      "--report FILE.json", "--version"}},
    {"FlashRealterm",
     {"flash", "realterm", "--help"},
     {"Usage: hlx flash realterm", "--port TEXT ... REQUIRED", "several at once"}},
};

class HelpTest : public ::testing::TestWithParam<HelpCase> {};

TEST_P(HelpTest, OnStdoutWithExitZero) {
    const HlxRun run = hlx(GetParam().arguments);
    EXPECT_EQ(0, run.exitCode);
    EXPECT_EQ("", run.err);
    for (const std::string& part : GetParam().shows)
        EXPECT_TRUE(contains(run.out, part)) << part << "\n" << run.out;
}

INSTANTIATE_TEST_SUITE_P(Cli, HelpTest, ::testing::ValuesIn(kHelpCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Cli, VersionFromTheBuildOnEveryLevel) {
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {"--version"}, {"ports", "--version"}, {"flash", "--version"}, {"flash", "rtq", "--version"}}) {
        SCOPED_TRACE(arguments.front() + " " + arguments.back());
        const HlxRun run = hlx(arguments);
        EXPECT_EQ(0, run.exitCode);
        EXPECT_EQ(std::string("hlx ") + HLX_VERSION + "\n", run.out);
    }
}

struct UsageCase {
    const char* name;
    std::vector<std::string> arguments;
    std::vector<std::string> message;  // parts of CLI11's message on stderr
};

void PrintTo(const UsageCase& c, std::ostream* os) {
    *os << c.name;
}

const UsageCase kUsageCases[] = {
    {"NoCommand", {}, {"A subcommand is required"}},
    {"UnknownCommand", {"frobnicate"}, {"The following argument was not expected: frobnicate"}},
    {"GroupWithoutMethod", {"flash"}, {"A subcommand is required"}},
    {"UnknownFlashMethod", {"flash", "isp2", "fw.hex"}, {"were not expected", "isp2"}},
    {"FlashWithoutPort", {"flash", "rtq", "fw.hex"}, {"--port is required"}},
    {"FlashWithoutFile", {"flash", "realterm", "--port", "1"}, {"FILE is required"}},
    {"SettingsAboveFour",
     {"flash", "rtq", "fw.hex", "--port", "1", "--settings", "7"},
     {"--settings: Value 7 not in range 0 to 4"}},
    {"SettingsBelowZero",
     {"flash", "rtq", "fw.hex", "--port", "1", "--settings", "-1"},
     {"--settings: Value -1 not in range 0 to 4"}},
    {"SettingsNotANumber", {"flash", "rtq", "fw.hex", "--port", "1", "--settings", "two"}, {"--settings"}},
    {"UnknownOption",
     {"flash", "rtq", "fw.hex", "--port", "1", "--baud", "9600"},
     {"were not expected", "--baud"}},
    {"CheckHexWithoutFile", {"check-hex"}, {"FILE is required"}},
    {"HexInfoWithTwoFiles", {"hex-info", "a.hex", "b.hex"}, {"not expected: b.hex"}},
    {"PortsWithArgument", {"ports", "/dev/ttyS0"}, {"not expected: /dev/ttyS0"}},
};

class UsageErrorTest : public ::testing::TestWithParam<UsageCase> {};

TEST_P(UsageErrorTest, ExitsTwoWithTheParsersMessage) {
    const HlxRun run = hlx(GetParam().arguments);
    EXPECT_EQ(2, run.exitCode);
    EXPECT_EQ("", run.out) << "nothing is run";
    for (const std::string& part : GetParam().message)
        EXPECT_TRUE(contains(run.err, part)) << part << "\n" << run.err;
    EXPECT_TRUE(contains(run.err, "Run with --help for more information.")) << run.err;
}

INSTANTIATE_TEST_SUITE_P(Cli, UsageErrorTest, ::testing::ValuesIn(kUsageCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Cli, PortsListsWithoutFailing) {
    const HlxRun run = hlx({"ports"});
    EXPECT_EQ(0, run.exitCode);
    EXPECT_FALSE(run.out.empty());
}

// ---- file checks --------------------------------------------------------------------------------------

TEST(Cli, CheckHexPrintsTheCheckAndSaysSoInItsExitCode) {
    hlx::test::TempDir dir;
    const std::string good = dir.file("good.hex");
    const std::string bad = dir.file("bad.hex");
    hlx::test::writeFile(good, ":0400000001020304F2\r\n:00000001FF\r\n");
    hlx::test::writeFile(bad, ":04000000010203G4F2\r\n:00000001FF\r\n");
    const HlxRun ok = hlx({"check-hex", good});
    EXPECT_EQ(0, ok.exitCode);
    EXPECT_EQ("Prüfe Hex File\nAnzahl Fehler: 0\n", ok.out);
    const HlxRun failed = hlx({"check-hex", bad});
    EXPECT_EQ(1, failed.exitCode);
    EXPECT_TRUE(contains(failed.out, "Fehlercode: 4"));
    const HlxRun missing = hlx({"check-hex", dir.file("missing.hex")});
    EXPECT_EQ(2, missing.exitCode);
    EXPECT_EQ("hlx: " + dir.file("missing.hex") + ": No such file or directory\n", missing.err);
}

TEST(Cli, HexInfoFlagsWhatTheCheckLetsPass) {
    hlx::test::TempDir dir;
    const std::string clean = dir.file("clean.hex");
    const std::string wrongSum = dir.file("sum.hex");
    hlx::test::writeFile(clean, ":0400000001020304F2\r\n:00000001FF\r\n");
    hlx::test::writeFile(wrongSum, ":0400000001020304F3\r\n:00000001FF\r\n");
    const HlxRun ok = hlx({"hex-info", clean});
    EXPECT_EQ(0, ok.exitCode) << ok.out;
    EXPECT_TRUE(contains(ok.out, "SHA-256"));
    const HlxRun suspicious = hlx({"hex-info", wrongSum});
    EXPECT_EQ(1, suspicious.exitCode);
    EXPECT_TRUE(contains(suspicious.out, "line 1")) << suspicious.out;
    EXPECT_EQ(2, hlx({"hex-info", dir.path()}).exitCode) << "a folder is no HEX file";
}

// ---- pictures ------------------------------------------------------------------------------------------

#if HLX_CLI_HAS_QT
TEST(Cli, ConvertBmpPrintsTheWindowsLinesAndDecodeVxcGivesThePictureBack) {
    hlx::test::TempDir dir;
    // A 2 x 2 picture, 24 bits, bottom row first: white, black; top row: red, blue.
    const hlx::test::BmpSpec spec{.width = 2,
                                  .height = 2,
                                  .depth = 24,
                                  .pixels = {255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 255, 255, 0, 0, 0, 0}};
    const std::vector<std::uint8_t> bytes = hlx::test::buildBmp(spec);
    const std::string source = dir.file("logo.bmp");
    hlx::test::writeFile(source, std::string(bytes.begin(), bytes.end()));

    const HlxRun converted = hlx({"convert-bmp", source});
    EXPECT_EQ(0, converted.exitCode) << converted.err;
    const std::string stem = dir.file("vxc_logo");
    EXPECT_EQ(
        "Komprimiere logo\nErzeuge: " + stem + ".c\nErzeuge: " + stem + ".vxc\nErzeuge: " + stem + ".bmp\n",
        converted.out);

    const HlxRun decoded = hlx({"decode-vxc", stem + ".vxc", dir.file("back.bmp")});
    EXPECT_EQ(0, decoded.exitCode) << decoded.err;
    EXPECT_EQ("Erzeuge: " + dir.file("back.bmp") + " (2 x 2 Pixel)\n", decoded.out);
    // Both pictures are 24-bit with the same pixels; only the resolution fields may differ.
    const std::string preview = hlx::test::readFile(stem + ".bmp");
    const std::string back = hlx::test::readFile(dir.file("back.bmp"));
    ASSERT_EQ(preview.size(), back.size());
    EXPECT_EQ(preview.substr(54), back.substr(54));

    // A stream damaged inside: the rows before the damage, the reason, exit 1.
    std::string vxc = hlx::test::readFile(stem + ".vxc");
    vxc[4 + 11] = '\x12';
    hlx::test::writeFile(dir.file("damaged.vxc"), vxc);
    const HlxRun damaged = hlx({"decode-vxc", dir.file("damaged.vxc"), dir.file("damaged.bmp")});
    EXPECT_EQ(1, damaged.exitCode);
    EXPECT_EQ(
        "Fehler: VXC-Daten beschädigt bei Byte 11: unbekannter Code 0x12\nKeine Bildzeile dekodiert, keine "
        "Datei "
        "erzeugt\n",
        damaged.out);
    EXPECT_FALSE(fileExists(dir.file("damaged.bmp")));

    const HlxRun missing = hlx({"convert-bmp", dir.file("missing.bmp")});
    EXPECT_EQ(2, missing.exitCode);
    EXPECT_EQ("hlx: " + dir.file("missing.bmp") + ": No such file or directory\n", missing.err);
    const HlxRun notVxc = hlx({"decode-vxc", source, dir.file("x.bmp")});
    EXPECT_EQ(2, notVxc.exitCode);
    EXPECT_TRUE(contains(notVxc.err, "keine gültige VXC-Datei")) << notVxc.err;
}
// A bitmap whose pixel data is shorter than its header says: refused, nothing written.
TEST(Cli, ConvertBmpRefusesAPictureThatIsNotAllThere) {
    hlx::test::TempDir dir;
    std::vector<std::uint8_t> cut = hlx::test::buildBmp(
        {.width = 4, .height = 3, .depth = 24, .pixels = std::vector<std::uint8_t>(36, 0x80)});
    cut.pop_back();
    // 118 bytes whose header claims 20000 x 3000 pixels.
    const std::vector<std::uint8_t> claims = hlx::test::buildBmp(
        {.width = 20'000, .height = 3'000, .depth = 24, .pixels = std::vector<std::uint8_t>(64, 0)});
    ASSERT_EQ(118u, claims.size());
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        std::string reason;
    };
    const Case cases[] = {
        {"OneByteShort", cut, "BMP-Datei abgeschnitten (Bilddaten: 35 von 36 Bytes)"},
        {"ClaimsFarMore", claims, "BMP-Datei abgeschnitten (Bilddaten: 64 von 180000000 Bytes)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string source = dir.file("pic.bmp");
        hlx::test::writeFile(source, std::string(c.bytes.begin(), c.bytes.end()));
        const HlxRun run = hlx({"convert-bmp", source});
        EXPECT_EQ(2, run.exitCode);
        EXPECT_EQ("hlx: " + source + ": " + c.reason + "\n", run.err);
        EXPECT_EQ("", run.out);
        for (const char* name : {"vxc_pic.c", "vxc_pic.vxc", "vxc_pic.bmp"})
            EXPECT_FALSE(fileExists(dir.file(name))) << name;
    }
}

// A picture is no larger than what the stream paints, whatever its header claims.
TEST(Cli, DecodeVxcSizesThePictureByTheRowsItPaints) {
    hlx::test::TempDir dir;
    auto vxcFile = [&](const std::string& name, int width, int height,
                       const std::vector<std::uint8_t>& records) {
        std::vector<std::uint8_t> stream = {0x80,
                                            'V',
                                            'X',
                                            'P',
                                            '1',
                                            static_cast<std::uint8_t>(width),
                                            static_cast<std::uint8_t>(width >> 8),
                                            static_cast<std::uint8_t>(height),
                                            static_cast<std::uint8_t>(height >> 8),
                                            0,
                                            0};
        stream.insert(stream.end(), records.begin(), records.end());
        std::string file(4, '\0');
        for (int i = 0; i < 4; ++i)
            file[static_cast<std::size_t>(i)] = static_cast<char>(stream.size() >> (8 * i));
        file.append(stream.begin(), stream.end());
        hlx::test::writeFile(dir.file(name), file);
        return dir.file(name);
    };
    struct Case {
        const char* name;
        std::string vxc;
        int exitCode;
        std::string out;
        std::int64_t bmpBytes;  // -1: no file
    };
    const std::string out = dir.file("out.bmp");
    const Case cases[] = {
        // 20 bytes that claim 65535 x 65535 pixels: eight pairs of rows and one row.
        {"TwentyBytesClaimingTheLargestPicture",
         vxcFile("huge.vxc", 65'535, 65'535, {0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x55, 0x65}), 1,
         "Fehler: VXC-Daten enden nach 17 von 65535 Zeilen\nErzeuge: " + out +
             " (65535 x 17 Pixel, 17 von 65535 Zeilen)\n",
         54 + 17 * (65'535 * 3 + 3)},
        {"OneRowOf4000", vxcFile("one.vxc", 65'535, 4000, {0x65}), 1,
         "Fehler: VXC-Daten enden nach 1 von 4000 Zeilen\nErzeuge: " + out +
             " (65535 x 1 Pixel, 1 von 4000 Zeilen)\n",
         54 + 65'535 * 3 + 3},
        // A short stream can still paint more than any picture may hold: 2 rows per byte.
        {"PaintsMoreThanAPictureMayHold",
         vxcFile("flood.vxc", 65'535, 65'535, std::vector<std::uint8_t>(1000, 0x55)), 2, "", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::remove(out.c_str());
        const HlxRun run = hlx({"decode-vxc", c.vxc, out});
        EXPECT_EQ(c.exitCode, run.exitCode) << run.err;
        EXPECT_EQ(c.out, run.out);
        EXPECT_EQ(c.bmpBytes >= 0, fileExists(out));
        if (c.bmpBytes >= 0 && fileExists(out)) {
            EXPECT_EQ(c.bmpBytes, static_cast<std::int64_t>(hlx::test::readFile(out).size()));
        }
        if (c.exitCode == 2) {
            EXPECT_TRUE(contains(run.err, "Bild zu groß zum Dekodieren (65535 x 2000 Pixel)")) << run.err;
        }
    }
}
#else
// Without Qt this build reads and writes no BMP files: the picture commands are not offered.
TEST(Cli, PictureCommandsAreNotOfferedWithoutQt) {
    EXPECT_EQ(2, hlx({"convert-bmp", "logo.bmp"}).exitCode);
    const std::string help = hlx({"--help"}).out;
    EXPECT_FALSE(contains(help, "convert-bmp")) << help;
    EXPECT_FALSE(contains(help, "decode-vxc")) << help;
}
#endif

// ---- why a port could not be used ---------------------------------------------------------------------

// A firmware of `records` data records of 16 bytes, each at an address of its own (never joined into
// one larger binary record), and the end record.
std::string firmware(int records) {
    hlx::test::HexText text;
    for (int r = 0; r < records; ++r) {
        std::vector<std::uint8_t> bytes;
        for (int i = 0; i < 16; ++i) bytes.push_back(static_cast<std::uint8_t>(r + i));
        text.data(static_cast<std::uint16_t>(r * 32), bytes);
    }
    return text.end().text();
}

// A firmware file that cannot be used gives exit 2 and the reason on stderr, as the other commands do;
// the job's report stays on stdout.
TEST(Cli, FlashNamesTheFileItCannotUse) {
    hlx::test::TempDir dir;
    hlx::test::PseudoTerminal pty;
    const std::string missing = dir.file("missing.hex");
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        std::string reason;
    };
    const Case cases[] = {
        {"RtqMissing", {"flash", "rtq", missing}, missing + ": No such file or directory"},
        {"RealtermFolder", {"flash", "realterm", dir.path()}, dir.path() + ": "},
        {"IspMissing", {"flash", "isp", missing}, missing + ": No such file or directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> arguments = c.arguments;
        arguments.insert(arguments.end(), {"--port", pty.slavePath(), "--print-result"});
        const HlxRun run = hlx(arguments);
        EXPECT_EQ(2, run.exitCode) << run.out << run.err;
        EXPECT_TRUE(contains(run.err, "hlx: " + c.reason)) << run.err;
        EXPECT_TRUE(contains(run.out, "Fehler: Datei kann nicht geöffnet werden\n")) << run.out;
        EXPECT_TRUE(run.err.ends_with("\nJobResult=0x" +
                                      // The boot loader job sends nothing for a file it cannot open:
                                      // no answer is missing.
                                      std::string(c.arguments[1] == "rtq" ? "1080" : "80") + "\n"))
            << run.err;
    }
}

class PortReasonTest : public ::testing::Test {
protected:
    PortReasonTest() {
        // Readable by the unprivileged user of the permission tests too.
        ::chmod(dir.path().c_str(), 0755);
        hlx::test::writeFile(firmwareFile, firmware(2));
        ::chmod(firmwareFile.c_str(), 0644);
    }

    // The report's port lines, then the reason, then the result word: in that order, at the end.
    void expectReason(const std::string& port, const std::string& reason, std::optional<uid_t> user = {}) {
        const HlxRun run = hlx({"flash", "realterm", firmwareFile, "--port", port, "--print-result"},
                               {.mergeErr = true, .user = user});
        EXPECT_EQ(1, run.exitCode);
        // A port that cannot be opened is that failure alone: its settings were never tried.
        const std::string tail =
            "Fehler: COM Port konnte nicht geöffnet werden\n"
            "hlx: " +
            reason + "\nJobResult=0x800\n";
        EXPECT_TRUE(run.out.ends_with(tail)) << run.out;
    }

    hlx::test::TempDir dir;
    const std::string firmwareFile = dir.file("fw.hex");
    hlx::test::PseudoTerminal pty;
};

TEST_F(PortReasonTest, NoSuchDevice) {
    expectReason("/dev/hlx-no-such-port", "/dev/hlx-no-such-port: No such file or directory");
}

TEST_F(PortReasonTest, RegularFileIsNotASerialPort) {
    expectReason(firmwareFile, firmwareFile + ": not a serial port");
}

TEST_F(PortReasonTest, PortHeldByAnotherProgramIsBusy) {
    hlx::serial::SerialPort holder(std::make_unique<hlx::serial::PosixSerialDevice>());
    ASSERT_TRUE(holder.open(pty.slavePath(), 0, true));
    expectReason(pty.slavePath(), pty.slavePath() + ": in use by another program");
}

// Permission denied says what is true of the device: owner, group, mode and what would give access. A
// group is named only when its members may open the device, and a link outside /dev gets the hint of
// the device behind it.
TEST_F(PortReasonTest, PermissionDeniedSaysWhatIsTrueOfTheDevice) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run hlx as another user";
    const std::string link = dir.file("monitor-link");
    ASSERT_EQ(0, ::symlink(pty.slavePath().c_str(), link.c_str()));
    const gid_t dialout = 20;  // Debian's; its name is read from the group database
    struct Case {
        const char* name;
        std::string port;
        mode_t mode;
        std::optional<gid_t> group;
        std::vector<std::string> parts;  // of the reason, in order
        std::vector<std::string> absent;
    };
    const std::string noGroup = "no group may read and write it, so joining a group does not help";
    const Case cases[] = {
        {"OwnerOnly",
         pty.slavePath(),
         0600,
         {},
         {": Permission denied (crw------- root:", noGroup},
         {"usermod"}},
        {"DevicesGroupTheUserIsNotIn",
         pty.slavePath(),
         0660,
         dialout,
         {": Permission denied (crw-rw---- root:dialout; the user is not in the group 'dialout': sudo "
          "usermod "
          "-aG dialout $USER, then log in again)"},
         {}},
        {"LinkOutsideDev",
         link,
         0600,
         {},
         {link + ": Permission denied (crw------- root:", noGroup},
         {"usermod"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(0, ::chmod(pty.slavePath().c_str(), c.mode));
        if (c.group) {
            ASSERT_EQ(0, ::chown(pty.slavePath().c_str(), 0, *c.group));
        }
        const HlxRun run = hlx({"flash", "realterm", firmwareFile, "--port", c.port, "--print-result"},
                               {.mergeErr = true, .user = kNobody});
        EXPECT_EQ(1, run.exitCode);
        EXPECT_TRUE(run.out.ends_with("\nJobResult=0x800\n")) << run.out;
        std::size_t at = run.out.find("hlx: " + c.port + ": Permission denied");
        ASSERT_NE(std::string::npos, at) << run.out;
        for (const std::string& part : c.parts) {
            at = run.out.find(part, at);
            EXPECT_NE(std::string::npos, at) << part << "\n" << run.out;
            if (at == std::string::npos) break;
        }
        for (const std::string& part : c.absent) EXPECT_EQ(std::string::npos, run.out.find(part)) << run.out;
    }
}

TEST_F(PortReasonTest, PortHeldExclusivelyIsBusyForAnUnprivilegedUser) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run hlx as another user";
    ::chmod(pty.slavePath().c_str(), 0666);
    hlx::serial::SerialPort holder(std::make_unique<hlx::serial::PosixSerialDevice>());
    ASSERT_TRUE(holder.open(pty.slavePath(), 0, true));
    expectReason(pty.slavePath(), pty.slavePath() + ": in use by another program", kNobody);
}

// ---- stop by signal -----------------------------------------------------------------------------------

using hlx::test::openableByAnotherProgram;

struct SignalCase {
    const char* name;
    int signal;
    int exitCode;
};

void PrintTo(const SignalCase& c, std::ostream* os) {
    *os << c.name;
}

constexpr SignalCase kSignalCases[] = {
    {"SIGINT", SIGINT, 130},
    {"SIGTERM", SIGTERM, 143},
    {"SIGHUP", SIGHUP, 129},
};

class StopSignalTest : public ::testing::TestWithParam<SignalCase> {};

// The monitor answers every record after 300 ms, so the download of 200 records would take a minute;
// the signal comes once the first record has arrived.
TEST_P(StopSignalTest, StopsTheDownloadReleasesThePortAndSaysSo) {
    hlx::test::TempDir dir;
    const std::string file = dir.file("fw.hex");
    hlx::test::writeFile(file, firmware(200));
    hlx::tools::VirtualMonitor monitor;
    monitor.setFaults({.delay = 300ms});

    HlxProcess process({"flash", "rtq", file, "--port", monitor.slavePath(), "--print-result"});
    const auto giveUp = std::chrono::steady_clock::now() + 20s;
    while (monitor.records().empty() && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(5ms);
    ASSERT_FALSE(monitor.records().empty()) << "the download did not start";
    process.signal(GetParam().signal);
    const HlxRun run = process.finish();

    EXPECT_EQ(GetParam().exitCode, run.exitCode);
    EXPECT_EQ("hlx: stopped by " + std::string(GetParam().name) +
                  "; the monitor may be left in the download state\n",
              run.err)
        << "no result word: the job was stopped before its report";
    EXPECT_TRUE(contains(run.out, "LoadFWRTQ OK")) << run.out;
    EXPECT_LT(monitor.records().size(), 100u) << "the download went on after the signal";
    EXPECT_TRUE(openableByAnotherProgram(monitor.slavePath()));
}

INSTANTIATE_TEST_SUITE_P(Cli, StopSignalTest, ::testing::ValuesIn(kSignalCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
