// hlx against hlx-virtual-monitor, both programs run as a technician runs them: the monitor started with
// its fault options, hlx pointed at the path it prints. Each case is a transfer whose outcome must be
// true: a send that stops early, an error byte after the last text line, a firmware file without data,
// the last 4 KiB of the user flash, and a monitor that restarts after its download.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/contains.h"
#include "tests/support/hex_text.h"
#include "tests/support/simulator_process.h"
#include "tests/support/temp_dir.h"
#include "tools/monitor_image.h"

namespace hlx {
namespace {

using namespace std::chrono_literals;

struct ProgramRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class ProgramsTest : public ::testing::Test {
protected:
    // Starts hlx-virtual-monitor with the options and returns the path to type into COM-Nr.
    std::string startMonitor(const std::vector<std::string>& options) {
        monitor = std::make_unique<test::SimulatorProcess>(HLX_VIRTUAL_MONITOR_PATH, options);
        const std::string path = monitor->path();
        EXPECT_FALSE(path.empty()) << monitor->printed();
        return path;
    }

    ProgramRun hlx(const std::string& arguments) {
        const std::string out = dir.file("out.txt");
        const std::string err = dir.file("err.txt");
        const std::string command =
            std::string("'") + HLX_CLI_PATH + "' " + arguments + " >'" + out + "' 2>'" + err + "'";
        const int status = std::system(command.c_str());
        ProgramRun run;
        if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
        run.out = test::readFile(out);
        run.err = test::readFile(err);
        return run;
    }

    std::string file(const std::string& name, const std::string& bytes) {
        const std::string path = dir.file(name);
        test::writeFile(path, bytes);
        return path;
    }

    test::TempDir dir;
    std::unique_ptr<test::SimulatorProcess> monitor;
};

using hlx::test::contains;

// Two data records that do not follow on, and the end: three records, three lines.
std::string smallFirmware() {
    return test::HexText().fill(0x0000, 16).fill(0x0100, 16).end().text();
}

// The memory an Intel HEX file describes (type 4 records set the upper address).
tools::MemoryImage imageOf(const std::string& hex) {
    tools::MemoryImage image;
    tools::AddressSpace space(image);
    std::istringstream lines(hex);
    for (std::string line; std::getline(lines, line);)
        if (const tools::DecodedLine d = tools::decodeHexLine(line); d.error == tools::LineError::None)
            space.apply(d.record);
    return image;
}

// hlx-virtual-monitor --fault-line-silent-at 3, eight lines of 45 bytes: the first chunk of five is
// answered twice, and the rest never goes out.
TEST_F(ProgramsTest, ASendThatStopsEarlyIsAFailure) {
    const std::string port = startMonitor({"--fault-line-silent-at", "3"});
    std::string text;
    for (int i = 0; i < 8; ++i) text += "Line" + std::to_string(i) + "=" + std::string(37, 'v') + "\r\n";
    const ProgramRun run = hlx("send-file '" + file("eight.txt", text) + "' --port '" + port + "'");
    EXPECT_EQ(1, run.exitCode) << run.out << run.err;
    EXPECT_TRUE(
        run.out.ends_with("Fehler: Zeitüberschreitung\nFehler: nur 225 von 360 Bytes übertragen\n"
                          "225 Bytes übertragen\n"))
        << run.out;
}

// The monitor answers the end record with an error byte 100 ms late, while it writes its flash.
TEST_F(ProgramsTest, ALateErrorOnTheLastTextLineIsAFailure) {
    const std::string port = startMonitor(
        {"--fault-error-at", "3", "--error-byte", "0xF9", "--delay-ms", "100", "--delay-at", "3"});
    const ProgramRun run =
        hlx("flash realterm '" + file("fw.hex", smallFirmware()) + "' --port '" + port + "' --print-result");
    EXPECT_EQ(1, run.exitCode) << run.out;
    EXPECT_TRUE(run.out.ends_with("ERR_FLASHWRITE\nFehler: Bestätigungsfehler\n")) << run.out;
    EXPECT_TRUE(run.err.ends_with("JobResult=0x40\n")) << run.err;
}

// A file without data changes nothing, by every method.
TEST_F(ProgramsTest, AFirmwareFileWithoutDataChangesNothing) {
    const std::string endOnly = file("end.hex", ":00000001FF\r\n");
    std::string port = startMonitor({});
    for (const char* method : {"rtq", "realterm"}) {
        SCOPED_TRACE(method);
        const ProgramRun run =
            hlx(std::string("flash ") + method + " '" + endOnly + "' --port '" + port + "'");
        EXPECT_EQ(1, run.exitCode);
        EXPECT_TRUE(contains(run.out, "Fehler: Datei enthält keine Daten\nAnzahl Fehler: 1\n")) << run.out;
    }
    EXPECT_TRUE(monitor->waitFor("", 100ms));
    EXPECT_FALSE(contains(monitor->printed(), "command:")) << monitor->printed();

    port = startMonitor({"--lpc-isp"});
    const ProgramRun isp = hlx("flash isp '" + endOnly + "' --port '" + port + "'");
    EXPECT_EQ(1, isp.exitCode);
    EXPECT_TRUE(contains(isp.out, "Fehler: Datei enthält keine Daten\n")) << isp.out;
    monitor->waitFor("erased", 300ms);
    EXPECT_FALSE(contains(monitor->printed(), "erased")) << monitor->printed();

    const ProgramRun check = hlx("check-hex '" + endOnly + "'");
    EXPECT_EQ(1, check.exitCode);
    EXPECT_EQ("Prüfe Hex File\nFehler: Datei enthält keine Daten\nAnzahl Fehler: 1\n", check.out);
}

// Data up to the last line below the boot block: every copy lands, the flash holds the file.
TEST_F(ProgramsTest, TheWholeUserFlashCanBeProgrammed) {
    const std::string flashOut = dir.file("flash.hex");
    const std::string port = startMonitor({"--lpc-isp", "--flash-out", flashOut});
    test::HexText firmware;
    firmware.page(0).fill(0x0000, 64).page(7).fill(0xD800, 0x500).fill(0xDF00, 0x100);
    const ProgramRun run =
        hlx("flash isp '" + file("fw.hex", firmware.end().text()) + "' --port '" + port + "'");
    EXPECT_EQ(0, run.exitCode) << run.out;
    ASSERT_TRUE(monitor->waitFor("written to " + flashOut)) << monitor->printed();
    const tools::MemoryImage flash = imageOf(test::readFile(flashOut));
    for (const auto& [address, value] : firmware.bytes()) {
        if (address < 0x20) continue;         // the vector checksum word is the job's
        const auto at = flash.find(address);  // the file written out leaves erased bytes out
        EXPECT_EQ(value, at == flash.end() ? 0xFF : at->second) << "0x" << std::hex << address;
    }
    EXPECT_FALSE(contains(monitor->printed(), "answered 5")) << monitor->printed();
}

// hlx-virtual-monitor --restart-after-download: its service port leaves the bus after the closing lines.
TEST_F(ProgramsTest, AMonitorThatRestartsIsNoFailure) {
    const std::string firmware = file("fw.hex", smallFirmware());
    for (const char* method : {"rtq", "realterm"}) {
        SCOPED_TRACE(method);
        const std::string port = startMonitor({"--restart-after-download"});
        const ProgramRun run =
            hlx(std::string("flash ") + method + " '" + firmware + "' --port '" + port + "'");
        EXPECT_EQ(0, run.exitCode) << run.out << run.err;
        EXPECT_TRUE(contains(run.out, "Monitor hat die Verbindung beendet (" + port + ")\n")) << run.out;
        EXPECT_FALSE(contains(run.out, "Verbindung zum COM Port verloren")) << run.out;
        EXPECT_EQ("", run.err);
    }
}

}  // namespace
}  // namespace hlx
