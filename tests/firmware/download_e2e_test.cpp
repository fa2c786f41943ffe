// Firmware downloads from end to end: the real job frame and job bodies on a job thread, the real serial
// port on a pseudo-terminal, and the simulated monitor on its other side. What the monitor ends up with in
// its memory, what it saw on the wire and what the output window shows are compared with the file.

#include <thread>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <algorithm>
#include <cstdlib>
#include <mutex>

#include "jobs/job_frame.h"
#include "output/job_result.h"
#include "runner/job_catalogue.h"
#include "serial/posix_serial_device.h"
#include "tests/support/fake_output_window.h"
#include "tests/support/hex_text.h"
#include "tests/support/job_runner.h"
#include "tests/support/job_view_log.h"
#include "tests/support/pty.h"
#include "tests/support/temp_dir.h"
#include "tools/virtual_monitor.h"

namespace hlx {
namespace {

using namespace std::chrono_literals;
using jobs::JobKind;

// More than 256 KiB: contiguous 16-byte and 8-byte records in page 0 with a gap between them, then four
// pages of 255-byte records (one page in lower-case digits with LF line ends), a start address, the end.
test::HexText largeFirmware() {
    test::HexText b;
    b.page(0);
    b.fill(0x0000, 1024, 16);
    b.fill(0x1000, 1024, 8);
    for (std::uint16_t page = 1; page <= 4; ++page) {
        b.page(page);
        if (page == 2) b.style({.lowerCase = true, .lineEnd = "\n"});
        b.fill(0x0000, 0xFFFF, 255);
        b.style({});
    }
    b.record(5, 0, {0x00, 0x01, 0x00, 0x00});  // start address 0x00010000
    b.end();
    return b;
}

// Three records on the wire: two data records that do not follow on, and the end.
test::HexText smallFirmware() {
    test::HexText b;
    b.fill(0x0000, 16, 16);
    b.fill(0x0100, 16, 16);
    b.end();
    return b;
}

std::vector<std::string> linesStartingWith(const std::string& text, std::string_view prefix) {
    std::vector<std::string> found;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string l = text.substr(start, end - start);
        if (!l.empty() && l.back() == '\r') l.pop_back();
        if (l.rfind(prefix, 0) == 0) found.push_back(l);
        start = end + 1;
    }
    return found;
}

bool endsWith(const std::string& text, std::string_view tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class DownloadTest : public ::testing::Test {
protected:
    void startMonitor(tools::MonitorConfig config = {}) {
        monitor = std::make_unique<tools::VirtualMonitor>(std::move(config));
    }

    std::string writeFirmware(const test::HexText& builder, const std::string& name = "firmware.hex") {
        const std::string path = dir.file(name);
        test::writeFile(path, builder.text());
        return path;
    }

    // Runs one job through the job slot, as the window does, and returns the word handed to the report.
    std::int32_t runJob(jobs::JobKind kind, const std::string& filePath,
                        std::optional<std::string> comText = {}) {
        serial::SerialPort port(std::make_unique<serial::PosixSerialDevice>());
        serial::Deadline replyDeadline;
        jobs::JobInputs inputs;
        inputs.comText = comText.value_or(monitor ? monitor->slavePath() : std::string{});
        inputs.settingsEntry = 0;
        inputs.filePath = filePath;
        const std::int32_t word =
            test::runJobInSlot(*runner::jobDefinition(kind), {port, replyDeadline, log, view}, inputs);
        EXPECT_EQ((std::vector<bool>{false, true}), view.pollSwitches());
        return word;
    }

    test::TempDir dir;
    std::unique_ptr<tools::VirtualMonitor> monitor;
    test::FakeOutputWindow window;
    output::OutputLog log{window};
    test::JobViewLog view;
};

TEST_F(DownloadTest, LargeFirmwareByBinaryRecords) {
    startMonitor();
    const test::HexText firmware = largeFirmware();
    ASSERT_GE(firmware.bytes().size(), 256u * 1024u);
    const std::string path = writeFirmware(firmware);

    EXPECT_EQ(0x1000, runJob(jobs::JobKind::RtqDownload, path));
    EXPECT_EQ(1, monitor->downloadsEnded());
    EXPECT_EQ(firmware.bytes(), monitor->image());

    // Contiguous 16-byte records go out 15 at a time, 8-byte records 31 at a time; a page record, the
    // start address and the end go out by themselves.
    const auto records = monitor->records();
    std::vector<std::size_t> sizes;
    std::size_t wireTotal = 0;
    for (const auto& r : records) {
        sizes.push_back(r.wireSize);
        wireTotal += r.wireSize;
    }
    ASSERT_GT(sizes.size(), 14u);
    EXPECT_EQ((std::vector<std::size_t>{7, 245, 245, 245, 245, 69, 253, 253, 253, 253, 37, 7, 260, 260}),
              std::vector<std::size_t>(sizes.begin(), sizes.begin() + 14));
    EXPECT_EQ((std::vector<std::size_t>{9, 5}), std::vector<std::size_t>(sizes.end() - 2, sizes.end()));
    EXPECT_EQ(0x1000u, records[6].address);

    const std::string text = window.text();
    EXPECT_EQ((std::vector<std::string>{"Page: 0x0000", "Page: 0x0001", "Page: 0x0002", "Page: 0x0003",
                                        "Page: 0x0004"}),
              linesStartingWith(text, "Page: "));
    EXPECT_EQ(records.size(), linesStartingWith(text, "OK").size());
    EXPECT_TRUE(endsWith(
        text, "Flash geschrieben\r\nNeustart\r\n" + std::to_string(wireTotal) + " Bytes übertragen\r\n"))
        << text.substr(text.size() - 200);

    // The bar climbs in whole percents, reaches 100 and is reset to 0 at the end.
    const std::vector<int> progress = view.progress();
    ASSERT_GE(progress.size(), 3u);
    EXPECT_EQ(0, progress.front());
    EXPECT_EQ(100, progress[progress.size() - 2]);
    EXPECT_EQ(0, progress.back());
    for (std::size_t i = 2; i + 1 < progress.size(); ++i) EXPECT_GT(progress[i], progress[i - 1]);
}

TEST_F(DownloadTest, LargeFirmwareByHexLines) {
    tools::MonitorConfig config;
    config.xoffEvery = 64;  // a flash page now and then, so the job holds for XON
    startMonitor(config);
    const test::HexText firmware = largeFirmware();
    const std::string path = writeFirmware(firmware);

    EXPECT_EQ(0, runJob(jobs::JobKind::RealtermDownload, path));
    EXPECT_EQ(firmware.bytes(), monitor->image());
    const auto records = monitor->records();
    EXPECT_EQ(std::count(firmware.text().begin(), firmware.text().end(), ':'),
              static_cast<long>(records.size()));
    for (const auto& r : records) ASSERT_TRUE(r.accepted);

    const std::string text = window.text();
    EXPECT_EQ(
        0u, text.find(path +
                      " geöffnet\r\nPrüfe Hex File\r\nAnzahl Fehler: 0\r\nStarte Download\r\nLoadFW OK\r\n"))
        << text.substr(0, 300);
    EXPECT_EQ((std::vector<std::string>{"Page: 0x0000", "Page: 0x0001", "Page: 0x0002", "Page: 0x0003",
                                        "Page: 0x0004"}),
              linesStartingWith(text, "Page: "));
    EXPECT_TRUE(endsWith(text, "Datei fehlerfrei übertragen\r\n")) << text.substr(text.size() - 200);
    const std::vector<int> progress = view.progress();
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(100, progress.back());  // the bar is left where it is
}

TEST_F(DownloadTest, SmallRunTranscript) {
    startMonitor();
    test::HexText firmware;
    firmware.page(1);
    firmware.fill(0x0000, 48, 16);
    firmware.end();
    const std::string path = writeFirmware(firmware);

    EXPECT_EQ(0x1000, runJob(jobs::JobKind::RtqDownload, path));
    EXPECT_EQ(test::joinLines({path + " geöffnet", std::to_string(firmware.text().size()) + " Bytes gelesen",
                               "Prüfe Hex File", "Anzahl Fehler: 0", "LoadFWRTQ OK", "Page: 0x0001", "OK",
                               "OK", "OK", "Flash geschrieben", "Neustart", "65 Bytes übertragen"}),
              window.text());
    EXPECT_EQ(firmware.bytes(), monitor->image());
    EXPECT_EQ((std::vector<std::string>{"LoadFWRTQ?"}), monitor->commands());
}

struct FaultCase {
    const char* name;
    jobs::JobKind kind;
    tools::MonitorFaults faults;
    bool spoilSecondChecksum;  // in the file
    std::int32_t word;
    std::string shown;  // somewhere in the window
    std::string tail;   // the window's last lines
};

// The small firmware is three records: 21, 21 and 5 bytes on the wire.
const FaultCase kFaultCases[] = {
    {"ErrorByte",
     jobs::JobKind::RtqDownload,
     {.errorAt = 2},
     false,
     0x1040,
     "OK\r\n\u00faERR_WRONGCRC\n",
     "Fehler: Bestätigungsfehler\r\n42 Bytes übertragen\r\n"},
    {"Silence",
     jobs::JobKind::RtqDownload,
     {.silentAt = 2},
     false,
     0x1020,
     "LoadFWRTQ OK\r\nOK\r\n",
     "OK\r\nFehler: Zeitüberschreitung\r\n42 Bytes übertragen\r\n"},
    {"RepliesAfter1200ms",
     jobs::JobKind::RtqDownload,
     {.delay = 1200ms},
     false,
     0x1000,
     "LoadFWRTQ OK\r\nOK\r\nOK\r\nOK\r\n",
     "Flash geschrieben\r\nNeustart\r\n47 Bytes übertragen\r\n"},
    {"ReplyAfter2s",
     jobs::JobKind::RtqDownload,
     {.delay = 2000ms, .delayAt = 2},
     false,
     0x1020,
     "LoadFWRTQ OK\r\nOK\r\n",
     "OK\r\nFehler: Zeitüberschreitung\r\n42 Bytes übertragen\r\n"},
    // A line whose checksum says it is damaged is never programmed, nor given a checksum of its own.
    {"WrongChecksumIsRefusedBeforeTheCommand",
     jobs::JobKind::RtqDownload,
     {},
     true,
     0x1100,
     "Fehlercode: 16\r\nAnzahl Fehler: 1\r\n",
     "Fehler: Überprüfung der Datei fehlerhaft\r\n0 Bytes übertragen\r\n"},
    {"HexLineErrorByte",
     jobs::JobKind::RealtermDownload,
     {.errorAt = 2, .errorByte = 0xFB},
     false,
     0x40,
     "\u00fbERR_WRONGLINEFORMAT\n",
     "\nFehler: Bestätigungsfehler\r\n"},
    // An error byte while the monitor writes its flash, 100 ms after the end record went out.
    {"HexLineErrorByteAfterTheLastLine",
     jobs::JobKind::RealtermDownload,
     {.errorAt = 3, .errorByte = 0xF9, .delay = 100ms, .delayAt = 3},
     false,
     0x40,
     "\u00f9ERR_FLASHWRITE\n",
     "\nFehler: Bestätigungsfehler\r\n"},
    {"HexLineWrongChecksumIsRefusedBeforeTheCommand",
     jobs::JobKind::RealtermDownload,
     {},
     true,
     0x100,
     "Fehlercode: 16\r\nAnzahl Fehler: 1\r\n",
     "Anzahl Fehler: 1\r\nFehler: Überprüfung der Datei fehlerhaft\r\n"},
};

class DownloadFaultTest : public DownloadTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(DownloadFaultTest, ShowsTheOutcome) {
    const FaultCase& c = GetParam();
    startMonitor();
    monitor->setFaults(c.faults);
    test::HexText firmware;
    firmware.fill(0x0000, 16, 16);
    firmware.fill(0x0100, 16, 16);
    if (c.spoilSecondChecksum) firmware.spoilLastChecksum();
    firmware.end();

    EXPECT_EQ(c.word, runJob(c.kind, writeFirmware(firmware)));
    const std::string text = window.text();
    EXPECT_NE(std::string::npos, text.find(c.shown)) << text;
    EXPECT_TRUE(endsWith(text, c.tail)) << text;
    if ((c.word & ~output::result::kNoSuccessLine) == 0) {
        EXPECT_EQ(firmware.bytes(), monitor->image());
    } else {
        EXPECT_EQ(std::string::npos, text.find("Flash geschrieben"));
        EXPECT_EQ(std::string::npos, text.find(std::string(output::kSuccessLine)));
    }
    if (c.word & output::result::kCheckFailed) {
        EXPECT_TRUE(monitor->commands().empty()) << "nothing goes out";
    }
}

INSTANTIATE_TEST_SUITE_P(Monitor, DownloadFaultTest, ::testing::ValuesIn(kFaultCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A monitor whose cable is pulled during the download: the master side of the pseudo-terminal closes
// after the command's answer and the first record, as an unplugged USB adapter goes away.
class VanishingPortTest : public DownloadTest, public ::testing::WithParamInterface<jobs::JobKind> {};

TEST_P(VanishingPortTest, EndsAsAFailureAndSaysTheConnectionWasLost) {
    test::HexText builder;
    // Long enough (400 lines, 8 s of pauses at the least) that the job is still running when the cable
    // goes, however late this test's monitor thread gets to pull it.
    for (std::uint16_t record = 0; record < 400; ++record)
        builder.fill(static_cast<std::uint16_t>(record * 32), 16, 16);
    builder.end();
    const std::string path = writeFirmware(builder);
    auto pty = std::make_unique<test::PseudoTerminal>();
    std::thread unplug([&] {
        // The command, its answer, one record or line, then the cable goes. The first record is answered
        // and then the flow is held (XOFF), so the job is still waiting on the line, however slowly this
        // thread gets to pull the cable.
        pty->receive(7, 5s);
        pty->send(GetParam() == jobs::JobKind::RtqDownload ? "LoadFWRTQ OK\r\n" : "LoadFW OK\r\n");
        pty->receive(20, 5s);
        pty->send("OK\r\n\x13");
        pty->receive(1, 100ms);
        pty->hangUp();
    });
    const auto start = std::chrono::steady_clock::now();
    const std::int32_t word = runJob(GetParam(), path, pty->slavePath());
    unplug.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    EXPECT_NE(0, word & (output::result::kShortWrite | output::result::kTimeout)) << std::hex << word;
    EXPECT_NE(std::string::npos,
              window.text().find("Fehler: Verbindung zum COM Port verloren (" + pty->slavePath() + ")"))
        << window.text();
    EXPECT_EQ(std::string::npos, window.text().find("Datei fehlerfrei"));
}

INSTANTIATE_TEST_SUITE_P(Unplugged, VanishingPortTest,
                         ::testing::Values(jobs::JobKind::RtqDownload, jobs::JobKind::RealtermDownload),
                         [](const auto& info) {
                             return info.param == jobs::JobKind::RtqDownload ? std::string("BinaryRecords")
                                                                             : std::string("HexLines");
                         });

// A monitor whose service port is a USB device leaves the bus as it restarts after its download: here the
// master side of the pseudo-terminal closes right after the closing lines. The small firmware is three
// records: 21, 21 and 5 bytes in binary, lines of 45, 45 and 13 bytes as text.
void playRestartingMonitor(test::PseudoTerminal& pty, jobs::JobKind kind) {
    const bool binary = kind == jobs::JobKind::RtqDownload;
    pty.receive(binary ? 12 : 9, 5s);
    pty.send(binary ? "LoadFWRTQ OK\r\n" : "LoadFW OK\r\n");
    if (binary) {
        for (std::size_t size : {21u, 21u}) {
            pty.receive(size, 5s);
            pty.send("OK\r\n");
        }
        pty.receive(5, 5s);
        pty.send("OK\r\n");
    } else {
        std::size_t got = 0;
        while (got < 103) {
            const std::size_t n = pty.receive(1, 5s).size();
            if (n == 0) break;
            got += n;
        }
    }
    pty.send("Flash geschrieben\r\nNeustart\r\n");
    pty.receive(1, 50ms);
    pty.hangUp();
}

class RestartingMonitorTest : public DownloadTest, public ::testing::WithParamInterface<jobs::JobKind> {};

TEST_P(RestartingMonitorTest, ClosingTheConnectionAfterTheClosingLinesIsNoFailure) {
    const std::string path = writeFirmware(smallFirmware());
    test::PseudoTerminal pty;
    std::thread monitorThread([&] { playRestartingMonitor(pty, GetParam()); });
    const std::int32_t word = runJob(GetParam(), path, pty.slavePath());
    monitorThread.join();
    const bool binary = GetParam() == jobs::JobKind::RtqDownload;
    EXPECT_EQ(binary ? 0x1000 : 0, word);
    const std::string text = window.text();
    EXPECT_TRUE(endsWith(text, "Flash geschrieben\r\nNeustart\r\nMonitor hat die Verbindung beendet (" +
                                   pty.slavePath() + ")\r\n" +
                                   (binary ? "47 Bytes übertragen\r\n" : "Datei fehlerfrei übertragen\r\n")))
        << text;
    EXPECT_EQ(std::string::npos, text.find("Verbindung zum COM Port verloren")) << text;
}

INSTANTIATE_TEST_SUITE_P(Restart, RestartingMonitorTest,
                         ::testing::Values(jobs::JobKind::RtqDownload, jobs::JobKind::RealtermDownload),
                         [](const auto& info) {
                             return info.param == jobs::JobKind::RtqDownload ? std::string("BinaryRecords")
                                                                             : std::string("HexLines");
                         });

TEST_F(DownloadTest, MissingFileSendsNothing) {
    startMonitor();
    EXPECT_EQ(0x1080, runJob(jobs::JobKind::RtqDownload, dir.file("missing.hex")));
    EXPECT_EQ(test::joinLines({"Fehler: Datei kann nicht geöffnet werden", "0 Bytes übertragen"}),
              window.text());
    EXPECT_TRUE(monitor->commands().empty());
    EXPECT_TRUE(monitor->records().empty());
}

TEST_F(DownloadTest, MissingPortStillLoadsAndChecksTheFile) {
    const std::string path = writeFirmware(smallFirmware());
    const std::string size = std::to_string(smallFirmware().text().size());
    struct Case {
        jobs::JobKind kind;
        std::int32_t word;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {jobs::JobKind::RtqDownload,
         0x1800,
         {path + " geöffnet", size + " Bytes gelesen", "Prüfe Hex File", "Anzahl Fehler: 0",
          "Fehler: COM Port konnte nicht geöffnet werden", "0 Bytes übertragen"}},
        {jobs::JobKind::RealtermDownload,
         0x800,
         {path + " geöffnet", "Prüfe Hex File", "Anzahl Fehler: 0",
          "Fehler: COM Port konnte nicht geöffnet werden"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.kind));
        view.reset();
        EXPECT_EQ(c.word, runJob(c.kind, path, dir.file("no-such-port")));
        EXPECT_EQ(test::joinLines(c.lines), window.text());
    }
}

struct CliRun {
    int exitCode = -1;
    std::string lastErrorLine;
    std::string out;
    std::string err;
};

// The command-line companion against the same simulated monitor.
class CliDownloadTest : public DownloadTest {
protected:
    CliRun runCli(const std::string& method, const std::string& file, std::optional<std::string> port = {}) {
        const std::string out = dir.file("stdout.txt");
        const std::string err = dir.file("stderr.txt");
        const std::string command = std::string("'") + HLX_CLI_PATH + "' flash " + method + " '" + file +
                                    "' --port '" + port.value_or(monitor ? monitor->slavePath() : "") +
                                    "' --print-result >'" + out + "' 2>'" + err + "'";
        const int status = std::system(command.c_str());
        CliRun run;
        if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
        run.out = test::readFile(out);
        run.err = test::readFile(err);
        std::string errors = run.err;
        while (!errors.empty() && errors.back() == '\n') errors.pop_back();
        run.lastErrorLine =
            errors.substr(errors.rfind('\n') == std::string::npos ? 0 : errors.rfind('\n') + 1);
        return run;
    }
};

TEST_F(CliDownloadTest, FlashesAndReportsTheResultWord) {
    startMonitor();
    const test::HexText firmware = smallFirmware();
    const std::string path = writeFirmware(firmware);
    const CliRun run = runCli("rtq", path);
    EXPECT_EQ(0, run.exitCode);
    EXPECT_EQ("JobResult=0x1000", run.lastErrorLine);
    EXPECT_EQ(firmware.bytes(), monitor->image());
}

TEST_F(CliDownloadTest, AFaultGivesExitCodeOne) {
    startMonitor();
    monitor->setFaults({.errorAt = 1});
    const CliRun run = runCli("rtq", writeFirmware(smallFirmware()));
    EXPECT_EQ(1, run.exitCode);
    EXPECT_EQ("JobResult=0x1040", run.lastErrorLine);
}

// The monitor sends an error byte while it writes its flash, 100 ms after the end record: not missed.
TEST_F(CliDownloadTest, ALateErrorOnTheLastTextLineGivesExitCodeOne) {
    startMonitor();
    monitor->setFaults({.errorAt = 3, .errorByte = 0xF9, .delay = 100ms, .delayAt = 3});
    const CliRun run = runCli("realterm", writeFirmware(smallFirmware()));
    EXPECT_EQ(1, run.exitCode) << run.out;
    EXPECT_EQ("JobResult=0x40", run.lastErrorLine);
    EXPECT_TRUE(run.out.ends_with("ERR_FLASHWRITE\nFehler: Bestätigungsfehler\n")) << run.out;
}

// The flash write fails after the download: the monitor sends its closing lines and then an error byte.
// Both methods read on after the end until 1.5 s have passed since the monitor last said anything, and
// the error byte is the job's failure.
TEST_F(CliDownloadTest, AnErrorByteAfterTheClosingLinesGivesExitCodeOne) {
    struct Case {
        const char* method;
        int afterMs;
        const char* result;
    };
    for (const Case& c : {Case{"rtq", 400, "JobResult=0x1040"}, Case{"realterm", 320, "JobResult=0x40"},
                          Case{"realterm", 1000, "JobResult=0x40"}}) {
        SCOPED_TRACE(std::string(c.method) + " " + std::to_string(c.afterMs) + " ms");
        startMonitor();
        monitor->setFaults({.errorByte = 0xF9, .closingErrorAfter = std::chrono::milliseconds(c.afterMs)});
        const CliRun run = runCli(c.method, writeFirmware(smallFirmware()));
        EXPECT_EQ(1, run.exitCode) << run.out;
        EXPECT_EQ(c.result, run.lastErrorLine);
        const std::size_t closing = run.out.find("Neustart\n");
        ASSERT_NE(std::string::npos, closing) << run.out;
        EXPECT_NE(std::string::npos, run.out.find("\u00f9ERR_FLASHWRITE\n", closing)) << run.out;
        EXPECT_NE(std::string::npos, run.out.find("Fehler: Bestätigungsfehler\n")) << run.out;
    }
}

// A file without data: neither method says a word to the monitor, and hlx exits 1.
TEST_F(CliDownloadTest, AFileWithoutDataSendsNothing) {
    startMonitor();
    const std::string path = dir.file("end-only.hex");
    test::writeFile(path, ":00000001FF\r\n");
    for (const auto& [method, result] :
         {std::pair{"rtq", "JobResult=0x1100"}, std::pair{"realterm", "JobResult=0x100"}}) {
        SCOPED_TRACE(method);
        const CliRun run = runCli(method, path);
        EXPECT_EQ(1, run.exitCode);
        EXPECT_EQ(result, run.lastErrorLine);
        EXPECT_NE(std::string::npos, run.out.find("Fehler: Datei enthält keine Daten\nAnzahl Fehler: 1\n"))
            << run.out;
    }
    EXPECT_TRUE(monitor->commands().empty());
    EXPECT_TRUE(monitor->records().empty());
}

TEST_F(CliDownloadTest, AMonitorThatRestartsAfterItsDownloadIsNoFailure) {
    for (const jobs::JobKind kind : {jobs::JobKind::RtqDownload, jobs::JobKind::RealtermDownload}) {
        const bool binary = kind == jobs::JobKind::RtqDownload;
        SCOPED_TRACE(binary ? "rtq" : "realterm");
        test::PseudoTerminal pty;
        std::thread monitorThread([&] { playRestartingMonitor(pty, kind); });
        const CliRun run =
            runCli(binary ? "rtq" : "realterm", writeFirmware(smallFirmware()), pty.slavePath());
        monitorThread.join();
        EXPECT_EQ(0, run.exitCode) << run.out << run.err;
        EXPECT_EQ(binary ? "JobResult=0x1000" : "JobResult=0x0", run.lastErrorLine);
        EXPECT_NE(std::string::npos, run.out.find("Neustart\nMonitor hat die Verbindung beendet ("))
            << run.out;
        EXPECT_EQ(std::string::npos, run.err.find("has gone")) << run.err;
    }
}

}  // namespace
}  // namespace hlx
