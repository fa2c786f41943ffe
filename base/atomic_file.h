#pragma once
// Replacing a file atomically, so a failure part way (full disk, crash, power loss) leaves either the old
// file or the new one, never a mixture: a new file is written beside the target, flushed to disk, renamed
// over it, and the folder is flushed so the rename itself lasts. A symbolic link is followed, so the file
// it points to is replaced and the link stays. An existing file keeps its permissions; a new one gets
// newFileMode (less the umask). On failure the old file is untouched and no temporary file is left; a
// temporary file that an interrupted replacement left (its process is gone) is removed by the next one.
//
// FileReplacement splits the work in two for callers that must know the folder takes a new file before
// they build the contents (a write probe); replaceFileAtomically does both steps at once.
//
// Every step goes through the FileSystem given (the operating system's unless a test hands in one that
// fails on request), so each failure path above can be tried.
//
// Threads: no shared state apart from a counter for temporary names; objects are used by one thread.
// Ownership: a FileReplacement owns its temporary file until commit() renames it into place; the file
// system must outlive it.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/file_system.h"
#include "base/status.h"

namespace hlx::base {

// The folder part of a path: "." for a bare name, "/" for a file in the root.
std::string folderOf(const std::string& path);

class FileReplacement {
public:
    // Follows a link at target and creates the temporary file beside the file it names. status() tells
    // whether that worked (NotRegularFile if the target is a folder, a device, a FIFO or a socket).
    FileReplacement(const std::string& target, std::uint32_t newFileMode,
                    FileSystem& files = systemFileSystem());
    // Removes the temporary file unless commit() succeeded.
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Ok, or why the temporary file could not be made; then commit() returns the same failure.
    const Status& status() const { return m_status; }
    // Writes `bytes` zero bytes into the temporary file and flushes them to the disk, so a file system
    // that is full (or a quota used up) is found before the contents are built; a failure becomes
    // status(). commit() starts a fresh temporary file afterwards (the probe's blocks are given back
    // first), so the contents never follow the probe's bytes.
    [[nodiscard]] Status probe(std::size_t bytes);
    // Writes bytes, flushes them, renames the file over the target and flushes the folder. Returns ok or
    // the system's reason for the failing step (the message is the reason alone: the caller names the
    // file). Called at most once.
    [[nodiscard]] Status commit(std::string_view bytes);

private:
    FileSystem& m_files;
    std::string m_target;  // the link already followed
    std::string m_tempPath;
    std::unique_ptr<WritableFile> m_temp;
    Status m_status;
    std::uint32_t m_newFileMode = 0;
    bool m_probed = false;
    bool m_existed = false;
    std::uint32_t m_existingMode = 0;
};

// Replaces target with bytes in one step (see above). Returns ok or the system's reason for the failing
// step, without the path.
[[nodiscard]] Status replaceFileAtomically(const std::string& target, std::string_view bytes,
                                           std::uint32_t newFileMode, FileSystem& files = systemFileSystem());

}  // namespace hlx::base
