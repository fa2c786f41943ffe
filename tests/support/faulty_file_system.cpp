#include "tests/support/faulty_file_system.h"

#include <algorithm>
#include <cerrno>
#include <iterator>

#include "base/atomic_file.h"

namespace hlx::test {
namespace {

constexpr const char* kStepNames[] = {
    "openForReading", "read",   "create", "setPermissions", "write",      "sync",        "close",
    "info",           "rename", "remove", "syncFolder",     "listFolder", "createFolder"};
static_assert(std::size(kStepNames) == static_cast<std::size_t>(FileStep::CreateFolder) + 1,
              "one name for each FileStep");

std::string normalised(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

}  // namespace

class FaultyReadableFile : public base::ReadableFile {
public:
    FaultyReadableFile(FaultyFileSystem& files, std::unique_ptr<base::ReadableFile> real)
        : m_files(files), m_real(std::move(real)) {}

    base::Status info(base::FileInfo& info) override {
        if (auto failure = m_files.take(FileStep::Info)) return *failure;
        return m_real->info(info);
    }

    base::Status read(std::span<std::uint8_t> buffer, std::size_t& got) override {
        got = 0;
        if (auto failure = m_files.take(FileStep::Read)) return *failure;
        if (m_files.m_readBudget) {
            if (*m_files.m_readBudget == 0) return base::systemError(m_files.m_readBudgetError);
            buffer = buffer.first(std::min(buffer.size(), *m_files.m_readBudget));
        }
        base::Status s = m_real->read(buffer, got);
        if (m_files.m_readBudget) *m_files.m_readBudget -= got;
        return s;
    }

private:
    FaultyFileSystem& m_files;
    std::unique_ptr<base::ReadableFile> m_real;
};

class FaultyWritableFile : public base::WritableFile {
public:
    FaultyWritableFile(FaultyFileSystem& files, std::unique_ptr<base::WritableFile> real)
        : m_files(files), m_real(std::move(real)) {}

    base::Status setPermissions(std::uint32_t permissions) override {
        if (auto failure = m_files.take(FileStep::SetPermissions)) return *failure;
        return m_real->setPermissions(permissions);
    }

    base::Status write(std::string_view bytes, std::size_t& written) override {
        written = 0;
        if (auto failure = m_files.take(FileStep::Write)) return *failure;
        if (m_files.m_writeLimit > 0) bytes = bytes.substr(0, m_files.m_writeLimit);
        if (m_files.m_writeBudget) {
            if (*m_files.m_writeBudget == 0) return base::systemError(m_files.m_writeBudgetError);
            bytes = bytes.substr(0, *m_files.m_writeBudget);
        }
        base::Status s = m_real->write(bytes, written);
        if (m_files.m_writeBudget) *m_files.m_writeBudget -= written;
        m_files.m_written += written;
        return s;
    }

    base::Status sync() override {
        if (auto failure = m_files.take(FileStep::Sync)) return *failure;
        return m_real->sync();
    }

    base::Status close() override {
        // The real file is closed either way, as close(2) releases the descriptor even when it fails.
        base::Status closed = m_real->close();
        if (auto failure = m_files.take(FileStep::Close)) return *failure;
        return closed;
    }

private:
    FaultyFileSystem& m_files;
    std::unique_ptr<base::WritableFile> m_real;
};

FaultyFileSystem::FaultyFileSystem(base::FileSystem& real) : m_real(real), m_failing(std::size(kStepNames)) {}

void FaultyFileSystem::fail(FileStep step, int err) {
    m_failing[static_cast<std::size_t>(step)] = err;
}

void FaultyFileSystem::failWritesAfter(std::size_t bytes, int err) {
    m_writeBudget = bytes;
    m_writeBudgetError = err;
}

void FaultyFileSystem::failReadsAfter(std::size_t bytes, int err) {
    m_readBudget = bytes;
    m_readBudgetError = err;
}

void FaultyFileSystem::limitWrites(std::size_t bytes) {
    m_writeLimit = bytes;
}

void FaultyFileSystem::makeReadOnly(const std::string& folder) {
    m_readOnly.insert(normalised(folder));
}

void FaultyFileSystem::heal() {
    std::fill(m_failing.begin(), m_failing.end(), std::nullopt);
    m_writeBudget.reset();
    m_readBudget.reset();
    m_writeLimit = 0;
    m_readOnly.clear();
}

std::optional<base::Status> FaultyFileSystem::take(FileStep step) {
    const auto index = static_cast<std::size_t>(step);
    m_steps.emplace_back(kStepNames[index]);
    if (const std::optional<int> err = m_failing[index]) return base::systemError(*err);
    return std::nullopt;
}

bool FaultyFileSystem::inReadOnlyFolder(const std::string& path) const {
    return m_readOnly.contains(normalised(base::folderOf(path)));
}

base::Status FaultyFileSystem::openForReading(const std::string& path,
                                              std::unique_ptr<base::ReadableFile>& file) {
    if (auto failure = take(FileStep::OpenForReading)) return *failure;
    std::unique_ptr<base::ReadableFile> real;
    if (base::Status s = m_real.openForReading(path, real); !s) return s;
    file = std::make_unique<FaultyReadableFile>(*this, std::move(real));
    return base::Status::ok();
}

base::Status FaultyFileSystem::createNew(const std::string& path, std::uint32_t permissions,
                                         std::unique_ptr<base::WritableFile>& file) {
    if (auto failure = take(FileStep::Create)) return *failure;
    if (inReadOnlyFolder(path)) return base::systemError(EACCES);
    std::unique_ptr<base::WritableFile> real;
    if (base::Status s = m_real.createNew(path, permissions, real); !s) return s;
    file = std::make_unique<FaultyWritableFile>(*this, std::move(real));
    return base::Status::ok();
}

// Fails as a create does: the same step and the same read-only folders.
base::Status FaultyFileSystem::openForAppend(const std::string& path, std::uint32_t permissions,
                                             std::unique_ptr<base::WritableFile>& file) {
    if (auto failure = take(FileStep::Create)) return *failure;
    if (inReadOnlyFolder(path)) return base::systemError(EACCES);
    std::unique_ptr<base::WritableFile> real;
    if (base::Status s = m_real.openForAppend(path, permissions, real); !s) return s;
    file = std::make_unique<FaultyWritableFile>(*this, std::move(real));
    return base::Status::ok();
}

base::Status FaultyFileSystem::info(const std::string& path, base::FileInfo& info) {
    if (auto failure = take(FileStep::Info)) return *failure;
    return m_real.info(path, info);
}

base::Status FaultyFileSystem::entryInfo(const std::string& path, base::FileInfo& info) {
    return m_real.entryInfo(path, info);
}

std::string FaultyFileSystem::resolveLink(const std::string& path) {
    return m_real.resolveLink(path);
}

base::Status FaultyFileSystem::rename(const std::string& from, const std::string& to) {
    if (auto failure = take(FileStep::Rename)) return *failure;
    if (inReadOnlyFolder(from) || inReadOnlyFolder(to)) return base::systemError(EACCES);
    return m_real.rename(from, to);
}

base::Status FaultyFileSystem::remove(const std::string& path) {
    if (auto failure = take(FileStep::Remove)) return *failure;
    if (inReadOnlyFolder(path)) return base::systemError(EACCES);
    return m_real.remove(path);
}

base::Status FaultyFileSystem::syncFolder(const std::string& folder) {
    if (auto failure = take(FileStep::SyncFolder)) return *failure;
    return m_real.syncFolder(folder);
}

base::Status FaultyFileSystem::listFolder(const std::string& folder, std::vector<std::string>& names) {
    if (auto failure = take(FileStep::ListFolder)) return *failure;
    return m_real.listFolder(folder, names);
}

base::Status FaultyFileSystem::createFolder(const std::string& path, std::uint32_t permissions) {
    if (auto failure = take(FileStep::CreateFolder)) return *failure;
    // An existing folder is reported as such, as mkdir does, before any permission question.
    if (inReadOnlyFolder(path)) {
        base::FileInfo existing;
        if (m_real.info(path, existing).isOk()) return base::systemError(EEXIST);
        return base::systemError(EACCES);
    }
    return m_real.createFolder(path, permissions);
}

}  // namespace hlx::test
