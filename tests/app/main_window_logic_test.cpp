#include "app/main_window_logic.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <regex>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include "serial/posix_serial_device.h"
#include "terminal/terminal_io.h"
#include "tests/app/fake_main_window_view.h"
#include "tests/support/fake_clock.h"
#include "tests/support/fake_port_watcher.h"
#include "tests/support/faulty_file_system.h"
#include "tests/support/pty.h"
#include "tests/support/recording_view.h"
#include "tests/support/report_schema.h"
#include "tests/support/temp_dir.h"

namespace hlx::app {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

int count(const std::string& text, const std::string& part) {
    int n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

class MainWindowLogicTest : public ::testing::Test {
protected:
    // Every job leaves its record in the job log: kept in the test's folder, not the user's.
    MainWindowLogicTest() {
        if (const char* state = std::getenv("XDG_STATE_HOME")) m_savedState = state;
        ::setenv("XDG_STATE_HOME", dir.file("state").c_str(), 1);
    }
    ~MainWindowLogicTest() override {
        if (m_savedState)
            ::setenv("XDG_STATE_HOME", m_savedState->c_str(), 1);
        else
            ::unsetenv("XDG_STATE_HOME");
    }
    std::string jobLog() const { return dir.file("state/QUENDAL/hlx-jobs.jsonl"); }

    std::optional<std::string> m_savedState;
    test::TempDir dir;
    test::FakeMainWindowView view;
    serial::SerialPort port{std::make_unique<serial::PosixSerialDevice>()};
    SettingsStore store{dir.file("RTQ1.0.reg")};
    MainWindowLogic logic{view, port, store};
};

// A port that cannot be opened has that failure alone: no settings were tried on it.
TEST_F(MainWindowLogicTest, MissingPortAtStartGivesItsErrorLineAlone) {
    view.edits[Edit::ComNr] = "/dev/hlx-no-such-port";
    logic.construct();
    EXPECT_EQ(
        "Output & Terminal Window\r\n"
        "Fehler: COM Port konnte nicht geöffnet werden\r\n",
        view.window.text());
    ASSERT_FALSE(view.portStates.empty());
    EXPECT_TRUE(view.portStates.back().status.isNotFound()) << view.portStates.back().status;
    EXPECT_NE(std::string::npos, view.portStates.back().status.message().find("No such file"));
    EXPECT_EQ(jobs::JobState::Idle, logic.jobSlot().state());
    EXPECT_EQ(1, logic.jobSlot().parameter());
}

TEST_F(MainWindowLogicTest, OpenPortReportsNothing) {
    test::PseudoTerminal pty;
    view.edits[Edit::ComNr] = pty.slavePath();
    logic.construct();
    EXPECT_EQ("Output & Terminal Window\r\n", view.window.text());
    EXPECT_EQ(view.window.length(), view.window.selectionStart()) << "the terminal starts at the end";
    EXPECT_TRUE(view.portStates.back().open);
    EXPECT_EQ(serial::kFallbackSettings, view.portStates.back().settings);
}

// Cancel (and a close while the chooser is open, which saves what the field holds) keeps the old path.
TEST_F(MainWindowLogicTest, HexChooserTakesOnlyAnExistingConfirmedFileAndKeepsTheOldPathOtherwise) {
    const std::string existing = dir.file("firmware.hex");
    test::writeFile(existing, ":00000001FF\r\n");
    struct Case {
        const char* name;
        std::optional<std::string> answer;
        std::string expected;
    } cases[] = {
        {"Cancelled", std::nullopt, "old.hex"},
        {"Missing", dir.file("gone.hex"), "old.hex"},
        {"Existing", existing, existing},
    };
    for (const Edit edit : {Edit::FirmwareFile, Edit::FirmwareFileRealterm, Edit::FirmwareFileBootLoader}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " in edit " + std::to_string(static_cast<int>(edit)));
            view.edits[edit] = "old.hex";
            view.dialogAnswers.push_back(c.answer);
            logic.chooseHexFile(edit);
            EXPECT_EQ("old.hex", view.editsWhileDialogOpen[edit]) << "the field keeps its path meanwhile";
            EXPECT_EQ(c.expected, view.edits[edit]);
            EXPECT_EQ("HEX-Files (*.HEX)|*.HEX", view.filters.back());
        }
    }
}

TEST_F(MainWindowLogicTest, EnterFillsAnEmptyFirmwareFieldOnly) {
    view.edits[Edit::FirmwareFile] = "/fw/main.hex";
    view.edits[Edit::FirmwareFileRealterm] = "";
    logic.enterInFirmwareField(Edit::FirmwareFileRealterm);
    EXPECT_EQ("/fw/main.hex", view.edits[Edit::FirmwareFileRealterm]);
    view.edits[Edit::FirmwareFileBootLoader] = "/fw/boot.hex";
    logic.enterInFirmwareField(Edit::FirmwareFileBootLoader);
    EXPECT_EQ("/fw/boot.hex", view.edits[Edit::FirmwareFileBootLoader]);
}

TEST_F(MainWindowLogicTest, PictureClickConvertsAConfirmedExistingBitmap) {
    const std::string source = dir.file("logo.bmp");
    test::writeFile(source, "BM");  // the fake picture control supplies the picture itself
    view.picture.source = test::MemoryBitmap(2, 1, {255, 255, 255});
    view.window.setText("");
    for (const std::optional<std::string>& answer :
         {std::optional<std::string>{}, std::optional{dir.file("gone.bmp")}}) {
        view.dialogAnswers.push_back(answer);
        logic.convertPicture();
        EXPECT_EQ("Bitmap (*.BMP)|*.BMP", view.filters.back());
        EXPECT_EQ("", view.window.text());
    }

    view.dialogAnswers.push_back(source);
    logic.convertPicture();
    logic.waitForConversion();  // it runs off the GUI thread
    const std::string stem = dir.file("vxc_logo");
    EXPECT_EQ("Komprimiere logo\r\nErzeuge: " + stem + ".c\r\nErzeuge: " + stem + ".vxc\r\nErzeuge: " + stem +
                  ".bmp\r\n",
              view.window.text());
    EXPECT_EQ(std::string("\x0f\0\0\0\x80VXP1\x02\0\x01\0\0\0\x82\xff\xff\x01", 19),
              test::readFile(stem + ".vxc"));
    ASSERT_EQ(1u, view.picture.saved.count(stem + ".bmp"));
    EXPECT_EQ((std::vector<imaging::Rgb>{{248, 252, 248}, {248, 252, 248}}),
              view.picture.saved.at(stem + ".bmp").pixels());
    EXPECT_EQ((std::vector<std::string>{source, stem + ".bmp"}), view.picture.shown);
    EXPECT_EQ((std::vector<int>{0, 0}), view.progressValues());
    EXPECT_TRUE(view.errors.empty());
}

TEST_F(MainWindowLogicTest, PictureClickShowsTheLoadersReportInTheErrorDialog) {
    const std::string source = dir.file("logo.bmp");
    test::writeFile(source, "BM");
    view.picture.loadError = source + ": BMP-Datei abgeschnitten (Kopf unvollständig)";
    view.window.setText("");
    view.dialogAnswers.push_back(source);
    logic.convertPicture();
    logic.waitForConversion();
    EXPECT_EQ(std::vector<std::string>{view.picture.loadError}, view.errors);
    EXPECT_EQ("", view.window.text());
    EXPECT_TRUE(view.picture.shown.empty());
}

// The terminal over a real pseudo-terminal: the test plays the monitor. The idle poll's quiet time runs on
// a fake clock, so the test moves it on instead of sleeping.
class TerminalTest : public ::testing::Test {
protected:
    test::TempDir dir;
    test::FakeMainWindowView view;
    test::FakeClock clock;
    serial::SerialPort port{std::make_unique<serial::PosixSerialDevice>()};
    SettingsStore store{dir.file("RTQ1.0.reg")};
    MainWindowLogic logic{view, port, store, clock};

    void SetUp() override {
        view.edits[Edit::ComNr] = pty.slavePath();
        logic.construct();
        view.window.setText("");
    }
    // Types a line at the end of the text and presses Enter, as the window does it.
    void typeAndEnter(const std::string& line) {
        view.window.append(line);
        view.window.setSelection(view.window.length(), 0);
        logic.terminalEnter();
        view.window.append("\r\n");
        view.window.setSelection(view.window.length(), 0);
    }
    // The idle poll's ticks as the window's timer runs them: one that collects what has arrived, then one
    // after the quiet time that shows it.
    void showWhatArrives() {
        port.waitReadable(1000ms);
        logic.idlePoll();
        clock.advance(terminal::kQuietTime);
        logic.idlePoll();
    }
    test::PseudoTerminal pty;
};

TEST_F(TerminalTest, ReplyLandsBetweenCrAndLfAfterASpace) {
    typeAndEnter("ver?");
    EXPECT_EQ("ver?\r\n", pty.receive(6));
    pty.send("OK\r\n");
    showWhatArrives();
    EXPECT_EQ("ver?\r OK\r\n\n", view.window.text());
    EXPECT_EQ(view.window.length(), view.window.selectionStart());
}

TEST_F(TerminalTest, CaretInsideTheTextMovesByTheReplyLengthPlusTwo) {
    view.window.setText("abcdef");
    view.window.setSelection(3, 0);
    pty.send("XY");
    showWhatArrives();
    EXPECT_EQ("ab XYcdef", view.window.text());
    EXPECT_EQ(3 + 2 + 2, view.window.selectionStart());
}

TEST_F(TerminalTest, BurstIsShownOnceTheLineHasBeenQuiet) {
    pty.send("A");
    port.waitReadable(1000ms);
    logic.idlePoll();
    EXPECT_EQ("", view.window.text()) << "the burst may go on";
    clock.advance(50ms);
    pty.send("B");
    port.waitReadable(1000ms);
    logic.idlePoll();
    clock.advance(99ms);
    logic.idlePoll();
    EXPECT_EQ("", view.window.text());
    EXPECT_EQ(1ms, logic.idlePollDueIn());
    clock.advance(1ms);
    logic.idlePoll();
    EXPECT_EQ(" AB", view.window.text());
    EXPECT_EQ(std::nullopt, logic.idlePollDueIn());
}

TEST_F(TerminalTest, AStreamThatNeverPausesIsShownEverySecondWithNothingLost) {
    std::string sent;
    for (int i = 0; i < 25; ++i) {  // a byte every 50 ms for 1.25 s
        const std::string byte(1, static_cast<char>('a' + i));
        pty.send(byte);
        sent += byte;
        port.waitReadable(1000ms);
        logic.idlePoll();
        clock.advance(50ms);
    }
    EXPECT_EQ(" " + sent.substr(0, 21), view.window.text()) << "shown after one second of collecting";
    clock.advance(100ms);
    logic.idlePoll();
    // The rest goes in one character before the caret, as every burst does: nothing is lost.
    EXPECT_EQ(" " + sent.substr(0, 20) + " " + sent.substr(21) + sent[20], view.window.text());
}

TEST_F(TerminalTest, OnlyLinesWithACommandCharacterAreSent) {
    struct Case {
        const char* line;
        const char* wire;  // what the monitor receives, empty: nothing
        bool picture;
    } cases[] = {
        {"hello", "", false},
        {"hello?", "hello?\r\n", false},
        {"set=1", "set=1\r\n", false},
        {"go!", "go!\r\n", false},
        {"a_b", "a_b\r\n", false},
        {"Bilder", "", true},
        {"Bilder?", "Bilder?\r\n", true},
        {"bilder", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        view.pictureShown = false;
        typeAndEnter(c.line);
        EXPECT_EQ(c.wire, pty.receive(1, 100ms));
        EXPECT_EQ(c.picture, view.pictureShown);
    }
}

TEST_F(TerminalTest, EnterOnAnEarlierLineSendsThatLine) {
    view.window.setText("first?\r\nsecond?\r\n");
    view.window.setSelection(3, 0);
    logic.terminalEnter();
    EXPECT_EQ("first?\r\n", pty.receive(8));
}

// The flow state lives in the terminal's link between calls and every reader keeps it: an Enter while the
// monitor holds XOFF says so in the window, and once the idle poll has read the XON the next line goes.
TEST_F(TerminalTest, AnEnterDuringXoffSaysSoAndTheXonTheIdlePollReadsReleasesTheNext) {
    pty.send({serial::kXoff});
    showWhatArrives();
    typeAndEnter("ver?");
    EXPECT_EQ("", pty.receive(1, 100ms));
    EXPECT_EQ("ver?\r\n" + std::string(terminal::notSentLine(serial::SendOutcome::FlowHeld)) + "\r\n",
              view.window.text());

    pty.send({serial::kXon});
    showWhatArrives();
    typeAndEnter("ver?");
    EXPECT_EQ("ver?\r\n", pty.receive(6));
    EXPECT_EQ(1, count(view.window.text(), "nicht gesendet")) << "flow control bytes are not shown as text";
}

// A command line typed while the port is not open does not go out silently either.
TEST_F(TerminalTest, AnEnterOnAClosedPortSaysSo) {
    port.close();
    typeAndEnter("ver?");
    EXPECT_EQ("ver?\r\n" + std::string(terminal::notSentLine(serial::SendOutcome::NotOpen)) + "\r\n",
              view.window.text());
}

TEST_F(TerminalTest, NothingIsSentWhileAJobRuns) {
    std::atomic<bool> release{false};
    ASSERT_TRUE(logic.jobSlot().start([&](std::stop_token stop) {
        while (!release && !stop.stop_requested()) std::this_thread::sleep_for(5ms);
        logic.jobSlot().markFinished();
    }));
    typeAndEnter("ver?");
    EXPECT_EQ("", pty.receive(1, 100ms));
    release = true;
    logic.jobSlot().wait();
}

TEST_F(MainWindowLogicTest, ClosingDuringALongWaitReturnsPromptlyAndSavesTheSettings) {
    test::PseudoTerminal silentMonitor;
    const std::string firmware = dir.file("fw.hex");
    test::writeFile(firmware, ":0400000001020304F2\r\n:00000001FF\r\n");
    view.edits[Edit::ComNr] = silentMonitor.slavePath();
    view.edits[Edit::FirmwareFileRealterm] = firmware;
    logic.construct();
    logic.startJob(jobs::JobKind::RealtermDownload);  // waits up to 5 s for the answer to its command
    std::this_thread::sleep_for(300ms);
    ASSERT_EQ(jobs::JobState::Running, logic.jobSlot().state()) << view.window.text();
    const auto start = Clock::now();
    EXPECT_TRUE(logic.close());
    EXPECT_LT(Clock::now() - start, 500ms);
    EXPECT_TRUE(view.released);
    EXPECT_EQ(jobs::JobState::Idle, logic.jobSlot().state());
    SettingsValues saved;
    store.load(saved);
    EXPECT_EQ(firmware, saved.firmwareFileRealterm);
    EXPECT_EQ(silentMonitor.slavePath(), saved.comNumber);
}

TEST_F(MainWindowLogicTest, LoadTerminalTakesALongLineAndRefusesAFileAboveTheLimit) {
    view.edits[Edit::ComNr] = "/dev/hlx-no-such-port";
    logic.construct();
    const std::string oneLine = dir.file("one-line.txt");
    test::writeFile(oneLine, std::string(1 << 20, 'x'));
    view.dialogAnswers.push_back(oneLine);
    logic.loadTerminal();
    EXPECT_EQ(std::size_t{1} << 20, view.window.text().size());

    const std::string big = dir.file("big.txt");
    test::writeFile(big, std::string(base::kTerminalFileLimit + 1, 'y'));
    view.dialogAnswers.push_back(big);
    logic.loadTerminal();
    ASSERT_EQ(1u, view.errors.size());
    EXPECT_EQ(big + ": too large for the terminal window (2097153 bytes, at most 2097152)", view.errors[0]);
    EXPECT_EQ(std::size_t{1} << 20, view.window.text().size()) << "the window keeps its text";

    const std::string fifo = dir.file("fifo.txt");
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
    view.dialogAnswers.push_back(fifo);
    logic.loadTerminal();  // returns at once: nothing is read from a FIFO
}

TEST_F(MainWindowLogicTest, ASettingsSaveThatFailsAtCloseIsReported) {
    test::writeFile(dir.file("not-a-folder"), "");
    SettingsStore unwritable(dir.file("not-a-folder/QUENDAL/RTQ1.0.reg"));
    MainWindowLogic closing(view, port, unwritable);
    view.edits[Edit::ComNr] = "/dev/hlx-no-such-port";
    closing.construct();
    const base::Status saved = closing.close();
    ASSERT_FALSE(saved);
    EXPECT_NE(std::string::npos, saved.message().find("not-a-folder")) << saved.message();
}

// Save Terminal over a file that is there: whatever step of the write fails, the technician reads why and
// the old file is as it was. Runs as root too: the folder refuses new files through the file system.
TEST_F(MainWindowLogicTest, SaveTerminalThatFailsSaysWhyAndKeepsTheOldFile) {
    test::FaultyFileSystem files;
    MainWindowLogic saving(view, port, store, base::systemClock(), files);
    view.edits[Edit::ComNr] = "/dev/hlx-no-such-port";
    saving.construct();
    const std::string path = dir.file("terminal.txt");
    test::writeFile(path, "old terminal text\r\n");
    view.window.setText("new terminal text, longer than the old one\r\n");
    const struct {
        const char* name;
        void (*breakIt)(test::FaultyFileSystem&, const std::string& folder);
        std::string reason;
    } cases[] = {
        {"DiskFull", [](test::FaultyFileSystem& f, const std::string&) { f.failWritesAfter(8, ENOSPC); },
         "No space left on device"},
        {"FsyncFails",
         [](test::FaultyFileSystem& f, const std::string&) { f.fail(test::FileStep::Sync, EIO); },
         "Input/output error"},
        {"ReadOnlyFolder",
         [](test::FaultyFileSystem& f, const std::string& folder) { f.makeReadOnly(folder); },
         "Permission denied"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        view.errors.clear();
        files.heal();
        c.breakIt(files, dir.path());
        view.dialogAnswers.push_back(path);
        saving.saveTerminal();
        EXPECT_EQ(std::vector<std::string>{path + ": " + c.reason}, view.errors);
        EXPECT_EQ("old terminal text\r\n", test::readFile(path));
    }
    files.heal();
    view.errors.clear();
    view.dialogAnswers.push_back(path);
    saving.saveTerminal();
    EXPECT_TRUE(view.errors.empty());
    EXPECT_EQ("new terminal text, longer than the old one\r\n", test::readFile(path));
}

TEST_F(MainWindowLogicTest, ASecondStartWhileAJobRunsIsIgnored) {
    test::PseudoTerminal silentMonitor;
    const std::string firmware = dir.file("fw.hex");
    test::writeFile(firmware, ":00000001FF\r\n");
    view.edits[Edit::ComNr] = silentMonitor.slavePath();
    view.edits[Edit::FirmwareFile] = firmware;
    view.edits[Edit::FirmwareFileRealterm] = firmware;
    logic.construct();
    logic.startJob(jobs::JobKind::RtqDownload);
    logic.startJob(jobs::JobKind::RealtermDownload);  // ignored
    logic.jobSlot().wait();
    // Only the binary download ran: its command went out, the text download's did not.
    EXPECT_EQ(std::string::npos, silentMonitor.receive(1, 50ms).find("LoadFW?\r\n"));
    EXPECT_NE(std::string::npos, view.window.text().find("Bytes übertragen"));
    EXPECT_EQ((std::vector<bool>{false, true}), view.idlePollSwitches());
    EXPECT_EQ(jobs::JobState::Finished, logic.jobSlot().state());
}

// A failed download: the buttons that start a job are disabled while it runs and back at its end, the
// status bar shows its first failure line, and the bar stays where the job stopped.
TEST_F(MainWindowLogicTest, AJobDisablesTheJobButtonsAndLeavesItsOutcomeInTheStatusBar) {
    test::PseudoTerminal silentMonitor;
    const std::string firmware = dir.file("fw.hex");
    test::writeFile(firmware, ":0400000001020304F2\r\n:00000001FF\r\n");
    view.edits[Edit::ComNr] = silentMonitor.slavePath();
    view.edits[Edit::FirmwareFile] = firmware;
    view.jobControlsEnabled = [this] { return logic.jobControlsEnabled(); };
    logic.construct();
    EXPECT_TRUE(logic.jobControlsEnabled());
    logic.startJob(jobs::JobKind::RtqDownload);
    EXPECT_FALSE(logic.jobControlsEnabled());
    EXPECT_EQ(std::vector<bool>{false}, view.jobControlsShown()) << "disabled as the job starts";
    EXPECT_EQ(std::vector<JobStatus>{JobStatus{}}, view.jobStatuses()) << "the last outcome cleared";
    logic.jobSlot().wait();  // the monitor never answers "LoadFWRTQ?"
    EXPECT_EQ((std::vector<bool>{false, true}), view.jobControlsShown());
    EXPECT_TRUE(logic.jobControlsEnabled());
    EXPECT_EQ((std::vector<JobStatus>{{}, {JobOutcome::Failed, "Fehler: Zeitüberschreitung"}}),
              view.jobStatuses());
    EXPECT_EQ(0, view.progressValues().back()) << "stopped before any record went out";

    // A second job, refused before it starts its transfer, clears the outcome first and shows its own.
    view.edits[Edit::FirmwareFile] = dir.file("missing.hex");
    logic.startJob(jobs::JobKind::RtqDownload);
    logic.jobSlot().wait();
    const std::vector<JobStatus> statuses = view.jobStatuses();
    ASSERT_EQ(4u, statuses.size());
    EXPECT_EQ(JobStatus{}, statuses[2]);
    EXPECT_EQ((JobStatus{JobOutcome::Failed, "Fehler: Datei kann nicht geöffnet werden"}), statuses[3]);
}

TEST_F(MainWindowLogicTest, SendFileChooserTakesOnlyAnExistingConfirmedFileAndKeepsTheOldPathOtherwise) {
    const std::string existing = dir.file("logo.vxc");
    test::writeFile(existing, "VXC");
    struct Case {
        const char* name;
        std::optional<std::string> answer;
        std::string expected;
    } cases[] = {
        {"Cancelled", std::nullopt, "old.txt"},
        {"Missing", dir.file("gone.vxc"), "old.txt"},
        {"Existing", existing, existing},
    };
    for (int number : {1, 6}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + " in edit " + std::to_string(number));
            view.edits[sendFileEdit(number)] = "old.txt";
            view.dialogAnswers.push_back(c.answer);
            logic.chooseSendFile(number);
            EXPECT_EQ("old.txt", view.editsWhileDialogOpen[sendFileEdit(number)]);
            EXPECT_EQ(c.expected, view.edits[sendFileEdit(number)]);
            EXPECT_EQ("TXT (*.TXT)|*.TXT|VXC Bilddateien (*.VXC)|*.VXC|Alle (*.*)|*.*", view.filters.back());
        }
    }
}

// The send buttons with the test playing the monitor on a pseudo-terminal.
class SendButtonsTest : public MainWindowLogicTest {
protected:
    void SetUp() override {
        view.edits[Edit::ComNr] = monitor.slavePath();
        for (int number = 1; number <= 6; ++number) {
            const std::string path = dir.file("send" + std::to_string(number) + ".txt");
            test::writeFile(path, "File=" + std::to_string(number) + "\r\n");
            view.edits[sendFileEdit(number)] = path;
        }
        logic.construct();
    }
    test::PseudoTerminal monitor;
};

TEST_F(SendButtonsTest, EachButtonSendsItsOwnFile) {
    logic.startSendFile(4);
    EXPECT_EQ(4, logic.jobSlot().parameter());
    EXPECT_EQ("File=4\r\n", monitor.receive(8));
    monitor.send("OK\r\n");
    logic.jobSlot().wait();
    EXPECT_EQ(std::vector<std::string>({view.edits[Edit::SendFile4] + " geöffnet", "8 Bytes gelesen",
                                        "Übertrage Textdatei", "OK", "8 Bytes übertragen"}),
              test::splitLines(view.window.text()));
    EXPECT_EQ((std::vector<bool>{false, true}), view.idlePollSwitches());
}

TEST_F(SendButtonsTest, ASuccessfulSendShowsItsLastLineAsOutcomeAndAFullBar) {
    logic.startSendFile(2);
    EXPECT_EQ("File=2\r\n", monitor.receive(8));
    monitor.send("OK\r\n");
    logic.jobSlot().wait();
    EXPECT_EQ((JobStatus{JobOutcome::Succeeded, "8 Bytes übertragen"}), view.jobStatuses().back());
    EXPECT_EQ(100, view.progressValues().back()) << "the bar stays where the job stopped: at its end";
}

TEST_F(SendButtonsTest, EveryJobLeavesItsRecordInTheJobLog) {
    logic.startSendFile(4);
    EXPECT_EQ("File=4\r\n", monitor.receive(8));
    monitor.send("OK\r\n");
    logic.jobSlot().wait();
    const std::vector<std::string> fileJobLines = test::splitLines(view.window.text());
    view.window.setText("Version?\r\n");
    logic.startSendTerminal();
    EXPECT_EQ("Version?\r\n", monitor.receive(10));
    monitor.send("V1.3\r\n");
    logic.jobSlot().wait();
    view.edits[Edit::FirmwareFile] = dir.file("missing.hex");
    logic.startJob(jobs::JobKind::RtqDownload);
    logic.jobSlot().wait();

    EXPECT_EQ("", test::reportSchemaViolations(jobLog(), /*lines=*/true));
    std::vector<nlohmann::json> records;
    std::istringstream log(test::readFile(jobLog()));
    for (std::string line; std::getline(log, line);) records.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(3u, records.size());
    EXPECT_EQ("hlx-service-tool", records[0]["tool"]["name"]);
    EXPECT_EQ("send-file", records[0]["method"]);
    EXPECT_EQ(view.edits[Edit::SendFile4], records[0]["file"]["path"]);
    EXPECT_EQ(8, records[0]["file"]["size"]);
    const nlohmann::json& sent = records[0]["jobs"][0];
    EXPECT_EQ(monitor.slavePath(), sent["port"]);
    EXPECT_EQ(nlohmann::json(fileJobLines), sent["lines"]);
    EXPECT_EQ(8, sent["bytes_sent"]);
    EXPECT_EQ(8, sent["bytes_confirmed"]) << "the monitor answered the line";
    EXPECT_EQ(1, sent["lines_confirmed"]);
    EXPECT_TRUE(sent["success"]);

    EXPECT_EQ("send-terminal", records[1]["method"]);
    EXPECT_TRUE(records[1]["file"].is_null());
    EXPECT_EQ(nlohmann::json::parse(R"(["Version? V1.3"])"), records[1]["jobs"][0]["lines"])
        << "the lines the job added, not the text it started from";
    EXPECT_EQ(10, records[1]["jobs"][0]["bytes_confirmed"]);

    EXPECT_EQ("rtq", records[2]["method"]);
    EXPECT_TRUE(records[2]["file"].is_null())
        << "a file that could not be read; the buffer's older file is not it";
    EXPECT_EQ("file-cannot-be-opened", records[2]["jobs"][0]["failures"][0]["name"]);
    EXPECT_FALSE(records[2]["success"]);
}

// A job log that cannot be written does not fail the job, and the window says so after the job's lines.
TEST_F(SendButtonsTest, AJobLogThatCannotBeWrittenIsSaidInTheWindow) {
    test::writeFile(dir.file("state"), "");  // a file where the log's folder would be made
    logic.startSendFile(4);
    EXPECT_EQ("File=4\r\n", monitor.receive(8));
    monitor.send("OK\r\n");
    logic.jobSlot().wait();
    const std::vector<std::string> lines = test::splitLines(view.window.text());
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ("8 Bytes übertragen", lines[lines.size() - 2]);
    EXPECT_EQ(0u, lines.back().find("Fehler: Job-Protokoll nicht geschrieben (" + dir.file("state")))
        << lines.back();
    EXPECT_NE(std::string::npos, lines.back().find("Not a directory")) << lines.back();
}

TEST_F(SendButtonsTest, SendTerminalSendsTheSnapshotShownInTheMemo) {
    view.window.setText("Version?\r\n");
    logic.startSendTerminal();
    EXPECT_EQ(0, logic.jobSlot().parameter());
    EXPECT_EQ("Version?\r\n", view.txMemo);
    EXPECT_EQ("Version?\r\n", monitor.receive(10));
    // A send button during the job sets the parameter and changes nothing else.
    logic.startSendFile(3);
    EXPECT_EQ(3, logic.jobSlot().parameter());
    monitor.send("V1.3\r\n");
    logic.jobSlot().wait();
    EXPECT_EQ("Version?\r\nVersion? V1.3\r\n", view.window.text());
    EXPECT_EQ("Version?\r\n", view.txMemo) << "the memo keeps the snapshot";
    EXPECT_EQ("", monitor.receive(1, 50ms)) << "the file sender did not start";
}

// The terminal finds the monitor again: the port goes away (a hang-up, as of an unplugged adapter or a
// monitor restarting), the window waits for the same path, and opens it again once the watcher says it is
// back; a session log keeps the whole of it. The path is a symbolic link moved from one pseudo-terminal to
// the next, as /dev/serial/by-id names follow an adapter.
class ReconnectTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(0, ::symlink(first.slavePath().c_str(), link.c_str()));
        view.edits[Edit::ComNr] = link;
        logic.usePortWatcher(std::make_unique<test::FakePortWatcher>(watcher));
        logic.construct();
        view.window.setText("");
    }
    void moveLink(const test::PseudoTerminal& to) {
        ::unlink(link.c_str());  // gone already when the device went
        ASSERT_EQ(0, ::symlink(to.slavePath().c_str(), link.c_str()));
    }
    void typeAndEnter(const std::string& line) {
        view.window.append(line);
        view.window.setSelection(view.window.length(), 0);
        logic.terminalEnter();
        view.window.append("\r\n");
        view.window.setSelection(view.window.length(), 0);
    }
    void showWhatArrives() {
        port.waitReadable(1000ms);
        logic.idlePoll();
        clock.advance(terminal::kQuietTime);
        logic.idlePoll();
    }

    test::TempDir dir;
    std::string link = dir.file("monitor");
    test::PseudoTerminal first;
    test::FakePortWatcher::State watcher;
    test::FakeMainWindowView view;
    test::FakeClock clock;
    serial::SerialPort port{std::make_unique<serial::PosixSerialDevice>()};
    SettingsStore store{dir.file("RTQ1.0.reg")};
    MainWindowLogic logic{view, port, store, clock};
};

TEST_F(ReconnectTest, APortThatGoesAwayIsOpenedAgainWhenTheSameDeviceIsBack) {
    const std::string logPath = dir.file("session.log");
    view.dialogAnswers.push_back(logPath);
    logic.startSessionLog();
    ASSERT_TRUE(logic.sessionLogRunning());
    EXPECT_EQ(logPath, view.sessionLogPath) << "the status bar shows the log";
    EXPECT_EQ(std::string(kSessionLogFilter), view.filters.back());

    first.hangUp();
    ::unlink(link.c_str());
    logic.idlePoll();
    ASSERT_TRUE(logic.waitingForPort());
    EXPECT_EQ(std::vector<std::string>{link}, watcher.watched);
    ASSERT_FALSE(view.portNotes.empty());
    EXPECT_EQ(link + " has gone: waiting for it to come back", view.portNotes.back());
    EXPECT_TRUE(view.portStates.back().lost()) << "the status bar says the port has gone";

    logic.portNotice();  // a notice, but the device is not back
    EXPECT_TRUE(logic.waitingForPort());

    test::PseudoTerminal second;
    moveLink(second);
    watcher.present = true;
    logic.portNotice();
    ASSERT_FALSE(logic.waitingForPort());
    EXPECT_EQ(link + " is back: opened again", view.portNotes.back());
    EXPECT_TRUE(view.portStates.back().open);

    second.send("Boot RTQ 1.3\r\n");
    showWhatArrives();
    EXPECT_NE(std::string::npos, view.window.text().find("Boot RTQ 1.3")) << view.window.text();
    typeAndEnter("ver?");
    EXPECT_EQ("ver?\r\n", second.receive(6));

    logic.stopSessionLog();
    EXPECT_FALSE(logic.sessionLogRunning());
    EXPECT_EQ("", view.sessionLogPath);
    const std::string log = test::readFile(logPath);
    const std::string time = R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3} )";
    for (const std::string line :
         {"\\* terminal on .*", "\\* .* has gone; waiting for it to come back",
          "\\* .* is back; the terminal goes on", "< Boot RTQ 1.3", "> ver\\?", "\\* log ended"})
        EXPECT_TRUE(std::regex_search(log, std::regex("(^|\n)" + time + line + "\n"))) << line << "\n" << log;
}

TEST_F(ReconnectTest, APortThatGoesAwayDuringAJobIsWaitedForOnlyOnceTheJobHasEnded) {
    std::atomic<bool> release{false};
    ASSERT_TRUE(logic.jobSlot().start([&](std::stop_token stop) {
        while (!release && !stop.stop_requested()) std::this_thread::sleep_for(5ms);
        logic.jobSlot().markFinished();
    }));
    first.hangUp();
    std::uint8_t byte = 0;
    EXPECT_EQ(0u, port.read({&byte, 1})) << "the job's read finds the port gone";
    ASSERT_TRUE(port.state().lost());
    test::PseudoTerminal second;
    moveLink(second);
    watcher.present = true;
    logic.idlePoll();
    logic.portNotice();
    EXPECT_FALSE(logic.waitingForPort()) << "a job never reconnects";
    EXPECT_FALSE(port.state().open);
    release = true;
    logic.jobSlot().wait();

    logic.idlePoll();  // the job has ended: the terminal takes over and finds the device back already
    EXPECT_FALSE(logic.waitingForPort());
    EXPECT_TRUE(port.state().open);
    EXPECT_EQ(link + " is back: opened again", view.portNotes.back());
}

TEST_F(ReconnectTest, ASessionLogThatCannotBeOpenedIsSaidInADialog) {
    view.dialogAnswers.push_back(dir.path());  // a folder
    logic.startSessionLog();
    EXPECT_FALSE(logic.sessionLogRunning());
    ASSERT_EQ(1u, view.errors.size());
    EXPECT_NE(std::string::npos, view.errors[0].find(dir.path())) << view.errors[0];
    EXPECT_EQ("", view.sessionLogPath);
}

}  // namespace
}  // namespace hlx::app
