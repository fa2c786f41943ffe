// readRegularFile on Windows: the file is opened for reading with every kind of sharing (a file another
// program holds open for writing is still read, as on Linux), and only a file on a disk is read. Named
// pipes, consoles, serial ports, NUL and the like are character or pipe "files" to Windows and are refused
// before a byte is read; a folder is opened (backup semantics) only to say it is a folder. Opening a pipe
// that nobody serves fails at once, so nothing here waits.

#include "base/file_reader.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>

#include "base/win32_system.h"

namespace hlx::base {
namespace {

struct Handle {
    HANDLE value = INVALID_HANDLE_VALUE;
    ~Handle() {
        if (value != INVALID_HANDLE_VALUE) ::CloseHandle(value);
    }
};

FileRead failed(const std::string& path, DWORD err) {
    FileRead r;
    r.error = errnoOf(err);
    r.status = windowsError(path, err);
    r.failure = ReadFailure::CannotOpen;
    return r;
}

FileRead openChecked(const std::string& path, Handle& file, std::size_t limit) {
    file.value = ::CreateFileW(widen(path).c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file.value == INVALID_HANDLE_VALUE) return failed(path, ::GetLastError());
    FileRead r;
    if (::GetFileType(file.value) != FILE_TYPE_DISK) {
        r.error = EINVAL;
        r.status = Status::error(path + ": Not a regular file");
        r.failure = ReadFailure::CannotOpen;
        return r;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(file.value, &info)) return failed(path, ::GetLastError());
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        r.error = EISDIR;
        r.status = Status::error(path + ": Is a directory");
        r.failure = ReadFailure::CannotOpen;
        return r;
    }
    const std::uint64_t size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
    r.fileSize = static_cast<std::int64_t>(size);
    if (size > limit) {
        r.error = EFBIG;
        r.status =
            Status::error(path + ": " + std::to_string(size) + " bytes, at most " + std::to_string(limit));
        r.failure = ReadFailure::TooLarge;
    }
    return r;
}

// Reads exactly size bytes (the file may not shrink under us unnoticed).
FileRead readAll(const std::string& path, HANDLE file, std::uint8_t* out, std::size_t size, FileRead r) {
    std::size_t done = 0;
    while (done < size) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
        DWORD got = 0;
        if (!::ReadFile(file, out + done, chunk, &got, nullptr)) {
            FileRead f = failed(path, ::GetLastError());
            f.fileSize = r.fileSize;
            return f;
        }
        if (got == 0) {
            r.error = EIO;
            r.status = Status::error(path + ": the file became shorter while it was read");
            r.failure = ReadFailure::CannotOpen;
            return r;
        }
        done += got;
    }
    r.bytes = done;
    return r;
}

}  // namespace

FileRead readRegularFile(const std::string& path, std::span<std::uint8_t> destination) {
    Handle file;
    FileRead r = openChecked(path, file, destination.size());
    if (!r.status) return r;
    return readAll(path, file.value, destination.data(), static_cast<std::size_t>(r.fileSize), r);
}

FileRead readRegularFile(const std::string& path, std::string& destination, std::size_t limit) {
    Handle file;
    FileRead r = openChecked(path, file, limit);
    if (!r.status) return r;
    std::string bytes(static_cast<std::size_t>(r.fileSize), '\0');
    r = readAll(path, file.value, reinterpret_cast<std::uint8_t*>(bytes.data()), bytes.size(), r);
    if (r.status) destination = std::move(bytes);
    return r;
}

}  // namespace hlx::base
