// The boot loader job at another line rate, end to end: the real job and serial port on a pseudo-terminal
// against the simulated LPC2378 boot loader, which talks at the rate it was synchronised at until its "B"
// has been answered and at the new one from the next byte on, and loses every byte sent at the other rate.
// So the flash comes out exact only when both sides changed together.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "firmware/isp_download.h"
#include "jobs/job_frame.h"
#include "serial/posix_serial_device.h"
#include "tests/support/fake_output_window.h"
#include "tests/support/hex_text.h"
#include "tests/support/job_runner.h"
#include "tests/support/job_view_log.h"
#include "tests/support/recording_view.h"
#include "tests/support/temp_dir.h"
#include "tools/lpc_isp_sim.h"

namespace hlx {
namespace {

class IspRateTest : public ::testing::Test {
protected:
    IspRateTest() {
        // A block of 1024 bytes: 23 lines, a checksum after the 20th (1.3 s on the wire at 9600 baud).
        firmware.page(0).fill(0, 0x300, 16);
        firmware.end();
        test::writeFile(path, firmware.text());
    }

    // The job as the window runs it, with the rate asked for; returns the word handed to the report.
    std::int32_t runJob(int baud) {
        jobs::JobInputs inputs;
        inputs.comText = sim.slavePath();
        inputs.settingsEntry = 0;
        inputs.filePath = path;
        return test::runJobInSlot(firmware::ispDownloadJob({.baud = baud}), {port, replyDeadline, log, view},
                                  inputs);
    }

    void expectFlashHoldsTheFile() {
        const std::vector<std::uint8_t> flash = sim.flash();
        for (const auto& [address, value] : firmware.bytes()) {
            if (address >= 0x14 && address < 0x18) continue;  // the vector checksum word
            ASSERT_EQ(value, flash[address]) << "at " << address;
        }
        EXPECT_TRUE(sim.userCodeValid());
    }

    std::vector<std::string> shownLines() const { return test::splitLines(window.text()); }

    test::TempDir dir;
    const std::string path = dir.file("fw.hex");
    test::HexText firmware;
    tools::LpcIspSim sim;  // paced at the rate it was synchronised at, then at the one "B" set
    serial::SerialPort port{std::make_unique<serial::PosixSerialDevice>()};
    serial::Deadline replyDeadline;
    test::FakeOutputWindow window;
    output::OutputLog log{window};
    test::JobViewLog view;
};

class IspRateChangeTest : public IspRateTest, public ::testing::WithParamInterface<int> {};

TEST_P(IspRateChangeTest, BothSidesChangeAfterTheAnswerAndTheFlashComesOutExact) {
    const int baud = GetParam();
    EXPECT_EQ(0, runJob(baud)) << window.text();
    expectFlashHoldsTheFile();
    const std::vector<std::string> commands = sim.commands();
    const auto rate = std::find(commands.begin(), commands.end(), "B " + std::to_string(baud) + " 1");
    ASSERT_NE(commands.end(), rate) << ::testing::PrintToString(commands);
    ASSERT_NE(commands.end(), rate + 1);
    EXPECT_EQ("U 23130", *(rate + 1)) << "asked for once synchronised, before anything else";
    const std::vector<std::string> lines = shownLines();
    const auto shown = std::find(lines.begin(), lines.end(), "Setting Baud Rate " + std::to_string(baud));
    ASSERT_NE(lines.end(), shown);
    EXPECT_EQ("Unlock", *(shown + 1));
    // The started firmware greets at the new rate: whether its words are in before the job returns the
    // port to the selected entry depends on the machine's speed, so they may be shown (whole, or as the
    // bytes of another rate) or not; no failure follows the success line.
    const auto success = std::find(lines.begin(), lines.end(), "Datei fehlerfrei übertragen");
    ASSERT_NE(lines.end(), success) << window.text();
    EXPECT_TRUE(std::none_of(success, lines.end(), [](const std::string& l) {
        return l.starts_with("Fehler");
    })) << window.text();
    EXPECT_EQ(serial::kComSettings[0].line, port.state().settings) << "the selected entry again at the end";
}

INSTANTIATE_TEST_SUITE_P(Isp, IspRateChangeTest, ::testing::Values(9600, 19200, 38400, 57600, 230400),
                         [](const auto& info) { return "Baud" + std::to_string(info.param); });

TEST_F(IspRateTest, TheStartingRateSendsNoRateCommand) {
    EXPECT_EQ(0, runJob(115200));
    const std::vector<std::string> commands = sim.commands();
    EXPECT_TRUE(
        std::none_of(commands.begin(), commands.end(), [](const std::string& c) { return c[0] == 'B'; }));
    expectFlashHoldsTheFile();
}

TEST_F(IspRateTest, ARefusedRateLeavesBothAtTheStartingRateAndSaysSo) {
    sim.setFaults({.failCommand = 'B', .failCode = tools::kInvalidBaudRate});
    EXPECT_EQ(0, runJob(230400)) << "a refusal is no failure of the job";
    expectFlashHoldsTheFile();
    const std::vector<std::string> lines = shownLines();
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(),
                                     "Baud Rate 230400 refused (return code 17), staying at 115200"))
        << window.text();
}

TEST_F(IspRateTest, AnUnansweredRateIsATimeOutAndNothingIsErased) {
    sim.setFaults({.hangUpAt = 'B'});  // the cable comes off as the command arrives
    const std::int32_t word = runJob(230400);
    EXPECT_NE(0, word & output::result::kTimeout) << window.text();
    EXPECT_EQ(0, sim.erases());
}

}  // namespace
}  // namespace hlx
