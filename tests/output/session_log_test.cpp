// The session log of the terminal: what the monitor sent and what was sent to it, line by line, on a real
// file, with and without local times, text that is no single line, a disk that fails part way, and a
// file that ends in a fragment.

#include "output/session_log.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/faulty_file_system.h"
#include "tests/support/temp_dir.h"

namespace hlx::output {
namespace {

using std::chrono::system_clock;

// A wall clock that a test moves on itself.
struct TestWallClock {
    system_clock::time_point now = system_clock::time_point{} + std::chrono::hours{24 * 365 * 56};
    WallClock function() {
        return [this] { return now; };
    }
};

struct Exchange {
    const char* name;
    std::vector<std::string> received;  // pieces as they came from the port (Windows-1252)
    std::string sentAfter;              // a line sent after the pieces (empty: none)
    std::string expected;               // the log's lines between its start and end notes
};

class SessionLogExchange : public ::testing::TestWithParam<Exchange> {};

TEST_P(SessionLogExchange, WritesOneLinePerLine) {
    test::TempDir dir;
    const std::string path = dir.file("session.log");
    std::unique_ptr<SessionLog> log;
    ASSERT_TRUE(SessionLog::open(path, false, log));
    for (const std::string& piece : GetParam().received) log->received(piece);
    if (!GetParam().sentAfter.empty()) log->sent(GetParam().sentAfter);
    ASSERT_TRUE(log->close());
    EXPECT_EQ("* log started\n" + GetParam().expected + "* log ended\n", test::readFile(path));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SessionLogExchange,
    ::testing::Values(
        Exchange{"OneLineInOnePiece", {"OK\r\n"}, "", "< OK\n"},
        Exchange{"ALineSplitAcrossReads", {"Fla", "sh ge", "schrieben\r", "\n"}, "", "< Flash geschrieben\n"},
        Exchange{"SeveralLinesInOnePiece", {"a\r\nb\nc\x03"}, "", "< a\n< b\n< c\n"},
        Exchange{"AnUnfinishedLineBeforeASentLineStandsAlone", {"Ready>"}, "A=1", "< Ready>\n> A=1\n"},
        Exchange{"AnUnfinishedLineIsKeptAtTheClose", {"no line end"}, "", "< no line end\n"},
        Exchange{"ControlBytesAreDroppedTabsKept", {"a\x11\tb\x13\x01\r\n"}, "", "< a\tb\n"},
        Exchange{"Windows1252BecomesUtf8",
                 {"Gr\xfc\xdf"
                  "e\n"},
                 "",
                 "< Grüße\n"},
        Exchange{"AnEmptyLineIsALine", {"\r\n"}, "", "< \n"},
        Exchange{"ASentLineWithLineBreaksStaysOneLine", {}, "A=1\nB=2\r\x01\t", "> A=1B=2\t\n"},
        Exchange{"ASentLineOfInvalidUtf8IsMadeValid", {}, "S=\xff", "> S=\xef\xbf\xbd\n"}),
    [](const ::testing::TestParamInfo<Exchange>& info) { return std::string(info.param.name); });

TEST(SessionLog, TimestampsGiveTheLocalTimeOfTheLinesFirstByte) {
    test::TempDir dir;
    const std::string path = dir.file("session.log");
    TestWallClock clock;
    std::unique_ptr<SessionLog> log;
    ASSERT_TRUE(SessionLog::open(path, true, log, base::systemFileSystem(), clock.function()));
    const std::string start = isoLocalTime(clock.now);
    clock.now += std::chrono::milliseconds{1234};
    log->received("O");
    const std::string firstByte = isoLocalTime(clock.now);
    clock.now += std::chrono::milliseconds{250};
    log->received("K\n");
    log->sent("A=1");
    const std::string sent = isoLocalTime(clock.now);
    ASSERT_TRUE(log->close());
    EXPECT_EQ(
        start + " * log started\n" + firstByte + " < OK\n" + sent + " > A=1\n" + sent + " * log ended\n",
        test::readFile(path));
    EXPECT_TRUE(std::regex_match(firstByte, std::regex(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3})")))
        << firstByte;
    EXPECT_NE(start.substr(20), firstByte.substr(20)) << "milliseconds are kept";
}

TEST(SessionLog, AppendsToAnExistingLogAndWritesEachLineAtOnce) {
    test::TempDir dir;
    const std::string path = dir.file("session.log");
    test::writeFile(path, "earlier\n");
    std::unique_ptr<SessionLog> log;
    ASSERT_TRUE(SessionLog::open(path, false, log));
    log->received("OK\n");
    // Written as it goes: the line is on disk before the log is closed.
    EXPECT_EQ("earlier\n* log started\n< OK\n", test::readFile(path));
    log->note("COM gone");
    EXPECT_EQ("earlier\n* log started\n< OK\n* COM gone\n", test::readFile(path));
}

TEST(SessionLog, RefusesWhatIsNoRegularFile) {
    test::TempDir dir;
    std::unique_ptr<SessionLog> log;
    const base::Status s = SessionLog::open(dir.path(), false, log);
    EXPECT_FALSE(s);
    EXPECT_EQ(nullptr, log);
    EXPECT_NE(std::string::npos, s.message().find(dir.path())) << s.message();
}

TEST(SessionLog, AFullDiskEndsTheLogAndSaysWhy) {
    test::TempDir dir;
    test::FaultyFileSystem files;
    const std::string path = dir.file("session.log");
    std::unique_ptr<SessionLog> log;
    ASSERT_TRUE(SessionLog::open(path, false, log, files));
    files.failWritesAfter(20, ENOSPC);
    log->received("a first line\n");
    log->received("a second line\n");
    EXPECT_TRUE(log->status().isNoSpace()) << log->status().message();
    EXPECT_NE(std::string::npos, log->status().message().find(path));
    files.heal();
    log->received("after the failure\n");
    (void)log->close();
    const std::string kept = test::readFile(path);
    EXPECT_EQ(std::string::npos, kept.find("after the failure")) << "nothing after a failure";
    EXPECT_EQ("* log started\n< a first line\n", kept) << "the part of a line the disk took is cut off again";
}

TEST(SessionLog, AppendsAfterAFragmentOnALineOfItsOwn) {
    test::TempDir dir;
    const std::string path = dir.file("session.log");
    test::writeFile(path, "earlier, cut off");
    std::unique_ptr<SessionLog> log;
    ASSERT_TRUE(SessionLog::open(path, false, log));
    log->received("OK\n");
    ASSERT_TRUE(log->close());
    EXPECT_EQ("earlier, cut off\n* log started\n< OK\n* log ended\n", test::readFile(path));
}

}  // namespace
}  // namespace hlx::output
