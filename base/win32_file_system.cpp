// The FileSystem of Windows: paths are UTF-8 and handed to the wide functions (no ANSI code page
// involved), each call is one or two Win32 calls, and a failure's Windows error code becomes the Status's
// kind (codeForWindowsError) with the system's own text.
//
// - Reading opens with every kind of sharing, so a file another program holds open for writing is still
//   read, as on Linux. A folder is opened (backup semantics) only so that info() says it is one; pipes,
//   consoles, serial ports and NUL are character or pipe "files" to Windows and are Other. Opening a pipe
//   that nobody serves fails at once, so nothing waits.
// - Writing: createNew is CREATE_NEW (AlreadyExists when the name is taken); openForAppend opens with
//   FILE_APPEND_DATA only, so that every write lands at the end of the file even while another program
//   appends too (the job log of the window and of hlx). Both share reading, so a viewer can watch a log.
// - sync is FlushFileBuffers; rename is MoveFileExW with MOVEFILE_REPLACE_EXISTING |
//   MOVEFILE_WRITE_THROUGH, which returns only once the move is on the disk, so syncFolder has nothing
//   left to do (Windows cannot flush a folder).
// - Windows has no file modes: a new file gets the permissions its folder hands down, the permission bits
//   given are not used, and info() reports 0444 for a read-only file and 0666 otherwise.
// - Symbolic links are rare on Windows and need rights to make: resolveLink leaves every path as it is.

#include <windows.h>

#include <algorithm>
#include <string_view>
#include <utility>

#include "base/file_system.h"
#include "base/system.h"
#include "base/win32_system.h"

namespace hlx::base {
namespace {

Status lastError() {
    return windowsError(::GetLastError());
}

Status notRegularFile() {
    return Status::error(StatusCode::NotRegularFile, "Not a regular file");
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
    HANDLE release() { return std::exchange(m_handle, INVALID_HANDLE_VALUE); }
    // 0 or the error of a failed close.
    DWORD close() {
        if (!valid()) return 0;
        const BOOL closed = ::CloseHandle(std::exchange(m_handle, INVALID_HANDLE_VALUE));
        return closed ? 0 : ::GetLastError();
    }

private:
    HANDLE m_handle;
};

// What an open handle is: a folder, a file on a disk, or anything else (pipe, console, device).
Status infoOf(HANDLE handle, FileInfo& info) {
    info = FileInfo{};
    if (::GetFileType(handle) != FILE_TYPE_DISK) {
        info.kind = FileKind::Other;
        return Status::ok();
    }
    BY_HANDLE_FILE_INFORMATION facts{};
    if (!::GetFileInformationByHandle(handle, &facts)) return lastError();
    info.kind = (facts.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? FileKind::Folder : FileKind::Regular;
    info.size = static_cast<std::int64_t>((std::uint64_t{facts.nFileSizeHigh} << 32) | facts.nFileSizeLow);
    info.permissions = (facts.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
    return Status::ok();
}

class Win32ReadableFile : public ReadableFile {
public:
    explicit Win32ReadableFile(HANDLE handle) : m_handle(handle) {}

    Status info(FileInfo& info) override { return infoOf(m_handle.get(), info); }

    Status read(std::span<std::uint8_t> buffer, std::size_t& got) override {
        got = 0;
        DWORD n = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(buffer.size(), 1u << 30));
        if (!::ReadFile(m_handle.get(), buffer.data(), chunk, &n, nullptr)) {
            const DWORD err = ::GetLastError();
            if (err == ERROR_HANDLE_EOF || err == ERROR_BROKEN_PIPE) return Status::ok();  // the end
            return windowsError(err);
        }
        got = n;
        return Status::ok();
    }

private:
    Handle m_handle;
};

class Win32WritableFile : public WritableFile {
public:
    explicit Win32WritableFile(HANDLE handle) : m_handle(handle) {}

    Status setPermissions(std::uint32_t) override { return Status::ok(); }  // no modes on Windows

    Status write(std::string_view bytes, std::size_t& written) override {
        written = 0;
        DWORD n = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        if (!::WriteFile(m_handle.get(), bytes.data(), chunk, &n, nullptr)) return lastError();
        written = n;
        return Status::ok();
    }

    Status sync() override {
        if (!::FlushFileBuffers(m_handle.get())) return lastError();
        return Status::ok();
    }

    Status close() override {
        if (const DWORD err = m_handle.close(); err != 0) return windowsError(err);
        return Status::ok();
    }

private:
    Handle m_handle;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

class Win32FileSystem : public FileSystem {
public:
    Status openForReading(const std::string& path, std::unique_ptr<ReadableFile>& file) override {
        Handle handle(::CreateFileW(widen(path).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!handle.valid()) return lastError();
        file = std::make_unique<Win32ReadableFile>(handle.release());
        return Status::ok();
    }

    Status createNew(const std::string& path, std::uint32_t, std::unique_ptr<WritableFile>& file) override {
        Handle handle(::CreateFileW(widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!handle.valid()) return lastError();
        file = std::make_unique<Win32WritableFile>(handle.release());
        return Status::ok();
    }

    Status openForAppend(const std::string& path, std::uint32_t,
                         std::unique_ptr<WritableFile>& file) override {
        const std::wstring name = widen(path);
        // A folder cannot be opened for data at all (it would fail as access denied): say what it is.
        const DWORD attributes = ::GetFileAttributesW(name.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return notRegularFile();
        Handle handle(::CreateFileW(name.c_str(), FILE_APPEND_DATA | SYNCHRONIZE, kShareAll, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!handle.valid()) return lastError();
        // NUL, a pipe or a device: writing there keeps no record.
        if (::GetFileType(handle.get()) != FILE_TYPE_DISK) return notRegularFile();
        file = std::make_unique<Win32WritableFile>(handle.release());
        return Status::ok();
    }

    Status info(const std::string& path, FileInfo& info) override {
        // Opened without any access, only to ask what it is (a device or pipe is not read).
        Handle handle(::CreateFileW(widen(path).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!handle.valid()) return lastError();
        return infoOf(handle.get(), info);
    }

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

    Status syncFolder(const std::string&) override { return Status::ok(); }  // see rename

    Status listFolder(const std::string& folder, std::vector<std::string>& names) override {
        names.clear();
        WIN32_FIND_DATAW found{};
        HANDLE search = ::FindFirstFileW(widen(folder + "\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) {
            const DWORD err = ::GetLastError();
            return err == ERROR_FILE_NOT_FOUND ? Status::ok() : windowsError(err);  // nothing in it
        }
        do {
            const std::wstring_view name(found.cFileName);
            if (name != L"." && name != L"..") names.push_back(narrow(name));
        } while (::FindNextFileW(search, &found));
        const DWORD err = ::GetLastError();
        ::FindClose(search);
        return err == ERROR_NO_MORE_FILES ? Status::ok() : windowsError(err);
    }

    Status createFolder(const std::string& path, std::uint32_t) override {
        if (!::CreateDirectoryW(widen(path).c_str(), nullptr)) return lastError();
        return Status::ok();
    }
};

}  // namespace

FileSystem& systemFileSystem() {
    static Win32FileSystem files;
    return files;
}

std::uint32_t currentProcessId() {
    return ::GetCurrentProcessId();
}

bool processHasEnded(std::uint32_t pid) {
    HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (process == nullptr) return ::GetLastError() == ERROR_INVALID_PARAMETER;  // no such process
    const bool exited = ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    ::CloseHandle(process);
    return exited;
}

bool isPathSeparator(char c) {
    return c == '/' || c == '\\';
}

std::size_t rootLength(std::string_view path) {
    if (path.size() >= 2 && path[1] == ':') return path.size() >= 3 && isPathSeparator(path[2]) ? 3 : 2;
    if (path.size() >= 2 && isPathSeparator(path[0]) && isPathSeparator(path[1])) {
        // \\server\share\ (also \\?\C:\ and \\.\device): through the separator after the second name.
        std::size_t at = 2;
        for (int names = 0; names < 2 && at < path.size(); ++names) {
            while (at < path.size() && !isPathSeparator(path[at])) ++at;
            if (at < path.size()) ++at;
        }
        return at;
    }
    return !path.empty() && isPathSeparator(path[0]) ? 1 : 0;
}

}  // namespace hlx::base
