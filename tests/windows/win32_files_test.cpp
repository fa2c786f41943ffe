// The files on Windows: the system's FileSystem (create-new, append, rename over a file, folders and
// devices refused where a regular file is wanted), the reader on top of it (only files on a disk are
// read, nothing waits) and the atomic writer (no temporaries left, those of dead processes removed),
// with Windows paths and UTF-8 names.

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/atomic_file.h"
#include "base/file_reader.h"
#include "base/file_system.h"
#include "base/system.h"
#include "base/user_folders.h"
#include "base/win32_system.h"
#include "tests/support/temp_dir.h"

namespace hlx::base {
namespace {

std::set<std::string> entriesOf(const test::TempDir& dir) {
    const std::vector<std::string> names = dir.entries();
    return {names.begin(), names.end()};
}

Status writeAll(WritableFile& file, std::string_view bytes) {
    std::size_t written = 0;
    if (Status s = file.write(bytes, written); !s) return s;
    if (written != bytes.size()) return Status::error("short write");
    return file.close();
}

TEST(Win32FileSystem, CreateNewRefusesAnExistingFileAndRenameReplacesOne) {
    test::TempDir dir;
    FileSystem& files = systemFileSystem();
    const std::string path = dir.file("J\xC3\xB6rg \xE2\x82\xAC.txt");  // beyond ASCII: wide names
    std::unique_ptr<WritableFile> file;
    ASSERT_TRUE(files.createNew(path, 0644, file));
    ASSERT_TRUE(writeAll(*file, "first"));
    EXPECT_EQ(StatusCode::AlreadyExists, files.createNew(path, 0644, file).code());

    const std::string other = dir.file("other.txt");
    test::writeFile(other, "second");
    ASSERT_TRUE(files.rename(other, path));
    std::string text;  // through the reader: the test's own helper takes no names beyond ASCII
    ASSERT_TRUE(readRegularFile(path, text, 100).status);
    EXPECT_EQ("second", text);
    EXPECT_EQ(std::set<std::string>{"J\xC3\xB6rg \xE2\x82\xAC.txt"}, entriesOf(dir));

    FileInfo info;
    ASSERT_TRUE(files.info(path, info));
    EXPECT_EQ(FileKind::Regular, info.kind);
    EXPECT_EQ(6, info.size);
    EXPECT_EQ(StatusCode::NotFound, files.info(dir.file("none"), info).code());
    EXPECT_EQ(StatusCode::NotFound, files.remove(dir.file("none")).code());
    ASSERT_TRUE(files.remove(path));
    EXPECT_TRUE(entriesOf(dir).empty());
}

TEST(Win32FileSystem, AppendCreatesTheFileAndAddsAtItsEndThroughTwoHandles) {
    test::TempDir dir;
    FileSystem& files = systemFileSystem();
    const std::string path = dir.file("jobs.jsonl");
    std::unique_ptr<WritableFile> first;
    std::unique_ptr<WritableFile> second;
    ASSERT_TRUE(files.openForAppend(path, 0644, first));
    // Two writers at once (the window and hlx): each line lands at the end, none over another.
    ASSERT_TRUE(files.openForAppend(path, 0644, second));
    std::size_t written = 0;
    ASSERT_TRUE(first->write("one\n", written));
    ASSERT_TRUE(second->write("two\n", written));
    ASSERT_TRUE(first->write("three\n", written));
    ASSERT_TRUE(first->close());
    ASSERT_TRUE(second->close());
    EXPECT_EQ("one\ntwo\nthree\n", test::readFile(path));
}

TEST(Win32FileSystem, RefusesFoldersAndDevicesWhereARegularFileIsWanted) {
    test::TempDir dir;
    FileSystem& files = systemFileSystem();
    std::unique_ptr<WritableFile> file;
    EXPECT_EQ(StatusCode::NotRegularFile, files.openForAppend(dir.path(), 0644, file).code());
    EXPECT_EQ(StatusCode::NotRegularFile, files.openForAppend("NUL", 0644, file).code());
    EXPECT_EQ(StatusCode::AlreadyExists, files.createFolder(dir.path(), 0700).code());
    FileInfo info;
    ASSERT_TRUE(files.info(dir.path(), info));
    EXPECT_EQ(FileKind::Folder, info.kind);
    EXPECT_EQ(StatusCode::NotRegularFile, replaceFileAtomically(dir.path(), "x", 0600).code());
}

TEST(Win32FileSystem, MakesFoldersBelowADriveWithEitherSeparator) {
    test::TempDir dir;
    const std::string deep = dir.path() + "\\state/hlx\\logs";
    ASSERT_TRUE(makeFolders(deep)) << deep;
    FileInfo info;
    ASSERT_TRUE(systemFileSystem().info(deep, info));
    EXPECT_EQ(FileKind::Folder, info.kind);
    std::vector<std::string> names;
    ASSERT_TRUE(systemFileSystem().listFolder(dir.path() + "\\state", names));
    EXPECT_EQ(std::vector<std::string>{"hlx"}, names);
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
        EXPECT_EQ(StatusCode::NotRegularFile, r.status.code());
        EXPECT_EQ(c.message, r.status.message());
        EXPECT_EQ("untouched", text);
    }
    ::CloseHandle(server);
}

TEST(Win32FileReader, MissingAndTooLargeFilesSayWhy) {
    test::TempDir dir;
    std::string text;
    const FileRead missing = readRegularFile(dir.file("none.hex"), text, 100);
    EXPECT_EQ(StatusCode::NotFound, missing.status.code());
    EXPECT_EQ(0u, missing.status.message().find(dir.file("none.hex") + ": ")) << missing.status.message();

    test::writeFile(dir.file("big.hex"), std::string(101, 'x'));
    const FileRead big = readRegularFile(dir.file("big.hex"), text, 100);
    EXPECT_EQ(StatusCode::TooLarge, big.status.code());
    EXPECT_EQ(101, big.fileSize);
    EXPECT_EQ(0u, big.bytes);
    EXPECT_EQ(dir.file("big.hex") + ": 101 bytes, at most 100", big.status.message());
}

TEST(Win32AtomicFile, ReplacesOrCreatesTheFileAndLeavesNoTemporary) {
    test::TempDir dir;
    const std::string path = dir.file("RTQ1.0.reg");
    ASSERT_TRUE(replaceFileAtomically(path, "first", 0600));
    EXPECT_EQ("first", test::readFile(path));
    ASSERT_TRUE(replaceFileAtomically(path, "second, longer", 0600));
    EXPECT_EQ("second, longer", test::readFile(path));
    EXPECT_EQ(std::set<std::string>{"RTQ1.0.reg"}, entriesOf(dir));
}

// A temporary file whose process is gone is what a crash left; one of a running process is another save
// under way and is kept.
TEST(Win32AtomicFile, RemovesTemporariesOfProcessesThatAreGone) {
    test::TempDir dir;
    const std::string path = dir.file("settings.reg");
    const std::string stale = dir.file(".settings.reg.tmp-4294967280-0");  // no such process
    const std::string running = ".settings.reg.tmp-" + std::to_string(::GetCurrentProcessId()) + "-99";
    test::writeFile(stale, "left by a crash");
    test::writeFile(dir.file(running), "another save");
    EXPECT_TRUE(processHasEnded(4294967280u));
    EXPECT_FALSE(processHasEnded(currentProcessId()));
    ASSERT_TRUE(replaceFileAtomically(path, "new", 0600));
    EXPECT_EQ((std::set<std::string>{"settings.reg", running}), entriesOf(dir));
}

TEST(Win32AtomicFile, FolderOfWindowsPaths) {
    const struct {
        const char* path;
        const char* folder;
    } cases[] = {
        {"name.reg", "."},
        {"C:\\name.reg", "C:\\"},
        {"C:\\a\\b.reg", "C:\\a"},
        {"C:/a/b.reg", "C:/a"},
        {"\\name.reg", "\\"},
        {"dir\\sub/b.reg", "dir\\sub"},
        {"\\\\server\\share\\b.reg", "\\\\server\\share\\"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.folder, folderOf(c.path)) << c.path;
}

TEST(Win32System, TextCrossesToTheSystemAndBack) {
    const std::string text = "C:\\J\xC3\xB6rg\\fw \xE2\x82\xAC.hex";
    EXPECT_EQ(L"C:\\J\u00f6rg\\fw \u20ac.hex", widen(text));
    EXPECT_EQ(text, narrow(widen(text)));
    const Status missing = windowsError("\\\\.\\COM77", ERROR_FILE_NOT_FOUND);
    EXPECT_EQ("\\\\.\\COM77: " + windowsErrorText(ERROR_FILE_NOT_FOUND), missing.message());
    EXPECT_EQ(StatusCode::NotFound, missing.code());
    EXPECT_EQ(StatusCode::PermissionDenied, codeForWindowsError(ERROR_ACCESS_DENIED));
    EXPECT_EQ(StatusCode::Busy, codeForWindowsError(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(StatusCode::NoSpace, codeForWindowsError(ERROR_DISK_FULL));
    EXPECT_EQ(StatusCode::AlreadyExists, codeForWindowsError(ERROR_FILE_EXISTS));
}

// The job log and the other per-user files live in the user's local application data.
TEST(Win32UserFolders, StateGoesToLocalAppDataUnlessItsVariableIsSet) {
    ASSERT_TRUE(::SetEnvironmentVariableW(L"LOCALAPPDATA", L"C:\\Users\\tech\\AppData\\Local"));
    ASSERT_TRUE(::SetEnvironmentVariableW(L"XDG_STATE_HOME", nullptr));
    EXPECT_EQ("C:\\Users\\tech\\AppData\\Local", userFolder("XDG_STATE_HOME", ".local/state"));
    ASSERT_TRUE(::SetEnvironmentVariableW(L"XDG_STATE_HOME", L"relative"));
    EXPECT_EQ("C:\\Users\\tech\\AppData\\Local", userFolder("XDG_STATE_HOME", ".local/state"));
    ASSERT_TRUE(::SetEnvironmentVariableW(L"XDG_STATE_HOME", L"D:\\state"));
    EXPECT_EQ("D:\\state", userFolder("XDG_STATE_HOME", ".local/state"));
    ASSERT_TRUE(::SetEnvironmentVariableW(L"XDG_STATE_HOME", nullptr));
    ASSERT_TRUE(::SetEnvironmentVariableW(L"USERPROFILE", L"C:\\Users\\J\u00f6rg"));
    EXPECT_EQ("C:\\Users\\J\xC3\xB6rg", homeFolder());
}

}  // namespace
}  // namespace hlx::base
