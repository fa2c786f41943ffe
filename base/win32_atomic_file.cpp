// The atomic file writer on Windows: the temporary file is made beside the target with _wopen (O_EXCL),
// flushed with _commit (FlushFileBuffers) and moved over the target with MoveFileExW (replace existing,
// write through, which returns only once the move is on the disk). Paths are UTF-8 and handed to the wide
// functions. Windows has no file modes: a new file gets the folder's inherited permissions, and newFileMode
// is not used. Symbolic links are rare on Windows and need rights to make; resolveSymlink leaves every
// path as it is, so a link at the target is replaced by the file.

#include "base/atomic_file.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>

#include "base/win32_system.h"

namespace hlx::base {

namespace {

int writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const unsigned chunk = static_cast<unsigned>(std::min<std::size_t>(data.size(), 1u << 30));
        const int written = ::_write(fd, data.data(), chunk);
        if (written < 0) return errno;
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return 0;
}

std::size_t lastSeparator(const std::string& path) {
    return path.find_last_of("/\\");
}

std::string nameOf(const std::string& path) {
    const std::size_t slash = lastSeparator(path);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool processIsGone(DWORD pid) {
    HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (process == nullptr) return ::GetLastError() == ERROR_INVALID_PARAMETER;  // no such process
    const bool exited = ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
    ::CloseHandle(process);
    return exited;
}

// Removes what interrupted replacements of target left behind: files named like ours whose process no
// longer runs.
void removeStaleTemporaries(const std::string& target) {
    const std::string prefix = "." + nameOf(target) + ".tmp-";
    const std::string folder = folderOf(target);
    WIN32_FIND_DATAW found{};
    HANDLE search = ::FindFirstFileW(widen(folder + "\\" + prefix + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = narrow(found.cFileName);
        if (!name.starts_with(prefix)) continue;
        const std::string_view rest = std::string_view(name).substr(prefix.size());
        DWORD pid = 0;
        const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), pid);
        if (ec != std::errc{} || end == rest.data() || *end != '-' || pid == 0) continue;
        if (pid == ::GetCurrentProcessId() || !processIsGone(pid)) continue;
        (void)::DeleteFileW(widen(folder + "\\" + name).c_str());
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

int createTemporaryBeside(const std::string& target, std::string& tempPath) {
    static std::atomic<unsigned> counter{0};
    const std::string prefix =
        folderOf(target) + "\\." + nameOf(target) + ".tmp-" + std::to_string(::GetCurrentProcessId());
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = prefix + "-" + std::to_string(counter.fetch_add(1));
        int fd = -1;
        const errno_t err = ::_wsopen_s(&fd, widen(tempPath).c_str(),
                                        _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _SH_DENYRW,
                                        _S_IREAD | _S_IWRITE);
        if (err == 0) return fd;
        if (err != EEXIST) {
            errno = err;
            return -1;
        }
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

void FileDescriptor::reset(int fd) {
    close();
    m_fd = fd;
}

int FileDescriptor::close() {
    if (m_fd < 0) return 0;
    const int result = ::_close(m_fd);
    m_fd = -1;
    return result == 0 ? 0 : errno;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = lastSeparator(path);
    if (slash == std::string::npos) return ".";
    if (slash == 0) return path.substr(0, 1);
    if (slash == 2 && path[1] == ':') return path.substr(0, 3);  // "C:\name": the drive's root
    return path.substr(0, slash);
}

std::string resolveSymlink(const std::string& path) {
    return path;
}

FileReplacement::FileReplacement(const std::string& target, mode_t) : m_target(resolveSymlink(target)) {
    const DWORD attributes = ::GetFileAttributesW(widen(m_target).c_str());
    m_existed = attributes != INVALID_FILE_ATTRIBUTES;
    if (m_existed && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        m_error = EISDIR;
        return;
    }
    removeStaleTemporaries(m_target);
    const int fd = createTemporaryBeside(m_target, m_tempPath);
    if (fd < 0) {
        m_error = errno;
        m_tempPath.clear();
        return;
    }
    m_temp.reset(fd);
}

FileReplacement::~FileReplacement() {
    if (m_tempPath.empty()) return;
    m_temp.close();
    (void)::DeleteFileW(widen(m_tempPath).c_str());
}

int FileReplacement::commit(std::string_view bytes) {
    if (m_error != 0) return m_error;
    if (const int err = writeAll(m_temp.get(), bytes); err != 0) return err;
    if (::_commit(m_temp.get()) != 0) return errno;
    if (const int err = m_temp.close(); err != 0) return err;
    if (!::MoveFileExW(widen(m_tempPath).c_str(), widen(m_target).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return errnoOf(::GetLastError());
    m_tempPath.clear();
    return 0;
}

int replaceFileAtomically(const std::string& target, std::string_view bytes, mode_t newFileMode) {
    FileReplacement replacement(target, newFileMode);
    return replacement.error() != 0 ? replacement.error() : replacement.commit(bytes);
}

}  // namespace hlx::base
