// The two senders from end to end: the real job frame and job bodies on a job thread, the real serial port
// on a pseudo-terminal, and the simulated monitor on its other side, in real time. What the monitor
// received is compared with the file or the window's text; then the same through the hlx binary.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <random>

#include "jobs/job_frame.h"
#include "output/job_result.h"
#include "runner/job_catalogue.h"
#include "serial/posix_serial_device.h"
#include "tests/support/job_runner.h"
#include "tests/support/recording_view.h"
#include "tests/support/temp_dir.h"
#include "tools/virtual_monitor.h"

namespace hlx {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

// A text a technician would send: command lines with CR LF, an empty line, a tab, a line of 300 bytes,
// more lines than fit one chunk, and a last line with its line end.
std::string commandText(int lines) {
    std::string text;
    for (int i = 0; i < lines; ++i) {
        if (i == 7) text += "\r\n";
        if (i == 11) text += "Note=" + std::string(295, 'n') + "\r\n";
        text += "Param" + std::to_string(i) + "=\t" + std::to_string(i * 17) + "\r\n";
    }
    return text;
}

std::string randomBytes(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& b : bytes) b = static_cast<char>(random() & 0xFF);
    return bytes;
}

class SenderE2eTest : public ::testing::Test {
protected:
    void startMonitor(tools::MonitorConfig config, tools::MonitorFaults faults = {}) {
        monitor = std::make_unique<tools::VirtualMonitor>(std::move(config));
        monitor->setFaults(faults);
    }

    std::int32_t runJob(jobs::JobKind kind, jobs::JobInputs inputs) {
        serial::SerialPort port(std::make_unique<serial::PosixSerialDevice>());
        serial::Deadline replyDeadline;
        inputs.comText = monitor->slavePath();
        inputs.settingsEntry = 0;
        return test::runJobInSlot(*runner::jobDefinition(kind), {port, replyDeadline, log, view}, inputs);
    }

    std::int32_t sendFile(const std::string& bytes) {
        path = dir.file("send.dat");
        test::writeFile(path, bytes);
        jobs::JobInputs inputs;
        inputs.filePath = path;
        inputs.parameter = 1;
        return runJob(jobs::JobKind::FileSender, inputs);
    }

    std::int32_t sendWindow(const std::string& text) {
        view.setText(text);
        jobs::JobInputs inputs;
        inputs.windowText = text;
        inputs.parameter = 0;
        return runJob(jobs::JobKind::TerminalSender, inputs);
    }

    test::TempDir dir;
    std::string path;
    std::unique_ptr<tools::VirtualMonitor> monitor;
    test::RecordingView view;
    output::OutputLog log{view};
};

TEST_F(SenderE2eTest, TextFileArrivesAsItIsLineByLine) {
    startMonitor({});
    const std::string text = commandText(40);
    EXPECT_EQ(0x1000, sendFile(text));
    EXPECT_EQ(text, monitor->received());
    const Lines lines = view.lines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ("Übertrage Textdatei", lines[2]);
    EXPECT_EQ(42, std::count(lines.begin(), lines.end(), "OK"))
        << "one answer per line, the empty one included";
    EXPECT_EQ(std::to_string(text.size()) + " Bytes übertragen", lines.back());
    EXPECT_EQ(100, view.progress().back());
}

TEST_F(SenderE2eTest, BinaryFileArrivesInFrames) {
    tools::MonitorConfig config;
    config.fileFrames = true;
    startMonitor(config);
    const std::string image = randomBytes(10'000, 7);
    EXPECT_EQ(0x1000, sendFile(image));
    EXPECT_EQ(image, monitor->received());
    EXPECT_EQ(std::vector<std::size_t>(40, 250), monitor->frames());
    EXPECT_EQ("10040 Bytes übertragen", view.lines().back());
}

TEST_F(SenderE2eTest, AMonitorAnsweringThreeOfFourLinesStopsTheTransferAsAFailure) {
    startMonitor({}, {.lineSilentAt = 4});
    const std::string firstChunk = "A=1\r\nB=2\r\nC=3\r\nD=4\r\n";
    const std::string file = firstChunk + std::string(240, 'x') + "\r\n";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(0x1020, sendFile(file));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1500ms);
    EXPECT_EQ(firstChunk, monitor->received()) << "the next chunk never went out";
    const Lines lines = view.lines();
    EXPECT_EQ((Lines{"Übertrage Textdatei", "OK", "OK", "OK", "Fehler: Zeitüberschreitung",
                     "Fehler: nur 20 von 262 Bytes übertragen", "20 Bytes übertragen"}),
              Lines(lines.end() - 7, lines.end()));
}

TEST_F(SenderE2eTest, AnErrorByteStopsTheFileSenderWithoutALineOfItsOwn) {
    tools::MonitorConfig config;
    config.fileFrames = true;
    startMonitor(config, {.errorByte = 0xF9, .lineErrorAt = 2});
    EXPECT_EQ(0x1001, sendFile(randomBytes(1000, 3)));
    EXPECT_EQ((std::vector<std::size_t>{250, 250}), monitor->frames());
    const std::string text = view.text();
    EXPECT_TRUE(text.ends_with(
        "OK\r\nùERR_FLASHWRITE\nFehler: nur 500 von 1000 Bytes übertragen\r\n502 Bytes übertragen\r\n"))
        << text;
}

TEST_F(SenderE2eTest, WindowTextArrivesLineByLineWithItsAnswersShown) {
    tools::MonitorConfig config;
    config.replyLine = "Gut";
    startMonitor(config);
    const std::string text = "Bright=50\r\n\r\nContrast?\r\n";
    EXPECT_EQ(0x1000, sendWindow(text));
    EXPECT_EQ(text, monitor->received());
    EXPECT_EQ(text + "Bright=50 Gut\r\n Gut\r\nContrast? Gut\r\n", view.text());
}

TEST_F(SenderE2eTest, AMonitorSilentAfterTheThirdLineStopsTheTerminalSender) {
    startMonitor({}, {.lineSilentAt = 4});
    const std::string text = "a=1\r\nb=2\r\nc=3\r\nd=4\r\ne=5\r\n";
    EXPECT_EQ(0x1020, sendWindow(text));
    EXPECT_EQ("a=1\r\nb=2\r\nc=3\r\nd=4\r\n", monitor->received()) << "the fifth line is not sent";
    EXPECT_EQ(text + "a=1 OK\r\nb=2 OK\r\nc=3 OK\r\nd=4 Fehler: Zeitüberschreitung\r\n", view.text());
}

// The hlx binary as a technician runs it against the simulated monitor.
class SendCliTest : public SenderE2eTest {
protected:
    struct Run {
        int exitCode = -1;
        std::string out;
        std::string err;
    };
    Run hlx(const std::string& arguments) {
        const std::string out = dir.file("out.txt");
        const std::string err = dir.file("err.txt");
        const std::string command =
            std::string("'") + HLX_CLI_PATH + "' " + arguments + " >'" + out + "' 2>'" + err + "'";
        const int status = std::system(command.c_str());
        Run run;
        if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
        run.out = test::readFile(out);
        run.err = test::readFile(err);
        return run;
    }
    std::string port() const { return " --port '" + monitor->slavePath() + "'"; }
};

TEST_F(SendCliTest, SendFileSendsTheFileAndSaysHowItWent) {
    tools::MonitorConfig config;
    config.fileFrames = true;
    startMonitor(config);
    const std::string image = randomBytes(600, 11);
    const std::string file = dir.file("logo.vxc");
    test::writeFile(file, image);
    const Run run = hlx("send-file '" + file + "'" + port() + " --print-result");
    EXPECT_EQ(0, run.exitCode) << run.err;
    EXPECT_EQ(image, monitor->received());
    EXPECT_EQ(file + " geöffnet\n600 Bytes gelesen\nÜbertrage Binärdatei\nOK\nOK\nOK\n603 Bytes übertragen\n",
              run.out);
    EXPECT_TRUE(run.err.ends_with("JobResult=0x1000\n")) << run.err;
}

// Eight lines of 45 bytes go out as a chunk of five and one of three; a monitor that falls silent at the
// third line leaves the transfer short, and hlx says so and exits 1.
TEST_F(SendCliTest, SendFileThatStopsEarlyIsAFailure) {
    startMonitor({}, {.lineSilentAt = 3});
    std::string text;
    for (int i = 0; i < 8; ++i) text += "Line" + std::to_string(i) + "=" + std::string(37, 'v') + "\r\n";
    ASSERT_EQ(360u, text.size());
    const std::string file = dir.file("eight.txt");
    test::writeFile(file, text);
    const Run run = hlx("send-file '" + file + "'" + port() + " --print-result");
    EXPECT_EQ(1, run.exitCode) << run.err;
    EXPECT_TRUE(
        run.out.ends_with("OK\nOK\nFehler: Zeitüberschreitung\nFehler: nur 225 von 360 Bytes übertragen\n"
                          "225 Bytes übertragen\n"))
        << run.out;
    EXPECT_TRUE(run.err.ends_with("JobResult=0x1020\n")) << run.err;
}

TEST_F(SendCliTest, SendTerminalReadsTheFileAsLoadTerminalDoes) {
    startMonitor({});
    const std::string file = dir.file("commands.txt");
    test::writeFile(file, "\xEF\xBB\xBFName=M\xC3\xBCller\nVersion?\n");  // UTF-8 with mark, LF line ends
    const Run run = hlx("send-terminal '" + file + "'" + port());
    EXPECT_EQ(0, run.exitCode) << run.err;
    EXPECT_EQ("Name=M\xFCller\r\nVersion?\r\n", monitor->received()) << "8-bit, CR LF";
    EXPECT_EQ("Name=Müller OK\nVersion? OK\n", run.out);
}

TEST_F(SendCliTest, ExitCodesSayWhatHappened) {
    startMonitor({}, {.lineSilentAt = 1});
    const std::string text = dir.file("commands.txt");
    test::writeFile(text, "Version?\r\n");
    struct Case {
        const char* name;
        std::string arguments;
        int exitCode;
        std::string errContains;
    };
    const Case cases[] = {
        {"SilentMonitor", "send-terminal '" + text + "'" + port(), 1, ""},
        {"SendFileMissing", "send-file '" + dir.file("missing.vxc") + "'" + port(), 2,
         "hlx: " + dir.file("missing.vxc") + ": No such file or directory\n"},
        {"SendFileIsAFolder", "send-file '" + dir.path() + "'" + port(), 2, "hlx: " + dir.path() + ": "},
        {"TerminalFileMissing", "send-terminal '" + dir.file("missing.txt") + "'" + port(), 2,
         "No such file"},
        {"NoPort", "send-file '" + text + "'", 2, "--port"},
        {"SettingsOutOfRange", "send-file '" + text + "'" + port() + " --settings 7", 2, "--settings"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Run run = hlx(c.arguments);
        EXPECT_EQ(c.exitCode, run.exitCode) << run.out << run.err;
        EXPECT_NE(std::string::npos, run.err.find(c.errContains)) << run.err;
    }
}

}  // namespace
}  // namespace hlx
