// The boot loader job from end to end: the real job frame and job on a job thread, the real serial port on a
// pseudo-terminal, and the simulated LPC boot loader on its other side. The flash the boot loader ends up
// with, the lines it received and what the output window shows are compared with the file; `hlx flash isp`
// runs against the same simulation.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>

#include "app/main_window_logic.h"
#include "app/settings_store.h"
#include "firmware/hex_image.h"
#include "firmware/isp_conversation.h"
#include "firmware/isp_download.h"
#include "jobs/job_frame.h"
#include "jobs/job_slot.h"
#include "output/job_result.h"
#include "runner/job_catalogue.h"
#include "serial/posix_serial_device.h"
#include "tests/app/fake_main_window_view.h"
#include "tests/support/contains.h"
#include "tests/support/fake_output_window.h"
#include "tests/support/hex_text.h"
#include "tests/support/isp_flash.h"
#include "tests/support/job_runner.h"
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

using hlx::test::contains;

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
        jobs::JobInputs inputs;
        inputs.comText = comText.value_or(sim ? sim->slavePath() : std::string{});
        inputs.settingsEntry = 0;
        inputs.filePath = filePath;
        const std::int32_t word = test::runJobInSlot(*runner::jobDefinition(jobs::JobKind::BootLoader),
                                                     {port, replyDeadline, log, view}, inputs);
        EXPECT_EQ((std::vector<bool>{false, true}), view.pollSwitches());
        return word;
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
    bool goSent;           // "G 0 A" was sent: only while the flash has not been erased
    bool goAnswered;       // the boot loader answered "G 0 A"
};

class IspFaultTest : public IspDownloadTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(IspFaultTest, EndsWithTheReportAndStartsTheCodeOnlyBeforeTheErase) {
    const FaultCase& c = GetParam();
    startBootLoader();
    sim->setFaults(c.faults);
    EXPECT_EQ(c.word, runJob(writeFirmware(ordinaryFirmware().text())));
    const std::string text = window.text();
    EXPECT_TRUE(text.ends_with(c.tail)) << text;
    EXPECT_FALSE(contains(text, c.notShown)) << text;
    EXPECT_FALSE(contains(text, output::kSuccessLine));
    EXPECT_EQ(c.goSent, contains(sim->received(), "G 0 A\r\n"));
    EXPECT_EQ(!c.goSent, contains(text, firmware::notStartedLine())) << text;
    EXPECT_EQ(c.goAnswered ? 1 : 0, sim->goCount());
}

const FaultCase kFaultCases[] = {
    {"NoAnswerToSynchronisation",
     {.silentToSync = true},
     kTimeout,
     "Sending Synchronisation Character 0x3F\r\nFehler: Zeitüberschreitung\r\n",
     "Sending Synchronisation Confimation",
     true,
     false},
    // A boot loader that stays locked refuses G 0 A as well; the LF behind its two-digit answer is shown
    // last.
    {"UnlockRefused",
     {.failCommand = 'U', .failCode = 16},
     kErrorByte,
     "Unlock\r\nFehler: Bestätigungsfehler\r\n\n",
     "Prepare Flash Erase",
     true,
     false},
    // After the erase, a failure leaves the flash half-written: the code is not started.
    {"ResendForAChecksumLine",
     {.resendAtChecksum = 3},
     kErrorByte,
     "Page: 0x0000\r\n" + firmware::notStartedLine() + "\r\nFehler: Bestätigungsfehler\r\n",
     "Page: 0x0001",
     false,
     false},
    {"CopyRefused",
     {.failCommand = 'C', .failOccurrence = 2, .failCode = 3},
     kErrorByte,
     "Page: 0x0000\r\n" + firmware::notStartedLine() + "\r\nFehler: Bestätigungsfehler\r\n",
     "HLX firmware started",
     false,
     false},
    // A refused erase erased nothing: the old code is started again.
    {"EraseRefused",
     {.failCommand = 'E', .failCode = 9},
     kErrorByte,
     "Flash Erase\r\nFehler: Bestätigungsfehler\r\nHLX firmware started\r\n",
     "Page: 0x0000",
     true,
     true},
};

INSTANTIATE_TEST_SUITE_P(BootLoader, IspFaultTest, ::testing::ValuesIn(kFaultCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(IspDownloadTest, ResendStopsTheBlockBeforeItsCopy) {
    startBootLoader();
    sim->setFaults({.resendAtChecksum = 1});
    EXPECT_EQ(kErrorByte, runJob(writeFirmware(ordinaryFirmware().text())));
    const std::vector<std::string> commands = sim->commands();
    EXPECT_EQ(
        0, std::count_if(commands.begin(), commands.end(), [](const std::string& c) { return c[0] == 'C'; }));
    const std::vector<std::string> lines = sim->lines();
    EXPECT_TRUE(std::all_of(lines.back().begin(), lines.back().end(), ::isdigit))
        << "nothing is sent after the checksum line that got RESEND: " << lines.back();
    EXPECT_EQ(1, sim->checksumLines());
}

// Up to the last byte below the boot block: every copy lands, and none passes 0x7DFFF.
TEST_F(IspDownloadTest, ProgramsTheWholeUserFlash) {
    struct Case {
        const char* name;
        test::HexText file;
    };
    const Case cases[] = {
        {"LastLine", test::HexText().page(0).fill(0x0000, 64).page(7).fill(0xDF00, 0x100).end()},
        {"KiBAndAQuarterAtTheEnd",
         test::HexText().page(0).fill(0x0000, 64).page(7).fill(0xD800, 0x500).end()},
        {"LastSectorsWhole", test::HexText().page(0).fill(0x0000, 64).page(7).fill(0x8000, 0x6000, 32).end()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        startBootLoader();
        window.setText("");
        EXPECT_EQ(0, runJob(writeFirmware(c.file.text())));
        for (const tools::SimCopy& copy : sim->copies()) {
            EXPECT_EQ(tools::kCmdSuccess, copy.returnCode) << "copy to " << copy.destination;
            EXPECT_LE(copy.destination + copy.size, tools::kSimFlashSize);
        }
        EXPECT_EQ(test::expectedIspFlash(c.file), sim->flash());
        EXPECT_TRUE(sim->userCodeValid());
        EXPECT_EQ(1, sim->goCount());
    }
}

// A file without vectors leaves them erased: the boot loader would not start code that is not there.
TEST_F(IspDownloadTest, VectorsArePatchedOnlyWhenTheFileHasThem) {
    startBootLoader();
    const test::HexText firmware = test::HexText().fill(0x0040, 0x100).end();
    EXPECT_EQ(0, runJob(writeFirmware(firmware.text())));
    EXPECT_EQ(test::expectedIspFlash(firmware), sim->flash());
    const std::vector<std::uint8_t> flash = sim->flash();
    EXPECT_EQ((std::vector<std::uint8_t>(32, 0xFF)),
              std::vector<std::uint8_t>(flash.begin(), flash.begin() + 32));
    EXPECT_FALSE(sim->userCodeValid());
}

// Files that cannot be programmed whole change nothing: no erase, nothing but "G 0 A".
TEST_F(IspDownloadTest, FilesThatCannotBeProgrammedEraseNothing) {
    struct Case {
        const char* name;
        std::string file;
        std::string line;
    };
    const Case cases[] = {
        {"OnlyTheEndRecord", ":00000001FF\r\n", firmware::noDataLine()},
        {"DataPastTheUserFlash", test::HexText().page(7).fill(0xDF00, 0x200).end().text(),
         firmware::outsideFlashLine(0x7E100)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        startBootLoader();
        window.setText("");
        EXPECT_EQ(kCheckFailed | kTimeout, runJob(writeFirmware(c.file)));
        EXPECT_EQ("G 0 A\r\n", sim->received());
        EXPECT_EQ(0, sim->erases());
        EXPECT_TRUE(contains(window.text(), c.line + "\r\n")) << window.text();
    }
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
    EXPECT_TRUE(logic.close());
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
                         "Flash weicht ab: 0x00001238 bis 0x00001238 (1 Byte)\n"
                         "Fehler: Flash weicht an 1 Stellen von der Datei ab\n" +
                             firmware::notStartedLine() + "\nFehler: Bestätigungsfehler\n"))
        << run.out;
    EXPECT_EQ(0, sim->goCount());
}

// A copy the boot loader acknowledged but never made reads back erased: one difference, however many of
// the file's bytes in it happen to be 0xFF.
TEST_F(IspCliTest, VerifyCountsAnUncopiedBlockOnce) {
    startBootLoader();
    sim->setFaults({.failCommand = 'C', .failOccurrence = 2, .failCode = 0});
    const test::HexText firmware = ordinaryFirmware();
    const CliRun run = runCli(writeFirmware(firmware.text()), "--verify --print-result");
    EXPECT_EQ(1, run.exitCode);
    std::size_t differing = 0;
    for (std::uint32_t at = 0x1234; at < 0x1734; ++at) differing += test::HexText::patternAt(at) != 0xFF;
    ASSERT_LT(differing, 0x500u) << "the file holds 0xFF bytes in the block";
    EXPECT_TRUE(contains(run.out, "Flash weicht ab: 0x00001234 bis 0x00001733 (" + std::to_string(differing) +
                                      " Bytes)\nFehler: Flash weicht an 1 Stellen von der Datei ab\n"))
        << run.out;
}

// hlx flash isp through the end of the user flash, and a file without data.
TEST_F(IspCliTest, ExitCodesAtTheEdgesOfTheFlash) {
    startBootLoader();
    const test::HexText end = test::HexText().page(0).fill(0x0000, 64).page(7).fill(0xD800, 0x800).end();
    CliRun run = runCli(writeFirmware(end.text()), "--print-result");
    EXPECT_EQ(0, run.exitCode) << run.out;
    EXPECT_EQ(test::expectedIspFlash(end), sim->flash());

    startBootLoader();
    run = runCli(writeFirmware(":00000001FF\r\n", "empty.hex"), "--print-result");
    EXPECT_EQ(1, run.exitCode) << run.out;
    EXPECT_TRUE(contains(run.out, firmware::noDataLine())) << run.out;
    EXPECT_EQ(0, sim->erases());
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
