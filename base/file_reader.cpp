#include "base/file_reader.h"

#include <cerrno>
#include <memory>

namespace hlx::base {
namespace {

// Opens and checks; on success file is open and r.fileSize holds the file's size.
FileRead openChecked(const std::string& path, FileSystem& files, std::unique_ptr<ReadableFile>& file,
                     std::size_t limit) {
    FileRead r;
    if (Status s = files.openForReading(path, file); !s) {
        r.status = s.withContext(path);
        return r;
    }
    FileInfo info;
    if (Status s = file->info(info); !s) {
        r.status = s.withContext(path);
        return r;
    }
    if (info.kind != FileKind::Regular) {
        r.status = info.kind == FileKind::Folder
                       ? systemError(path, EISDIR)
                       : Status::error(StatusCode::NotRegularFile, path + ": Not a regular file");
        return r;
    }
    r.fileSize = info.size;
    if (static_cast<std::uint64_t>(info.size) > limit)
        r.status = Status::error(StatusCode::TooLarge, path + ": " + std::to_string(info.size) +
                                                           " bytes, at most " + std::to_string(limit));
    return r;
}

// Reads exactly size bytes (the file may not shrink under us unnoticed).
FileRead readAll(const std::string& path, ReadableFile& file, std::uint8_t* out, std::size_t size,
                 FileRead r) {
    std::size_t done = 0;
    while (done < size) {
        std::size_t got = 0;
        if (Status s = file.read({out + done, size - done}, got); !s) {
            r.status = s.withContext(path);
            return r;
        }
        if (got == 0) {
            r.status =
                Status::error(StatusCode::IoError, path + ": the file became shorter while it was read");
            return r;
        }
        done += got;
    }
    r.bytes = done;
    return r;
}

}  // namespace

FileRead readRegularFile(const std::string& path, std::span<std::uint8_t> destination, FileSystem& files) {
    std::unique_ptr<ReadableFile> file;
    FileRead r = openChecked(path, files, file, destination.size());
    if (!r.status) return r;
    return readAll(path, *file, destination.data(), static_cast<std::size_t>(r.fileSize), r);
}

FileRead readRegularFile(const std::string& path, std::string& destination, std::size_t limit,
                         FileSystem& files) {
    std::unique_ptr<ReadableFile> file;
    FileRead r = openChecked(path, files, file, limit);
    if (!r.status) return r;
    std::string bytes(static_cast<std::size_t>(r.fileSize), '\0');
    r = readAll(path, *file, reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size(), r);
    if (r.status) destination = std::move(bytes);
    return r;
}

}  // namespace hlx::base
