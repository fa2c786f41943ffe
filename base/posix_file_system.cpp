// The FileSystem of the operating system: each call is one POSIX call (two for a short-lived descriptor),
// retried on EINTR, its errno turned into a Status.

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "base/file_system.h"

namespace hlx::base {
namespace {

Status lastError() {
    return systemError(errno);
}

FileInfo infoOf(const struct stat& st) {
    FileInfo info;
    info.kind = S_ISREG(st.st_mode)   ? FileKind::Regular
                : S_ISDIR(st.st_mode) ? FileKind::Folder
                : S_ISLNK(st.st_mode) ? FileKind::Link
                                      : FileKind::Other;
    info.size = st.st_size;
    info.permissions = st.st_mode & 07777;
    info.device = static_cast<std::uint64_t>(st.st_dev);
    info.id = static_cast<std::uint64_t>(st.st_ino);
    return info;
}

// Closes the descriptor on every path out.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() { (void)close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return m_fd; }
    // Hands the descriptor over; this object no longer closes it.
    int release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    // 0 or the errno of a failed close (which can report a delayed write error).
    int close() {
        if (m_fd < 0) return 0;
        const int result = ::close(m_fd);
        m_fd = -1;
        return result == 0 ? 0 : errno;
    }

private:
    int m_fd;
};

class PosixReadableFile : public ReadableFile {
public:
    explicit PosixReadableFile(int fd) : m_fd(fd) {}

    Status info(FileInfo& info) override {
        struct stat st {};
        if (::fstat(m_fd.get(), &st) != 0) return lastError();
        info = infoOf(st);
        return Status::ok();
    }

    Status read(std::span<std::uint8_t> buffer, std::size_t& got) override {
        got = 0;
        for (;;) {
            const ssize_t n = ::read(m_fd.get(), buffer.data(), buffer.size());
            if (n >= 0) {
                got = static_cast<std::size_t>(n);
                return Status::ok();
            }
            if (errno != EINTR) return lastError();
        }
    }

private:
    Descriptor m_fd;
};

class PosixWritableFile : public WritableFile {
public:
    explicit PosixWritableFile(int fd) : m_fd(fd) {}

    Status setPermissions(std::uint32_t permissions) override {
        if (::fchmod(m_fd.get(), static_cast<mode_t>(permissions)) != 0) return lastError();
        return Status::ok();
    }

    Status write(std::string_view bytes, std::size_t& written) override {
        written = 0;
        for (;;) {
            const ssize_t n = ::write(m_fd.get(), bytes.data(), bytes.size());
            if (n >= 0) {
                written = static_cast<std::size_t>(n);
                return Status::ok();
            }
            if (errno != EINTR) return lastError();
        }
    }

    Status sync() override {
        if (::fsync(m_fd.get()) != 0) return lastError();
        return Status::ok();
    }

    Status close() override {
        if (const int err = m_fd.close(); err != 0) return systemError(err);
        return Status::ok();
    }

private:
    Descriptor m_fd;
};

class PosixFileSystem : public FileSystem {
public:
    Status openForReading(const std::string& path, std::unique_ptr<ReadableFile>& file) override {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd < 0) return lastError();
        file = std::make_unique<PosixReadableFile>(fd);
        return Status::ok();
    }

    Status createNew(const std::string& path, std::uint32_t permissions,
                     std::unique_ptr<WritableFile>& file) override {
        const int fd =
            ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, static_cast<mode_t>(permissions));
        if (fd < 0) return lastError();
        file = std::make_unique<PosixWritableFile>(fd);
        return Status::ok();
    }

    Status openForAppend(const std::string& path, std::uint32_t permissions,
                         std::unique_ptr<WritableFile>& file) override {
        // Non-blocking, so a FIFO put there by mistake is refused below instead of waiting for a reader.
        Descriptor fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY,
                             static_cast<mode_t>(permissions)));
        if (fd.get() < 0) return lastError();
        struct stat st {};
        if (::fstat(fd.get(), &st) != 0) return lastError();
        if (!S_ISREG(st.st_mode)) return Status::error(StatusCode::NotRegularFile, "Not a regular file");
        file = std::make_unique<PosixWritableFile>(fd.release());
        return Status::ok();
    }

    Status info(const std::string& path, FileInfo& info) override {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) return lastError();
        info = infoOf(st);
        return Status::ok();
    }

    Status entryInfo(const std::string& path, FileInfo& info) override {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) return lastError();
        info = infoOf(st);
        return Status::ok();
    }

    std::string resolveLink(const std::string& path) override {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        char resolved[PATH_MAX];
        if (::realpath(path.c_str(), resolved) == nullptr) return path;
        return resolved;
    }

    Status rename(const std::string& from, const std::string& to) override {
        if (::rename(from.c_str(), to.c_str()) != 0) return lastError();
        return Status::ok();
    }

    Status remove(const std::string& path) override {
        if (::unlink(path.c_str()) != 0) return lastError();
        return Status::ok();
    }

    Status syncFolder(const std::string& folder) override {
        Descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (fd.get() < 0) return lastError();
        if (::fsync(fd.get()) != 0) return lastError();
        return Status::ok();
    }

    Status listFolder(const std::string& folder, std::vector<std::string>& names) override {
        names.clear();
        DIR* dir = ::opendir(folder.c_str());
        if (dir == nullptr) return lastError();
        while (const dirent* entry = ::readdir(dir)) {
            const std::string_view name(entry->d_name);
            if (name != "." && name != "..") names.emplace_back(name);
        }
        ::closedir(dir);
        return Status::ok();
    }

    Status createFolder(const std::string& path, std::uint32_t permissions) override {
        if (::mkdir(path.c_str(), static_cast<mode_t>(permissions)) != 0) return lastError();
        return Status::ok();
    }
};

}  // namespace

std::uint64_t currentProcessId() {
    return static_cast<std::uint64_t>(::getpid());
}

bool processEnded(std::uint64_t pid) {
    // kill with signal 0 only asks whether the process exists.
    if (pid == currentProcessId() || pid > static_cast<std::uint64_t>(INT_MAX)) return false;
    return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

FileSystem& systemFileSystem() {
    static PosixFileSystem files;
    return files;
}

}  // namespace hlx::base
