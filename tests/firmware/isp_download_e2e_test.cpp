// The boot loader job from end to end: the real job frame and job on a job thread, the real serial port on a
// pseudo-terminal, and the simulated LPC boot loader on its other side. The flash the boot loader ends up
// with, the lines it received and what the output window shows are compared with the file; `hlx flash isp`
// runs against the same simulation.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <sstream>

#include "app/main_window_logic.h"
#include "app/settings_store.h"
#include "firmware/hex_image.h"
#include "firmware/isp_conversation.h"
#include "firmware/isp_download.h"
#include "firmware/isp_read.h"
#include "firmware/isp_session.h"
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
        startBootLoader(config);
    }
    void startBootLoader(const tools::LpcIspConfig& config) {
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
                         "Sending Crystal Frequency", "Unlock", "Read Part ID",
                         "Part: LPC2378 (ID 0x1700FD25), 504 KiB Flash", "Prepare Flash Erase", "Flash Erase",
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
    const std::vector<std::string> handshake{"?", "Synchronized", "25000",  "U 23130",
                                             "J", "P 0 27",       "E 0 27", "A 0"};
    ASSERT_EQ(handshake.size() + 11, lines.size()) << ::testing::PrintToString(lines);
    EXPECT_EQ(handshake, std::vector<std::string>(lines.begin(), lines.begin() + 8));
    EXPECT_EQ("W 1073745920 256", lines[8]);
    for (int i = 0; i < 6; ++i) EXPECT_EQ(i < 5 ? 61u : 45u, lines[9 + i].size()) << "data line " << i;
    EXPECT_EQ(std::to_string(136 + 240 * 255), lines[15]);
    EXPECT_EQ("P 0 27", lines[16]);
    EXPECT_EQ("C 768 1073745920 256", lines[17]);
    EXPECT_EQ("G 0 A", lines[18]);
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
        ASSERT_GT(lines.size(), 9u);
        EXPECT_EQ(c.write, lines[8]);
        EXPECT_EQ(static_cast<std::size_t>(8 + 1 + c.dataLines + c.checksumLines + 3), lines.size());
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
    std::uint32_t partId = tools::kLpc2378PartId;
};

class IspFaultTest : public IspDownloadTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(IspFaultTest, EndsWithTheReportAndStartsTheCodeOnlyBeforeTheErase) {
    const FaultCase& c = GetParam();
    startBootLoader({.baud = 0, .partId = c.partId, .onEvent = {}});
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
     "Page: 0x0000\r\n" + firmware::notStartedLine() + "\r\n" + firmware::bootLoaderStartsLine() +
         "\r\nFehler: Bestätigungsfehler\r\n",
     "Page: 0x0001",
     false,
     false},
    {"CopyRefused",
     {.failCommand = 'C', .failOccurrence = 2, .failCode = 3},
     kErrorByte,
     "Page: 0x0000\r\n" + firmware::notStartedLine() + "\r\n" + firmware::bootLoaderStartsLine() +
         "\r\nFehler: Bestätigungsfehler\r\n",
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
    // A part the job cannot program is refused before anything is erased; its old code starts again.
    {"PartOfAnotherFamily",
     {},
     kErrorByte,
     firmware::otherFamilyLine(0x26013F37) + "\r\nFehler: Bestätigungsfehler\r\nHLX firmware started\r\n",
     "Prepare Flash Erase",
     true,
     true,
     0x26013F37},
    {"UnknownPart",
     {},
     kErrorByte,
     firmware::unknownPartLine(0) + "\r\nFehler: Bestätigungsfehler\r\nHLX firmware started\r\n",
     "Prepare Flash Erase",
     true,
     true,
     0},
    {"PartWithTooLittleFlash",
     {},
     kErrorByte,
     firmware::partTooSmallLine(0x1600F902, 0x28300, 0x20000) +
         "\r\nFehler: Bestätigungsfehler\r\nHLX firmware started\r\n",
     "Prepare Flash Erase",
     true,
     true,
     0x1600F902},
    {"PartWithoutFlash",
     {},
     kErrorByte,
     firmware::partTooSmallLine(0x1600FF30, 0x28300, 0) +
         "\r\nFehler: Bestätigungsfehler\r\nHLX firmware started\r\n",
     "Prepare Flash Erase",
     true,
     true,
     0x1600FF30},
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

// Files that cannot be programmed whole never reach the boot loader: nothing is sent, nothing erased, and
// no time-out of an answer nobody asked for is reported.
struct RefusedFile {
    const char* name;
    std::optional<std::string> text;  // nothing: the file does not exist
    std::int32_t word;
    std::string line;  // a line the window shows
};

class IspRefusedFileTest : public IspDownloadTest, public ::testing::WithParamInterface<RefusedFile> {};

TEST_P(IspRefusedFileTest, SendsNothing) {
    const RefusedFile& c = GetParam();
    startBootLoader();
    const std::string path = c.text ? writeFirmware(*c.text) : dir.file("missing.hex");
    EXPECT_EQ(c.word, runJob(path));
    EXPECT_EQ("", sim->received()) << "nothing is sent to a boot loader the job never synchronised with";
    EXPECT_EQ(0, sim->erases());
    const std::string text = window.text();
    EXPECT_TRUE(contains(text, c.line + "\r\n")) << text;
    EXPECT_FALSE(contains(text, "Fehler: Zeitüberschreitung")) << text;
}

const RefusedFile kRefusedFiles[] = {
    {"Missing", std::nullopt, kFileOpen, "Fehler: Datei kann nicht geöffnet werden"},
    {"Empty", "", kCheckFailed, "Anzahl Fehler: 1"},
    {"OnlyTheEndRecord", ":00000001FF\r\n", kCheckFailed, firmware::noDataLine()},
    // The last data line is damaged (its checksum says so): the shared check refuses the file.
    {"WrongChecksumOnTheLastDataLine", ":0100000000FF\r\n:0100010000FD\r\n:00000001FF\r\n", kCheckFailed,
     "Fehlercode: 16"},
    {"RecordWithErrors", ":0100000000FF\r\n:0100010000FE \r\n:00000001FF\r\n", kCheckFailed, "Fehlercode: 4"},
    {"NotHexAtAll", "hello, world\r\n", kCheckFailed, "Fehler: Überprüfung der Datei fehlerhaft"},
    {"DataPastTheUserFlash", test::HexText().page(7).fill(0xDF00, 0x200).end().text(), kCheckFailed,
     firmware::outsideFlashLine(0x7E100)},
    {"OnlySkippedPages", test::HexText().page(0x8000).fill(0x0000, 0x100).end().text(), kCheckFailed,
     firmware::noFlashDataLine()},
};

INSTANTIATE_TEST_SUITE_P(BootLoader, IspRefusedFileTest, ::testing::ValuesIn(kRefusedFiles),
                         [](const auto& info) { return std::string(info.param.name); });

// Boot loaders that take their time, miss a "?", or are another member of the family: all are programmed
// exactly.
struct ExactCase {
    const char* name;
    tools::LpcIspConfig config;
    tools::LpcIspFaults faults;
    std::string eraseCommand;
    std::uint32_t flashEnd = tools::kSimFlashSize;  // the part's user flash; the rest is not erased
};

class IspExactTest : public IspDownloadTest, public ::testing::WithParamInterface<ExactCase> {};

TEST_P(IspExactTest, ProgramsTheFileExactly) {
    const ExactCase& c = GetParam();
    startBootLoader(c.config);
    sim->setFaults(c.faults);
    const test::HexText firmware = test::HexText().page(0).fill(0x0000, 0x1800, 32).fill(0x9000, 0x400).end();
    EXPECT_EQ(0, runJob(writeFirmware(firmware.text()))) << window.text();
    const std::vector<std::uint8_t> expected = test::expectedIspFlash(firmware);
    const std::vector<std::uint8_t> flash = sim->flash();
    EXPECT_EQ(std::vector<std::uint8_t>(expected.begin(), expected.begin() + c.flashEnd),
              std::vector<std::uint8_t>(flash.begin(), flash.begin() + c.flashEnd));
    EXPECT_TRUE(sim->userCodeValid());
    const std::vector<std::string> commands = sim->commands();
    EXPECT_NE(commands.end(), std::find(commands.begin(), commands.end(), c.eraseCommand))
        << ::testing::PrintToString(commands);
    EXPECT_EQ(1, sim->goCount());
}

const ExactCase kExactCases[] = {
    // Each answer 200 ms late: the checksum's, "P"'s and "C"'s answers each wait on a deadline of their own.
    {"AnswersLate", {.baud = -1, .answerDelay = std::chrono::milliseconds(200), .onEvent = {}}, {}, "E 0 27"},
    // 190 ms a sector: the erase of 28 sectors takes 5.3 s.
    {"EraseTakesItsTime",
     {.baud = -1, .eraseTimePerSector = std::chrono::milliseconds(190), .onEvent = {}},
     {},
     "E 0 27"},
    {"MissesTheFirstSynchronisation", {.baud = -1, .onEvent = {}}, {.missedSyncs = 1}, "E 0 27"},
    {"MissesThreeSynchronisations", {.baud = -1, .onEvent = {}}, {.missedSyncs = 3}, "E 0 27"},
    {"Lpc2478", {.baud = -1, .partId = 0x1701FF35, .onEvent = {}}, {}, "E 0 27"},
    {"Lpc2366With256KiB", {.baud = -1, .partId = 0x1600F923, .onEvent = {}}, {}, "E 0 14", 0x40000},
    {"Lpc2364With128KiB", {.baud = -1, .partId = 0x1600F902, .onEvent = {}}, {}, "E 0 10", 0x20000},
};

INSTANTIATE_TEST_SUITE_P(BootLoader, IspExactTest, ::testing::ValuesIn(kExactCases),
                         [](const auto& info) { return std::string(info.param.name); });

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
        // Nothing is sent for a refused file: no answer is missing.
        {"MissingFile", dir.file("missing.hex"), {}, kFileOpen, {"Fehler: Datei kann nicht geöffnet werden"}},
        {"FileWithErrors",
         bad,
         {},
         kCheckFailed,
         {bad + " geöffnet", "Prüfe Hex File", "Fehlercode: 4", "Anzahl Fehler: 1",
          "Fehler: Überprüfung der Datei fehlerhaft"}},
        {"MissingPort",
         good,
         dir.file("no-such-port"),
         kOpen,
         {good + " geöffnet", "Prüfe Hex File", "Anzahl Fehler: 0",
          "Fehler: COM Port konnte nicht geöffnet werden"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sim->clear();
        window.setText("");
        EXPECT_EQ(c.word, runJob(c.file, c.port));
        EXPECT_EQ(test::joinLines(c.lines), window.text());
        EXPECT_EQ("", sim->received()) << "nothing is sent";
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

// The button's context menu: the same update with a backup, kept where the technician chose.
TEST_F(IspDownloadTest, UpdateBootloaderWithBackupFromTheWindow) {
    startBootLoader();
    const std::vector<std::uint8_t> old = sim->flash();
    const test::HexText firmware = ordinaryFirmware();
    test::FakeMainWindowView windowView;
    app::SettingsStore store(dir.file("RTQ1.0.reg"));
    serial::SerialPort windowPort(std::make_unique<serial::PosixSerialDevice>());
    app::MainWindowLogic logic(windowView, windowPort, store);
    windowView.edits[app::Edit::ComNr] = sim->slavePath();
    windowView.edits[app::Edit::FirmwareFileBootLoader] = writeFirmware(firmware.text());
    const std::string backup = dir.file("kept.hex");
    windowView.dialogAnswers.push_back(backup);
    logic.construct();
    logic.startBootLoaderWithBackup();
    logic.jobSlot().wait();

    EXPECT_TRUE(windowView.window.text().ends_with("Datei fehlerfrei übertragen\r\nHLX firmware started\r\n"))
        << windowView.window.text();
    EXPECT_EQ(test::expectedIspFlash(firmware), sim->flash());
    const std::string saved = test::readFile(backup);
    ASSERT_FALSE(saved.empty());
    EXPECT_TRUE(saved.ends_with(":00000001FF\r\n"));
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
                             firmware::notStartedLine() + "\n" + firmware::bootLoaderStartsLine() +
                             "\nFehler: Bestätigungsfehler\n"))
        << run.out;
    EXPECT_EQ(0, sim->goCount());
}

// A copy the boot loader acknowledged but never made reads back erased: one difference, however many of
// the file's bytes in it happen to be 0xFF.
TEST_F(IspCliTest, VerifyCountsAnUncopiedBlockOnce) {
    startBootLoader();
    // The first copy: the one at 0, which holds the vector table, comes last.
    sim->setFaults({.failCommand = 'C', .failOccurrence = 1, .failCode = 0});
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

// The bytes of an Intel HEX text by address (data and extended linear address records only).
std::map<std::uint32_t, std::uint8_t> parseHex(const std::string& text) {
    std::map<std::uint32_t, std::uint8_t> bytes;
    std::uint32_t upper = 0;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.size() < 11 || line[0] != ':') continue;
        auto byteAt = [&](std::size_t i) {
            return static_cast<std::uint8_t>(std::stoul(line.substr(1 + 2 * i, 2), nullptr, 16));
        };
        const std::size_t count = byteAt(0);
        const std::uint32_t offset = static_cast<std::uint32_t>(byteAt(1) << 8 | byteAt(2));
        const std::uint8_t type = byteAt(3);
        if (type == 4) upper = static_cast<std::uint32_t>(byteAt(4) << 8 | byteAt(5)) << 16;
        if (type == 0)
            for (std::size_t i = 0; i < count; ++i)
                bytes[upper + offset + static_cast<std::uint32_t>(i)] = byteAt(4 + i);
    }
    return bytes;
}

// The flash bytes from begin to end, as a map like parseHex gives.
std::map<std::uint32_t, std::uint8_t> flashBytes(const std::vector<std::uint8_t>& flash, std::uint32_t begin,
                                                 std::uint32_t end) {
    std::map<std::uint32_t, std::uint8_t> bytes;
    for (std::uint32_t at = begin; at < end; ++at) bytes[at] = flash[at];
    return bytes;
}

// The backup holds every sector the update erases, read before the erase, and flashing it restores them
// (all but the boot loader's own vectors at 0x00..0x3F, which cannot be read and stay erased).
TEST_F(IspCliTest, BackupBeforeTheUpdateRestoresTheSectors) {
    startBootLoader();
    const std::vector<std::uint8_t> old = sim->flash();
    const std::string backup = dir.file("old.hex");
    const test::HexText firmware = ordinaryFirmware();
    CliRun run = runCli(writeFirmware(firmware.text()), "--backup '" + backup + "' --print-result");
    EXPECT_EQ(0, run.exitCode) << run.out;
    EXPECT_EQ(test::expectedIspFlash(firmware), sim->flash());
    EXPECT_TRUE(contains(run.out, firmware::bootVectorsLeftOutLine())) << run.out;
    const std::vector<std::string> commands = sim->commands();
    const auto erase = std::find(commands.begin(), commands.end(), "E 0 27");
    ASSERT_NE(commands.end(), erase);
    EXPECT_EQ(28, std::count_if(commands.begin(), erase, [](const std::string& c) { return c[0] == 'R'; }))
        << "every sector read before the erase";
    const std::map<std::uint32_t, std::uint8_t> saved = parseHex(test::readFile(backup));
    EXPECT_EQ(flashBytes(old, 0x40, tools::kSimFlashSize), saved);

    run = runCli(backup, "--print-result");
    EXPECT_EQ(0, run.exitCode) << run.out;
    const std::vector<std::uint8_t> restored = sim->flash();
    EXPECT_EQ(flashBytes(old, 0x40, tools::kSimFlashSize), flashBytes(restored, 0x40, tools::kSimFlashSize));
    EXPECT_EQ(flashBytes(std::vector<std::uint8_t>(0x40, 0xFF), 0, 0x40), flashBytes(restored, 0, 0x40));
}

// Without a backup nothing is erased: a protected part, a file that cannot be written.
TEST_F(IspCliTest, NoBackupNoErase) {
    struct Case {
        const char* name;
        int crp;
        std::string backup;
        std::string line;
    };
    const Case cases[] = {
        {"ReadProtectedPart", 1, dir.file("old.hex"), firmware::readProtectedLine()},
        {"BackupCannotBeWritten", 0, dir.file("no-such-folder/old.hex"),
         "Fehler: " + dir.file("no-such-folder/old.hex") + " nicht geschrieben"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        startBootLoader({.baud = 0, .crp = c.crp, .onEvent = {}});
        const CliRun run = runCli(writeFirmware(ordinaryFirmware().text()), "--backup '" + c.backup + "'");
        EXPECT_EQ(1, run.exitCode) << run.out;
        EXPECT_TRUE(contains(run.out, c.line)) << run.out;
        EXPECT_EQ(0, sim->erases());
        EXPECT_FALSE(std::filesystem::exists(c.backup));
        EXPECT_EQ(1, sim->goCount()) << "the old code is started again";
        const std::vector<std::string> commands = sim->commands();
        EXPECT_EQ(c.crp == 0 ? 0 : 1, std::count_if(commands.begin(), commands.end(),
                                                    [](const std::string& x) { return x[0] == 'R'; }))
            << "a folder that takes no file is found before anything is read";
    }
}

CliRun runHlx(const test::TempDir& dir, const std::string& arguments) {
    const std::string out = dir.file("stdout.txt");
    const std::string command = std::string("'") + HLX_CLI_PATH + "' " + arguments + " >'" + out + "' 2>&1";
    const int status = std::system(command.c_str());
    CliRun run;
    if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
    run.out = test::readFile(out);
    return run;
}

TEST_F(IspCliTest, ReadsTheFlash) {
    struct Case {
        const char* name;
        std::string options;
        std::uint32_t begin;
        std::uint32_t end;
        int simBaud;  // 0: not paced, -1: paced at the line's rate
    };
    const Case cases[] = {
        {"AllOfIt", "", 0x40, tools::kSimFlashSize, 0},
        {"APart", "--start 0x1000 --length 0x2000", 0x1000, 0x3000, -1},
        {"AtAnotherRate", "--start 0x9000 --length 4096 --isp-baud 230400", 0x9000, 0xA000, -1},
        {"AtTheSlowestRate", "--start 0x7D000 --length 1024 --isp-baud 9600", 0x7D000, 0x7D400, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        startBootLoader(IspEcho::Line, c.simBaud);
        const std::string out = dir.file("read.hex");
        const CliRun run =
            runHlx(dir, "isp-read '" + out + "' --port '" + sim->slavePath() + "' " + c.options);
        EXPECT_EQ(0, run.exitCode) << run.out;
        EXPECT_EQ(flashBytes(sim->flash(), c.begin, c.end), parseHex(test::readFile(out)));
        EXPECT_EQ(0, sim->erases());
    }
}

TEST_F(IspCliTest, AReadProtectedPartSaysSo) {
    startBootLoader({.baud = 0, .crp = 2, .onEvent = {}});
    const CliRun run =
        runHlx(dir, "isp-read '" + dir.file("read.hex") + "' --port '" + sim->slavePath() + "'");
    EXPECT_EQ(1, run.exitCode) << run.out;
    EXPECT_TRUE(contains(run.out, firmware::readProtectedLine())) << run.out;
    EXPECT_FALSE(std::filesystem::exists(dir.file("read.hex")));
}

TEST_F(IspCliTest, ReadingRefusesWhatItCannotRead) {
    struct Case {
        const char* name;
        std::uint32_t partId;
        std::string options;
        std::string line;
    };
    const Case cases[] = {
        {"PastTheUserFlash", tools::kLpc2378PartId, "--start 0x7E000 --length 4",
         "Fehler: 0x0007E000 bis 0x0007E003 liegt nicht im Flash des LPC2378 (ID 0x1700FD25) (bis "
         "0x0007DFFF)"},
        {"PartOfAnotherFamily", 0x26013F37, "", firmware::otherFamilyLine(0x26013F37)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        startBootLoader({.baud = 0, .partId = c.partId, .onEvent = {}});
        const std::string out = dir.file("refused.hex");
        const CliRun run =
            runHlx(dir, "isp-read '" + out + "' --port '" + sim->slavePath() + "' " + c.options);
        EXPECT_EQ(1, run.exitCode) << run.out;
        EXPECT_TRUE(contains(run.out, c.line)) << run.out;
        EXPECT_FALSE(std::filesystem::exists(out));
    }
}

TEST_F(IspCliTest, TellsThePart) {
    startBootLoader();
    const CliRun run = runHlx(dir, "isp-info --port '" + sim->slavePath() + "'");
    EXPECT_EQ(0, run.exitCode) << run.out;
    EXPECT_TRUE(contains(run.out,
                         "Part: LPC2378 (ID 0x1700FD25), 504 KiB Flash\nBoot code version: 8.1\n"
                         "Serial number: 2378A001 4C5C1E07 00000F1B 15050C33\n"))
        << run.out;
}

TEST_F(IspCliTest, UsageErrors) {
    const std::string file = writeFirmware(ordinaryFirmware().text());
    const std::pair<const char*, std::string> cases[] = {
        {"NoPort", ""},
        {"EmptyRate", "--port /dev/null --isp-baud ''"},
        {"RateTheBootLoaderDoesNotTake", "--port /dev/null --isp-baud 14400"},
        {"RateNotANumber", "--port /dev/null --isp-baud fast"},
    };
    for (const auto& [name, options] : cases) {
        SCOPED_TRACE(name);
        const std::string command =
            std::string("'") + HLX_CLI_PATH + "' flash isp '" + file + "' " + options + " 2>/dev/null";
        const int status = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(2, WEXITSTATUS(status));
    }
}

}  // namespace
}  // namespace hlx
