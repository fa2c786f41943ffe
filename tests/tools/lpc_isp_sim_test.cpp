// The simulated LPC ISP boot loader, spoken to byte by byte over its pseudo-terminal: synchronisation and
// both echo forms, return codes, UU data with either zero character and checksum answers, read-back,
// compare and blank check with the boot loader's vectors at 0, identification, the rate change, flash that
// is only programmed once per erase, the faults, and the program.

#include "tools/lpc_isp_sim.h"

#include <termios.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <optional>

#include "tests/support/simulator_process.h"
#include "tests/support/tool_side.h"

namespace hlx::tools {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

using Host = test::ToolSide;  // the tool's side of the pseudo-terminal

// UU decoding of the host's side, written here once more so the test checks the simulation's encoder.
std::optional<Bytes> uuDecode(const std::string& line) {
    if (line.empty()) return std::nullopt;
    const std::size_t count = (static_cast<std::uint8_t>(line[0]) - 0x20u) & 0x3Fu;
    Bytes out;
    for (std::size_t at = 1; at + 3 < line.size() + 0 && out.size() < count; at += 4) {
        std::uint32_t group = 0;
        for (std::size_t k = 0; k < 4; ++k)
            group = group << 6 | ((static_cast<std::uint8_t>(line[at + k]) - 0x20u) & 0x3Fu);
        for (int shift = 16; shift >= 0 && out.size() < count; shift -= 8)
            out.push_back(static_cast<std::uint8_t>(group >> shift));
    }
    if (out.size() != count) return std::nullopt;
    return out;
}

std::string uuLine(const Bytes& bytes, char zero) {
    auto c = [zero](std::uint32_t v) { return v == 0 ? zero : static_cast<char>(0x20 + v); };
    std::string line(1, c(static_cast<std::uint32_t>(bytes.size())));
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::uint32_t g = static_cast<std::uint32_t>(bytes[i]) << 16 |
                                (i + 1 < bytes.size() ? bytes[i + 1] << 8 : 0) |
                                (i + 2 < bytes.size() ? bytes[i + 2] : 0);
        for (int s = 18; s >= 0; s -= 6) line += c((g >> s) & 0x3F);
    }
    return line + "\r\n";
}

std::vector<std::string> splitCrLf(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

LpcIspConfig unpaced(IspEcho echo = IspEcho::Line) {
    LpcIspConfig config;
    config.echo = echo;
    config.baud = 0;
    return config;
}

// Synchronised and unlocked with echo off: ready for the commands of a test.
void prepare(const Host& host) {
    ASSERT_EQ("Synchronized\r\n", host.ask("?"));
    ASSERT_EQ("Synchronized\r\nOK\r\n", host.ask("Synchronized\r\n"));
    ASSERT_EQ("12000\r\nOK\r\n", host.ask("12000\r\n"));
    ASSERT_EQ("U 23130\r\n0\r\n", host.ask("U 23130\r\n"));
    ASSERT_EQ("A 0\r\n0\r\n", host.ask("A 0\r\n"));
}

TEST(LpcIspSectorsTest, LayoutOfTheChip) {
    const std::pair<std::uint32_t, int> cases[] = {{0x0000, 0},   {0x0FFF, 0},   {0x7FFF, 7},  {0x8000, 8},
                                                   {0x77FFF, 21}, {0x78000, 22}, {0x7DFFF, 27}};
    for (auto [address, sector] : cases) {
        SCOPED_TRACE(address);
        EXPECT_EQ(sector, simSectorOf(address));
    }
    EXPECT_EQ(kSimFlashSize, simSectorStart(kSimSectors));
    EXPECT_EQ(0x8000u, simSectorStart(8));
    EXPECT_EQ(0x78000u, simSectorStart(22));
}

TEST(LpcIspSimTest, EchoesEachLineAfterItsEnd) {
    LpcIspSim sim(unpaced(IspEcho::Line));
    Host host(sim.slavePath());
    prepare(host);
    EXPECT_EQ("0\r\n", host.ask("U 23130\r\n")) << "no echo after A 0";
    EXPECT_EQ("0\r\n", host.ask("A 1\r\n")) << "echo was still off when the line came";
    EXPECT_EQ("U 23130\r\n0\r\n", host.ask("U 23130\r\n"));
}

TEST(LpcIspSimTest, EchoesEachCharacterAsItArrives) {
    LpcIspSim sim(unpaced(IspEcho::Character));
    Host host(sim.slavePath());
    EXPECT_EQ("Synchronized\r\n", host.ask("?"));
    EXPECT_EQ("Synchronized\rOK\r\n\n", host.ask("Synchronized\r\n"));
    EXPECT_EQ("25000\rOK\r\n\n", host.ask("25000\r\n"));
    EXPECT_EQ("U 23130\r0\r\n\n", host.ask("U 23130\r\n"));
    EXPECT_EQ("A 0\r0\r\n", host.ask("A 0\r\n")) << "the LF after A 0 is no longer echoed";
}

TEST(LpcIspSimTest, OnlyTheSynchronisationLineSynchronises) {
    LpcIspSim sim(unpaced());
    Host host(sim.slavePath());
    EXPECT_EQ("", host.ask("U 23130\r\n")) << "autobaud waits for ?";
    EXPECT_EQ("Synchronized\r\n", host.ask("?"));
    EXPECT_EQ("Hello\r\n", host.ask("Hello\r\n")) << "echoed, not answered: back to autobaud";
    EXPECT_EQ("Synchronized\r\n", host.ask("?"));
}

TEST(LpcIspSimTest, ReturnCodes) {
    LpcIspSim sim(unpaced());
    Host host(sim.slavePath());
    prepare(host);
    const std::pair<const char*, int> cases[] = {
        {"C 4 1073745920 256", kDstAddrError},
        {"C 0 1073745920 256", kSectorNotPrepared},
        {"C 0 1073745920 300", kCountError},
        {"C 0 1073745921 256", kSrcAddrError},
        {"C 0 536870912 256", kSrcAddrNotMapped},
        {"C 520192 1073745920 4096", kDstAddrNotMapped},
        {"P 0 28", kInvalidSector},
        {"P 3 2", kInvalidSector},
        {"E 0 0", kSectorNotPrepared},
        {"W 1073745921 4", kAddrError},
        {"W 1073745920 3", kCountError},
        {"W 0 4", kAddrNotMapped},
        {"R 1 4", kAddrError},
        {"R 0 3", kCountError},
        {"R 268435456 4", kAddrNotMapped},
        {"X 1", kInvalidCommand},
        {"A 2", kParamError},
        {"U 1", kInvalidCode},
        {"G 0 Q", kParamError},
        {"G 2 A", kAddrError},
        {"G 268435456 A", kAddrNotMapped},
        {"P 0", kParamError},
        {"W 1073741824 4", kAddrNotMapped},  // the boot loader's own RAM
        {"B 1200 1", kInvalidBaudRate},
        {"B 9600 3", kInvalidStopBit},
        {"B 9600", kParamError},
        {"M 1 1073741824 4", kAddrError},
        {"M 0 1073741826 4", kAddrError},
        {"M 0 1073741824 6", kCountError},
        {"M 0 268435456 4", kAddrNotMapped},
        {"M 516092 1073741824 8", kAddrNotMapped},  // runs past the flash's end
        {"I 0 28", kInvalidSector},
        {"I 3 2", kInvalidSector},
        {"I 1", kParamError},
        {"J 1", kParamError},
        {"K x", kParamError},
    };
    for (auto [command, code] : cases) {
        SCOPED_TRACE(command);
        EXPECT_EQ(std::to_string(code) + "\r\n", host.ask(std::string(command) + "\r\n"));
    }
}

TEST(LpcIspSimTest, LockedUntilUnlocked) {
    LpcIspSim sim(unpaced());
    Host host(sim.slavePath());
    host.ask("?");
    host.ask("Synchronized\r\n");
    host.ask("12000\r\n");
    for (const char* command : {"E 0 0", "C 0 1073745920 256", "G 0 A"}) {
        SCOPED_TRACE(command);
        EXPECT_EQ(std::string(command) + "\r\n15\r\n", host.ask(std::string(command) + "\r\n"));
    }
    // Writing to RAM, preparing and reading need no unlock.
    EXPECT_EQ("W 1073745920 4\r\n0\r\n", host.ask("W 1073745920 4\r\n"));
    host.send(uuLine({1, 2, 3, 4}, '`'));
    EXPECT_EQ(uuLine({1, 2, 3, 4}, '`') + "10\r\nOK\r\n", host.ask("10\r\n"));
    EXPECT_EQ("P 0 0\r\n0\r\n", host.ask("P 0 0\r\n"));
    EXPECT_EQ("U 23130\r\n0\r\n", host.ask("U 23130\r\n"));
    EXPECT_EQ("E 0 0\r\n0\r\n", host.ask("E 0 0\r\n"));
}

TEST(LpcIspSimTest, WritesUuDataWithEitherZeroCharacterAndCopiesIt) {
    LpcIspSim sim(unpaced());
    Host host(sim.slavePath());
    prepare(host);
    const Bytes data{0x00, 0x11, 0x00, 0x00, 0xFF, 0x80, 0x00, 0x7F};
    for (char zero : {'`', ' '}) {
        SCOPED_TRACE(zero);
        EXPECT_EQ("0\r\n", host.ask("W 1073745920 8\r\n"));
        host.send(uuLine(data, zero));
        EXPECT_EQ("OK\r\n", host.ask("527\r\n"));
        EXPECT_EQ("0\r\n", host.ask("P 0 27\r\n"));
        EXPECT_EQ("0\r\n", host.ask("E 0 0\r\n"));
        EXPECT_EQ("0\r\n", host.ask("P 0 0\r\n"));
        EXPECT_EQ("0\r\n", host.ask("C 0 1073745920 256\r\n"));
        const Bytes flash = sim.flash();
        EXPECT_EQ(data, Bytes(flash.begin(), flash.begin() + 8));
    }
    EXPECT_EQ(0u, sim.bytesProgrammedTwice());
}

TEST(LpcIspSimTest, WrongChecksumAsksForTheGroupAgain) {
    LpcIspSim sim(unpaced());
    Host host(sim.slavePath());
    prepare(host);
    // 21 lines: a checksum after the 20th and after the last.
    EXPECT_EQ("0\r\n", host.ask("W 1073745920 944\r\n"));
    const std::string line = uuLine(Bytes(45, 0x01), '`');
    for (int i = 0; i < 20; ++i) host.send(line);
    EXPECT_EQ("RESEND\r\n", host.ask("901\r\n"));
    for (int i = 0; i < 20; ++i) host.send(line);
    EXPECT_EQ("OK\r\n", host.ask("900\r\n"));
    host.send(uuLine(Bytes(44, 0x01), '`'));
    EXPECT_EQ("OK\r\n", host.ask("44\r\n"));
    EXPECT_EQ("0\r\n", host.ask("P 0 0\r\n")) << "back to commands after the last group";
    EXPECT_EQ(3, sim.checksumLines());
}

TEST(LpcIspSimTest, ReadsBackWithTheBootVectorsAtZero) {
    LpcIspSim sim(unpaced());
    Host host(sim.slavePath());
    prepare(host);
    const std::string first = host.ask("R 0 1000\r\n");
    std::vector<std::string> lines = splitCrLf(first);
    ASSERT_EQ(1u + 20u + 1u, lines.size()) << first;
    EXPECT_EQ("0", lines[0]);
    Bytes got;
    std::int64_t sum = 0;
    for (std::size_t i = 1; i <= 20; ++i) {
        const auto bytes = uuDecode(lines[i]);
        ASSERT_TRUE(bytes) << lines[i];
        got.insert(got.end(), bytes->begin(), bytes->end());
        for (auto b : *bytes) sum += b;
    }
    EXPECT_EQ(std::to_string(sum), lines[21]);
    EXPECT_EQ((Bytes{0x18, 0xF0, 0x9F, 0xE5}), Bytes(got.begin(), got.begin() + 4)) << "the loader's vector";
    const Bytes flash = sim.flash();
    EXPECT_EQ(Bytes(flash.begin() + 0x40, flash.begin() + 900), Bytes(got.begin() + 0x40, got.end()));
    EXPECT_EQ(first.substr(3), host.ask("RESEND\r\n")) << "the same group again";
    lines = splitCrLf(host.ask("OK\r\n"));
    ASSERT_EQ(3u + 1u, lines.size()) << "100 bytes: three lines and the checksum";
    EXPECT_EQ("", host.ask("OK\r\n"));
    EXPECT_EQ("0\r\n", host.ask("P 0 0\r\n"));
}

TEST(LpcIspSimTest, IdentifiesAsAnLpc2378) {
    LpcIspSim sim(unpaced());
    Host host(sim.slavePath());
    prepare(host);
    EXPECT_EQ("0\r\n385940773\r\n", host.ask("J\r\n")) << "0x1700FD25";
    EXPECT_EQ("0\r\n1\r\n8\r\n", host.ask("K\r\n")) << "minor, then major";
    const std::vector<std::string> serial = splitCrLf(host.ask("N\r\n"));
    ASSERT_EQ(5u, serial.size());
    EXPECT_EQ("0", serial[0]);
    for (std::size_t i = 1; i < 5; ++i)
        EXPECT_TRUE(std::all_of(serial[i].begin(), serial[i].end(), ::isdigit));
}

// Programs 256 bytes from RAM at 0x40001000 into sector 0, as a tool does before it verifies.
void programSectorZero(const Host& host, const Bytes& data) {
    ASSERT_EQ(256u, data.size());
    ASSERT_EQ("0\r\n", host.ask("W 1073745920 256\r\n"));
    std::int64_t sum = 0;
    for (std::size_t i = 0; i < data.size(); i += 45) {
        const Bytes line(data.begin() + static_cast<long>(i),
                         data.begin() + static_cast<long>(std::min(i + 45, data.size())));
        for (auto b : line) sum += b;
        host.send(uuLine(line, '`'));
    }
    ASSERT_EQ("OK\r\n", host.ask(std::to_string(sum) + "\r\n"));
    ASSERT_EQ("0\r\n", host.ask("P 0 0\r\n"));
    ASSERT_EQ("0\r\n", host.ask("E 0 0\r\n"));
    ASSERT_EQ("0\r\n", host.ask("P 0 0\r\n"));
    ASSERT_EQ("0\r\n", host.ask("C 0 1073745920 256\r\n"));
}

TEST(LpcIspSimTest, ComparesWithTheBootVectorsMappedAtZero) {
    LpcIspSim sim(unpaced());
    Host host(sim.slavePath());
    prepare(host);
    Bytes data(256);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + 3);
    programSectorZero(host, data);
    const Bytes flash = sim.flash();
    ASSERT_EQ(data, Bytes(flash.begin(), flash.begin() + 256));

    EXPECT_EQ("10\r\n0\r\n", host.ask("M 0 1073745920 256\r\n")) << "the first 64 bytes read the vectors";
    EXPECT_EQ("0\r\n", host.ask("M 64 1073745984 192\r\n"));
    EXPECT_EQ("0\r\n", host.ask("M 1073745984 64 192\r\n")) << "either order";
    // One byte changed in RAM: the offset of its word, from the start of the compare.
    EXPECT_EQ("0\r\n", host.ask("W 1073746020 4\r\n"));
    host.send(uuLine({0, 0, 0, 0}, '`'));
    EXPECT_EQ("OK\r\n", host.ask("0\r\n"));
    EXPECT_EQ("10\r\n36\r\n", host.ask("M 64 1073745984 192\r\n"));
}

TEST(LpcIspSimTest, BlankCheckReportsTheFirstWordInUse) {
    LpcIspSim sim(unpaced());
    Host host(sim.slavePath());
    prepare(host);
    const Bytes flash = sim.flash();
    const std::uint32_t oldWord = flash[0x1000] | flash[0x1001] << 8 | flash[0x1002] << 16 |
                                  static_cast<std::uint32_t>(flash[0x1003]) << 24;
    EXPECT_EQ("8\r\n0\r\n" + std::to_string(oldWord) + "\r\n", host.ask("I 1 2\r\n")) << "the old firmware";
    EXPECT_EQ("0\r\n", host.ask("P 0 27\r\n"));
    EXPECT_EQ("0\r\n", host.ask("E 0 27\r\n"));
    EXPECT_EQ("0\r\n", host.ask("I 1 27\r\n"));
    EXPECT_EQ("8\r\n0\r\n3852464152\r\n", host.ask("I 0 0\r\n")) << "sector 0 reads the vectors";
    // A word programmed into sector 2: its offset counts from the start of sector 1.
    EXPECT_EQ("0\r\n", host.ask("W 1073745920 256\r\n"));
    Bytes data(256, 0xFF);
    data[0x14] = 0x42;
    std::int64_t sum = 0;
    for (std::size_t i = 0; i < data.size(); i += 45) {
        const Bytes line(data.begin() + static_cast<long>(i),
                         data.begin() + static_cast<long>(std::min(i + 45, data.size())));
        for (auto b : line) sum += b;
        host.send(uuLine(line, '`'));
    }
    EXPECT_EQ("OK\r\n", host.ask(std::to_string(sum) + "\r\n"));
    EXPECT_EQ("0\r\n", host.ask("P 2 2\r\n"));
    EXPECT_EQ("0\r\n", host.ask("C 8192 1073745920 256\r\n"));
    EXPECT_EQ("8\r\n4116\r\n4294967106\r\n", host.ask("I 1 2\r\n"));
}

// Paced at the line's rate: after "B" the part talks at the new rate, and what goes over the line at
// another rate is lost in either direction.
TEST(LpcIspSimTest, RateChangeTakesEffectAfterItsAnswer) {
    LpcIspConfig config;
    LpcIspSim sim(config);
    Host host(sim.slavePath());
    host.setBaud(B115200);
    prepare(host);  // measured at 115200; echo off
    EXPECT_EQ("0\r\n", host.ask("B 57600 1\r\n")) << "answered at the old rate";
    EXPECT_EQ("", host.ask("J\r\n")) << "sent at 115200, the part listens at 57600";
    host.setBaud(B57600);
    EXPECT_EQ("0\r\n385940773\r\n", host.ask("J\r\n")) << "0x1700FD25";

    // An answer that leaves while the tool's side has another rate arrives as rubbish.
    LpcIspConfig slowErase;
    slowErase.echo = IspEcho::Character;
    slowErase.eraseTimePerSector = std::chrono::milliseconds(400);
    LpcIspSim slow(slowErase);
    Host tool(slow.slavePath());
    tool.setBaud(B115200);
    EXPECT_EQ("Synchronized\r\n", tool.ask("?"));
    tool.ask("Synchronized\r\n");
    tool.ask("12000\r\n");
    tool.ask("U 23130\r\n");
    tool.ask("P 1 1\r\n");
    tool.send("E 1 1\r");
    EXPECT_EQ("E 1 1\r", tool.receiveUntil("\r")) << "echoed at once; the answer follows the erase";
    tool.setBaud(B57600);
    EXPECT_EQ("\xFF\xFF\xFF", tool.receiveUntil("\xFF\xFF\xFF"));
}

TEST(LpcIspSimTest, CountsBytesProgrammedTwiceSinceTheirErase) {
    LpcIspSim sim(unpaced());
    Host host(sim.slavePath());
    prepare(host);
    EXPECT_EQ("0\r\n", host.ask("P 1 1\r\n"));
    EXPECT_EQ("0\r\n", host.ask("C 4096 1073745920 256\r\n"));
    EXPECT_EQ(256u, sim.bytesProgrammedTwice()) << "the old firmware is still there";
    host.ask("P 1 1\r\n");
    host.ask("E 1 1\r\n");
    const Bytes flash = sim.flash();
    EXPECT_TRUE(
        std::all_of(flash.begin() + 0x1000, flash.begin() + 0x2000, [](auto b) { return b == 0xFF; }));
    EXPECT_NE(0xFF, flash[0x2000]) << "sector 2 kept its old content";
    host.ask("P 1 1\r\n");
    host.ask("C 4352 1073745920 256\r\n");
    EXPECT_EQ(256u, sim.bytesProgrammedTwice());
    host.ask("P 1 1\r\n");
    EXPECT_EQ("0\r\n", host.ask("C 4352 1073745920 256\r\n"));
    EXPECT_EQ(512u, sim.bytesProgrammedTwice());
}

TEST(LpcIspSimTest, GoStartsTheCodeAndReturnsToAutobaud) {
    LpcIspSim sim(unpaced());
    Host host(sim.slavePath());
    prepare(host);
    EXPECT_EQ("0\r\nHLX firmware started\r\n", host.ask("G 0 A\r\n"));
    EXPECT_EQ(1, sim.goCount());
    EXPECT_EQ("", host.ask("U 23130\r\n"));
    EXPECT_EQ("Synchronized\r\n", host.ask("?"));
}

// A protected part refuses to read its memory, and still tells what it is.
TEST(LpcIspSimTest, ReadProtectionRefusesReadsButNotTheFacts) {
    LpcIspConfig config = unpaced();
    config.crp = 2;
    LpcIspSim sim(config);
    Host host(sim.slavePath());
    prepare(host);
    EXPECT_EQ("19\r\n", host.ask("R 0 4\r\n"));
    EXPECT_EQ("19\r\n", host.ask("R 1073741824 4\r\n"));
    EXPECT_EQ("0\r\n385940773\r\n", host.ask("J\r\n"));
}

TEST(LpcIspSimTest, Faults) {
    {
        LpcIspSim sim(unpaced());
        sim.setFaults({.missedSyncs = 2});
        Host host(sim.slavePath());
        EXPECT_EQ("", host.ask("?"));
        EXPECT_EQ("", host.ask("?"));
        EXPECT_EQ("Synchronized\r\n", host.ask("?"));
    }
    {
        LpcIspSim sim(unpaced());
        sim.setFaults({.silentToSync = true});
        Host host(sim.slavePath());
        EXPECT_EQ("", host.ask("?"));
    }
    {
        LpcIspSim sim(unpaced());
        sim.setFaults({.failCommand = 'P', .failOccurrence = 2, .failCode = kBusy});
        Host host(sim.slavePath());
        prepare(host);
        EXPECT_EQ("0\r\n", host.ask("P 0 0\r\n"));
        EXPECT_EQ("11\r\n", host.ask("P 0 0\r\n"));
        EXPECT_EQ("0\r\n", host.ask("P 0 0\r\n"));
    }
    {
        LpcIspSim sim(unpaced());
        sim.setFaults({.hangUpAt = 'W'});
        Host host(sim.slavePath());
        prepare(host);
        EXPECT_EQ("<hang-up>", host.ask("W 1073745920 4\r\n"));
    }
}

// The executable: prints the path and answers as the boot loader in the echo form asked for.
TEST(LpcIspProgram, AnswersInCharacterEchoAndStopsOnSigterm) {
    test::SimulatorProcess program(HLX_VIRTUAL_MONITOR_PATH, {"--lpc-isp", "--echo", "char", "--baud", "0"});
    const std::string path = program.path();
    ASSERT_EQ(0u, program.printed().find("LPC ISP boot loader on ")) << program.printed();
    {
        Host host(path);
        EXPECT_EQ("Synchronized\r\n", host.ask("?"));
        EXPECT_EQ("Synchronized\rOK\r\n\n", host.ask("Synchronized\r\n"));
    }
    EXPECT_EQ(0, program.stop());
}

}  // namespace
}  // namespace hlx::tools
