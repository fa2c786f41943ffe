// The file layer on Windows: only files on a disk are read (a pipe, a device or a folder is refused before
// a byte is read, and nothing waits), and files are replaced atomically without leaving temporaries.

#include <windows.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/atomic_file.h"
#include "base/file_reader.h"
#include "base/file_system.h"
#include "base/user_folders.h"
#include "base/win32_system.h"
#include "tests/support/temp_dir.h"

namespace hlx::base {
namespace {

std::set<std::string> entriesOf(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

TEST(Win32FileReader, ReadsAFileWholeAlsoWhileAnotherProgramWritesIt) {
    test::TempDir dir;
    const std::string path = dir.file("fw.hex");
    test::writeFile(path, std::string("line\r\n\0\xFF", 8));
    // Held open for writing, as an editor or a copy in progress would.
    HANDLE writer = ::CreateFileW(widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    std::string text;
    const FileRead r = readRegularFile(path, text, 100);
    ::CloseHandle(writer);
    ASSERT_TRUE(r.status) << r.status.message();
    EXPECT_EQ(std::string("line\r\n\0\xFF", 8), text);
    EXPECT_EQ(8, r.fileSize);
}

TEST(Win32FileReader, RefusesWhatIsNotARegularFile) {
    test::TempDir dir;
    const std::string pipeName = "\\\\.\\pipe\\hlx-test-" + std::to_string(::GetCurrentProcessId());
    // A pipe with a server that never writes: reading it would wait for ever.
    HANDLE server = ::CreateNamedPipeW(widen(pipeName).c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 512,
                                       512, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, server);
    const struct {
        std::string path;
        std::string message;
    } cases[] = {
        {"NUL", "NUL: Not a regular file"},
        {pipeName, pipeName + ": Not a regular file"},
        {dir.path(), dir.path() + ": Is a directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        std::string text = "untouched";
        const auto start = std::chrono::steady_clock::now();
        const FileRead r = readRegularFile(c.path, text, 1000);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10)) << "it must not wait";
        EXPECT_TRUE(r.status.isNotRegularFile()) << r.status.message();
        EXPECT_EQ(c.message, r.status.message());
        EXPECT_EQ("untouched", text);
    }
    ::CloseHandle(server);
}

TEST(Win32FileReader, MissingAndTooLargeFilesSayWhy) {
    test::TempDir dir;
    std::string text;
    const FileRead missing = readRegularFile(dir.file("none.hex"), text, 100);
    EXPECT_TRUE(missing.status.isNotFound()) << missing.status.message();
    EXPECT_EQ(0u, missing.status.message().find(dir.file("none.hex") + ": ")) << missing.status.message();

    test::writeFile(dir.file("big.hex"), std::string(101, 'x'));
    const FileRead big = readRegularFile(dir.file("big.hex"), text, 100);
    EXPECT_TRUE(big.status.isTooLarge());
    EXPECT_EQ(101, big.fileSize);
    EXPECT_EQ(0u, big.bytes);
    EXPECT_EQ(dir.file("big.hex") + ": 101 bytes, at most 100", big.status.message());
}

TEST(Win32AtomicFile, ReplacesOrCreatesTheFileAndLeavesNoTemporary) {
    test::TempDir dir;
    const std::string path = dir.file("RTQ1.0.reg");
    EXPECT_TRUE(replaceFileAtomically(path, "first", 0600));
    EXPECT_EQ("first", test::readFile(path));
    EXPECT_TRUE(replaceFileAtomically(path, "second, longer", 0600));
    EXPECT_EQ("second, longer", test::readFile(path));
    EXPECT_EQ(std::set<std::string>{"RTQ1.0.reg"}, entriesOf(dir.path()));
    EXPECT_FALSE(replaceFileAtomically(dir.path(), "x", 0600));
    EXPECT_EQ(std::set<std::string>{"RTQ1.0.reg"}, entriesOf(dir.path())) << "no temporary left";
}

// A temporary file whose process is gone is what a crash left; one of a running process is another save
// under way and is kept.
TEST(Win32AtomicFile, RemovesTemporariesOfProcessesThatAreGone) {
    test::TempDir dir;
    const std::string path = dir.file("settings.reg");
    const std::string stale = dir.file(".settings.reg.tmp-4294967280-0");  // no such process
    const std::string running =
        dir.file(".settings.reg.tmp-" + std::to_string(::GetCurrentProcessId()) + "-99");
    test::writeFile(stale, "left by a crash");
    test::writeFile(running, "another save");
    EXPECT_TRUE(replaceFileAtomically(path, "new", 0600));
    EXPECT_EQ((std::set<std::string>{"settings.reg",
                                     ".settings.reg.tmp-" + std::to_string(::GetCurrentProcessId()) + "-99"}),
              entriesOf(dir.path()));
}

TEST(Win32AtomicFile, FolderOfWindowsPaths) {
    const struct {
        const char* path;
        const char* folder;
    } cases[] = {
        {"name.reg", "."},      {"C:\\name.reg", "C:\\"}, {"C:\\a\\b.reg", "C:\\a"},
        {"C:/a/b.reg", "C:/a"}, {"\\name.reg", "\\"},     {"dir\\sub/b.reg", "dir\\sub"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.folder, folderOf(c.path)) << c.path;
}

// The seam's own steps as the writer and the job log use them.
TEST(Win32FileSystem, CreatesAppendsRenamesAndRefusesAsOnLinux) {
    test::TempDir dir;
    FileSystem& files = systemFileSystem();
    std::unique_ptr<WritableFile> file;
    ASSERT_TRUE(files.createNew(dir.file("a"), 0600, file));
    std::size_t written = 0;
    ASSERT_TRUE(file->write("first", written));
    EXPECT_EQ(5u, written);
    ASSERT_TRUE(file->sync());
    ASSERT_TRUE(file->close());
    EXPECT_TRUE(files.createNew(dir.file("a"), 0600, file).isAlreadyExists());

    for (const char* line : {"one\n", "two\n"}) {
        ASSERT_TRUE(files.openForAppend(dir.file("log"), 0644, file));
        ASSERT_TRUE(file->write(line, written));
        ASSERT_TRUE(file->close());
    }
    EXPECT_EQ("one\ntwo\n", test::readFile(dir.file("log")));
    EXPECT_TRUE(files.openForAppend(dir.path(), 0644, file).isNotRegularFile()) << "a folder";
    EXPECT_TRUE(files.openForAppend("NUL", 0644, file).isNotRegularFile()) << "a device";

    test::writeFile(dir.file("b"), "second");
    ASSERT_TRUE(files.rename(dir.file("b"), dir.file("a")));
    EXPECT_EQ("second", test::readFile(dir.file("a")));
    FileInfo info;
    ASSERT_TRUE(files.info(dir.file("a"), info));
    EXPECT_EQ(FileKind::Regular, info.kind);
    EXPECT_EQ(6, info.size);
    EXPECT_TRUE(files.info(dir.file("none"), info).isNotFound());

    ASSERT_TRUE(files.createFolder(dir.file("sub"), 0700));
    EXPECT_TRUE(files.createFolder(dir.file("sub"), 0700).isAlreadyExists());
    std::vector<std::string> names;
    ASSERT_TRUE(files.listFolder(dir.path(), names));
    EXPECT_EQ((std::set<std::string>{"a", "log", "sub"}), std::set<std::string>(names.begin(), names.end()));
    ASSERT_TRUE(files.remove(dir.file("a")));
    EXPECT_TRUE(files.remove(dir.file("a")).isNotFound());
}

// Two programs appending to one job log at once (the window and hlx): every line lands at the end, none
// over another; names beyond ASCII reach the wide functions.
TEST(Win32FileSystem, TwoAppendersAtOnceAndWideNames) {
    test::TempDir dir;
    FileSystem& files = systemFileSystem();
    const std::string path = dir.file("J\xC3\xB6rg \xE2\x82\xAC.jsonl");
    std::unique_ptr<WritableFile> first;
    std::unique_ptr<WritableFile> second;
    ASSERT_TRUE(files.openForAppend(path, 0644, first));
    ASSERT_TRUE(files.openForAppend(path, 0644, second));
    std::size_t written = 0;
    ASSERT_TRUE(first->write("one\n", written));
    ASSERT_TRUE(second->write("two\n", written));
    ASSERT_TRUE(first->write("three\n", written));
    ASSERT_TRUE(first->close());
    ASSERT_TRUE(second->close());
    std::string text;  // through the reader: the test's own helper takes no names beyond ASCII
    ASSERT_TRUE(readRegularFile(path, text, 100).status);
    EXPECT_EQ("one\ntwo\nthree\n", text);
}

// The job log's folder is made below a drive, whichever separators the path has; it lives in the user's
// local application data unless its variable holds an absolute path.
TEST(Win32UserFolders, JobLogFolderBelowLocalAppData) {
    test::TempDir dir;
    const std::string deep = dir.path() + "\\state/QUENDAL\\logs";
    ASSERT_TRUE(makeFolders(deep)) << deep;
    FileInfo info;
    ASSERT_TRUE(systemFileSystem().info(deep, info));
    EXPECT_EQ(FileKind::Folder, info.kind);

    ASSERT_EQ(0, ::_putenv_s("LOCALAPPDATA", "C:\\Users\\tech\\AppData\\Local"));
    ASSERT_EQ(0, ::_putenv_s("XDG_STATE_HOME", "relative"));
    EXPECT_EQ("C:\\Users\\tech\\AppData\\Local", userFolder("XDG_STATE_HOME", ".local/state"));
    ASSERT_EQ(0, ::_putenv_s("XDG_STATE_HOME", "D:\\state"));
    EXPECT_EQ("D:\\state", userFolder("XDG_STATE_HOME", ".local/state"));
    ASSERT_EQ(0, ::_putenv_s("XDG_STATE_HOME", ""));
}

TEST(Win32System, TextCrossesToTheSystemAndBack) {
    const std::string text = "C:\\J\xC3\xB6rg\\fw \xE2\x82\xAC.hex";
    EXPECT_EQ(L"C:\\J\u00f6rg\\fw \u20ac.hex", widen(text));
    EXPECT_EQ(text, narrow(widen(text)));
    EXPECT_EQ("\\\\.\\COM77: " + windowsErrorText(ERROR_FILE_NOT_FOUND),
              windowsError("\\\\.\\COM77", ERROR_FILE_NOT_FOUND).message());
    EXPECT_EQ(ENOENT, errnoOf(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(EACCES, errnoOf(ERROR_ACCESS_DENIED));
}

}  // namespace
}  // namespace hlx::base
