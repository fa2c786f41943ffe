// The boot loader job from end to end: the real job frame and job on a job thread, the real serial port on a
// pseudo-terminal, and the simulated LPC boot loader on its other side. The flash the boot loader ends up
// with, the lines it received and what the output window shows are compared with the file; `hlx flash isp`
// runs against the same simulation.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>

#include "app/job_catalogue.h"
#include "app/main_window_logic.h"
#include "app/settings_store.h"
#include "firmware/isp_conversation.h"
#include "jobs/job_frame.h"
#include "jobs/job_slot.h"
#include "output/job_result.h"
#include "serial/posix_serial_device.h"
#include "tests/app/fake_main_window_view.h"
#include "tests/support/fake_output_window.h"
#include "tests/support/hex_text.h"
#include "tests/support/isp_flash.h"
#include "tests/support/job_view_log.h"
#include "tests/support/temp_dir.h"
#include "tools/lpc_isp_sim.h"

namespace hlx {
namespace {

using namespace std::chrono_literals;
using output::result::kCheckFailed;
using output::result::kConfigure;
using output::result::kErrorByte;
using output::result::kFileOpen;
using output::result::kOpen;
using output::result::kTimeout;
using tools::IspEcho;

bool contains(const std::string& text, std::string_view part) {
    return text.find(part) != std::string::npos;
}

// A firmware as linkers write them: a vector table at 0 with code behind it, a section at an odd address,
// one whose records cross a 4096-byte boundary, data in the next pages, a page the job must skip, a start
// address and the end.
test::HexText ordinaryFirmware() {
    test::HexText file;
    file.page(0x0000);
    file.fill(0x0000, 0x0600, 16);
    file.fill(0x1234, 0x0500, 16);
    file.fill(0x4008, 0x1100, 16);
    file.page(0x0001);
    file.fill(0x0000, 0x2000, 32);
    file.page(0x8000);
    file.fill(0x0000, 0x0100, 16);
    file.page(0x0002);
    file.fill(0x8000, 0x0300, 16);
    file.record(5, 0, {0x00, 0x00, 0x00, 0x00});
    return file.end();
}

class IspDownloadTest : public ::testing::Test {
protected:
    void startBootLoader(IspEcho echo = IspEcho::Line, int baud = 0) {
        tools::LpcIspConfig config;
        config.echo = echo;
        config.baud = baud;
        sim = std::make_unique<tools::LpcIspSim>(config);
    }

    std::string writeFirmware(const std::string& text, const std::string& name = "firmware.hex") {
        const std::string path = dir.file(name);
        test::writeFile(path, text);
        return path;
    }

    // Runs the job through the job slot, as the window does, and returns the word handed to the report.
    std::int32_t runJob(const std::string& filePath, std::optional<std::string> comText = {}) {
        view.reset();
        jobs::JobSlot slot;
        base::FileBuffer file;
        slot.init();
        jobs::JobInputs inputs;
        inputs.comText = comText.value_or(sim ? sim->slavePath() : std::string{});
        inputs.settingsEntry = 0;
        inputs.filePath = filePath;
        std::optional<std::int32_t> reported;
        slot.start([&](std::stop_token stop) {
            jobs::JobContext context{{port, replyDeadline, log, stop}, view, file, inputs};
            reported = jobs::runJobFrame(*app::jobDefinition(jobs::JobKind::BootLoader), context, slot);
        });
        slot.wait();
        EXPECT_EQ(jobs::JobState::Finished, slot.state());
        EXPECT_EQ((std::vector<bool>{false, true}), view.pollSwitches());
        return reported.value_or(-1);
    }

    test::TempDir dir;
    std::unique_ptr<tools::LpcIspSim> sim;
    serial::SerialPort port{std::make_unique<serial::PosixSerialDevice>()};
    serial::Deadline replyDeadline;
    test::FakeOutputWindow window;
    output::OutputLog log{window};
    test::JobViewLog view;
};

class IspEchoFormTest : public IspDownloadTest, public ::testing::WithParamInterface<IspEcho> {};

TEST_P(IspEchoFormTest, ProgramsAnOrdinaryFirmware) {
    startBootLoader(GetParam());
    const test::HexText firmware = ordinaryFirmware();
    const std::string path = writeFirmware(firmware.text());

    EXPECT_EQ(0, runJob(path));
    EXPECT_EQ(test::expectedIspFlash(firmware), sim->flash());
    EXPECT_TRUE(sim->userCodeValid());
    EXPECT_EQ(0u, sim->bytesProgrammedTwice());
    EXPECT_EQ(1, sim->erases());
    EXPECT_EQ(1, sim->goCount());
    for (const tools::SimCopy& copy : sim->copies()) {
        EXPECT_EQ(tools::kCmdSuccess, copy.returnCode) << "copy to " << copy.destination;
        EXPECT_EQ(0u, copy.destination % 256);
    }
    EXPECT_EQ(
        test::joinLines({path + " geöffnet", "Prüfe Hex File", "Anzahl Fehler: 0",
                         "Sending Synchronisation Character 0x3F", "Sending Synchronisation Confimation",
                         "Sending Crystal Frequency", "Unlock", "Prepare Flash Erase", "Flash Erase",
                         "Page: 0x0000", "Page: 0x0001", "Page: 0x8000 (Skipped)", "Page: 0x0002",
                         "Datei fehlerfrei übertragen", "HLX firmware started"}),
        window.text());
    const std::vector<int> progress = view.progress();
    ASSERT_GE(progress.size(), 3u);
    EXPECT_EQ(0, progress.front());
    EXPECT_EQ(100, progress.back());
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(serial::comSettings(0), port.state().settings)
        << "the selected entry is applied again at the end";
}

INSTANTIATE_TEST_SUITE_P(BootLoader, IspEchoFormTest, ::testing::Values(IspEcho::Line, IspEcho::Character),
                         [](const auto& info) {
                             return info.param == IspEcho::Line ? "LineEcho" : "CharacterEcho";
                         });

TEST_F(IspDownloadTest, SingleRecordOnTheWire) {
    startBootLoader();
    test::HexText firmware;
    firmware.data(0x0300, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}).end();
    EXPECT_EQ(0, runJob(writeFirmware(firmware.text())));

    std::vector<std::string> lines = sim->lines();
    const std::vector<std::string> handshake{"?",      "Synchronized", "25000", "U 23130",
                                             "P 0 27", "E 0 27",       "A 0"};
    ASSERT_EQ(handshake.size() + 11, lines.size()) << ::testing::PrintToString(lines);
    EXPECT_EQ(handshake, std::vector<std::string>(lines.begin(), lines.begin() + 7));
    EXPECT_EQ("W 1073745920 256", lines[7]);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(i < 5 ? 61u : 45u, lines[8 + i].size()) << "data line " << i;
    EXPECT_EQ(std::to_string(136 + 240 * 255), lines[14]);
    EXPECT_EQ("P 0 27", lines[15]);
    EXPECT_EQ("C 768 1073745920 256", lines[16]);
    EXPECT_EQ("G 0 A", lines[17]);
    EXPECT_EQ(1, sim->checksumLines());
    std::vector<std::uint8_t> flash = sim->flash();
    EXPECT_EQ(16, flash[0x030F]);
    EXPECT_EQ(0xFF, flash[0x0310]);
}

TEST_F(IspDownloadTest, BlockSizesOnTheWire) {
    struct Case {
        const char* name;
        std::size_t bytes;
        std::string write;
        int dataLines;
        int checksumLines;
    };
    const Case cases[] = {
        {"Exactly256", 256, "W 1073745920 512", 12, 1},
        {"Exactly512", 512, "W 1073745920 1024", 23, 2},
        {"Exactly1024", 1024, "W 1073745920 4096", 92, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        startBootLoader();
        test::HexText firmware;
        firmware.fill(0x0000, c.bytes, 16).end();
        window.setText("");
        EXPECT_EQ(0, runJob(writeFirmware(firmware.text())));
        const std::vector<std::string> lines = sim->lines();
        ASSERT_GT(lines.size(), 8u);
        EXPECT_EQ(c.write, lines[7]);
        EXPECT_EQ(static_cast<std::size_t>(7 + 1 + c.dataLines + c.checksumLines + 3), lines.size());
        EXPECT_EQ(c.checksumLines, sim->checksumLines());
        EXPECT_EQ(test::expectedIspFlash(firmware), sim->flash());
    }
}

struct FaultCase {
    const char* name;
    tools::LpcIspFaults faults;
    std::int32_t word;
    std::string tail;      // the window's end
    const char* notShown;  // a line that must not appear
    bool goAnswered;       // the boot loader answered "G 0 A"
};

class IspFaultTest : public IspDownloadTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(IspFaultTest, EndsWithTheReportAndStillStartsTheCode) {
    const FaultCase& c = GetParam();
    startBootLoader();
    sim->setFaults(c.faults);
    EXPECT_EQ(c.word, runJob(writeFirmware(ordinaryFirmware().text())));
    const std::string text = window.text();
    EXPECT_TRUE(text.ends_with(c.tail)) << text;
    EXPECT_FALSE(contains(text, c.notShown)) << text;
    EXPECT_FALSE(contains(text, output::kSuccessLine));
    EXPECT_TRUE(sim->received().ends_with("G 0 A\r\n")) << "G 0 A is sent after any failure";
    EXPECT_EQ(c.goAnswered ? 1 : 0, sim->goCount());
}

const FaultCase kFaultCases[] = {
    {"NoAnswerToSynchronisation",
     {.silentToSync = true},
     kTimeout,
     "Sending Synchronisation Character 0x3F\r\nFehler: Zeitüberschreitung\r\n",
     "Sending Synchronisation Confimation",
     false},
    // A boot loader that stays locked refuses G 0 A as well; the LF behind its two-digit answer is shown
    // last.
    {"UnlockRefused",
     {.failCommand = 'U', .failCode = 16},
     kErrorByte,
     "Unlock\r\nFehler: Bestätigungsfehler\r\n\n",
     "Prepare Flash Erase",
     false},
    // After RESEND the boot loader waits for the lines again and takes G 0 A for one: it does not answer.
    {"ResendForAChecksumLine",
     {.resendAtChecksum = 3},
     kErrorByte | kTimeout,
     "Page: 0x0000\r\nFehler: Zeitüberschreitung\r\nFehler: Bestätigungsfehler\r\n",
     "Page: 0x0001",
     false},
    {"CopyRefused",
     {.failCommand = 'C', .failOccurrence = 2, .failCode = 3},
     kErrorByte,
     "Page: 0x0000\r\nFehler: Bestätigungsfehler\r\nHLX firmware started\r\n",
     "Page: 0x0001",
     true},
};

INSTANTIATE_TEST_SUITE_P(BootLoader, IspFaultTest, ::testing::ValuesIn(kFaultCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(IspDownloadTest, ResendStopsTheBlockBeforeItsCopy) {
    startBootLoader();
    sim->setFaults({.resendAtChecksum = 1});
    EXPECT_EQ(kErrorByte | kTimeout, runJob(writeFirmware(ordinaryFirmware().text())));
    const std::vector<std::string> commands = sim->commands();
    EXPECT_EQ(
        0, std::count_if(commands.begin(), commands.end(), [](const std::string& c) { return c[0] == 'C'; }));
    const std::vector<std::string> lines = sim->lines();
    EXPECT_EQ("G 0 A", lines.back()) << "nothing is sent again after RESEND";
    EXPECT_EQ(1, sim->checksumLines());
}

TEST_F(IspDownloadTest, AVanishedLineIsNeverSuccess) {
    startBootLoader();
    sim->setFaults({.hangUpAt = 'W'});
    const std::int32_t word = runJob(writeFirmware(ordinaryFirmware().text()));
    EXPECT_NE(0, word & kTimeout) << std::hex << word;
    const std::string text = window.text();
    EXPECT_TRUE(contains(text, jobs::connectionLostLine(sim->slavePath()))) << text;
    EXPECT_TRUE(contains(text, "Fehler: Zeitüberschreitung")) << text;
    EXPECT_FALSE(contains(text, output::kSuccessLine));
}

TEST_F(IspDownloadTest, FileAndPortFailures) {
    startBootLoader();
    const std::string good = writeFirmware(ordinaryFirmware().text());
    const std::string bad = writeFirmware(":0100000000FF\r\n:0100010000FE \r\n:00000001FF\r\n", "bad.hex");
    struct Case {
        const char* name;
        std::string file;
        std::optional<std::string> port;
        std::int32_t word;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        // The unanswered G 0 A (the boot loader still waits for "?") joins the report.
        {"MissingFile",
         dir.file("missing.hex"),
         {},
         kFileOpen | kTimeout,
         {"Fehler: Datei kann nicht geöffnet werden", "Fehler: Zeitüberschreitung"}},
        {"FileWithErrors",
         bad,
         {},
         kCheckFailed | kTimeout,
         {bad + " geöffnet", "Prüfe Hex File", "Fehlercode: 4", "Anzahl Fehler: 1",
          "Fehler: Zeitüberschreitung", "Fehler: Überprüfung der Datei fehlerhaft"}},
        {"MissingPort",
         good,
         dir.file("no-such-port"),
         kOpen | kConfigure,
         {good + " geöffnet", "Prüfe Hex File", "Anzahl Fehler: 0",
          "Fehler: COM-Parameter konnten nicht gesetzt werden",
          "Fehler: COM Port konnte nicht geöffnet werden"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim->clear();
        window.setText("");
        EXPECT_EQ(c.word, runJob(c.file, c.port));
        EXPECT_EQ(test::joinLines(c.lines), window.text());
        EXPECT_EQ(c.port ? "" : "G 0 A\r\n", sim->received()) << "nothing but G 0 A is sent";
    }
}

TEST_F(IspDownloadTest, PacedAtTheLineRate) {
    startBootLoader(IspEcho::Character, -1);  // paced at the 115200 baud the job sets on the line
    test::HexText firmware;
    firmware.page(0).fill(0x0000, 0x1800, 32).end();
    EXPECT_EQ(0, runJob(writeFirmware(firmware.text())));
    EXPECT_EQ(test::expectedIspFlash(firmware), sim->flash());
}

// The window's "Update (Bootloader)": the same job started by the main window's logic, with the
// selected COM settings entry ignored during the job and applied again at its end.
TEST_F(IspDownloadTest, UpdateBootloaderFromTheWindow) {
    startBootLoader(IspEcho::Character);
    const test::HexText firmware = ordinaryFirmware();
    test::FakeMainWindowView windowView;
    app::SettingsStore store(dir.file("RTQ1.0.reg"));
    serial::SerialPort windowPort(std::make_unique<serial::PosixSerialDevice>());
    app::MainWindowLogic logic(windowView, windowPort, store);
    windowView.edits[app::Edit::ComNr] = sim->slavePath();
    windowView.edits[app::Edit::FirmwareFileBootLoader] = writeFirmware(firmware.text());
    logic.construct();
    windowView.comIndex = 3;  // 9600,8,E,1: not what the boot loader job talks at
    logic.startJob(jobs::JobKind::BootLoader);
    logic.jobSlot().wait();

    EXPECT_EQ(jobs::JobState::Finished, logic.jobSlot().state());
    EXPECT_TRUE(windowView.window.text().ends_with("Datei fehlerfrei übertragen\r\nHLX firmware started\r\n"))
        << windowView.window.text();
    EXPECT_EQ(test::expectedIspFlash(firmware), sim->flash());
    EXPECT_EQ(serial::comSettings(3), windowPort.state().settings);
    EXPECT_EQ((std::vector<bool>{false, true}), windowView.idlePollSwitches());
    logic.close();
}

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string lastErrorLine;
};

class IspCliTest : public IspDownloadTest {
protected:
    CliRun runCli(const std::string& file, const std::string& options) {
        const std::string out = dir.file("stdout.txt");
        const std::string err = dir.file("stderr.txt");
        const std::string command = std::string("'") + HLX_CLI_PATH + "' flash isp '" + file + "' --port '" +
                                    sim->slavePath() + "' " + options + " >'" + out + "' 2>'" + err + "'";
        const int status = std::system(command.c_str());
        CliRun run;
        if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
        run.out = test::readFile(out);
        std::string errors = test::readFile(err);
        while (!errors.empty() && errors.back() == '\n') errors.pop_back();
        run.lastErrorLine =
            errors.substr(errors.rfind('\n') == std::string::npos ? 0 : errors.rfind('\n') + 1);
        return run;
    }
};

TEST_F(IspCliTest, FlashesAndVerifies) {
    startBootLoader();
    const test::HexText firmware = ordinaryFirmware();
    const CliRun run = runCli(writeFirmware(firmware.text()), "--verify --print-result");
    EXPECT_EQ(0, run.exitCode) << run.out;
    EXPECT_EQ("JobResult=0x0", run.lastErrorLine);
    EXPECT_TRUE(contains(run.out, "0x00000000 bis 0x0000003F nicht verglichen")) << run.out;
    EXPECT_TRUE(contains(run.out, "Flash stimmt mit der Datei überein\nDatei fehlerfrei übertragen\n"))
        << run.out;
    EXPECT_EQ(test::expectedIspFlash(firmware), sim->flash());
}

TEST_F(IspCliTest, VerifyListsWhatDiffers) {
    startBootLoader();
    sim->setFaults({.stuckAddress = 0x1238, .garbleReadGroup = 2});
    const CliRun run = runCli(writeFirmware(ordinaryFirmware().text()), "--verify --print-result");
    EXPECT_EQ(1, run.exitCode);
    EXPECT_EQ("JobResult=0x40", run.lastErrorLine);
    EXPECT_TRUE(contains(run.out,
                         "Flash weicht ab: 0x00001238 bis 0x00001238\n"
                         "Fehler: Flash weicht an 1 Stellen von der Datei ab\n"
                         "Fehler: Bestätigungsfehler\n"))
        << run.out;
}

TEST_F(IspCliTest, WithoutVerifyNothingIsRead) {
    startBootLoader();
    const CliRun run = runCli(writeFirmware(ordinaryFirmware().text()), "");
    EXPECT_EQ(0, run.exitCode);
    const std::vector<std::string> commands = sim->commands();
    EXPECT_EQ(
        0, std::count_if(commands.begin(), commands.end(), [](const std::string& c) { return c[0] == 'R'; }));
}

TEST_F(IspCliTest, UsageErrors) {
    const std::string command =
        std::string("'") + HLX_CLI_PATH + "' flash isp '" + dir.file("x.hex") + "' 2>/dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(2, WEXITSTATUS(status)) << "no --port";
}

}  // namespace
}  // namespace hlx
