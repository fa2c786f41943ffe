#pragma once
// FileSystem: the seam between the program and the files it reads and writes, as SerialDevice is the seam
// to the serial port. The atomic writer, the regular-file reader and everything built on them (settings,
// terminal text files, the picture exports, firmware and send files) reach the disk only through it, so a
// test can put a wrapper in between that fails a chosen step on request: a full disk on write, an I/O
// error on fsync, a rename across file systems, a folder that takes no new file, even as root.
//
// systemFileSystem() is the program's implementation for its system (base/posix_file_system.cpp, or
// base/win32_file_system.cpp on Windows); functions and classes that touch files take a
// FileSystem& that defaults to it (as the clock defaults to systemClock()).
//
// Contract: every call either succeeds or returns a Status whose code says the kind of failure (see
// systemError) and whose message is the system's reason alone ("No space left on device"); the caller puts
// the path or purpose in front, since only it knows what the file is for. Nothing throws, nothing waits on
// a FIFO or a device: files are opened for reading with O_NONBLOCK, never as a controlling terminal.
//
// Threads: systemFileSystem() holds no state and may be used from any thread; a ReadableFile or
// WritableFile belongs to one thread at a time. Ownership: a file object closes its descriptor when it is
// destroyed.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"

namespace hlx::base {

// Link only from entryInfo, which does not follow a symbolic link; Other: a device, FIFO or socket.
enum class FileKind { Regular, Folder, Other, Link };

struct FileInfo {
    FileKind kind = FileKind::Other;
    std::int64_t size = 0;
    std::uint32_t permissions = 0;  // the mode's permission bits (07777)
    // Which file it is, whatever its name: two names of one file have the same pair. 0, 0: not known.
    std::uint64_t device = 0;
    std::uint64_t id = 0;
};

// Whether a and b are known to be one file.
inline bool sameFile(const FileInfo& a, const FileInfo& b) {
    return (a.device != 0 || a.id != 0) && a.device == b.device && a.id == b.id;
}

// A file opened for reading.
class ReadableFile {
public:
    virtual ~ReadableFile() = default;
    // What the open file is (fstat): a path's kind and size are checked on the file itself, not the name.
    [[nodiscard]] virtual Status info(FileInfo& info) = 0;
    // Reads what is there, up to buffer.size() bytes, into buffer; got = 0 at the end of the file.
    [[nodiscard]] virtual Status read(std::span<std::uint8_t> buffer, std::size_t& got) = 0;
};

// A file created for writing.
class WritableFile {
public:
    virtual ~WritableFile() = default;  // closes it if close() was not called; a failure then goes unseen
    [[nodiscard]] virtual Status setPermissions(std::uint32_t permissions) = 0;
    // Writes some of bytes: written may be less than bytes.size() (call again with the rest).
    [[nodiscard]] virtual Status write(std::string_view bytes, std::size_t& written) = 0;
    // Flushes what was written to the disk (fsync).
    [[nodiscard]] virtual Status sync() = 0;
    // Closes the file; a failure here can be a delayed write error. Called at most once.
    [[nodiscard]] virtual Status close() = 0;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    [[nodiscard]] virtual Status openForReading(const std::string& path,
                                                std::unique_ptr<ReadableFile>& file) = 0;
    // Creates a file that must not exist yet (AlreadyExists otherwise) with the permission bits given (less
    // the umask).
    [[nodiscard]] virtual Status createNew(const std::string& path, std::uint32_t permissions,
                                           std::unique_ptr<WritableFile>& file) = 0;
    // Opens a file for appending, created with the permission bits given (less the umask) when missing.
    // Anything but a regular file is refused (NotRegularFile) without waiting on it (a FIFO).
    [[nodiscard]] virtual Status openForAppend(const std::string& path, std::uint32_t permissions,
                                               std::unique_ptr<WritableFile>& file) = 0;
    // What the path names, a symbolic link followed.
    [[nodiscard]] virtual Status info(const std::string& path, FileInfo& info) = 0;
    // What the name itself is: a symbolic link is not followed but reported as FileKind::Link.
    [[nodiscard]] virtual Status entryInfo(const std::string& path, FileInfo& info) = 0;
    // A symbolic link resolved to the file it points to; any other path (or a dangling link) as it is.
    virtual std::string resolveLink(const std::string& path) = 0;
    // Renames from over to (both in one file system); to is replaced at once if it exists.
    [[nodiscard]] virtual Status rename(const std::string& from, const std::string& to) = 0;
    [[nodiscard]] virtual Status remove(const std::string& path) = 0;
    // Flushes the folder itself, so a rename into it lasts through a power loss.
    [[nodiscard]] virtual Status syncFolder(const std::string& folder) = 0;
    // The names in folder, without "." and "..".
    [[nodiscard]] virtual Status listFolder(const std::string& folder, std::vector<std::string>& names) = 0;
    // Creates one folder (its parent must exist); AlreadyExists when the name is taken.
    [[nodiscard]] virtual Status createFolder(const std::string& path, std::uint32_t permissions) = 0;
};

// The operating system's files.
FileSystem& systemFileSystem();

// The characters that separate a path's parts: '/' alone on POSIX systems, '/' and '\\' on Windows.
#ifdef _WIN32
inline constexpr std::string_view kPathSeparators = "/\\";
#else
inline constexpr std::string_view kPathSeparators = "/";
#endif

// Temporary files are named after the process that made them, so that a later replacement can remove
// those of a process that has ended (killed, or the power went) and leave those of one still at work.
std::uint64_t currentProcessId();
// Whether the process with this id has ended (never true for the calling process).
bool processEnded(std::uint64_t pid);

}  // namespace hlx::base
