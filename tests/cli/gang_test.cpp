// Gang runs and reports, as a production line uses them: `hlx flash ... --port P1 --port P2 ...` against
// several simulated monitors at once, one of them failing; the summary, the lines each port showed, what
// each monitor ended up with, a stop by Ctrl-C, and the --report document of every run, validated against
// its schema with an independent validator and its digests checked with sha256sum.

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/support/child_process.h"
#include "tests/support/contains.h"
#include "tests/support/hex_text.h"
#include "tests/support/port_probe.h"
#include "tests/support/pty.h"
#include "tests/support/report_schema.h"
#include "tests/support/temp_dir.h"
#include "tools/lpc_isp_sim.h"
#include "tools/virtual_monitor.h"

namespace hlx {
namespace {

using namespace std::chrono_literals;
using Json = nlohmann::json;
using test::HlxRun;
using test::RunOptions;

HlxRun hlx(const std::vector<std::string>& arguments, RunOptions options = {}) {
    return test::ChildProcess(HLX_CLI_PATH, arguments, options).finish(60s);
}

using hlx::test::contains;

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The summary line of a port: the last line that starts with it followed by spaces.
std::string summaryOf(const std::string& out, const std::string& port) {
    std::string found;
    for (const std::string& line : linesOf(out))
        if (line.starts_with(port + " ")) found = line;
    return found;
}

// The report, checked against the schema first.
Json readReport(const std::string& path) {
    EXPECT_EQ("", test::reportSchemaViolations(path));
    return Json::parse(test::readFile(path));
}

std::string sha256sum(const std::string& path) {
    const test::CommandOutcome run = test::runCommand("sha256sum '" + path + "'");
    return run.out.substr(0, 64);
}

// 40 data records of 16 bytes at addresses 32 apart, so the binary download sends each on its own.
test::HexText spacedFirmware() {
    test::HexText file;
    file.page(0);
    for (std::uint16_t r = 0; r < 40; ++r) file.fill(static_cast<std::uint16_t>(r * 32), 16);
    return file.end();
}

std::map<std::uint32_t, std::uint8_t> imageOf(const tools::VirtualMonitor& monitor) {
    const tools::MemoryImage image = monitor.image();
    return {image.begin(), image.end()};
}

class GangTest : public ::testing::Test {
protected:
    std::string writeFirmware(const test::HexText& file) {
        const std::string path = dir.file("fw.hex");
        test::writeFile(path, file.text());
        return path;
    }

    test::TempDir dir;
    const std::string report = dir.file("run.json");
};

TEST_F(GangTest, RtqUpdatesEveryMonitorAndTheFailingOneFailsAlone) {
    const test::HexText firmware = spacedFirmware();
    const std::string path = writeFirmware(firmware);
    tools::VirtualMonitor first;
    tools::VirtualMonitor failing;
    tools::VirtualMonitor third;
    failing.setFaults({.errorAt = 5});
    const std::vector<std::string> ports{first.slavePath(), failing.slavePath(), third.slavePath()};

    const HlxRun run = hlx({"flash", "rtq", path, "--port", ports[0], "--port", ports[1], "--port", ports[2],
                            "--report", report});
    EXPECT_EQ(1, run.exitCode) << run.out << run.err;

    // Not a terminal: every line carries its port; the summary names each port once.
    const std::vector<std::string> lines = linesOf(run.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ("2 of 3 ports without failure", lines.back());
    for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
        const bool portLine = std::any_of(ports.begin(), ports.end(), [&](const std::string& p) {
            return lines[i].starts_with(p + ": ") || lines[i].starts_with(p + " ");
        });
        EXPECT_TRUE(portLine) << lines[i];
    }
    for (const std::string& port : ports) {
        EXPECT_TRUE(contains(run.out, port + ": Anzahl Fehler: 0")) << "each port shows the check";
        EXPECT_TRUE(contains(run.out, port + ": LoadFWRTQ OK"));
    }
    EXPECT_TRUE(contains(summaryOf(run.out, ports[0]), " ok ")) << run.out;
    EXPECT_TRUE(contains(summaryOf(run.out, ports[1]), "failed")) << run.out;
    EXPECT_TRUE(contains(summaryOf(run.out, ports[1]), "Fehler: Bestätigungsfehler")) << run.out;
    EXPECT_TRUE(contains(summaryOf(run.out, ports[2]), " ok ")) << run.out;
    // 40 data records of 21 bytes, the type 4 record (7) and the end record (5).
    EXPECT_TRUE(contains(summaryOf(run.out, ports[0]), " 852 bytes ")) << run.out;

    // The good monitors hold the firmware; the failing one stopped where it refused.
    EXPECT_EQ(firmware.bytes(), imageOf(first));
    EXPECT_EQ(firmware.bytes(), imageOf(third));
    EXPECT_EQ(5u, failing.records().size());

    const Json json = readReport(report);
    EXPECT_EQ("rtq", json["method"]);
    EXPECT_FALSE(json["success"]);
    EXPECT_EQ(path, json["file"]["path"]);
    EXPECT_EQ(static_cast<std::int64_t>(firmware.text().size()), json["file"]["size"]);
    EXPECT_EQ(sha256sum(path), json["file"]["sha256"]);
    const std::string imageDigest = json["file"]["image_sha256"];
    EXPECT_TRUE(contains(hlx({"hex-info", path}).out, imageDigest)) << "the digest hex-info shows";
    ASSERT_EQ(3u, json["jobs"].size());
    for (std::size_t i = 0; i < ports.size(); ++i) EXPECT_EQ(ports[i], json["jobs"][i]["port"]);
    const Json& good = json["jobs"][0];
    EXPECT_TRUE(good["success"]);
    EXPECT_EQ(42, good["records_sent"]);
    EXPECT_EQ(852, good["bytes_sent"]);
    EXPECT_EQ(0, good["settings"]["entry"]);
    EXPECT_EQ("115200,8,E,1", good["settings"]["text"]);
    EXPECT_EQ("852 Bytes übertragen", good["lines"].back());
    const Json& bad = json["jobs"][1];
    EXPECT_FALSE(bad["success"]);
    EXPECT_EQ(Json::parse(R"([{"bit": 64, "name": "error-reply", "message": "Fehler: Bestätigungsfehler"}])"),
              bad["failures"]);
    EXPECT_EQ(0x1040, bad["result_word"]);
    EXPECT_EQ(5, bad["records_sent"]) << "the refused record went out whole";
    std::size_t wire = 0;
    for (const tools::ReceivedRecord& r : failing.records()) wire += r.wireSize;
    EXPECT_EQ(wire, bad["bytes_sent"]);
}

// The boot loaders are paced at the rate the job sets on the line, as real parts are; the second refuses
// its second copy to flash.
TEST_F(GangTest, IspProgramsEveryBootLoaderButTheRefusingOne) {
    test::HexText firmware;
    firmware.page(0).fill(0, 0x1400, 16);
    const std::string path = writeFirmware(firmware.end());
    std::vector<std::unique_ptr<tools::LpcIspSim>> sims;
    for (int i = 0; i < 3; ++i) sims.push_back(std::make_unique<tools::LpcIspSim>());
    sims[1]->setFaults({.failCommand = 'C', .failOccurrence = 2, .failCode = tools::kDstAddrNotMapped});

    const HlxRun run = hlx({"flash", "isp", path, "--port", sims[0]->slavePath(), "--port",
                            sims[1]->slavePath(), "--port", sims[2]->slavePath(), "--report", report});
    EXPECT_EQ(1, run.exitCode) << run.out << run.err;
    for (int i : {0, 2}) {
        SCOPED_TRACE(i);
        const std::vector<std::uint8_t> flash = sims[i]->flash();
        for (const auto& [address, value] : firmware.bytes()) {
            if (address >= 0x14 && address < 0x18) continue;  // the vector checksum word
            ASSERT_EQ(value, flash[address]) << "at " << address;
        }
        EXPECT_TRUE(sims[i]->userCodeValid());
        EXPECT_EQ(0u, sims[i]->bytesProgrammedTwice());
        EXPECT_TRUE(contains(summaryOf(run.out, sims[i]->slavePath()), " ok ")) << run.out;
    }
    EXPECT_TRUE(contains(summaryOf(run.out, sims[1]->slavePath()), "Fehler: Bestätigungsfehler")) << run.out;

    const Json json = readReport(report);
    EXPECT_EQ("isp", json["method"]);
    const Json& good = json["jobs"][0];
    EXPECT_EQ(2, good["settings"]["entry"]) << "the boot loader's fixed entry";
    EXPECT_EQ("115200,8,N,1", good["settings"]["text"]);
    // Every copy's RAM block went out in UU lines of up to 45 bytes: 1 count character, 4 per 3 bytes, CR LF.
    std::int64_t lines = 0;
    std::int64_t bytes = 0;
    for (const tools::SimCopy& copy : sims[0]->copies())
        for (std::uint32_t done = 0; done < copy.size; done += 45) {
            ++lines;
            bytes += 1 + 4 * ((std::min<std::uint32_t>(45, copy.size - done) + 2) / 3) + 2;
        }
    EXPECT_EQ(lines, good["lines_sent"]);
    EXPECT_EQ(bytes, good["bytes_sent"]);
    EXPECT_TRUE(contains(good["lines"].dump(), "Datei fehlerfrei übertragen"));
    EXPECT_EQ("error-reply", json["jobs"][1]["failures"][0]["name"]);
}

TEST_F(GangTest, IspAtTheFasterRateOnEveryPort) {
    test::HexText firmware;
    firmware.page(0).fill(0, 0x1000, 16);
    const std::string path = writeFirmware(firmware.end());
    tools::LpcIspSim first;
    tools::LpcIspSim second;
    const HlxRun run = hlx({"flash", "isp", path, "--isp-baud", "230400", "--port", first.slavePath(),
                            "--port", second.slavePath()});
    EXPECT_EQ(0, run.exitCode) << run.out << run.err;
    for (const tools::LpcIspSim* sim : {&first, &second}) {
        const std::vector<std::string> commands = sim->commands();
        EXPECT_NE(commands.end(), std::find(commands.begin(), commands.end(), "B 230400 1"));
        EXPECT_TRUE(sim->userCodeValid());
        EXPECT_TRUE(contains(run.out, sim->slavePath() + ": Setting Baud Rate 230400")) << run.out;
    }
    const HlxRun refused = hlx({"flash", "isp", path, "--isp-baud", "250000", "--port", first.slavePath()});
    EXPECT_EQ(2, refused.exitCode);
    EXPECT_TRUE(contains(refused.err, "--isp-baud")) << refused.err;
}

TEST_F(GangTest, CtrlCStopsEveryJobReleasesEveryPortAndKeepsTheRecord) {
    test::HexText firmware;
    firmware.page(0);
    for (std::uint16_t r = 0; r < 200; ++r) firmware.fill(static_cast<std::uint16_t>(r * 32), 16);
    const std::string path = writeFirmware(firmware.end());
    tools::VirtualMonitor first;
    tools::VirtualMonitor second;
    first.setFaults({.delay = 300ms});
    second.setFaults({.delay = 300ms});

    test::ChildProcess process(HLX_CLI_PATH, {"flash", "rtq", path, "--port", first.slavePath(), "--port",
                                              second.slavePath(), "--report", report});
    const auto giveUp = std::chrono::steady_clock::now() + 20s;
    while ((first.records().empty() || second.records().empty()) && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(5ms);
    ASSERT_FALSE(first.records().empty() || second.records().empty()) << "the downloads did not start";
    process.signal(SIGINT);
    const HlxRun run = process.finish();

    EXPECT_EQ(130, run.exitCode);
    EXPECT_TRUE(contains(run.err, "hlx: stopped by SIGINT")) << run.err;
    EXPECT_LT(first.records().size() + second.records().size(), 100u) << "the downloads went on";
    EXPECT_TRUE(test::openableByAnotherProgram(first.slavePath()));
    EXPECT_TRUE(test::openableByAnotherProgram(second.slavePath()));
    EXPECT_TRUE(contains(summaryOf(run.out, first.slavePath()), "stopped")) << run.out;
    const Json json = readReport(report);
    for (const Json& job : json["jobs"]) {
        EXPECT_TRUE(job["stopped"]);
        EXPECT_FALSE(job["success"]);
    }
}

TEST_F(GangTest, RefusesBeforeTouchingAnyPort) {
    const std::string path = writeFirmware(spacedFirmware());
    tools::VirtualMonitor first;
    tools::VirtualMonitor second;
    ::mkdir(dir.file("folder.json").c_str(), 0700);
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        std::string reason;  // part of stderr
    } cases[] = {
        {"SamePortTwice",
         {"flash", "rtq", path, "--port", first.slavePath(), "--port", first.slavePath()},
         "which another --port names too"},
        {"MissingFile",
         {"flash", "realterm", dir.file("missing.hex"), "--port", first.slavePath(), "--port",
          second.slavePath()},
         dir.file("missing.hex") + ": No such file or directory"},
        {"ReportNotWritable",
         {"flash", "isp", path, "--port", first.slavePath(), "--port", second.slavePath(), "--report",
          dir.file("folder.json")},
         "the report cannot be written"},
        {"SinglePortReportNotWritable",
         {"flash", "rtq", path, "--port", first.slavePath(), "--report", dir.file("no/such/run.json")},
         "the report cannot be written"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const HlxRun run = hlx(c.arguments);
        EXPECT_EQ(2, run.exitCode);
        EXPECT_TRUE(contains(run.err, c.reason)) << run.err;
        EXPECT_EQ("", run.out);
    }
    EXPECT_TRUE(first.commands().empty());
    EXPECT_TRUE(second.commands().empty());
}

// On a terminal each port has one status line, redrawn in place, that ends with its result.
TEST_F(GangTest, LiveStatusLinesOnATerminal) {
    const std::string path = writeFirmware(spacedFirmware());
    tools::VirtualMonitor first;
    tools::VirtualMonitor second;
    test::PseudoTerminal terminal;  // the technician's terminal: hlx writes to its slave side
    const int screen = ::open(terminal.slavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(screen, 0);
    RunOptions onTheTerminal;
    onTheTerminal.stdoutFd = screen;
    test::ChildProcess process(
        HLX_CLI_PATH, {"flash", "realterm", path, "--port", first.slavePath(), "--port", second.slavePath()},
        onTheTerminal);
    ::close(screen);
    std::string shown;
    const auto giveUp = std::chrono::steady_clock::now() + 30s;
    while (!contains(shown, "ports without failure") && std::chrono::steady_clock::now() < giveUp)
        shown += terminal.receive(1, 200ms);
    const HlxRun run = process.finish();
    EXPECT_EQ(0, run.exitCode) << shown << run.err;

    EXPECT_TRUE(contains(shown, "\033[2F")) << "back up over the two status lines to redraw them";
    EXPECT_FALSE(contains(shown, first.slavePath() + ": ")) << "no scrolling log lines on a terminal";
    const std::string bar = "[" + std::string(24, '#') + "] 100%  ok";
    EXPECT_TRUE(contains(shown, bar)) << shown;
    EXPECT_TRUE(contains(shown, "2 of 2 ports without failure"));
    EXPECT_EQ(spacedFirmware().bytes(), imageOf(first));
    EXPECT_EQ(spacedFirmware().bytes(), imageOf(second));
}

// The frame fits a small terminal: five ports with long by-id names on 80 columns and 4 rows. No frame is
// taller than 3 lines (it would scroll), no line is wider than 79 columns, a long name is shortened from
// the left, and a finished port shows 100 % and its outcome.
TEST_F(GangTest, LiveViewFitsASmallTerminal) {
    const std::string path = writeFirmware(spacedFirmware());
    std::vector<std::unique_ptr<tools::VirtualMonitor>> monitors;
    std::vector<std::string> arguments{"flash", "realterm", path};
    for (int i = 0; i < 5; ++i) {
        monitors.push_back(std::make_unique<tools::VirtualMonitor>());
        const std::string link =
            dir.file("usb-FTDI_FT232R_USB_UART_A50285B" + std::to_string(i) + "-if00-port0-by-id-name");
        ASSERT_EQ(0, ::symlink(monitors.back()->slavePath().c_str(), link.c_str()));
        arguments.insert(arguments.end(), {"--port", link});
    }
    test::PseudoTerminal terminal;
    const winsize size{.ws_row = 4, .ws_col = 80, .ws_xpixel = 0, .ws_ypixel = 0};
    ASSERT_EQ(0, ::ioctl(terminal.masterFd(), TIOCSWINSZ, &size));
    const int screen = ::open(terminal.slavePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(screen, 0);
    RunOptions onTheTerminal;
    onTheTerminal.stdoutFd = screen;
    test::ChildProcess process(HLX_CLI_PATH, arguments, onTheTerminal);
    ::close(screen);
    std::string shown;
    const auto giveUp = std::chrono::steady_clock::now() + 60s;
    while (!contains(shown, "ports without failure") && std::chrono::steady_clock::now() < giveUp)
        shown += terminal.receive(1, 200ms);
    const HlxRun run = process.finish(60s);
    EXPECT_EQ(0, run.exitCode) << shown << run.err;

    EXPECT_FALSE(contains(shown, "\033[4F")) << "a frame taller than the terminal scrolls";
    EXPECT_FALSE(contains(shown, "\033[5F"));
    EXPECT_TRUE(contains(shown, "\033[3F")) << "back up over the three lines of the frame";
    EXPECT_TRUE(contains(shown, "more ports:")) << shown;
    EXPECT_TRUE(contains(shown, "...")) << "long names are shortened from the left";
    EXPECT_TRUE(contains(shown, "-by-id-name  [")) << "the end of a name is kept";
    EXPECT_TRUE(contains(shown, "] 100%  ok")) << shown;
    // Every status line (after its clear) fits in 79 columns; the terminal turns LF into CR LF.
    std::size_t at = 0;
    while ((at = shown.find("\033[K", at)) != std::string::npos) {
        at += 3;
        const std::size_t end = shown.find_first_of("\r\n", at);
        const std::string line = shown.substr(at, end == std::string::npos ? std::string::npos : end - at);
        std::size_t columns = 0;
        for (char c : line) columns += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        EXPECT_LE(columns, 79u) << line;
    }
    for (const auto& monitor : monitors) EXPECT_EQ(spacedFirmware().bytes(), imageOf(*monitor));
}

// --print-result in a gang: the run ends with one result line per port, in the order of the --port options.
TEST_F(GangTest, PrintResultEndsTheRunWithALinePerPort) {
    const std::string path = writeFirmware(spacedFirmware());
    tools::VirtualMonitor first;
    tools::VirtualMonitor failing;
    failing.setFaults({.errorAt = 5});
    const HlxRun run = hlx(
        {"flash", "rtq", path, "--port", first.slavePath(), "--port", failing.slavePath(), "--print-result"});
    EXPECT_EQ(1, run.exitCode) << run.err;
    const std::vector<std::string> lines = linesOf(run.err);
    ASSERT_GE(lines.size(), 2u) << run.err;
    EXPECT_EQ(first.slavePath() + ": JobResult=0x1000", lines[lines.size() - 2]) << run.err;
    EXPECT_TRUE(lines.back().starts_with(failing.slavePath() + ": JobResult=0x")) << run.err;
    EXPECT_NE(failing.slavePath() + ": JobResult=0x1000", lines.back());
}

TEST_F(GangTest, SingleRunsWriteTheirReportToo) {
    const test::HexText firmware = spacedFirmware();
    const std::string path = writeFirmware(firmware);
    tools::VirtualMonitor monitor;
    const HlxRun run = hlx({"flash", "realterm", path, "--port", monitor.slavePath(), "--report", report});
    EXPECT_EQ(0, run.exitCode) << run.err;
    Json json = readReport(report);
    EXPECT_TRUE(json["success"]);
    ASSERT_EQ(1u, json["jobs"].size());
    const Json& job = json["jobs"][0];
    EXPECT_EQ(42, job["lines_sent"]) << "the type 4 record, 40 data records and the end record";
    std::vector<std::string> shown;
    for (const std::string& line : linesOf(run.out)) shown.push_back(line);
    EXPECT_EQ(Json(shown), job["lines"]) << "the lines the job showed, as hlx printed them";

    // A sender's record: no memory image, its chunks counted as lines.
    tools::VirtualMonitor receiver;
    test::writeFile(dir.file("text.txt"), "a=1\r\nb=2\r\n");
    const HlxRun sent =
        hlx({"send-file", dir.file("text.txt"), "--port", receiver.slavePath(), "--report", report});
    EXPECT_EQ(0, sent.exitCode) << sent.err;
    json = readReport(report);
    EXPECT_EQ("send-file", json["method"]);
    EXPECT_TRUE(json["file"]["image_sha256"].is_null());
    EXPECT_EQ(10, json["jobs"][0]["bytes_sent"]);
    EXPECT_EQ(1, json["jobs"][0]["lines_sent"]) << "both lines in one chunk";
}

}  // namespace
}  // namespace hlx
