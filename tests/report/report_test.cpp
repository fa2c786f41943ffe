// The record of a run: failure names from the result word, the JSON a quality system reads (checked
// against the documented schema by an independent validator), the atomic report file and the job log that
// several writers append to.

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "output/job_result.h"
#include "report/job_record.h"
#include "report/report_files.h"
#include "report/report_json.h"
#include "tests/support/faulty_file_system.h"
#include "tests/support/report_schema.h"
#include "tests/support/temp_dir.h"

namespace hlx::report {
namespace {

using Json = nlohmann::json;
using namespace std::chrono_literals;

// 2024-05-17 09:41:07.250 UTC
const WallTime kStart = WallTime{} + std::chrono::seconds{1715938867} + 250ms;

JobRecord sampleJob(std::string port, std::int32_t word) {
    JobRecord job;
    job.port = {port, port, "", ""};
    job.settingsEntry = 2;
    job.settingsText = "115200,8,N,1";
    job.start = kStart;
    job.end = kStart + 1500ms;
    job.durationSeconds = 1.5004;
    job.bytesSent = 4096;
    job.sentUnit = SentUnit::Lines;
    job.unitsSent = 92;
    job.resultWord = word;
    job.lines = {"fw.hex geöffnet", "Datei fehlerfrei übertragen"};
    return job;
}

RunReport sampleRun(std::vector<JobRecord> jobs) {
    RunReport run;
    run.tool = {"hlx", "1.3.0"};
    run.method = "isp";
    run.file = FileFacts{"fw.hex", 2893, std::string(64, 'a'), std::string(64, 'b')};
    run.jobs = std::move(jobs);
    return run;
}

// ---- the record's values ---------------------------------------------------------------------------

TEST(JobRecord, FailuresNameEverySetBitButTheSuccessLineSwitch) {
    struct Case {
        const char* name;
        std::int32_t word;
        std::vector<std::string> names;
    } cases[] = {
        {"Nothing", 0, {}},
        {"NoSuccessLineOnly", 0x1000, {}},
        {"TimeoutAndErrorReply", 0x1060, {"timeout", "error-reply"}},
        {"PortBits", 0xC00, {"port-settings-refused", "port-cannot-be-opened"}},
        {"SenderErrorHasNoLine", 0x01, {"sender-error-reply"}},
        {"UnknownBitStillAFailure", 0x2000, {"bit-0x2000"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> names;
        for (const Failure& f : JobRecord::failuresOf(c.word)) names.push_back(f.name);
        EXPECT_EQ(c.names, names);
    }
    const std::vector<Failure> timeout = JobRecord::failuresOf(output::result::kTimeout);
    ASSERT_EQ(1u, timeout.size());
    EXPECT_EQ("Fehler: Zeitüberschreitung", timeout[0].message);
    EXPECT_EQ("", JobRecord::failuresOf(output::result::kSenderError)[0].message);
}

TEST(JobRecord, SuccessNeedsNoFailureAndNoStop) {
    JobRecord job = sampleJob("/dev/ttyUSB0", 0x1000);
    EXPECT_TRUE(job.success());
    job.stopped = true;
    EXPECT_FALSE(job.success());
    EXPECT_FALSE(sampleJob("p", 0x20).success());

    EXPECT_TRUE(sampleRun({sampleJob("a", 0), sampleJob("b", 0x1000)}).success());
    EXPECT_FALSE(sampleRun({sampleJob("a", 0), sampleJob("b", 0x40)}).success());
    EXPECT_FALSE(sampleRun({}).success()) << "a run without a job did nothing";
}

TEST(JobRecord, LinesSplitAsTheWindowBreaksThem) {
    struct Case {
        const char* name;
        const char* text;
        std::vector<std::string> lines;
    } cases[] = {
        {"Empty", "", {}},
        {"CrLf", "a\r\nb\r\n", {"a", "b"}},
        {"LoneLfAndCr", "a\nb\rc", {"a", "b", "c"}},
        {"EmptyLinesKept", "a\r\n\r\nb", {"a", "", "b"}},
        {"OpenLastLine", "OK\r\nLoadFW", {"OK", "LoadFW"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.lines, splitLines(c.text));
    }
}

TEST(JobRecord, UtcTextWithMilliseconds) {
    EXPECT_EQ("2024-05-17T09:41:07.250Z", utcText(kStart));
    EXPECT_EQ("1970-01-01T00:00:00.000Z", utcText(WallTime{}));
}

// ---- JSON --------------------------------------------------------------------------------------------

TEST(ReportJson, CarriesEveryFactAndValidatesAgainstTheSchema) {
    JobRecord failed = sampleJob("3", 0x40);
    failed.port = {"3", "/dev/ttyS2", "", ""};
    failed.sentUnit = SentUnit::Records;
    failed.bytesConfirmed = 1200;  // the monitor stopped answering: less than was sent
    failed.unitsConfirmed = 27;
    JobRecord usb = sampleJob("/dev/serial/by-id/usb-FTDI_X-if00-port0", 0);
    usb.port.device = "/dev/ttyUSB0";
    usb.port.byId = "/dev/serial/by-id/usb-FTDI_X-if00-port0";
    usb.port.usbSerial = "A50285BI";
    const RunReport run = sampleRun({usb, failed});

    const Json json = Json::parse(toJson(run, JsonLayout::Indented));
    EXPECT_EQ("hlx-job-report", json["format"]);
    EXPECT_EQ("isp", json["method"]);
    EXPECT_EQ(2893, json["file"]["size"]);
    EXPECT_EQ(std::string(64, 'b'), json["file"]["image_sha256"]);
    EXPECT_FALSE(json["success"]);
    const Json& first = json["jobs"][0];
    EXPECT_EQ("A50285BI", first["usb_serial"]);
    EXPECT_EQ("/dev/serial/by-id/usb-FTDI_X-if00-port0", first["by_id"]);
    EXPECT_EQ("2024-05-17T09:41:07.250Z", first["start_utc"]);
    EXPECT_EQ("2024-05-17T09:41:08.750Z", first["end_utc"]);
    EXPECT_DOUBLE_EQ(1.5, first["duration_s"].get<double>());
    EXPECT_EQ(92, first["lines_sent"]);
    EXPECT_FALSE(first.contains("records_sent"));
    EXPECT_TRUE(first["bytes_confirmed"].is_null()) << "not counted by the method: null, never left out";
    EXPECT_TRUE(first["lines_confirmed"].is_null());
    EXPECT_FALSE(first.contains("records_confirmed"));
    EXPECT_EQ("fw.hex geöffnet", first["lines"][0]);
    EXPECT_TRUE(first["success"]);
    const Json& second = json["jobs"][1];
    EXPECT_TRUE(second["by_id"].is_null()) << "absent facts are null, never left out";
    EXPECT_TRUE(second["usb_serial"].is_null());
    EXPECT_EQ(92, second["records_sent"]);
    EXPECT_EQ(4096, second["bytes_sent"]);
    EXPECT_EQ(1200, second["bytes_confirmed"]);
    EXPECT_EQ(27, second["records_confirmed"]);
    EXPECT_EQ(Json::parse(R"([{"bit": 64, "name": "error-reply", "message": "Fehler: Bestätigungsfehler"}])"),
              second["failures"]);

    test::TempDir dir;
    test::writeFile(dir.file("run.json"), toJson(run, JsonLayout::Indented));
    EXPECT_EQ("", test::reportSchemaViolations(dir.file("run.json")));
}

TEST(ReportJson, HostileTextStaysOneValidLine) {
    JobRecord job = sampleJob("/dev/pts/7", 0);
    // What a monitor may send: control characters, a quote and backslash, a character from Windows-1252.
    job.lines = {std::string("\x01\x1b[2J\t\"\\ end"), "Gr\xc3\xbc\xc3\x9f\x65 \xe2\x82\xac"};
    RunReport run = sampleRun({job});
    run.file->path = "bad\xff\xfe.hex";  // a file name need not be UTF-8
    run.file->imageSha256.reset();

    const std::string line = toJson(run, JsonLayout::OneLine);
    EXPECT_EQ(std::string::npos, line.find('\n'));
    for (char c : line) EXPECT_GE(static_cast<unsigned char>(c), 0x20) << "control characters are escaped";
    const Json json = Json::parse(line);
    EXPECT_EQ(job.lines[0], json["jobs"][0]["lines"][0]);
    EXPECT_EQ("Grüße €", json["jobs"][0]["lines"][1]);
    EXPECT_TRUE(json["file"]["image_sha256"].is_null());
    EXPECT_EQ("bad\xef\xbf\xbd\xef\xbf\xbd.hex", json["file"]["path"]) << "broken UTF-8 replaced, not thrown";

    test::TempDir dir;
    test::writeFile(dir.file("run.json"), line);
    EXPECT_EQ("", test::reportSchemaViolations(dir.file("run.json")));
}

TEST(ReportJson, TheSchemaRefusesWhatIsNotAReport) {
    // The validator must be able to fail, or the checks above prove nothing.
    test::TempDir dir;
    Json json = Json::parse(toJson(sampleRun({sampleJob("p", 0)}), JsonLayout::OneLine));
    json["jobs"][0].erase("lines_sent");
    json["jobs"][0]["start_utc"] = "17.05.2024 09:41";
    test::writeFile(dir.file("bad.json"), json.dump());
    const std::string violations = test::reportSchemaViolations(dir.file("bad.json"));
    EXPECT_NE(std::string::npos, violations.find("start_utc")) << violations;
    EXPECT_NE(std::string::npos, violations.find("at jobs/0: ")) << "no count of what was sent\n"
                                                                 << violations;
}

// ---- files -------------------------------------------------------------------------------------------

TEST(ReportFile, TriesTheFolderFirstAndReplacesTheFileWhole) {
    test::TempDir dir;
    const std::string path = dir.file("run.json");
    test::writeFile(path, "an older report");
    ReportFile file(path);
    ASSERT_TRUE(file.status()) << file.status().message();
    EXPECT_EQ("an older report", test::readFile(path)) << "nothing replaced before the run has ended";
    ASSERT_TRUE(file.commit(sampleRun({sampleJob("p", 0)})));
    EXPECT_EQ(toJson(sampleRun({sampleJob("p", 0)}), JsonLayout::Indented), test::readFile(path));

    ReportFile missingFolder(dir.file("no-such-folder/run.json"));
    EXPECT_FALSE(missingFolder.status());
    EXPECT_NE(std::string::npos, missingFolder.status().message().find("No such file or directory"));
    ReportFile folder(dir.path());
    EXPECT_FALSE(folder.status());
    EXPECT_FALSE(folder.commit(sampleRun({sampleJob("p", 0)})));
}

class JobLogTest : public ::testing::Test {
protected:
    JobLogTest() : m_path(dir.file("state/QUENDAL/hlx-jobs.jsonl")) {}
    test::TempDir dir;
    const std::string m_path;
};

TEST_F(JobLogTest, PathFollowsXdgStateHomeOrTheHomeFolder) {
    const char* savedState = std::getenv("XDG_STATE_HOME");
    const std::string keptState = savedState ? savedState : "";
    const std::string keptHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("XDG_STATE_HOME", "/var/state-of-test", 1);
    EXPECT_EQ("/var/state-of-test/QUENDAL/hlx-jobs.jsonl", jobLogPath());
    ::setenv("XDG_STATE_HOME", "relative/state", 1);  // not absolute: ignored
    ::setenv("HOME", "/home/technician", 1);
    EXPECT_EQ("/home/technician/.local/state/QUENDAL/hlx-jobs.jsonl", jobLogPath());
    ::setenv("HOME", keptHome.c_str(), 1);
    if (savedState)
        ::setenv("XDG_STATE_HOME", keptState.c_str(), 1);
    else
        ::unsetenv("XDG_STATE_HOME");
}

TEST_F(JobLogTest, AppendsOneLinePerJobAndCreatesItsFolders) {
    ASSERT_TRUE(appendJobLog(m_path, sampleRun({sampleJob("a", 0)})));
    ASSERT_TRUE(appendJobLog(m_path, sampleRun({sampleJob("b", 0x20)})));
    const std::string text = test::readFile(m_path);
    EXPECT_EQ(toJson(sampleRun({sampleJob("a", 0)}), JsonLayout::OneLine) + "\n" +
                  toJson(sampleRun({sampleJob("b", 0x20)}), JsonLayout::OneLine) + "\n",
              text);
    EXPECT_EQ("", test::reportSchemaViolations(m_path, /*lines=*/true));
}

TEST_F(JobLogTest, WritersAtOnceNeverSplitALine) {
    // Several processes (windows) and threads append at once; each line must come out whole.
    JobRecord big = sampleJob("p", 0);
    big.lines.assign(2000, std::string(60, 'x'));  // a line of about 130 KB, far above a pipe's atomic size
    constexpr int kProcesses = 3;
    constexpr int kThreads = 3;
    constexpr int kEach = 10;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t child = ::fork();
        if (child == 0) {
            std::vector<std::thread> threads;
            for (int t = 0; t < kThreads; ++t)
                threads.emplace_back([&] {
                    for (int i = 0; i < kEach; ++i) (void)appendJobLog(m_path, sampleRun({big}));
                });
            for (std::thread& t : threads) t.join();
            ::_exit(0);
        }
        children.push_back(child);
    }
    for (pid_t child : children) ::waitpid(child, nullptr, 0);

    const std::string text = test::readFile(m_path);
    const std::string expected = toJson(sampleRun({big}), JsonLayout::OneLine) + "\n";
    ASSERT_EQ(expected.size() * kProcesses * kThreads * kEach, text.size());
    for (std::size_t at = 0; at < text.size(); at += expected.size())
        ASSERT_EQ(expected, text.substr(at, expected.size())) << "line at byte " << at;
}

// ---- the job log on a disk that fills up -----------------------------------------------------------

// Three jobs append their records; the second meets a small file system that fills up part way through
// its line. The log keeps every record that was written whole, each a line of its own.
struct FullDiskCase {
    const char* name;
    std::string before;  // what the log holds before the first job
    std::size_t room;    // bytes the disk takes of the second record before it is full
    bool cutFails;       // cutting the fragment off fails too
    int unparsable;      // lines of the log that are no record, after the three jobs
};

void PrintTo(const FullDiskCase& c, std::ostream* os) {
    *os << c.name;
}

class JobLogFullDiskTest : public JobLogTest, public ::testing::WithParamInterface<FullDiskCase> {};

TEST_P(JobLogFullDiskTest, KeepsEveryWholeRecordOnALineOfItsOwn) {
    const FullDiskCase& c = GetParam();
    if (!c.before.empty()) {
        ASSERT_TRUE(appendJobLog(m_path, sampleRun({sampleJob("make-folders", 0)})));
        test::writeFile(m_path, c.before);
    }
    test::FaultyFileSystem files;
    ASSERT_TRUE(appendJobLog(m_path, sampleRun({sampleJob("first", 0)}), files));

    files.failWritesAfter(c.room, ENOSPC);
    if (c.cutFails) files.fail(test::FileStep::Truncate, EIO);
    const base::Status second = appendJobLog(m_path, sampleRun({sampleJob("second", 0x20)}), files);
    EXPECT_FALSE(second);
    EXPECT_TRUE(second.isNoSpace()) << second.message();
    EXPECT_EQ(0u, second.message().find(m_path + ": ")) << second.message();
    const std::string afterSecond = test::readFile(m_path);
    if (!c.cutFails) {
        EXPECT_TRUE(afterSecond.empty() || afterSecond.ends_with("\n")) << "cut back to a whole line";
    }

    files.heal();
    ASSERT_TRUE(appendJobLog(m_path, sampleRun({sampleJob("third", 0)}), files));

    std::vector<std::string> ports;
    int unparsable = 0;
    for (const std::string& line : splitLines(test::readFile(m_path))) {
        const Json json = Json::parse(line, nullptr, /*allow_exceptions=*/false);
        if (json.is_discarded() || !json.contains("jobs")) {
            ++unparsable;
            continue;
        }
        ports.push_back(json["jobs"][0]["port"].get<std::string>());
    }
    EXPECT_EQ((std::vector<std::string>{"first", "third"}), ports);
    EXPECT_EQ(c.unparsable, unparsable);
    EXPECT_TRUE(test::readFile(m_path).ends_with("\n"));
}

const FullDiskCase kFullDiskCases[] = {
    {"FullPartWayThroughTheRecord", "", 100, false, 0},
    {"FullAfterOneByte", "", 1, false, 0},
    {"FullBeforeTheRecord", "", 0, false, 0},  // the write takes nothing at all
    {"CutFailsAndTheFragmentStaysALineOfItsOwn", "", 100, true, 1},
    {"LogLeftWithoutALineEnd", "{\"half a rec", 100, false, 1},
};

INSTANTIATE_TEST_SUITE_P(JobLog, JobLogFullDiskTest, ::testing::ValuesIn(kFullDiskCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(JobLogTest, SomethingElseAtThePathIsReportedNotWaitedFor) {
    ASSERT_TRUE(appendJobLog(m_path, sampleRun({sampleJob("a", 0)})));  // makes the folders
    ASSERT_EQ(0, ::unlink(m_path.c_str()));
    ASSERT_EQ(0, ::mkfifo(m_path.c_str(), 0600));
    // Without a reader a FIFO cannot even be opened for writing without waiting; with one it is no log.
    const base::Status fifo = appendJobLog(m_path, sampleRun({sampleJob("a", 0)}));
    EXPECT_FALSE(fifo);
    EXPECT_EQ(0u, fifo.message().find(m_path + ": ")) << fifo.message();
    const int reader = ::open(m_path.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    const base::Status withReader = appendJobLog(m_path, sampleRun({sampleJob("a", 0)}));
    ::close(reader);
    EXPECT_FALSE(withReader);
    EXPECT_TRUE(withReader.isNotRegularFile()) << withReader.message();

    test::writeFile(dir.file("plain"), "");
    const base::Status blocked =
        appendJobLog(dir.file("plain/QUENDAL/hlx-jobs.jsonl"), sampleRun({sampleJob("a", 0)}));
    EXPECT_FALSE(blocked);
    EXPECT_NE(std::string::npos, blocked.message().find("Not a directory")) << blocked.message();
}

}  // namespace
}  // namespace hlx::report
