#include "base/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>

namespace hlx::base {

namespace {

// Writes all of data.
Status writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t written = ::write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return systemError(errno);
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
    return Status::ok();
}

std::string nameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Removes what interrupted replacements of target left behind (a kill or power loss between creating the
// temporary file and renaming it): files named like ours whose process no longer exists. Files of a
// process that still runs (another replacement under way) are left alone.
void removeStaleTemporaries(const std::string& target) {
    const std::string prefix = "." + nameOf(target) + ".tmp-";
    const std::string folder = folderOf(target);
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name(entry->d_name);
        if (!name.starts_with(prefix)) continue;
        const std::string_view rest = name.substr(prefix.size());
        pid_t pid = 0;
        const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), pid);
        if (ec != std::errc{} || end == rest.data() || *end != '-' || pid <= 0) continue;
        if (pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH) continue;
        (void)::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

// Creates a new, unique file beside target (same folder, so the final rename stays within one file
// system). Returns the descriptor or -1 with errno set.
int createTemporaryBeside(const std::string& target, mode_t mode, std::string& tempPath) {
    static std::atomic<unsigned> counter{0};
    const std::string prefix =
        folderOf(target) + "/." + nameOf(target) + ".tmp-" + std::to_string(::getpid());
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = prefix + "-" + std::to_string(counter.fetch_add(1));
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
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
    const int result = ::close(m_fd);
    m_fd = -1;
    return result == 0 ? 0 : errno;
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string resolveSymlink(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr) return path;
    return resolved;
}

FileReplacement::FileReplacement(const std::string& target, mode_t newFileMode)
    : m_target(resolveSymlink(target)) {
    struct stat existing {};
    m_existed = ::stat(m_target.c_str(), &existing) == 0;
    if (m_existed && S_ISDIR(existing.st_mode)) {
        m_status = systemError(EISDIR);
        return;
    }
    m_existingMode = existing.st_mode & 07777;
    removeStaleTemporaries(m_target);
    const int fd = createTemporaryBeside(m_target, newFileMode, m_tempPath);
    if (fd < 0) {
        m_status = systemError(errno);
        m_tempPath.clear();
        return;
    }
    m_temp.reset(fd);
}

FileReplacement::~FileReplacement() {
    if (m_tempPath.empty()) return;
    m_temp.close();
    ::unlink(m_tempPath.c_str());
}

Status FileReplacement::commit(std::string_view bytes) {
    if (!m_status) return m_status;
    // Keep the old file's permissions; best effort, a file that cannot take them is still written.
    if (m_existed) (void)::fchmod(m_temp.get(), m_existingMode);
    if (Status s = writeAll(m_temp.get(), bytes); !s) return s;
    if (::fsync(m_temp.get()) != 0) return systemError(errno);
    if (const int err = m_temp.close(); err != 0) return systemError(err);
    if (::rename(m_tempPath.c_str(), m_target.c_str()) != 0) return systemError(errno);
    m_tempPath.clear();  // renamed into place: nothing left to remove

    // Make the rename itself durable; a failure here leaves the new file in place, so it is not reported.
    FileDescriptor folder(::open(folderOf(m_target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() >= 0) (void)::fsync(folder.get());
    return Status::ok();
}

Status replaceFileAtomically(const std::string& target, std::string_view bytes, mode_t newFileMode) {
    FileReplacement replacement(target, newFileMode);
    return replacement.commit(bytes);
}

}  // namespace hlx::base
