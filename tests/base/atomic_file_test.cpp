// The atomic writer's failure paths, each step broken on purpose through the faulty file system: whatever
// fails, the old file stays byte for byte, no temporary file is left, and the Status says the kind.

#include "base/atomic_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <filesystem>

#include <gtest/gtest.h>

#include "tests/support/faulty_file_system.h"
#include "tests/support/temp_dir.h"

namespace hlx::base {
namespace {

using test::FileStep;

constexpr std::string_view kOld = "the old contents, which must survive any failure\n";
constexpr std::string_view kNew = "the new contents\n";

class AtomicFileTest : public ::testing::Test {
protected:
    void SetUp() override { test::writeFile(target, std::string(kOld)); }
    Status replace(std::string_view bytes = kNew) {
        return replaceFileAtomically(target, bytes, 0666, files);
    }

    test::TempDir dir;
    std::string target = dir.file("settings.txt");
    test::FaultyFileSystem files;
};

struct FailureCase {
    const char* name;
    void (*breakIt)(test::FaultyFileSystem& files, const std::string& folder);
    StatusCode code;
};

const FailureCase kFailures[] = {
    {"DiskFullAtTheFirstWrite",
     [](test::FaultyFileSystem& f, const std::string&) { f.failWritesAfter(0, ENOSPC); },
     StatusCode::NoSpace},
    {"DiskFullPartWay", [](test::FaultyFileSystem& f, const std::string&) { f.failWritesAfter(7, ENOSPC); },
     StatusCode::NoSpace},
    {"QuotaExceeded", [](test::FaultyFileSystem& f, const std::string&) { f.fail(FileStep::Write, EDQUOT); },
     StatusCode::NoSpace},
    {"FsyncFails", [](test::FaultyFileSystem& f, const std::string&) { f.fail(FileStep::Sync, EIO); },
     StatusCode::IoError},
    {"CloseReportsADelayedWriteError",
     [](test::FaultyFileSystem& f, const std::string&) { f.fail(FileStep::Close, EIO); },
     StatusCode::IoError},
    {"RenameAcrossFileSystems",
     [](test::FaultyFileSystem& f, const std::string&) { f.fail(FileStep::Rename, EXDEV); },
     StatusCode::Other},
    {"RenameRefused", [](test::FaultyFileSystem& f, const std::string&) { f.fail(FileStep::Rename, EACCES); },
     StatusCode::PermissionDenied},
    {"NoTemporaryFileCanBeMade",
     [](test::FaultyFileSystem& f, const std::string&) { f.fail(FileStep::Create, EROFS); },
     StatusCode::PermissionDenied},
    {"ReadOnlyFolder", [](test::FaultyFileSystem& f, const std::string& folder) { f.makeReadOnly(folder); },
     StatusCode::PermissionDenied},
};

void PrintTo(const FailureCase& c, std::ostream* out) {
    *out << c.name;
}

class AtomicFileFailureTest : public AtomicFileTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(AtomicFileFailureTest, LeavesTheOldFileWholeAndNoTemporaryFile) {
    GetParam().breakIt(files, dir.path());
    const Status status = replace();
    ASSERT_FALSE(status);
    EXPECT_EQ(GetParam().code, status.code()) << status;
    EXPECT_EQ(kOld, test::readFile(target));
    EXPECT_EQ(std::vector<std::string>{"settings.txt"}, dir.entries());
}

TEST_P(AtomicFileFailureTest, LeavesNoFileWhereThereWasNone) {
    std::filesystem::remove(target);
    GetParam().breakIt(files, dir.path());
    const Status status = replace();
    ASSERT_FALSE(status);
    EXPECT_EQ(GetParam().code, status.code()) << status;
    EXPECT_EQ(std::vector<std::string>{}, dir.entries());
}

INSTANTIATE_TEST_SUITE_P(Steps, AtomicFileFailureTest, ::testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(AtomicFileTest, TheMessageIsTheSystemsReasonForTheCallerToName) {
    files.failWritesAfter(3, ENOSPC);
    EXPECT_EQ("No space left on device", replace().message());
}

TEST_F(AtomicFileTest, WrittenFlushedAndClosedBeforeTheRenameThenTheFolderIsFlushed) {
    ASSERT_TRUE(replace());
    EXPECT_EQ(kNew, test::readFile(target));
    std::vector<std::string> durable;
    for (const std::string& step : files.steps())
        if (step != "info" && step != "listFolder" && step != "setPermissions") durable.push_back(step);
    EXPECT_EQ((std::vector<std::string>{"create", "write", "sync", "close", "rename", "syncFolder"}),
              durable);
}

TEST_F(AtomicFileTest, ShortWritesStillWriteEverything) {
    files.limitWrites(3);
    const std::string longer(1000, 'x');
    ASSERT_TRUE(replace(longer));
    EXPECT_EQ(longer, test::readFile(target));
    EXPECT_EQ(longer.size(), files.bytesWritten());
}

TEST_F(AtomicFileTest, AFolderFlushThatFailsLeavesTheNewFileAndIsNoFailure) {
    // The rename has happened by then: reporting a failure would tell the caller the old file is still
    // there when it is not.
    files.fail(FileStep::SyncFolder, EIO);
    EXPECT_TRUE(replace());
    EXPECT_EQ(kNew, test::readFile(target));
}

TEST_F(AtomicFileTest, KeepsTheOldFilesPermissionsAndGivesANewFileItsOwn) {
    ASSERT_EQ(0, ::chmod(target.c_str(), 0640));
    ASSERT_TRUE(replace());
    EXPECT_EQ(std::filesystem::perms(0640), std::filesystem::status(target).permissions());

    const std::string fresh = dir.file("fresh.txt");
    const mode_t previous = ::umask(022);
    const Status created = replaceFileAtomically(fresh, kNew, 0600, files);
    ::umask(previous);
    ASSERT_TRUE(created);
    EXPECT_EQ(std::filesystem::perms(0600), std::filesystem::status(fresh).permissions());
}

TEST_F(AtomicFileTest, AFolderInPlaceOfTheTargetIsRefusedBeforeAnythingIsWritten) {
    const std::string folder = dir.file("folder");
    ASSERT_TRUE(std::filesystem::create_directory(folder));
    const Status status = replaceFileAtomically(folder, kNew, 0666, files);
    EXPECT_TRUE(status.isNotRegularFile()) << status;
    for (const std::string& step : files.steps()) EXPECT_NE("create", step);
}

// A FIFO (as a device node or a socket) in place of the target is never replaced by a regular file, and a
// link to one is followed to it and refused alike.
TEST_F(AtomicFileTest, AFifoOrALinkToOneInPlaceOfTheTargetIsRefusedAndStays) {
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
    const std::string link = dir.file("link-to-fifo");
    std::filesystem::create_symlink(fifo, link);
    for (const std::string& path : {fifo, link}) {
        SCOPED_TRACE(path);
        const Status status = replaceFileAtomically(path, kNew, 0666, files);
        EXPECT_TRUE(status.isNotRegularFile()) << status;
        EXPECT_TRUE(std::filesystem::is_fifo(fifo));
        for (const std::string& step : files.steps()) EXPECT_NE("create", step);
    }
}

// The probe finds a full disk before the contents exist; the old file and the folder stay as they were.
TEST_F(AtomicFileTest, TheProbeFindsAFullDiskFirst) {
    files.failWritesAfter(100, ENOSPC);
    FileReplacement replacement(target, 0644, files);
    ASSERT_TRUE(replacement.status()) << replacement.status();
    const Status probed = replacement.probe(4096);
    EXPECT_TRUE(probed.isNoSpace()) << probed;
    EXPECT_FALSE(replacement.commit(kNew));
    EXPECT_EQ(kOld, test::readFile(target));
}

// After a probe that passed, the contents go into a fresh temporary file: the probe's bytes are not part of
// the result, and no temporary file is left.
TEST_F(AtomicFileTest, AfterAProbeTheFileHoldsTheContentsAlone) {
    {
        FileReplacement replacement(target, 0644, files);
        ASSERT_TRUE(replacement.probe(4096));
        ASSERT_TRUE(replacement.commit(kNew));
    }
    EXPECT_EQ(kNew, test::readFile(target));
    EXPECT_EQ((std::vector<std::string>{"settings.txt"}), dir.entries());
}

}  // namespace
}  // namespace hlx::base
