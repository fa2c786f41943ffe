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
        r.status = systemError(path, errno);
        return r;
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        r.status = systemError(path, errno);
        return r;
    }
    if (!S_ISREG(info.st_mode)) {
        r.status = S_ISDIR(info.st_mode)
                       ? systemError(path, EISDIR)
                       : Status::error(StatusCode::NotRegularFile, path + ": Not a regular file");
        return r;
    }
    r.fileSize = info.st_size;
    if (static_cast<std::uint64_t>(info.st_size) > limit)
        r.status = Status::error(StatusCode::TooLarge, path + ": " + std::to_string(info.st_size) +
                                                           " bytes, at most " + std::to_string(limit));
    return r;
}

// Reads exactly size bytes (the file may not shrink under us unnoticed).
FileRead readAll(const std::string& path, int fd, std::uint8_t* out, std::size_t size, FileRead r) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, out + done, size - done);
        if (got < 0) {
            if (errno == EINTR) continue;
            r.status = systemError(path, errno);
            return r;
        }
        if (got == 0) {
            r.status =
                Status::error(StatusCode::IoError, path + ": the file became shorter while it was read");
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
