#include "base/file_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/atomic_file.h"

namespace hlx::base {
namespace {

// Opens and checks; on success fd is open and size holds the file's size.
FileRead openChecked(const std::string& path, FileDescriptor& fd, std::size_t limit) {
    FileRead r;
    fd.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd.get() < 0) {
        r.error = errno;
        r.status = systemError(path, r.error);
        r.failure = ReadFailure::CannotOpen;
        return r;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        r.error = errno;
        r.status = systemError(path, r.error);
        r.failure = ReadFailure::CannotOpen;
        return r;
    }
    if (!S_ISREG(info.st_mode)) {
        r.error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        r.status =
            S_ISDIR(info.st_mode) ? systemError(path, EISDIR) : Status::error(path + ": Not a regular file");
        r.failure = ReadFailure::CannotOpen;
        return r;
    }
    r.fileSize = info.st_size;
    if (static_cast<std::uint64_t>(info.st_size) > limit) {
        r.error = EFBIG;
        r.status = Status::error(path + ": " + std::to_string(info.st_size) + " bytes, at most " +
                                 std::to_string(limit));
        r.failure = ReadFailure::TooLarge;
    }
    return r;
}

// Reads exactly size bytes (the file may not shrink under us unnoticed).
FileRead readAll(const std::string& path, int fd, std::uint8_t* out, std::size_t size, FileRead r) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, out + done, size - done);
        if (got < 0) {
            if (errno == EINTR) continue;
            r.error = errno;
            r.status = systemError(path, r.error);
            r.failure = ReadFailure::CannotOpen;
            return r;
        }
        if (got == 0) {
            r.error = EIO;
            r.status = Status::error(path + ": the file became shorter while it was read");
            r.failure = ReadFailure::CannotOpen;
            return r;
        }
        done += static_cast<std::size_t>(got);
    }
    r.bytes = done;
    return r;
}

}  // namespace

FileRead readRegularFile(const std::string& path, std::span<std::uint8_t> destination) {
    FileDescriptor fd(-1);
    FileRead r = openChecked(path, fd, destination.size());
    if (!r.status) return r;
    return readAll(path, fd.get(), destination.data(), static_cast<std::size_t>(r.fileSize), r);
}

FileRead readRegularFile(const std::string& path, std::string& destination, std::size_t limit) {
    FileDescriptor fd(-1);
    FileRead r = openChecked(path, fd, limit);
    if (!r.status) return r;
    std::string bytes(static_cast<std::size_t>(r.fileSize), '\0');
    r = readAll(path, fd.get(), reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size(), r);
    if (r.status) destination = std::move(bytes);
    return r;
}

}  // namespace hlx::base
