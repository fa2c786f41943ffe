// The boot loader job on a scripted boot loader and a fake clock: the conversation as written, the window
// and progress as shown, every deadline at its edge, and each failure's bits, all without sleeping.

#include "firmware/isp_download.h"

#include "firmware/isp_blocks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>

#include "jobs/job_frame.h"
#include "output/job_result.h"
#include "serial/com_settings.h"
#include "tests/support/fake_serial_device.h"
#include "tests/support/hex_text.h"
#include "tests/support/job_runner.h"
#include "tests/support/recording_view.h"
#include "tests/support/temp_dir.h"

namespace hlx::firmware {
namespace {

using namespace std::chrono_literals;
using output::result::kErrorByte;
using output::result::kShortWrite;
using output::result::kTimeout;

// A boot loader scripted on the fake device: answers every write as the LPC ISP boot loader does (line echo
// until "A 0"), each after the delay set for its kind of line:
//   '?' the synchronisation byte   'S' "Synchronized"   'F' the crystal frequency   '#' a checksum line
//   a command letter for a command ("U", "J", "P", "E", "A", "W", "C", "G")
// answer[...] replaces the answer text of a kind; data lines are not answered.
class ScriptedBootLoader {
public:
    explicit ScriptedBootLoader(test::FakeSerialDevice& device) {
        device.onWrite(
            [this](test::FakeSerialDevice& d, std::span<const std::uint8_t> bytes) { handle(d, bytes); });
    }

    std::map<char, std::chrono::milliseconds> delay;
    std::map<char, std::string> answer;
    std::function<void(char)> onCommand;  // called with each kind as it arrives

private:
    void handle(test::FakeSerialDevice& d, std::span<const std::uint8_t> bytes) {
        std::string line(bytes.begin(), bytes.end());
        if (m_phase == Phase::AutoBaud) {
            if (line != "?") return;
            if (onCommand) onCommand('?');
            m_phase = Phase::Synchronizing;
            return reply(d, '?', "Synchronized");
        }
        if (line.ends_with("\r\n")) line.resize(line.size() - 2);
        const bool digits = !line.empty() && std::all_of(line.begin(), line.end(), ::isdigit);
        char kind = 0;
        if (m_phase == Phase::Synchronizing || m_phase == Phase::Frequency) {
            // Anything but the expected line sends the boot loader back to autobaud, silently.
            const bool expected = m_phase == Phase::Synchronizing ? line == "Synchronized" : digits;
            if (!expected) {
                m_phase = Phase::AutoBaud;
                return;
            }
            kind = m_phase == Phase::Synchronizing ? 'S' : 'F';
            m_phase = m_phase == Phase::Synchronizing ? Phase::Frequency : Phase::Commands;
        } else if ((line.size() == 1 || (line.size() >= 2 && line[1] == ' ')) &&
                   std::isupper(static_cast<unsigned char>(line[0]))) {
            kind = line[0];  // a command, with its arguments or alone ("J")
        } else if (digits) {
            kind = '#';
        } else {
            return;  // a data line
        }
        if (onCommand) onCommand(kind);
        const std::string echo = m_echo ? line + "\r\n" : "";
        if (kind == 'A') m_echo = false;
        // "J" answers its return code and the part id of an LPC2378.
        const std::string text = kind == 'S' || kind == 'F' || kind == '#' ? "OK"
                                 : kind == 'J'                             ? "0\r\n385940773"
                                                                           : "0";
        reply(d, kind, text, echo);
    }

    void reply(test::FakeSerialDevice& d, char kind, std::string text, const std::string& echo = {}) {
        if (auto a = answer.find(kind); a != answer.end()) text = a->second;
        if (text.empty()) return;  // silent
        const auto wait = delay.count(kind) ? delay[kind] : 1ms;
        d.replyAfter(wait, echo + text + "\r\n");
    }

    enum class Phase { AutoBaud, Synchronizing, Frequency, Commands };
    Phase m_phase = Phase::AutoBaud;
    bool m_echo = true;
};

class IspJobTest : public ::testing::Test {
protected:
    // Runs the job through the job slot with the scripted boot loader; the job's stop token is the test's.
    std::int32_t run(const std::string& hexText) {
        const std::string path = dir.file("firmware.hex");
        test::writeFile(path, hexText);
        jobs::JobInputs inputs;
        inputs.comText = "fake";
        inputs.settingsEntry = 4;
        inputs.filePath = path;
        return test::runJobInSlot(ispDownloadJob(), {port, replyDeadline, log, view}, inputs,
                                  stopper.get_token());
    }

    // The lines the job wrote, without line ends.
    std::vector<std::string> written() const {
        std::vector<std::string> lines;
        for (std::string w : device->writes()) {
            if (w.ends_with("\r\n")) w.resize(w.size() - 2);
            lines.push_back(w);
        }
        return lines;
    }

    test::TempDir dir;
    test::FakeClock clock;
    test::FakeSerialDevice* device = new test::FakeSerialDevice(clock);
    serial::SerialPort port{std::unique_ptr<serial::SerialDevice>(device)};
    serial::Deadline replyDeadline{clock};
    test::RecordingView view;
    output::OutputLog log{view};
    ScriptedBootLoader boot{*device};
    std::stop_source stopper;
};

// A single 16-byte record at 0x0300, then the end.
std::string smallFirmware() {
    test::HexText file;
    file.data(0x0300, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
    return file.end().text();
}

TEST_F(IspJobTest, ConversationWindowAndProgress) {
    EXPECT_EQ(0, run(smallFirmware()));
    std::vector<std::string> lines = written();
    ASSERT_EQ(19u, lines.size());
    EXPECT_EQ((std::vector<std::string>{"?", "Synchronized", "25000", "U 23130", "J", "P 0 27", "E 0 27",
                                        "A 0", "W 1073745920 256"}),
              std::vector<std::string>(lines.begin(), lines.begin() + 9));
    // 16 bytes and 240 bytes of 0xFF: five lines of 45 bytes and one of 31, which reads two more 0xFF.
    EXPECT_EQ("M`0(#!`4&!P@)\"@L,#0X/$/______________________________________", lines[9]);
    for (int i = 10; i < 14; ++i) EXPECT_EQ("M" + std::string(60, '_'), lines[static_cast<std::size_t>(i)]);
    EXPECT_EQ("?" + std::string(44, '_'), lines[14]);
    EXPECT_EQ(std::to_string(136 + 240 * 255), lines[15]);
    EXPECT_EQ((std::vector<std::string>{"P 0 27", "C 768 1073745920 256", "G 0 A"}),
              std::vector<std::string>(lines.begin() + 16, lines.begin() + 19));
    EXPECT_EQ(1u, device->writes()[0].size()) << "the ? goes out alone, without a line end";

    EXPECT_EQ(
        (std::vector<std::string>{dir.file("firmware.hex") + " geöffnet", "Prüfe Hex File",
                                  "Anzahl Fehler: 0", "Sending Synchronisation Character 0x3F",
                                  "Sending Synchronisation Confimation", "Sending Crystal Frequency",
                                  "Unlock", "Read Part ID", "Part: LPC2378 (ID 0x1700FD25), 504 KiB Flash",
                                  "Prepare Flash Erase", "Flash Erase", "Datei fehlerfrei übertragen"}),
        view.lines());
    EXPECT_EQ((std::vector<std::string>{"poll off", "clear", "progress 0..100", "progress 0", "progress 75",
                                        "progress 98", "progress 100", "poll on"}),
              view.transcript());
    EXPECT_EQ(serial::comSettings(4), device->settings()) << "the selected entry is applied again at the end";
}

struct DeadlineCase {
    const char* name;
    char kind;  // whose answer is delayed
    std::chrono::milliseconds delay;
    std::int32_t word;
};

class IspDeadlineTest : public IspJobTest, public ::testing::WithParamInterface<DeadlineCase> {};

TEST_P(IspDeadlineTest, AnswerAtTheEdge) {
    const DeadlineCase& c = GetParam();
    boot.delay[c.kind] = c.delay;
    EXPECT_EQ(c.word, run(smallFirmware()));
}

// Every answer has a deadline of its own, armed when its command went out: the boot loader's own time plus
// the bytes still on the wire at the line's rate (a few ms at 115200 for this file). Each answer takes
// 1 ms unless delayed. A late handshake answer arrives while G 0 A waits, and is no success for it.
const DeadlineCase kDeadlineCases[] = {
    {"SynchronisationWithin5s", '?', 4990ms, 0},
    {"SynchronisationAfter5s", '?', 5010ms, kTimeout | kErrorByte},
    {"SynchronizedWithin2s", 'S', 1990ms, 0},
    {"SynchronizedAfter2s", 'S', 2010ms, kTimeout | kErrorByte},
    // 2 s and 150 ms for each of the 28 sectors.
    {"EraseWithinItsSectorsTime", 'E', 6150ms, 0},
    {"EraseAfterItsSectorsTime", 'E', 6300ms, kTimeout},
    {"WriteCommandWithin500ms", 'W', 490ms, 0},
    {"WriteCommandAfter500ms", 'W', 510ms, kTimeout},
    {"CopyWithinTheBlockDeadline", 'C', 490ms, 0},
    {"CopyPastTheBlockDeadline", 'C', 510ms, kTimeout},
    {"ChecksumWithinItsOwnDeadline", '#', 499ms, 0},
    {"ChecksumPastItsOwnDeadline", '#', 600ms, kTimeout},
};

INSTANTIATE_TEST_SUITE_P(BootLoader, IspDeadlineTest, ::testing::ValuesIn(kDeadlineCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct FailingAnswerCase {
    const char* name;
    char kind;
    std::string answer;
    std::int32_t word;
    bool started;  // "G 0 A" sent: only while the flash has not been erased
};

class IspFailingAnswerTest : public IspJobTest, public ::testing::WithParamInterface<FailingAnswerCase> {};

TEST_P(IspFailingAnswerTest, IsAFailureAndStartsTheCodeOnlyBeforeTheErase) {
    const FailingAnswerCase& c = GetParam();
    boot.answer = {{c.kind, c.answer}};
    EXPECT_EQ(c.word, run(smallFirmware()));
    const std::vector<std::string> lines = written();
    EXPECT_EQ(c.started ? 1 : 0, std::count(lines.begin(), lines.end(), "G 0 A"));
    const std::vector<std::string> shown = view.lines();
    EXPECT_EQ(c.started ? 0 : 1, std::count(shown.begin(), shown.end(), notStartedLine()));
    EXPECT_EQ(c.word == kErrorByte ? "Fehler: Bestätigungsfehler" : "Fehler: Zeitüberschreitung",
              shown.back());
}

const FailingAnswerCase kFailingAnswers[] = {
    {"UnlockRefused", 'U', "16", kErrorByte, true},
    {"EraseRefused", 'E', "9", kErrorByte, true},
    {"EraseUnanswered", 'E', "", kTimeout, false},
    {"Resend", '#', "RESEND", kErrorByte, false},
    {"WriteRefused", 'W', "9", kErrorByte, false},
    {"CopyRefused", 'C', "3", kErrorByte, false},
    {"CopyToAnAddressNotMapped", 'C', "5", kErrorByte, false},
};

INSTANTIATE_TEST_SUITE_P(BootLoader, IspFailingAnswerTest, ::testing::ValuesIn(kFailingAnswers),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(IspJobTest, DataLineNotWrittenEndsTheBlock) {
    device->failWrite(11, 20);  // the second data line
    EXPECT_EQ(kShortWrite, run(smallFirmware()));
    const std::vector<std::string> lines = written();
    ASSERT_EQ(11u, lines.size());
    EXPECT_EQ("W 1073745920 256", lines[8]) << "no checksum, no P, no C after the failed line, and no G";
    const std::vector<std::string> shown = view.lines();
    EXPECT_EQ((std::vector<std::string>{notStartedLine(), bootLoaderStartsLine(),
                                        "Fehler: Nicht alle Daten konnten gesendet werden"}),
              std::vector<std::string>(shown.end() - 3, shown.end()));
}

TEST_F(IspJobTest, SynchronisationByteNotWritten) {
    device->failWrite(1, 0);
    // The boot loader never saw "?", so it does not answer G 0 A either.
    EXPECT_EQ(kShortWrite | kTimeout, run(smallFirmware()));
    const std::vector<std::string> shown = view.lines();
    ASSERT_GE(shown.size(), 3u);
    EXPECT_EQ("Sending Synchronisation Character 0x3F", shown[shown.size() - 3]);
    EXPECT_EQ((std::vector<std::string>{"", "G 0 A"}), written());
}

TEST_F(IspJobTest, XoffHoldsEveryWrite) {
    boot.onCommand = [this](char kind) {
        if (kind == 'W') device->replyAfter(0ms, {0x13});  // XOFF, and no XON
    };
    EXPECT_EQ(kTimeout, run(smallFirmware()));
    EXPECT_EQ("W 1073745920 256", written().back()) << "nothing is written while the flow is held";
}

TEST_F(IspJobTest, XonReleasesTheTransfer) {
    boot.onCommand = [this](char kind) {
        if (kind == 'W') {
            device->replyAfter(0ms, {0x13});
            device->replyAfter(300ms, {0x11});
        }
    };
    EXPECT_EQ(0, run(smallFirmware()));
    EXPECT_EQ("G 0 A", written().back());
}

TEST_F(IspJobTest, APortThatGoesAwayIsAFailureWithALine) {
    device->failWrite(10, 0, /*gone=*/true);
    EXPECT_EQ(kShortWrite, run(smallFirmware())) << "the data line failed; no G 0 A is sent after the erase";
    const std::vector<std::string> shown = view.lines();
    EXPECT_NE(shown.end(), std::find(shown.begin(), shown.end(), jobs::connectionLostLine("fake")));
    EXPECT_EQ(shown.end(), std::find(shown.begin(), shown.end(), std::string(output::kSuccessLine)));
}

TEST_F(IspJobTest, StopEndsTheJobWhereItIs) {
    boot.onCommand = [this](char kind) {
        if (kind == 'E') stopper.request_stop();
    };
    EXPECT_EQ(-1, run(smallFirmware()));
    EXPECT_EQ("E 0 27", written().back()) << "not even G 0 A after a stop";
    const std::vector<std::string> transcript = view.transcript();
    EXPECT_EQ(transcript.end(), std::find(transcript.begin(), transcript.end(), "poll on"));
}

// A file the boot loader cannot program whole is refused before the handshake: nothing is erased, and
// "G 0 A" starts the code the flash still holds.
TEST_F(IspJobTest, FilesThatCannotBeProgrammedAreRefusedBeforeAnythingIsSent) {
    struct Case {
        const char* name;
        std::string file;
        std::string line;
    };
    const Case cases[] = {
        {"OnlyTheEndRecord", ":00000001FF\r\n", noDataLine()},
        {"EmptyFile", "", noDataLine()},
        {"OnlySkippedPages", test::HexText().page(0x8000).fill(0x0000, 64).end().text(), noFlashDataLine()},
        {"IntoTheBootBlock", test::HexText().page(7).fill(0xDF00, 0x200).end().text(),
         outsideFlashLine(0x7E100)},
        {"FarAboveTheFlash", test::HexText().page(0x10).fill(0x0000, 16).end().text(),
         outsideFlashLine(0x100010)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t before = device->writes().size();
        EXPECT_EQ(output::result::kCheckFailed, run(c.file)) << "no time-out of an answer nobody asked for";
        EXPECT_EQ(before, device->writes().size()) << "a refused file sends nothing, not even G 0 A";
        const std::vector<std::string> shown = view.lines();
        EXPECT_NE(shown.end(), std::find(shown.begin(), shown.end(), c.line));
    }
    EXPECT_EQ("Fehler: Daten bis 0x0007E0FF, der Flash endet bei 0x0007DFFF", outsideFlashLine(0x7E100));
}

// The last 4 KiB below the boot block program like any other: no copy passes 0x7DFFF.
TEST_F(IspJobTest, TheLastLinesOfTheUserFlash) {
    EXPECT_EQ(0, run(test::HexText().page(7).fill(0xD800, 1280).end().text()));
    const std::vector<std::string> lines = written();
    std::vector<std::string> copies;
    std::copy_if(lines.begin(), lines.end(), std::back_inserter(copies),
                 [](const std::string& l) { return l.starts_with("C ") || l.starts_with("W "); });
    EXPECT_EQ((std::vector<std::string>{"W 1073745920 1024", "C 514048 1073745920 1024", "W 1073745920 256",
                                        "C 515072 1073745920 256"}),
              copies);
    EXPECT_EQ("G 0 A", lines.back());
}

TEST_F(IspJobTest, TooMuchDataSendsNothing) {
    test::HexText file;
    for (std::uint32_t line = 0; line <= FlashContent::kMaxLines; ++line) {
        if (line % 256 == 0) file.page(static_cast<std::uint16_t>(line / 256));
        file.data(static_cast<std::uint16_t>(line % 256 * 256), {0x00});
    }
    EXPECT_EQ(output::result::kCheckFailed, run(file.end().text()));
    EXPECT_EQ((std::vector<std::string>{}), written());
    const std::vector<std::string> shown = view.lines();
    EXPECT_NE(shown.end(), std::find(shown.begin(), shown.end(), tooMuchDataLine()));
}

}  // namespace
}  // namespace hlx::firmware
