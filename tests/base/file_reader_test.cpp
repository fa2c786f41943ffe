// The regular-file reader and the file buffer when the file system fails under them.

#include "base/file_reader.h"

#include <sys/stat.h>

#include <cerrno>

#include <gtest/gtest.h>

#include "base/file_buffer.h"
#include "tests/support/faulty_file_system.h"
#include "tests/support/temp_dir.h"

namespace hlx::base {
namespace {

using test::FileStep;

class FileReaderTest : public ::testing::Test {
protected:
    test::TempDir dir;
    std::string path = dir.file("firmware.hex");
    test::FaultyFileSystem files;
};

TEST_F(FileReaderTest, EachRefusalSaysItsKindAndNamesThePath) {
    test::writeFile(path, std::string(100, ':'));
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
    struct Case {
        const char* name;
        std::string path;
        std::size_t limit;
        StatusCode code;
        std::string message;
    };
    const Case cases[] = {
        {"Missing", dir.file("missing.hex"), 1000, StatusCode::NotFound,
         dir.file("missing.hex") + ": No such file or directory"},
        {"Folder", dir.path(), 1000, StatusCode::NotRegularFile, dir.path() + ": Is a directory"},
        {"Fifo", fifo, 1000, StatusCode::NotRegularFile, fifo + ": Not a regular file"},
        {"AboveTheLimit", path, 99, StatusCode::TooLarge, path + ": 100 bytes, at most 99"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string out = "untouched";
        const FileRead r = readRegularFile(c.path, out, c.limit, files);
        EXPECT_EQ(c.code, r.status.code()) << r.status;
        EXPECT_EQ(c.message, r.status.message());
        EXPECT_EQ("untouched", out);
    }
}

TEST_F(FileReaderTest, AnOpenTheSystemRefusesKeepsItsKind) {
    test::writeFile(path, "data");
    files.fail(FileStep::OpenForReading, EACCES);
    std::string out;
    const FileRead r = readRegularFile(path, out, 1000, files);
    EXPECT_TRUE(r.status.isPermissionDenied()) << r.status;
    EXPECT_EQ(path + ": Permission denied", r.status.message());
}

TEST_F(FileReaderTest, AReadThatFailsPartWayHandsOverNothing) {
    test::writeFile(path, std::string(5000, 'x'));
    files.failReadsAfter(1000, EIO);
    std::string out = "untouched";
    const FileRead r = readRegularFile(path, out, 10000, files);
    EXPECT_TRUE(r.status.isIoError()) << r.status;
    EXPECT_EQ(path + ": Input/output error", r.status.message());
    EXPECT_EQ(5000, r.fileSize);
    EXPECT_EQ("untouched", out);
}

TEST_F(FileReaderTest, ABufferWhoseReadFailedPartWayIsEmptyNotHalfRead) {
    FileBuffer buffer;
    ASSERT_TRUE(buffer.assign(":00000001FF\r\n"));
    test::writeFile(path, std::string(5000, 'x'));
    files.failReadsAfter(1000, EIO);
    const Status loaded = buffer.load(path, files);
    EXPECT_TRUE(loaded.isIoError()) << loaded;
    EXPECT_EQ(0, buffer.size());
    EXPECT_TRUE(buffer.atEnd());
}

TEST_F(FileReaderTest, ABufferWhoseFileCannotBeOpenedKeepsWhatItHeld) {
    FileBuffer buffer;
    ASSERT_TRUE(buffer.assign(":00000001FF\r\n"));
    test::writeFile(path, "data");
    files.fail(FileStep::OpenForReading, EIO);
    EXPECT_TRUE(buffer.load(path, files).isIoError());
    EXPECT_EQ(":00000001FF\r\n", buffer.bytes());
}

}  // namespace
}  // namespace hlx::base
