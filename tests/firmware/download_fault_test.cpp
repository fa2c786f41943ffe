// The two downloads against a monitor that misbehaves, on the scriptable fake device and fake clock: the
// port vanishes, an error byte, silence, XOFF held, a write that fails. Every row must end promptly (in
// fake time: within the deadlines), report the failure and never the success line.
#include <gtest/gtest.h>

#include "firmware/realterm_download.h"
#include "firmware/rtq_download.h"
#include "jobs/job_frame.h"
#include "serial/link.h"
#include "tests/support/fake_serial_device.h"
#include "tests/support/recording_view.h"
#include "tests/support/temp_dir.h"

namespace hlx::firmware {
namespace {

using namespace std::chrono_literals;
using jobs::JobKind;

// Four 16-byte data records at 0x0000, 0x0010 and (after a gap) 0x0100, 0x0110, then the end record.
// The binary download joins them into two records; the text download sends five lines.
constexpr std::string_view kFirmware =
    ":10000000000102030405060708090A0B0C0D0E0F78\r\n"
    ":10001000101112131415161718191A1B1C1D1E1F68\r\n"
    ":10010000202122232425262728292A2B2C2D2E2F77\r\n"
    ":10011000303132333435363738393A3B3C3D3E3F67\r\n"
    ":00000001FF\r\n";

// The same with a wrong checksum on the last data line (0x68 where the bytes need 0x67).
constexpr std::string_view kDamagedLastLine =
    ":10000000000102030405060708090A0B0C0D0E0F78\r\n"
    ":10001000101112131415161718191A1B1C1D1E1F68\r\n"
    ":10010000202122232425262728292A2B2C2D2E2F77\r\n"
    ":10011000303132333435363738393A3B3C3D3E3F68\r\n"
    ":00000001FF\r\n";

enum class Fault {
    None,
    VanishAtRecord,               // the device goes away after the n-th record (or line) was written
    VanishInWrite,                // the n-th write takes nothing and the device goes with it
    ErrorByteToCommand,           // the command is answered with ERR_NACK
    ErrorByteAtRecord,            // the n-th record is answered with ERR_WRONGCRC
    SilentFromRecord,             // no answer from the n-th record on
    XoffForeverAtRecord,          // XOFF after the n-th record's answer, and never XON
    XoffAfterEachLineThenSilent,  // XOFF and XON after each line, until the n-th: XOFF only
    XoffBehindEachReplyLine,      // a reply line with XOFF right behind it, XON 300 ms later: all is well
    ShortWrite,                   // the n-th write moves only 3 bytes
    ErrorByteLateAfterTheLast,    // the last record is answered as usual, then an error byte n ms later
    ClosingLineThenErrorByte,     // after the last record a closing line, and an error byte 250 ms later
    ClosingLinesThenVanish,       // after the last record the closing lines, then the device goes (restart)
    PortRefused,                  // the port cannot be opened
};

struct FaultCase {
    const char* name;
    JobKind kind;
    Fault fault;
    int n;
    std::int32_t word;              // handed to the report
    std::vector<std::string> tail;  // the last lines of the window
    int writes;                     // writes that reached the monitor (command included)
    std::string_view firmware = kFirmware;
};

class DownloadFaultBase : public ::testing::Test {
protected:
    // The monitor's side: answers the command and, in binary mode, each record; applies the fault.
    void playMonitor(const FaultCase& c) {
        if (c.fault == Fault::PortRefused) device->refuseOpen("/dev/fake-monitor: No such file or directory");
        if (c.fault == Fault::VanishInWrite) device->failWrite(c.n + 1, 0, /*gone=*/true);
        if (c.fault == Fault::ShortWrite) device->failWrite(c.n + 1, 3);
        device->onWrite([this, c](test::FakeSerialDevice& d, std::span<const std::uint8_t> bytes) {
            const std::string text(bytes.begin(), bytes.end());
            if (text == "LoadFWRTQ?\r\n" || text == "LoadFW?\r\n") {
                if (c.fault == Fault::ErrorByteToCommand)
                    d.replyAfter(5ms, {0x0E});
                else
                    d.replyAfter(5ms, text == "LoadFW?\r\n" ? "LoadFW OK\r\n" : "LoadFWRTQ OK\r\n");
                return;
            }
            ++records;
            const bool binary = c.kind == JobKind::RtqDownload;
            const bool last = text == ":00000001FF\r\n" || text == std::string("\x00\x00\x00\x01\xFF", 5);
            if (last && c.fault == Fault::ErrorByteLateAfterTheLast) {
                if (binary) d.replyAfter(5ms, "OK\r\n");
                d.replyAfter(std::chrono::milliseconds(c.n), "\xFA\n");
                return;
            }
            if (last && c.fault == Fault::ClosingLineThenErrorByte) {
                if (binary) d.replyAfter(5ms, "OK\r\n");
                d.replyAfter(50ms, "Flash OK\r\n");
                d.replyAfter(300ms, "\xF9\n");
                return;
            }
            if (last && c.fault == Fault::ClosingLinesThenVanish) {
                if (binary) d.replyAfter(5ms, "OK\r\n");
                d.replyAfter(50ms, "Flash OK\r\nReboot\r\n");
                d.hangUpAfter(60ms);
                return;
            }
            if (c.fault == Fault::VanishAtRecord && records == c.n) {
                d.hangUpAfter(2ms);
                return;
            }
            if (c.fault == Fault::SilentFromRecord && records >= c.n) return;
            if (c.fault == Fault::ErrorByteAtRecord && records == c.n) {
                d.replyAfter(5ms, "\xFA\n");
                return;
            }
            const bool xoffNow = c.fault == Fault::XoffForeverAtRecord && records == c.n;
            // XOFF right behind the answer (binary) or on its own (text), as a monitor that starts writing
            // its flash sends it.
            if (binary) d.replyAfter(5ms, xoffNow ? std::string("OK\r\n\x13") : std::string("OK\r\n"));
            if (!binary && xoffNow) d.replyAfter(5ms, {serial::kXoff});
            if (c.fault == Fault::XoffBehindEachReplyLine) {
                d.replyAfter(1ms, "OK\r\n");
                d.replyAfter(2ms, {serial::kXoff});
                d.replyAfter(300ms, {serial::kXon});
            }
            if (c.fault == Fault::XoffAfterEachLineThenSilent) {
                d.replyAfter(1ms, {serial::kXoff});
                if (records < c.n) d.replyAfter(30ms, {serial::kXon});
            }
        });
    }

    std::int32_t run(JobKind kind, std::string_view firmware) {
        const std::string path = dir.file("fw.hex");
        test::writeFile(path, std::string(firmware));
        jobs::JobInputs inputs;
        inputs.comText = "/dev/fake-monitor";
        inputs.settingsEntry = 0;
        inputs.filePath = path;
        jobs::JobContext context{{port, reply, log, {}}, view, file, inputs};
        const jobs::JobDefinition job =
            kind == JobKind::RtqDownload ? rtqDownloadJob() : realtermDownloadJob();
        return jobs::runJobFrame(job, context, slot, &outcome).value_or(-1);
    }

    test::TempDir dir;
    test::FakeClock clock;
    test::FakeSerialDevice* device = new test::FakeSerialDevice(clock);
    serial::SerialPort port{std::unique_ptr<serial::SerialDevice>(device)};
    serial::Deadline reply{clock};
    test::RecordingView view;
    output::OutputLog log{view};
    base::FileBuffer file;
    jobs::JobSlot slot;
    jobs::JobOutcome outcome;
    int records = 0;
};

class DownloadFaultTest : public DownloadFaultBase, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(DownloadFaultTest, EndsPromptlyAndReportsTheFailure) {
    const FaultCase& c = GetParam();
    playMonitor(c);
    const std::int32_t word = run(c.kind, c.firmware);
    EXPECT_EQ(c.word, word);
    const std::vector<std::string> lines = view.lines();
    ASSERT_GE(lines.size(), c.tail.size()) << ::testing::PrintToString(lines);
    EXPECT_EQ(c.tail, std::vector<std::string>(lines.end() - static_cast<long>(c.tail.size()), lines.end()))
        << ::testing::PrintToString(lines);
    if (c.word != 0) {
        for (const std::string& line : lines) EXPECT_NE("Datei fehlerfrei übertragen", line);
    }
    EXPECT_EQ(static_cast<std::size_t>(c.writes), device->writes().size());
    EXPECT_LE(clock.elapsed(), 12s) << "no step waits longer than its deadline";
    EXPECT_EQ(jobs::JobState::Finished, slot.state());
}

const std::string kLost = "Fehler: Verbindung zum COM Port verloren (/dev/fake-monitor)";
const std::string kTimeout = "Fehler: Zeitüberschreitung";
const std::string kShort = "Fehler: Nicht alle Daten konnten gesendet werden";
const std::string kRefused = "Fehler: Bestätigungsfehler";
const std::string kNoData = "Fehler: Datei enthält keine Daten";
const std::string kClosed = "Monitor hat die Verbindung beendet (/dev/fake-monitor)";
const std::string kCheckFailed = "Fehler: Überprüfung der Datei fehlerhaft";
const std::string kPortRefused = "Fehler: COM Port konnte nicht geöffnet werden";
const std::string kFlashWrite = "\u00f9ERR_FLASHWRITE\n" + kRefused;

const FaultCase kFaultCases[] = {
    // The binary record download: command + 3 records (two joined, the end record).
    {"RtqRunsThrough", JobKind::RtqDownload, Fault::None, 0, 0x1000, {"79 Bytes übertragen"}, 4},
    {"RtqPortVanishesAtRecord1",
     JobKind::RtqDownload,
     Fault::VanishAtRecord,
     1,
     0x1020,
     {kLost, kTimeout, "37 Bytes übertragen"},
     2},
    {"RtqPortVanishesDuringTheLastReply",
     JobKind::RtqDownload,
     Fault::VanishAtRecord,
     3,
     0x1020,
     {kLost, kTimeout, "79 Bytes übertragen"},
     4},
    {"RtqPortVanishesDuringAWrite",
     JobKind::RtqDownload,
     Fault::VanishInWrite,
     2,
     0x1030,
     {kLost, kShort, kTimeout, "37 Bytes übertragen"},
     3},
    {"RtqCommandRefused",
     JobKind::RtqDownload,
     Fault::ErrorByteToCommand,
     0,
     0x1040,
     {"ERR_NACK" + kRefused, "0 Bytes übertragen"},
     1},
    {"RtqErrorByteAtRecord2",
     JobKind::RtqDownload,
     Fault::ErrorByteAtRecord,
     2,
     0x1040,
     {"\u00faERR_WRONGCRC\n" + kRefused, "74 Bytes übertragen"},
     3},
    {"RtqSilentFromRecord2",
     JobKind::RtqDownload,
     Fault::SilentFromRecord,
     2,
     0x1020,
     {kTimeout, "74 Bytes übertragen"},
     3},
    {"RtqXoffForeverAfterRecord1",
     JobKind::RtqDownload,
     Fault::XoffForeverAtRecord,
     1,
     0x1020,
     {kTimeout, "37 Bytes übertragen"},
     2},
    // After every record was acknowledged, a monitor that restarts is no failure.
    {"RtqMonitorRestartsAfterItsClosingLines",
     JobKind::RtqDownload,
     Fault::ClosingLinesThenVanish,
     0,
     0x1000,
     {"Flash OK", "Reboot", kClosed, "79 Bytes übertragen"},
     4},
    // A file without data: the check refuses it, and not even the command goes out.
    {"RtqOnlyTheEndRecord",
     JobKind::RtqDownload,
     Fault::None,
     0,
     0x1100,
     {kNoData, "Anzahl Fehler: 1", kCheckFailed, "0 Bytes übertragen"},
     0,
     ":00000001FF\r\n"},
    {"RtqEmptyFile",
     JobKind::RtqDownload,
     Fault::None,
     0,
     0x1100,
     {kNoData, "Anzahl Fehler: 1", kCheckFailed, "0 Bytes übertragen"},
     0,
     ""},
    {"RtqShortWriteOfRecord1",
     JobKind::RtqDownload,
     Fault::ShortWrite,
     1,
     0x1030,
     {kShort, kTimeout, "0 Bytes übertragen"},
     2},
    // An error byte among or after the closing lines: the flash write failed, the job with it.
    {"RtqErrorByteAfterAClosingLine",
     JobKind::RtqDownload,
     Fault::ClosingLineThenErrorByte,
     0,
     0x1040,
     {"Flash OK", kFlashWrite, "79 Bytes übertragen"},
     4},
    {"RtqErrorByte400msAfterTheLastRecord",
     JobKind::RtqDownload,
     Fault::ErrorByteLateAfterTheLast,
     400,
     0x1040,
     {"\u00faERR_WRONGCRC\n" + kRefused, "79 Bytes übertragen"},
     4},
    {"RtqErrorByte1400msAfterTheLastRecord",
     JobKind::RtqDownload,
     Fault::ErrorByteLateAfterTheLast,
     1400,
     0x1040,
     {"\u00faERR_WRONGCRC\n" + kRefused, "79 Bytes übertragen"},
     4},
    // A damaged line is never programmed: the check refuses the file before the command goes out.
    {"RtqWrongChecksumOnTheLastDataLine",
     JobKind::RtqDownload,
     Fault::None,
     0,
     0x1100,
     {"Fehlercode: 16", "Anzahl Fehler: 1", kCheckFailed, "0 Bytes übertragen"},
     0,
     kDamagedLastLine},
    // A port that cannot be opened is that failure alone (its settings were never tried), and nothing
    // goes out.
    {"RtqPortCannotBeOpened",
     JobKind::RtqDownload,
     Fault::PortRefused,
     0,
     0x1800,
     {kPortRefused, "0 Bytes übertragen"},
     0},
    // The text download: command + 5 lines.
    {"HexLinesRunThrough", JobKind::RealtermDownload, Fault::None, 0, 0, {"Datei fehlerfrei übertragen"}, 6},
    {"HexLinesPortVanishesAtLine3",
     JobKind::RealtermDownload,
     Fault::VanishAtRecord,
     3,
     0x10,
     {kLost, kShort},
     4},
    {"HexLinesCommandRefused",
     JobKind::RealtermDownload,
     Fault::ErrorByteToCommand,
     0,
     0x40,
     {"ERR_NACK" + kRefused},
     1},
    {"HexLinesErrorByteAtLine2",
     JobKind::RealtermDownload,
     Fault::ErrorByteAtRecord,
     2,
     0x40,
     {"\u00faERR_WRONGCRC\n" + kRefused},
     3},
    {"HexLinesXoffForeverAfterLine2",
     JobKind::RealtermDownload,
     Fault::XoffForeverAtRecord,
     2,
     0x20,
     {kTimeout},
     3},
    {"HexLinesXoffAfterEachLineThenSilentAtLine3",
     JobKind::RealtermDownload,
     Fault::XoffAfterEachLineThenSilent,
     3,
     0x20,
     {kTimeout},
     4},
    {"HexLinesXoffBehindEachReplyLineIsNoFailure",
     JobKind::RealtermDownload,
     Fault::XoffBehindEachReplyLine,
     0,
     0,
     {"Datei fehlerfrei übertragen"},
     6},
    {"HexLinesShortWriteOfLine2", JobKind::RealtermDownload, Fault::ShortWrite, 2, 0x10, {kShort}, 3},
    // After the last line the job reads the closing lines until 1.5 s have passed since the monitor said
    // anything.
    {"HexLinesErrorByte100msAfterTheLastLine",
     JobKind::RealtermDownload,
     Fault::ErrorByteLateAfterTheLast,
     100,
     0x40,
     {"\u00faERR_WRONGCRC\n" + kRefused},
     6},
    {"HexLinesErrorByte320msAfterTheLastLine",
     JobKind::RealtermDownload,
     Fault::ErrorByteLateAfterTheLast,
     320,
     0x40,
     {"\u00faERR_WRONGCRC\n" + kRefused},
     6},
    {"HexLinesErrorByte1400msAfterTheLastLine",
     JobKind::RealtermDownload,
     Fault::ErrorByteLateAfterTheLast,
     1400,
     0x40,
     {"\u00faERR_WRONGCRC\n" + kRefused},
     6},
    {"HexLinesWrongChecksumOnTheLastDataLine",
     JobKind::RealtermDownload,
     Fault::None,
     0,
     0x100,
     {"Fehlercode: 16", "Anzahl Fehler: 1", kCheckFailed},
     0,
     kDamagedLastLine},
    {"HexLinesPortCannotBeOpened",
     JobKind::RealtermDownload,
     Fault::PortRefused,
     0,
     0x800,
     {kPortRefused},
     0},
    {"HexLinesErrorByte250msAfterAClosingLine",
     JobKind::RealtermDownload,
     Fault::ClosingLineThenErrorByte,
     0,
     0x40,
     {"Flash OK", kFlashWrite},
     6},
    {"HexLinesMonitorRestartsAfterItsClosingLines",
     JobKind::RealtermDownload,
     Fault::ClosingLinesThenVanish,
     0,
     0,
     {"Flash OK", "Reboot", kClosed, "Datei fehlerfrei übertragen"},
     6},
    {"HexLinesPortVanishesAfterTheLastLineWithoutAWord",
     JobKind::RealtermDownload,
     Fault::VanishAtRecord,
     5,
     0x20,
     {kLost, kTimeout},
     6},
    {"HexLinesOnlyTheEndRecord",
     JobKind::RealtermDownload,
     Fault::None,
     0,
     0x100,
     {kNoData, "Anzahl Fehler: 1", kCheckFailed},
     0,
     ":00000001FF\r\n"},
};

INSTANTIATE_TEST_SUITE_P(Monitor, DownloadFaultTest, ::testing::ValuesIn(kFaultCases),
                         [](const auto& info) { return std::string(info.param.name); });

// What went out is what the driver took; what the monitor confirmed is counted beside it: a binary
// record by its reply line, the HEX lines all at once by the closing lines after the last one.
struct ConfirmedCase {
    const char* name;
    JobKind kind;
    Fault fault;
    int n;
    std::int64_t unitsSent, unitsConfirmed, bytesSent, bytesConfirmed;
};

void PrintTo(const ConfirmedCase& c, std::ostream* os) {
    *os << c.name;
}

class ConfirmedTest : public DownloadFaultBase, public ::testing::WithParamInterface<ConfirmedCase> {};

TEST_P(ConfirmedTest, CountsWhatTheMonitorConfirmedBesideWhatWasSent) {
    const ConfirmedCase& c = GetParam();
    playMonitor({c.name, c.kind, c.fault, c.n, 0, {}, 0});
    run(c.kind, kFirmware);
    EXPECT_EQ(c.unitsSent, outcome.unitsSent);
    EXPECT_EQ(c.bytesSent, outcome.bytesSent);
    EXPECT_EQ(c.unitsConfirmed, outcome.unitsConfirmed);
    EXPECT_EQ(c.bytesConfirmed, outcome.bytesConfirmed);
}

const ConfirmedCase kConfirmedCases[] = {
    {"RtqRunsThrough", JobKind::RtqDownload, Fault::None, 0, 3, 3, 79, 79},
    {"RtqSilentFromRecord2", JobKind::RtqDownload, Fault::SilentFromRecord, 2, 2, 1, 74, 37},
    {"RtqErrorByteAtRecord2", JobKind::RtqDownload, Fault::ErrorByteAtRecord, 2, 2, 1, 74, 37},
    // Four data lines of 45 bytes (":", 21 byte pairs, CR LF) and the end line of 13.
    {"HexLinesConfirmedByTheClosingLines", JobKind::RealtermDownload, Fault::ClosingLinesThenVanish, 0, 5, 5,
     193, 193},
    {"HexLinesWithoutClosingLinesAreNotConfirmed", JobKind::RealtermDownload, Fault::None, 0, 5, 0, 193, 0},
    {"HexLinesErrorByteAfterTheLast", JobKind::RealtermDownload, Fault::ErrorByteLateAfterTheLast, 400, 5, 0,
     193, 0},
    {"HexLinesPortVanishesAtLine3", JobKind::RealtermDownload, Fault::VanishAtRecord, 3, 3, 0, 135, 0},
};

INSTANTIATE_TEST_SUITE_P(Monitor, ConfirmedTest, ::testing::ValuesIn(kConfirmedCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace hlx::firmware
