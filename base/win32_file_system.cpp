// The FileSystem of Windows: each call is one or two Win32 calls on the wide (UTF-16) form of the UTF-8
// path, its error code turned into a Status of the same kind as on POSIX systems (see errnoOf).
//
// What differs from the POSIX implementation, and why:
// - Files are opened with every kind of sharing, so a file another program holds open is still read (as on
//   Linux) and a replacement can be renamed over a file that is open for reading elsewhere.
// - Only a file on a disk counts as a regular file: named pipes, consoles, serial ports, NUL and the like
//   are character or pipe "files" to Windows and are refused before a byte is read or written. Opening a
//   pipe that nobody serves fails at once, so nothing here waits.
// - Windows has no permission bits: setPermissions does nothing and info reports none; a new file gets the
//   folder's inherited permissions.
// - The rename is MoveFileExW with write-through, which returns once the move is on the disk, so the
//   folder needs no flush of its own (syncFolder does nothing).
// - Symbolic links are rare on Windows and need rights to make: resolveLink leaves every path as it is.

#include <windows.h>

#include <algorithm>

#include "base/file_system.h"
#include "base/win32_system.h"

namespace hlx::base {
namespace {

Status lastError() {
    return windowsStatus(::GetLastError());
}

// Closes the handle on every path out.
class Handle {
public:
    explicit Handle(HANDLE handle) : m_handle(handle) {}
    ~Handle() { (void)close(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    bool valid() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return m_handle; }
    HANDLE release() {
        HANDLE handle = m_handle;
        m_handle = INVALID_HANDLE_VALUE;
        return handle;
    }
    // 0 or the Windows error code of a failed close.
    DWORD close() {
        if (!valid()) return 0;
        const BOOL closed = ::CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
        return closed ? 0 : ::GetLastError();
    }

private:
    HANDLE m_handle;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

Status infoOfHandle(HANDLE handle, FileInfo& info) {
    info = FileInfo{};
    if (::GetFileType(handle) != FILE_TYPE_DISK) return Status::ok();  // a pipe, console or device: Other
    BY_HANDLE_FILE_INFORMATION data{};
    if (!::GetFileInformationByHandle(handle, &data)) return lastError();
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        info.kind = FileKind::Folder;
        return Status::ok();
    }
    info.kind = FileKind::Regular;
    info.size = static_cast<std::int64_t>((std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow);
    return Status::ok();
}

class Win32ReadableFile : public ReadableFile {
public:
    explicit Win32ReadableFile(HANDLE handle) : m_handle(handle) {}

    Status info(FileInfo& info) override { return infoOfHandle(m_handle.get(), info); }

    Status read(std::span<std::uint8_t> buffer, std::size_t& got) override {
        got = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), 1u << 30));
        DWORD read = 0;
        if (!::ReadFile(m_handle.get(), buffer.data(), chunk, &read, nullptr)) return lastError();
        got = read;
        return Status::ok();
    }

private:
    Handle m_handle;
};

class Win32WritableFile : public WritableFile {
public:
    explicit Win32WritableFile(HANDLE handle) : m_handle(handle) {}

    Status setPermissions(std::uint32_t) override { return Status::ok(); }

    Status write(std::string_view bytes, std::size_t& written) override {
        written = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD done = 0;
        if (!::WriteFile(m_handle.get(), bytes.data(), chunk, &done, nullptr)) return lastError();
        written = done;
        return Status::ok();
    }

    Status sync() override {
        if (!::FlushFileBuffers(m_handle.get())) return lastError();
        return Status::ok();
    }

    Status close() override {
        if (const DWORD err = m_handle.close(); err != 0) return windowsStatus(err);
        return Status::ok();
    }

private:
    Handle m_handle;
};

// Refuses a handle that is not a file on a disk (a pipe, a console, a device) or is a folder.
Status checkRegular(HANDLE handle) {
    FileInfo info;
    if (Status s = infoOfHandle(handle, info); !s) return s;
    if (info.kind == FileKind::Folder) return Status::error(StatusCode::NotRegularFile, "Is a directory");
    if (info.kind != FileKind::Regular)
        return Status::error(StatusCode::NotRegularFile, "Not a regular file");
    return Status::ok();
}

class Win32FileSystem : public FileSystem {
public:
    Status openForReading(const std::string& path, std::unique_ptr<ReadableFile>& file) override {
        // Backup semantics open a folder too, so that info() can say it is one.
        Handle handle(::CreateFileW(widen(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!handle.valid()) return lastError();
        file = std::make_unique<Win32ReadableFile>(handle.release());
        return Status::ok();
    }

    Status createNew(const std::string& path, std::uint32_t, std::unique_ptr<WritableFile>& file) override {
        Handle handle(::CreateFileW(widen(path).c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!handle.valid()) return lastError();
        file = std::make_unique<Win32WritableFile>(handle.release());
        return Status::ok();
    }

    Status openForAppend(const std::string& path, std::uint32_t,
                         std::unique_ptr<WritableFile>& file) override {
        // FILE_APPEND_DATA without FILE_WRITE_DATA: every write goes to the end, also with another writer.
        Handle handle(::CreateFileW(widen(path).c_str(), FILE_APPEND_DATA | SYNCHRONIZE, kShareAll, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!handle.valid()) {
            // A folder cannot be opened for data at all (access denied): say what it is instead.
            const DWORD err = ::GetLastError();
            const DWORD attributes = ::GetFileAttributesW(widen(path).c_str());
            if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
                return Status::error(StatusCode::NotRegularFile, "Is a directory");
            return windowsStatus(err);
        }
        if (Status s = checkRegular(handle.get()); !s) return s;
        file = std::make_unique<Win32WritableFile>(handle.release());
        return Status::ok();
    }

    Status info(const std::string& path, FileInfo& info) override {
        WIN32_FILE_ATTRIBUTE_DATA data{};
        if (!::GetFileAttributesExW(widen(path).c_str(), GetFileExInfoStandard, &data)) return lastError();
        info = FileInfo{};
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            info.kind = FileKind::Folder;
        } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) {
            info.kind = FileKind::Other;
        } else {
            info.kind = FileKind::Regular;
            info.size =
                static_cast<std::int64_t>((std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow);
        }
        return Status::ok();
    }

    // Links are not followed on Windows (resolveLink below), so a name is what info says it is.
    Status entryInfo(const std::string& path, FileInfo& info) override { return this->info(path, info); }

    std::string resolveLink(const std::string& path) override { return path; }

    Status rename(const std::string& from, const std::string& to) override {
        if (!::MoveFileExW(widen(from).c_str(), widen(to).c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return lastError();
        return Status::ok();
    }

    Status remove(const std::string& path) override {
        if (!::DeleteFileW(widen(path).c_str())) return lastError();
        return Status::ok();
    }

    Status syncFolder(const std::string&) override { return Status::ok(); }

    Status listFolder(const std::string& folder, std::vector<std::string>& names) override {
        names.clear();
        WIN32_FIND_DATAW found{};
        HANDLE search = ::FindFirstFileW(widen(folder + "\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) {
            const DWORD err = ::GetLastError();
            return err == ERROR_FILE_NOT_FOUND ? Status::ok() : windowsStatus(err);  // an empty folder
        }
        do {
            const std::wstring_view name(found.cFileName);
            if (name != L"." && name != L"..") names.push_back(narrow(name));
        } while (::FindNextFileW(search, &found));
        const DWORD err = ::GetLastError();
        ::FindClose(search);
        return err == ERROR_NO_MORE_FILES ? Status::ok() : windowsStatus(err);
    }

    Status createFolder(const std::string& path, std::uint32_t) override {
        if (!::CreateDirectoryW(widen(path).c_str(), nullptr)) return lastError();
        return Status::ok();
    }
};

}  // namespace

std::uint64_t currentProcessId() {
    return ::GetCurrentProcessId();
}

bool processEnded(std::uint64_t pid) {
    if (pid == currentProcessId() || pid > 0xFFFFFFFFu) return false;
    HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr) return ::GetLastError() == ERROR_INVALID_PARAMETER;  // no such process
    const bool exited = ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    ::CloseHandle(process);
    return exited;
}

FileSystem& systemFileSystem() {
    static Win32FileSystem files;
    return files;
}

}  // namespace hlx::base
