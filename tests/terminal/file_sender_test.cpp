#include "terminal/file_sender.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>

#include "output/job_result.h"
#include "tests/support/fake_output_window.h"
#include "tests/support/temp_dir.h"
#include "tests/terminal/answering_device.h"

namespace hlx::terminal {
namespace {

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

// A monitor taking the file as the sender sends it: a reply per line of a text (the last line without LF
// once the whole file is there) or per frame of a binary file, and its closing lines once the whole file
// has arrived. replyTo(n) is the answer to line or frame n (from 1).
test::AnsweringDevice::Answer monitorTaking(std::string file, bool frames,
                                            std::function<std::string(int)> replyTo) {
    struct State {
        std::size_t received = 0;
        int units = 0;
        bool lengthNext = true;
    };
    auto state = std::make_shared<State>();
    return [=, file = std::move(file)](std::string_view written) {
        std::string answer;
        if (frames) {
            state->lengthNext = !state->lengthNext;
            if (!state->lengthNext) return answer;
            state->received += written.size();
            answer += replyTo(++state->units);
        } else {
            state->received += written.size();
            for (char c : written)
                if (c == '\n') answer += replyTo(++state->units);
            if (state->received == file.size() && file.back() != '\n') answer += replyTo(++state->units);
        }
        if (state->received == file.size())
            for (int i = 0; i < kClosingLines; ++i) answer += "Fertig\r\n";
        return answer;
    };
}

std::string ok(int) {
    return "OK\r\n";
}

class RecordingJobView : public output::JobView {
  public:
    void setProgressRange(int minimum, int maximum) override {
        std::lock_guard lock(m_mutex);
        m_range = {minimum, maximum};
    }
    void setProgress(int position) override {
        std::lock_guard lock(m_mutex);
        m_progress.push_back(position);
    }
    void setIdlePollEnabled(bool) override {}
    std::vector<int> progress() const {
        std::lock_guard lock(m_mutex);
        return m_progress;
    }
    std::pair<int, int> range() const {
        std::lock_guard lock(m_mutex);
        return m_range;
    }

  private:
    mutable std::mutex m_mutex;
    std::pair<int, int> m_range{};
    std::vector<int> m_progress;
};

// The job in its frame on a job thread, against a device that answers at once.
class FileSenderJobTest : public ::testing::Test {
  protected:
    std::int32_t send(const std::string& file, bool frames, std::function<std::string(int)> replyTo = ok,
                      int shortWrite = -1) {
        path = dir.file("send.bin");
        test::writeFile(path, file);
        auto owned = std::make_unique<test::AnsweringDevice>(monitorTaking(file, frames, std::move(replyTo)));
        device = owned.get();
        device->shortenWrite(shortWrite);
        serial::SerialPort port(std::move(owned));
        serial::Deadline replyDeadline;
        jobs::JobSlot slot;
        base::FileBuffer buffer;
        slot.init();
        jobs::JobInputs inputs;
        inputs.comText = "/dev/monitor";
        inputs.filePath = path;
        inputs.parameter = 3;
        std::optional<std::int32_t> reported;
        slot.start([&](std::stop_token stop) {
            jobs::JobContext context{{port, replyDeadline, log, stop}, view, buffer, inputs};
            reported = jobs::runJobFrame(fileSenderJob(), context, slot);
        });
        slot.wait();
        writes = device->writes();
        return reported.value_or(-1);
    }

    test::TempDir dir;
    std::string path;
    test::AnsweringDevice* device = nullptr;
    std::vector<std::string> writes;
    test::FakeOutputWindow window{"old text\r\n"};
    output::OutputLog log{window};
    RecordingJobView view;
};

std::string closingLines() {
    std::string text;
    for (int i = 0; i < kClosingLines; ++i) text += "Fertig\r\n";
    return text;
}

TEST_F(FileSenderJobTest, BinaryFileGoesOutAsFramesOfTwoWrites) {
    const std::string file = binary(600);
    EXPECT_EQ(0x1000, send(file, true));
    EXPECT_EQ((std::vector<std::string>{"\xFB", file.substr(0, 250), "\xFB", file.substr(250, 250), "\x65",
                                        file.substr(500)}),
              writes);
    EXPECT_EQ(path + " geöffnet\r\n600 Bytes gelesen\r\nÜbertrage Binärdatei\r\nOK\r\nOK\r\nOK\r\n" +
                  closingLines() + "603 Bytes übertragen\r\n",
              window.text());
    EXPECT_EQ((std::pair<int, int>{0, 100}), view.range());
    EXPECT_EQ((std::vector<int>{0, 41, 83, 100}), view.progress());
}

TEST_F(FileSenderJobTest, TextChunksAreOneWriteAndALongLineGoesInPiecesOf249) {
    const std::string longLine = line(600, "\r\n");
    const std::string file = line(100) + line(100) + longLine + "last";
    EXPECT_EQ(0x1000, send(file, false));
    EXPECT_EQ((std::vector<std::string>{line(100) + line(100), longLine.substr(0, 249),
                                        longLine.substr(249, 249), longLine.substr(498), "last"}),
              writes);
    EXPECT_EQ(path + " geöffnet\r\n804 Bytes gelesen\r\nÜbertrage Textdatei\r\nOK\r\nOK\r\nOK\r\nOK\r\n" +
                  closingLines() + "804 Bytes übertragen\r\n",
              window.text());
}

TEST_F(FileSenderJobTest, EmptyFileIsAnnouncedAsTextAndSendsNothing) {
    EXPECT_EQ(0x1000, send("", false));
    EXPECT_TRUE(writes.empty());
    EXPECT_EQ(path + " geöffnet\r\n0 Bytes gelesen\r\nÜbertrage Textdatei\r\n0 Bytes übertragen\r\n",
              window.text());
}

TEST_F(FileSenderJobTest, RefusedOrBrokenTransfersEndWithoutTheClosingRead) {
    struct Case {
        const char* name;
        std::string secondAnswer;  // to the second frame
        int shortWrite;            // index of a write the port does not take whole, or -1
        std::int32_t word;
        std::string windowTail;
    };
    const Case cases[] = {
        {"ErrorByteWithItsLine", "\xFA\n", -1, 0x1001, "OK\r\núERR_WRONGCRC\n502 Bytes übertragen\r\n"},
        {"ErrorByteWithoutALineEnd", "\xFD", -1, 0x1020,
         "OK\r\nýERR_TIMEOUTFehler: Zeitüberschreitung\r\n502 Bytes übertragen\r\n"},
        {"ShortWriteOfTheSecondFrame", "OK\r\n", 3, 0x1010,
         "OK\r\nFehler: Nicht alle Daten konnten gesendet werden\r\n252 Bytes übertragen\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        window.setText("");
        const std::string file = binary(600);
        const std::int32_t word = send(
            file, true, [&](int n) { return n == 2 ? c.secondAnswer : std::string("OK\r\n"); }, c.shortWrite);
        EXPECT_EQ(c.word, word);
        EXPECT_EQ(4u, writes.size()) << "no frame after the failing one";
        const std::string text = window.text();
        const std::string announced = "Übertrage Binärdatei\r\n";
        EXPECT_EQ(c.windowTail, text.substr(text.find(announced) + announced.size()));
        EXPECT_EQ(0, view.progress().back()) << "the bar is reset after a failure";
    }
}

TEST_F(FileSenderJobTest, UnreadableFileIsReportedAndNothingIsSent) {
    struct Case {
        const char* name;
        std::string path;
        std::string window;
    };
    const std::string folder = dir.path();
    const Case cases[] = {
        {"Missing", dir.file("missing.txt"),
         "Fehler: Datei kann nicht geöffnet werden\r\n0 Bytes übertragen\r\n"},
        {"Folder", folder, "Fehler: Datei kann nicht geöffnet werden\r\n0 Bytes übertragen\r\n"},
        {"EmptyEdit", "", "Fehler: Datei kann nicht geöffnet werden\r\n0 Bytes übertragen\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto owned =
            std::make_unique<test::AnsweringDevice>([](std::string_view) { return std::string("OK\r\n"); });
        test::AnsweringDevice& seen = *owned;
        serial::SerialPort port(std::move(owned));
        serial::Deadline replyDeadline;
        jobs::JobSlot slot;
        base::FileBuffer buffer;
        slot.init();
        jobs::JobInputs inputs;
        inputs.comText = "/dev/monitor";
        inputs.filePath = c.path;
        std::optional<std::int32_t> reported;
        slot.start([&](std::stop_token stop) {
            jobs::JobContext context{{port, replyDeadline, log, stop}, view, buffer, inputs};
            reported = jobs::runJobFrame(fileSenderJob(), context, slot);
        });
        slot.wait();
        EXPECT_EQ(0x1080, reported.value_or(-1));
        EXPECT_TRUE(seen.writes().empty());
        EXPECT_EQ(c.window, window.text());
    }
}

}  // namespace
}  // namespace hlx::terminal
