#pragma once
// FaultyFileSystem: a FileSystem that passes every call on to another one (the real one by default, so the
// files are real files in a TempDir) and fails the steps a test names, as FaultyDevice does to a serial
// device: a full disk part way through a write, an I/O error on fsync, a rename across file systems, a
// folder that takes no new file (which folder permissions cannot show when the tests run as root), short
// writes. It keeps a transcript of the steps, so a test can check their order (written, flushed, closed,
// then renamed).
//
// A failure carries the kind systemError gives its errno, and the system's text.
//
// Threads: used by one test thread; the real file system must outlive it.

#include <cstddef>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/file_system.h"

namespace hlx::test {

enum class FileStep {
    OpenForReading,
    Read,
    Create,
    SetPermissions,
    Write,
    Sync,
    Close,
    Info,
    Rename,
    Remove,
    SyncFolder,
    ListFolder,
    CreateFolder,
};

class FaultyFileSystem : public base::FileSystem {
public:
    explicit FaultyFileSystem(base::FileSystem& real = base::systemFileSystem());

    // Every later call of step fails with err, until heal().
    void fail(FileStep step, int err);
    // Writes succeed until bytes bytes have gone into files in all, then fail with err: a disk that fills
    // up part way, so a partial file is on disk when the failure comes.
    void failWritesAfter(std::size_t bytes, int err);
    // Reads hand over bytes bytes in all, then fail with err.
    void failReadsAfter(std::size_t bytes, int err);
    // Each write takes at most bytes bytes (a short write); 0: no limit.
    void limitWrites(std::size_t bytes);
    // Nothing in folder can be created, renamed into or out of, or removed (EACCES), as in a folder
    // without write permission.
    void makeReadOnly(const std::string& folder);
    // Drops every fault; the transcript stays.
    void heal();

    // The steps taken so far, in order ("create", "write", "sync", ...).
    const std::vector<std::string>& steps() const { return m_steps; }
    // The bytes that writes handed to the real files.
    std::size_t bytesWritten() const { return m_written; }

    base::Status openForReading(const std::string& path, std::unique_ptr<base::ReadableFile>& file) override;
    base::Status createNew(const std::string& path, std::uint32_t permissions,
                           std::unique_ptr<base::WritableFile>& file) override;
    base::Status openForAppend(const std::string& path, std::uint32_t permissions,
                               std::unique_ptr<base::WritableFile>& file) override;
    base::Status info(const std::string& path, base::FileInfo& info) override;
    base::Status entryInfo(const std::string& path, base::FileInfo& info) override;
    std::string resolveLink(const std::string& path) override;
    base::Status rename(const std::string& from, const std::string& to) override;
    base::Status remove(const std::string& path) override;
    base::Status syncFolder(const std::string& folder) override;
    base::Status listFolder(const std::string& folder, std::vector<std::string>& names) override;
    base::Status createFolder(const std::string& path, std::uint32_t permissions) override;

private:
    friend class FaultyReadableFile;
    friend class FaultyWritableFile;

    // Records the step; the failure asked for it, if any.
    std::optional<base::Status> take(FileStep step);
    bool inReadOnlyFolder(const std::string& path) const;

    base::FileSystem& m_real;
    std::vector<std::optional<int>> m_failing;  // indexed by FileStep
    std::optional<std::size_t> m_writeBudget;
    int m_writeBudgetError = 0;
    std::optional<std::size_t> m_readBudget;
    int m_readBudgetError = 0;
    std::size_t m_writeLimit = 0;
    std::set<std::string> m_readOnly;
    std::vector<std::string> m_steps;
    std::size_t m_written = 0;
};

}  // namespace hlx::test
