// A second opinion on the simulated boot loader: lpc21isp, an LPC flasher nobody here wrote, programs and
// verifies the simulator program through its pseudo-terminal in both echo forms, and the flash the
// simulator writes out holds the file; a flash byte that does not program makes lpc21isp's verify fail.
// The service tool's own `hlx flash isp` runs against the same program. Both cut off half-way leave the
// part's vectors invalid. The lpc21isp cases are skipped
// where it is not installed (`make deps` installs it).

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "tests/support/child_process.h"
#include "tests/support/hex_text.h"
#include "tests/support/isp_flash.h"
#include "tests/support/simulator_process.h"
#include "tests/support/temp_dir.h"
#include "tools/lpc_isp_sim.h"
#include "tools/monitor_image.h"

namespace hlx::tools {
namespace {

std::string lpc21ispPath() {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "/usr/bin:/bin");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const std::string candidate = folder + "/lpc21isp";
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return {};
}

// A firmware as a linker writes it: a vector table whose eight words sum to 0 (so neither flasher has to
// change it), code behind it across three sectors, and a section after a gap.
test::HexText firmware() {
    std::vector<std::uint8_t> vectors(32);
    std::uint32_t sum = 0;
    for (std::uint32_t i = 0; i < 32; ++i) vectors[i] = test::HexText::patternAt(i);
    for (std::uint32_t at = 0; at < 32; at += 4)
        if (at != 0x14)
            sum += vectors[at] | vectors[at + 1] << 8 | vectors[at + 2] << 16 |
                   static_cast<std::uint32_t>(vectors[at + 3]) << 24;
    for (int i = 0; i < 4; ++i) vectors[0x14 + i] = static_cast<std::uint8_t>((0u - sum) >> (8 * i));
    test::HexText file;
    file.page(0x0000).data(0x0000, std::vector<std::uint8_t>(vectors.begin(), vectors.begin() + 16));
    file.data(0x0010, std::vector<std::uint8_t>(vectors.begin() + 16, vectors.end()));
    file.fill(0x0020, 0x2400 - 0x20, 16);
    file.fill(0x3000, 0x0130, 16);
    return file.end();
}

MemoryImage readFlash(const std::string& path) {
    MemoryImage image;
    AddressSpace space(image);
    std::istringstream lines(test::readFile(path));
    for (std::string line; std::getline(lines, line);) {
        const DecodedLine decoded = decodeHexLine(line);
        EXPECT_EQ(LineError::None, decoded.error) << line;
        if (decoded.error == LineError::None) space.apply(decoded.record);
    }
    return image;
}

class SecondOpinionTest : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        hexPath = dir.file("firmware.hex");
        test::writeFile(hexPath, file.text());
    }
    std::unique_ptr<test::SimulatorProcess> startBootLoader(std::vector<std::string> options = {}) {
        std::vector<std::string> args{"--lpc-isp", "--echo", GetParam(), "--flash-out", flashPath};
        args.insert(args.end(), options.begin(), options.end());
        auto program = std::make_unique<test::SimulatorProcess>(HLX_VIRTUAL_MONITOR_PATH, args);
        port = program->path();
        EXPECT_FALSE(port.empty()) << program->printed();
        return program;
    }
    test::CommandOutcome runLpc21isp(const std::string& tool) {
        return test::runCommand("timeout 120 '" + tool + "' -verify '" + hexPath + "' '" + port +
                                "' 115200 12000");
    }

    test::TempDir dir;
    const test::HexText file = firmware();
    std::string hexPath;
    std::string flashPath = dir.file("flash.hex");
    std::string port;
};

TEST_P(SecondOpinionTest, Lpc21ispProgramsAndVerifiesTheFile) {
    const std::string tool = lpc21ispPath();
    if (tool.empty()) GTEST_SKIP() << "lpc21isp is not installed";
    auto program = startBootLoader();
    const test::CommandOutcome run = runLpc21isp(tool);
    EXPECT_EQ(0, run.exitCode) << run.out;
    ASSERT_TRUE(program->waitFor("written to " + flashPath)) << program->printed();
    EXPECT_EQ(std::string::npos, program->printed().find("vectors do not sum to 0")) << program->printed();

    // lpc21isp erases only the sectors it programs and copies whole blocks, so the flash holds the file
    // at the file's addresses; what lies beyond is the old firmware or the rest of its RAM buffer.
    const MemoryImage flash = readFlash(flashPath);
    std::size_t differing = 0;
    for (const auto& [address, byte] : file.bytes()) {
        const auto at = flash.find(address);
        if ((at == flash.end() ? 0xFF : at->second) != byte && ++differing <= 5)
            ADD_FAILURE() << "flash at 0x" << std::hex << address << " differs from the file";
    }
    EXPECT_EQ(0u, differing);
    EXPECT_EQ(0, program->stop());
}

TEST_P(SecondOpinionTest, Lpc21ispVerifyFindsAByteThatDidNotProgram) {
    const std::string tool = lpc21ispPath();
    if (tool.empty()) GTEST_SKIP() << "lpc21isp is not installed";
    auto program = startBootLoader({"--stuck-byte", "0x1100"});
    const test::CommandOutcome run = runLpc21isp(tool);
    EXPECT_NE(0, run.exitCode) << run.out;
    EXPECT_EQ(0, program->stop());
}

TEST_P(SecondOpinionTest, HlxFlashIspProgramsTheFileExactly) {
    auto program = startBootLoader();
    const test::CommandOutcome run = test::runCommand(std::string("'") + HLX_CLI_PATH + "' flash isp '" +
                                                      hexPath + "' --port '" + port + "' --verify");
    EXPECT_EQ(0, run.exitCode) << run.out;
    ASSERT_TRUE(program->waitFor("written to " + flashPath)) << program->printed();

    // hlx erases the whole flash: it holds the file and nothing else (erased bytes are not written out).
    MemoryImage expected;
    for (const auto& [address, byte] : file.bytes())
        if (byte != 0xFF) expected[address] = byte;
    EXPECT_EQ(expected, readFlash(flashPath));
    EXPECT_EQ(0, program->stop());
}

// An update cut off: lpc21isp and hlx, each cut at the same byte against the same simulated part, which
// held a firmware that started: neither leaves vectors that sum to 0 (the part would start half a firmware
// at its next reset instead of its boot loader).
class CutSecondOpinionTest : public ::testing::TestWithParam<std::int64_t> {
protected:
    void SetUp() override {
        test::writeFile(hexPath, file.text());
        // The firmware that ran before: valid vectors, so only an erase the tool does not undo spoils them.
        test::HexText old;
        old.page(0).fill(0, 0x3000, 32);
        oldFlash = test::expectedIspFlash(old.end());
    }
    std::unique_ptr<LpcIspSim> cutPart() {
        LpcIspConfig config;
        config.baud = 0;  // as fast as the pseudo-terminal: the cut lies on a byte, not on a time
        config.flash = oldFlash;
        auto sim = std::make_unique<LpcIspSim>(config);
        EXPECT_TRUE(sim->userCodeValid()) << "the old firmware starts";
        sim->setFaults({.hangUpAfter = GetParam()});
        return sim;
    }

    test::TempDir dir;
    const test::HexText file = test::HexText().page(0).fill(0, 0x10000, 32).end();
    std::string hexPath = dir.file("firmware.hex");
    std::vector<std::uint8_t> oldFlash;
};

TEST_P(CutSecondOpinionTest, NeitherLeavesValidVectors) {
    const std::string tool = lpc21ispPath();
    if (tool.empty()) GTEST_SKIP() << "lpc21isp is not installed";
    const auto lpc21isp = cutPart();
    const test::CommandOutcome theirs = test::runCommand("timeout 120 '" + tool + "' '" + hexPath + "' '" +
                                                         lpc21isp->slavePath() + "' 115200 12000");
    EXPECT_NE(0, theirs.exitCode) << theirs.out;
    ASSERT_EQ(static_cast<std::size_t>(GetParam()), lpc21isp->bytesReceived()) << theirs.out;
    EXPECT_FALSE(lpc21isp->userCodeValid()) << "lpc21isp";

    const auto hlx = cutPart();
    const test::CommandOutcome ours = test::runCommand(std::string("'") + HLX_CLI_PATH + "' flash isp '" +
                                                       hexPath + "' --port '" + hlx->slavePath() + "'");
    EXPECT_EQ(1, ours.exitCode) << ours.out;
    ASSERT_EQ(static_cast<std::size_t>(GetParam()), hlx->bytesReceived()) << ours.out;
    EXPECT_FALSE(hlx->userCodeValid()) << "hlx";
}

INSTANTIATE_TEST_SUITE_P(BootLoader, CutSecondOpinionTest, ::testing::Values(20000, 45000, 60000, 85000),
                         [](const auto& info) { return "CutAfter" + std::to_string(info.param) + "Bytes"; });

INSTANTIATE_TEST_SUITE_P(BootLoader, SecondOpinionTest, ::testing::Values("line", "char"),
                         [](const auto& info) {
                             return std::string(info.param) == "line" ? "LineEcho" : "CharacterEcho";
                         });

}  // namespace
}  // namespace hlx::tools
