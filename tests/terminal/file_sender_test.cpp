#include "terminal/file_sender.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>

#include "tests/support/temp_dir.h"
#include "tests/terminal/sender_job_test.h"

namespace hlx::terminal {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

std::string line(std::size_t length, const char* end = "\n") {
    const std::string tail(end);
    return std::string(length - tail.size(), 'x') + tail;
}

std::string binary(std::size_t length) {
    std::string bytes;
    for (std::size_t i = 0; i < length; ++i) bytes += static_cast<char>((i * 37 + 0x80) & 0xFF);
    return bytes;
}

TEST(SendFileKind, TextIsTabCrLfAndPrintableAsciiOnly) {
    struct Case {
        const char* name;
        std::string bytes;
        bool text;
    };
    const Case cases[] = {
        {"Empty", "", true},
        {"TabCrLf", "a\tb\r\nc\n", true},
        {"DelAlone", std::string("x\x7Fy"), true},
        {"HighByte", std::string("abc\x80"), false},
        {"Latin1Umlaut", std::string("M\xFCller\r\n"), false},
        {"Escape", std::string("a\x1B[0m"), false},
        {"Nul", std::string("a\0b", 3), false},
        {"FormFeed", std::string("page\x0C"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.text, isTextFile(c.bytes));
    }
}

// The chunks a file goes out in, from its first byte to its end.
std::vector<Chunk> chunksOf(const std::string& file) {
    const bool text = isTextFile(file);
    std::vector<Chunk> chunks;
    for (std::int32_t position = 0; position < static_cast<std::int32_t>(file.size());) {
        chunks.push_back(nextChunk(file, position, text));
        if (chunks.back().length <= 0) break;  // would never end
        position += chunks.back().length;
    }
    return chunks;
}

struct ChunkCase {
    const char* name;
    std::string file;
    std::vector<Chunk> chunks;
};

const ChunkCase kChunkCases[] = {
    {"ThreeLinesOfHundredBytes", line(100) + line(100) + line(100), {{200, 2}, {100, 1}}},
    {"CrLfStaysWithItsLine", line(125, "\r\n") + line(126, "\r\n"), {{125, 1}, {126, 1}}},
    {"CrAloneEndsNoLine", "a\rb\r\nc\r\n", {{8, 2}}},
    {"LastLineWithoutLf", "abc\ndef", {{7, 2}}},
    {"LinesUpTo249Bytes", line(200) + line(49) + line(10), {{249, 2}, {10, 1}}},
    {"LinesOf250BytesSplit", line(200) + line(50), {{200, 1}, {50, 1}}},
    {"EmptyLines", "\n\n\n", {{3, 3}}},
    {"LineOf300BytesWithoutLf", std::string(300, 'x'), {{300, 1}}},
    {"LineOf250BytesAlone", line(250), {{250, 1}}},
    {"LongLineBetweenShortOnes", "ab\n" + line(301) + "cd\n", {{3, 1}, {301, 1}, {3, 1}}},
    {"EmptyFile", "", {}},
    {"Binary250", binary(250), {{250, 1}}},
    {"Binary251", binary(251), {{250, 1}, {1, 1}}},
    {"Binary600", binary(600), {{250, 1}, {250, 1}, {100, 1}}},
    {"BinaryByOneControlByte", line(100) + "\x01" + line(100), {{201, 1}}},
};

class ChunkTest : public ::testing::TestWithParam<ChunkCase> {};

TEST_P(ChunkTest, FileGoesOutInTheseChunks) {
    EXPECT_EQ(GetParam().chunks, chunksOf(GetParam().file));
}

INSTANTIATE_TEST_SUITE_P(SendFiles, ChunkTest, ::testing::ValuesIn(kChunkCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SendPercent, IsComputedWithoutOverflowForTheLargestFiles) {
    EXPECT_EQ(0, sendPercent(0, 0));
    EXPECT_EQ(41, sendPercent(250, 600));
    EXPECT_EQ(100, sendPercent(600, 600));
    // 21,474,837 x 100 no longer fits a signed 32-bit integer.
    EXPECT_EQ(71, sendPercent(21'474'837, 30'000'000));
    EXPECT_EQ(99, sendPercent(29'999'999, 30'000'000));
    EXPECT_EQ(100, sendPercent(30'000'000, 30'000'000));
}

// The file sender against a scripted monitor: a reply line per line of a text (a last line without LF
// once the whole file is there) or per frame of a binary file, and the closing lines once the whole file
// has arrived and its last line was answered.
class FileSenderTest : public test::SenderJobTest {
protected:
    // replyTo(n) answers line or frame n (from 1); its delay counts from the write that completed it.
    void monitorTaking(std::string file, bool frames, std::function<Answer(int)> replyTo = ok) {
        auto received = std::make_shared<std::size_t>(0);
        auto units = std::make_shared<int>(0);
        auto writes = std::make_shared<int>(0);
        answer([=, this](int, std::string_view bytes) {
            Answer a;
            if (frames && ++*writes % 2 == 1) return a;  // the frame's length byte
            *received += bytes.size();
            const bool whole = *received == file.size();
            int ended = frames ? 1 : static_cast<int>(std::count(bytes.begin(), bytes.end(), '\n'));
            if (!frames && whole && file.back() != '\n') ++ended;
            bool lastAnswered = false;
            for (int i = 0; i < ended; ++i) {
                const Answer reply = replyTo(++*units);
                a.delay = std::max(a.delay, reply.delay);
                a.bytes += reply.bytes;
                lastAnswered = !reply.bytes.empty();
            }
            // A monitor that did not answer the last line has no closing lines either.
            if (whole && lastAnswered) device.replyAfter(a.delay + 10ms, closingLines());
            return a;
        });
    }
    static Answer ok(int) { return {1ms, "OK\r\n"}; }
    static std::string closingLines() {
        std::string text;
        for (int i = 0; i < kClosingLines; ++i) text += "Fertig\r\n";
        return text;
    }
    static Lines closing() { return Lines(kClosingLines, "Fertig"); }

    std::int32_t send(const std::string& file) {
        path = dir.file("send.bin");
        test::writeFile(path, file);
        return sendPath(path);
    }
    std::int32_t sendPath(const std::string& filePath) {
        view.setText("old text\r\n");
        jobs::JobInputs inputs;
        inputs.filePath = filePath;
        inputs.parameter = 3;
        return run(fileSenderJob(), inputs);
    }
    // The window's lines after the announcement of the transfer.
    Lines afterAnnouncement() const {
        const Lines all = view.lines();
        auto at = std::find_if(all.begin(), all.end(),
                               [](const std::string& l) { return l.rfind("Übertrage", 0) == 0; });
        return at == all.end() ? all : Lines(at + 1, all.end());
    }

    test::TempDir dir;
    std::string path;
};

Lines operator+(Lines a, const Lines& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST_F(FileSenderTest, BinaryFileGoesOutAsFramesOfTwoWrites) {
    const std::string file = binary(600);
    monitorTaking(file, true);
    EXPECT_EQ(0x1000, send(file));
    EXPECT_EQ((Lines{"\xFB", file.substr(0, 250), "\xFB", file.substr(250, 250), "\x65", file.substr(500)}),
              device.writes());
    EXPECT_EQ((Lines{path + " geöffnet", "600 Bytes gelesen", "Übertrage Binärdatei", "OK", "OK", "OK"} +
               closing() + Lines{"603 Bytes übertragen"}),
              view.lines());
    EXPECT_EQ((Lines{"poll off", "clear", "progress 0..100", "progress 0", "progress 41", "progress 83",
                     "progress 100", "caret end", "poll on"}),
              view.transcript());
}

TEST_F(FileSenderTest, TextChunksAreOneWriteAndALongLineGoesInPiecesOf249) {
    const std::string longLine = line(600, "\r\n");
    const std::string file = line(100) + line(100) + longLine + "last";
    monitorTaking(file, false);
    EXPECT_EQ(0x1000, send(file));
    EXPECT_EQ((Lines{line(100) + line(100), longLine.substr(0, 249), longLine.substr(249, 249),
                     longLine.substr(498), "last"}),
              device.writes());
    EXPECT_EQ((Lines{path + " geöffnet", "804 Bytes gelesen", "Übertrage Textdatei", "OK", "OK", "OK", "OK"} +
               closing() + Lines{"804 Bytes übertragen"}),
              view.lines());
}

TEST_F(FileSenderTest, EmptyFileIsAnnouncedAsTextAndSendsNothing) {
    EXPECT_EQ(0x1000, send(""));
    EXPECT_TRUE(device.writes().empty());
    EXPECT_EQ((Lines{path + " geöffnet", "0 Bytes gelesen", "Übertrage Textdatei", "0 Bytes übertragen"}),
              view.lines());
    EXPECT_EQ(1000ms, clock.elapsed()) << "the closing read still listens";
}

// The first reply line must end within 500 ms of the arming before the first chunk, every later one
// within 1500 ms of the line end before it.
TEST_F(FileSenderTest, ReplyWindows) {
    struct Case {
        const char* name;
        int lateUnit;
        std::chrono::milliseconds delay;
        std::int32_t word;
        std::size_t writes;
    };
    const Case cases[] = {
        {"FirstReplyWithin500ms", 1, 450ms, 0x1000, 6},
        {"FirstReplyAfter500ms", 1, 550ms, 0x1020, 2},
        {"LaterReplyWithin1500ms", 2, 1450ms, 0x1000, 6},
        {"LaterReplyAfter1500ms", 2, 1550ms, 0x1020, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = binary(600);
        monitorTaking(file, true, [&](int unit) {
            return Answer{unit == c.lateUnit ? c.delay : 1ms, "OK\r\n"};
        });
        const std::size_t before = device.writes().size();
        EXPECT_EQ(c.word, send(file));
        EXPECT_EQ(c.writes, device.writes().size() - before);
        if (c.word != 0x1000) {
            EXPECT_EQ("Fehler: Zeitüberschreitung", view.lines().at(view.lines().size() - 3));
        }
        clock.advance(1h);  // late replies of this case arrive before the next one starts, and are drained
    }
}

TEST_F(FileSenderTest, FewerRepliesThanLinesEndTheTransferAsATimeOut) {
    const std::string firstChunk = line(10) + line(10) + line(10) + line(10);
    const std::string file = firstChunk + line(240);
    answer([&](int, std::string_view) { return Answer{2ms, "OK\r\nOK\r\nOK\r\n"}; });
    EXPECT_EQ(0x1020, send(file));
    EXPECT_EQ(Lines{firstChunk}, device.writes()) << "the second chunk never goes out";
    EXPECT_EQ((Lines{"OK", "OK", "OK", "Fehler: Zeitüberschreitung",
                     "Fehler: nur 40 von 280 Bytes übertragen", "40 Bytes übertragen"}),
              afterAnnouncement());
    EXPECT_EQ(2ms + 1500ms, clock.elapsed()) << "the deadline after the third line end, and no closing read";
}

// A transfer that stops before the end of the file, or whose last lines stay unanswered, is a failure that
// says how far it got; only a transfer answered to its last line passes.
TEST_F(FileSenderTest, IncompleteTransfersSayHowFarTheyGot) {
    struct Case {
        const char* name;
        std::string file;
        bool frames;
        int silentFrom;  // the first line or frame not answered (0: all are)
        std::int32_t word;
        Lines tail;
    };
    std::string eightLines;
    for (int i = 0; i < 8; ++i) eightLines += line(45);
    const Case cases[] = {
        {"MonitorSilentFromLine3Of8",
         eightLines,
         false,
         3,
         0x1020,
         {"Fehler: Zeitüberschreitung", "Fehler: nur 225 von 360 Bytes übertragen", "225 Bytes übertragen"}},
        {"LastLineUnanswered",
         line(10) + line(10) + line(10),
         false,
         3,
         0x1020,
         {"Fehler: Zeitüberschreitung", "Fehler: nur 2 von 3 Zeilen beantwortet", "30 Bytes übertragen"}},
        {"LastFrameUnanswered",
         binary(600),
         true,
         3,
         0x1020,
         {"Fehler: Zeitüberschreitung", "Fehler: nur 2 von 3 Blöcken beantwortet", "603 Bytes übertragen"}},
        {"AllAnswered", eightLines, false, 0, 0x1000,
         Lines(kClosingLines, "Fertig") + Lines{"360 Bytes übertragen"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        monitorTaking(c.file, c.frames, [&](int unit) {
            return c.silentFrom > 0 && unit >= c.silentFrom ? Answer{} : Answer{1ms, "OK\r\n"};
        });
        EXPECT_EQ(c.word, send(c.file));
        const Lines lines = view.lines();
        ASSERT_GE(lines.size(), c.tail.size());
        EXPECT_EQ(c.tail, Lines(lines.end() - static_cast<long>(c.tail.size()), lines.end()));
        clock.advance(1h);
    }
}

TEST_F(FileSenderTest, RefusedOrBrokenTransfersEndWithoutTheClosingRead) {
    struct Case {
        const char* name;
        std::string secondAnswer;  // to the second frame
        int failedWrite;           // a write (from 1) the port takes only in part, or 0
        std::int32_t word;
        Lines after;
        std::size_t writes;
    };
    const Case cases[] = {
        {"ErrorByteWithItsLine",
         "\xFA\n",
         0,
         0x1001,
         {"OK", "úERR_WRONGCRC\nFehler: nur 500 von 600 Bytes übertragen", "502 Bytes übertragen"},
         4},
        {"ErrorByteWithoutALineEnd",
         "\xFD",
         0,
         0x1020,
         {"OK", "ýERR_TIMEOUTFehler: Zeitüberschreitung", "Fehler: nur 500 von 600 Bytes übertragen",
          "502 Bytes übertragen"},
         4},
        {"ShortWriteOfTheSecondFrame",
         "OK\r\n",
         4,
         0x1010,
         {"OK", "Fehler: Nicht alle Daten konnten gesendet werden",
          "Fehler: nur 250 von 600 Bytes übertragen", "252 Bytes übertragen"},
         4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t before = device.writes().size();
        const int base = static_cast<int>(before);
        if (c.failedWrite) device.failWrite(base + c.failedWrite, 10);
        const std::string file = binary(600);
        monitorTaking(file, true, [&](int unit) {
            return Answer{1ms, unit == 2 ? c.secondAnswer : "OK\r\n"};
        });
        EXPECT_EQ(c.word, send(file));
        EXPECT_EQ(c.writes, device.writes().size() - before) << "nothing after the failing frame";
        EXPECT_EQ(c.after, afterAnnouncement());
        EXPECT_EQ(0, view.progress().back()) << "the bar is reset after a failure";
        clock.advance(1h);
    }
}

TEST_F(FileSenderTest, NothingGoesOutWhileTheMonitorHoldsTheFlow) {
    const std::string file = binary(600);
    monitorTaking(file, true, [](int unit) { return Answer{1ms, unit == 1 ? "OK\r\n\x13" : "OK\r\n"}; });
    device.replyAfter(301ms, "\x11");
    EXPECT_EQ(0x1000, send(file));
    ASSERT_EQ(6u, writeTimes.size());
    EXPECT_EQ(0ms, writeTimes[1]);
    EXPECT_EQ(301ms, writeTimes[2]) << "the second frame waits for XON";
}

TEST_F(FileSenderTest, AFlowHeldPastTheDeadlineEndsTheTransfer) {
    const std::string file = binary(600);
    monitorTaking(file, true, [](int unit) { return Answer{1ms, unit == 1 ? "OK\r\n\x13" : "OK\r\n"}; });
    EXPECT_EQ(0x1020, send(file));
    EXPECT_EQ(2u, device.writes().size());
    EXPECT_EQ((Lines{"OK", "Fehler: Zeitüberschreitung", "Fehler: nur 250 von 600 Bytes übertragen",
                     "251 Bytes übertragen"}),
              afterAnnouncement());
}

TEST_F(FileSenderTest, APortThatGoesAwayIsReportedAndNeverPassesForDone) {
    const std::string file = binary(600);
    monitorTaking(file, true);
    device.failWrite(3, 0, /*gone=*/true);
    const std::int32_t word = send(file);
    EXPECT_NE(0, word & 0x30) << std::hex << word;
    EXPECT_EQ((Lines{"OK", "Fehler: Verbindung zum COM Port verloren (/dev/monitor)",
                     "Fehler: Nicht alle Daten konnten gesendet werden",
                     "Fehler: nur 250 von 600 Bytes übertragen", "251 Bytes übertragen"}),
              afterAnnouncement());
}

// A port that cannot be opened is that failure, as for the downloads: not a time-out of a transfer that
// never started, and not also settings refused.
TEST_F(FileSenderTest, APortThatDidNotOpenIsThatFailureAndNothingIsSent) {
    device.refuseOpen("No such file or directory");
    path = dir.file("image.vxc");
    test::writeFile(path, binary(600));
    EXPECT_EQ(0x1800, sendPath(path));
    EXPECT_EQ((Lines{path + " geöffnet", "600 Bytes gelesen", "Fehler: COM Port konnte nicht geöffnet werden",
                     "0 Bytes übertragen"}),
              view.lines());
    EXPECT_TRUE(device.writes().empty());
}

TEST_F(FileSenderTest, UnreadableFileIsReportedAndNothingIsSent) {
    const std::string tooLarge = dir.file("huge.vxc");
    test::writeFile(tooLarge, "");
    ASSERT_EQ(0, ::truncate(tooLarge.c_str(), 30'000'001));  // sparse: costs no disk space
    struct Case {
        const char* name;
        std::string path;
        Lines window;
    };
    const Case cases[] = {
        {"Missing",
         dir.file("missing.txt"),
         {"Fehler: Datei kann nicht geöffnet werden", "0 Bytes übertragen"}},
        {"Folder", dir.path(), {"Fehler: Datei kann nicht geöffnet werden", "0 Bytes übertragen"}},
        {"EmptyEdit", "", {"Fehler: Datei kann nicht geöffnet werden", "0 Bytes übertragen"}},
        {"TooLarge",
         tooLarge,
         {"Fehler: Datei ist zu groß (30000001 Bytes, höchstens 30000000 Bytes)",
          "Fehler: Datei kann nicht geöffnet werden", "0 Bytes übertragen"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(0x1080, sendPath(c.path));
        EXPECT_TRUE(device.writes().empty());
        EXPECT_EQ(c.window, view.lines());
    }
}

}  // namespace
}  // namespace hlx::terminal
