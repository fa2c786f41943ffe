#include "base/atomic_file.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <vector>

namespace hlx::base {

namespace {

// Writes all of data, however little each write takes.
Status writeAll(WritableFile& file, std::string_view data) {
    while (!data.empty()) {
        std::size_t written = 0;
        if (Status s = file.write(data, written); !s) return s;
        // A regular file takes at least one byte or fails; one that takes none would loop for ever.
        if (written == 0) return Status::error(StatusCode::IoError, "the file took no more bytes");
        data.remove_prefix(std::min(written, data.size()));
    }
    return Status::ok();
}

std::string nameOf(const std::string& path) {
    const std::size_t slash = path.find_last_of(kPathSeparators);
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Removes what interrupted replacements of target left behind (a kill or power loss between creating the
// temporary file and renaming it): files named like ours whose process no longer exists. Files of a
// process that still runs (another replacement under way) are left alone.
void removeStaleTemporaries(const std::string& target, FileSystem& files) {
    const std::string prefix = "." + nameOf(target) + ".tmp-";
    const std::string folder = folderOf(target);
    std::vector<std::string> names;
    if (!files.listFolder(folder, names)) return;  // then the temporary file cannot be made either
    for (const std::string& name : names) {
        if (!name.starts_with(prefix)) continue;
        const std::string_view rest = std::string_view(name).substr(prefix.size());
        std::uint64_t pid = 0;
        const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), pid);
        if (ec != std::errc{} || end == rest.data() || end == rest.data() + rest.size() || *end != '-' ||
            pid == 0)
            continue;
        // Best effort: a stale file that cannot be removed costs disk space, not correctness.
        if (processEnded(pid)) (void)files.remove(folder + "/" + name);
    }
}

// Creates a new, unique file beside target (same folder, so the final rename stays within one file
// system); tempPath receives its name.
Status createTemporaryBeside(const std::string& target, std::uint32_t mode, FileSystem& files,
                             std::string& tempPath, std::unique_ptr<WritableFile>& file) {
    static std::atomic<unsigned> counter{0};
    const std::string prefix =
        folderOf(target) + "/." + nameOf(target) + ".tmp-" + std::to_string(currentProcessId());
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = prefix + "-" + std::to_string(counter.fetch_add(1));
        Status created = files.createNew(tempPath, mode, file);
        if (!created.isAlreadyExists()) return created;
    }
    return systemError(EEXIST);
}

}  // namespace

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of(kPathSeparators);
    if (slash == std::string::npos) return ".";
    if (slash == 0) return path.substr(0, 1);
    if (slash == 2 && path[1] == ':') return path.substr(0, 3);  // "C:\name": the drive's root (Windows)
    return path.substr(0, slash);
}

FileReplacement::FileReplacement(const std::string& target, std::uint32_t newFileMode, FileSystem& files)
    : m_files(files), m_target(files.resolveLink(target)), m_newFileMode(newFileMode) {
    FileInfo existing;
    m_existed = m_files.info(m_target, existing).isOk();
    if (m_existed && existing.kind == FileKind::Folder) {
        m_status = systemError(EISDIR);
        return;
    }
    // A device, FIFO or socket is never replaced by a regular file: renamed over it (by root), the
    // file would take the node's place, /dev/stdout or a serial port among them.
    if (m_existed && existing.kind != FileKind::Regular) {
        m_status = Status::error(StatusCode::NotRegularFile, "a device, FIFO or socket, not a regular file");
        return;
    }
    m_existingMode = existing.permissions;
    removeStaleTemporaries(m_target, m_files);
    m_status = createTemporaryBeside(m_target, newFileMode, m_files, m_tempPath, m_temp);
    if (!m_status) m_tempPath.clear();
}

FileReplacement::~FileReplacement() {
    if (m_tempPath.empty()) return;
    m_temp.reset();
    // Best effort: the destructor cannot report, and the next replacement removes what is left.
    (void)m_files.remove(m_tempPath);
}

Status FileReplacement::probe(std::size_t bytes) {
    if (!m_status) return m_status;
    const std::string zeros(bytes, '\0');
    if (Status s = writeAll(*m_temp, zeros); !s) {
        m_status = s;
    } else if (Status synced = m_temp->sync(); !synced) {
        m_status = synced;
    }
    m_probed = true;
    return m_status;
}

Status FileReplacement::commit(std::string_view bytes) {
    if (!m_status) return m_status;
    if (m_probed) {
        // The probe's bytes are in the way: its file goes, and a fresh one takes the contents.
        (void)m_temp->close();
        m_temp.reset();
        (void)m_files.remove(m_tempPath);
        m_tempPath.clear();
        m_probed = false;
        if (Status s = createTemporaryBeside(m_target, m_newFileMode, m_files, m_tempPath, m_temp); !s) {
            m_tempPath.clear();
            return s;
        }
    }
    // Keep the old file's permissions; best effort, a file that cannot take them is still written.
    if (m_existed) (void)m_temp->setPermissions(m_existingMode);
    if (Status s = writeAll(*m_temp, bytes); !s) return s;
    if (Status s = m_temp->sync(); !s) return s;
    if (Status s = m_temp->close(); !s) return s;
    if (Status s = m_files.rename(m_tempPath, m_target); !s) return s;
    m_tempPath.clear();  // renamed into place: nothing left to remove

    // Make the rename itself durable; a failure here leaves the new file in place, so it is not reported.
    (void)m_files.syncFolder(folderOf(m_target));
    return Status::ok();
}

Status replaceFileAtomically(const std::string& target, std::string_view bytes, std::uint32_t newFileMode,
                             FileSystem& files) {
    FileReplacement replacement(target, newFileMode, files);
    return replacement.commit(bytes);
}

}  // namespace hlx::base
