#include "report/report_files.h"

#include "base/atomic_file.h"
#include "base/user_folders.h"
#include "report/report_json.h"

namespace hlx::report {
namespace {

// Whether the file of that size ends inside a line: a record cut short by a full disk that could not be
// cut back, or a line another program left. The next record then starts on a line of its own.
bool endsInFragment(base::WritableFile& file, std::int64_t size) {
    if (size <= 0) return false;
    std::uint8_t last = 0;
    std::size_t got = 0;
    return file.readAt(size - 1, {&last, 1}, got).isOk() && got == 1 && last != '\n';
}

// After a short write: the file back to its last whole line, as it was before the write, unless another
// writer has appended meanwhile (then the fragment stays, and the next record starts on a new line).
void cutBack(base::WritableFile& file, std::int64_t before, std::size_t written) {
    std::int64_t now = 0;
    if (file.size(now).isOk() && now == before + static_cast<std::int64_t>(written))
        (void)file.truncate(before);
}

}  // namespace

base::Status writeRunReport(const std::string& path, const RunReport& report) {
    return base::replaceFileAtomically(path, toJson(report, JsonLayout::Indented), 0644).withContext(path);
}

namespace {
constexpr std::size_t kProbeBytes = 4096;  // one block of the usual file systems
}

ReportFile::ReportFile(std::string path, base::FileSystem& files)
    : m_path(std::move(path)), m_replacement(m_path, 0644, files) {
    m_status = m_replacement.probe(kProbeBytes).withContext(m_path);
}

base::Status ReportFile::commit(const RunReport& report) {
    if (!m_status) return m_status;
    return m_replacement.commit(toJson(report, JsonLayout::Indented)).withContext(m_path);
}

std::string jobLogPath() {
    return base::userFolder("XDG_STATE_HOME", ".local/state") + "/" + kJobLogFolder + "/" + kJobLogName;
}

base::Status appendJobLog(const std::string& path, const RunReport& run, base::FileSystem& files) {
    const std::string folder = base::folderOf(path);
    if (base::Status s = base::makeFolders(folder, files); !s) return s.withContext(folder);
    std::unique_ptr<base::WritableFile> file;
    if (base::Status s = files.openForAppend(path, 0644, file); !s) return s.withContext(path);

    // Held for this append alone, so that what is read of the end below is not another writer's half
    // line. A system without the lock (or the other steps) appends as before.
    (void)file->lockExclusive();
    std::string line = toJson(run, JsonLayout::OneLine) + "\n";
    std::int64_t before = 0;
    const bool sized = file->size(before).isOk();
    if (sized && endsInFragment(*file, before)) line.insert(line.begin(), '\n');

    // One write of the whole line, so records of two programs appending at once do not interleave.
    std::size_t written = 0;
    const base::Status s = file->write(line, written);
    if (s && written == line.size()) return file->close().withContext(path);
    if (sized && written > 0) cutBack(*file, before, written);
    if (!s) return s.withContext(path);
    return base::Status::error(base::StatusCode::NoSpace, path + ": only " + std::to_string(written) +
                                                              " of " + std::to_string(line.size()) +
                                                              " bytes of the record were written");
}

}  // namespace hlx::report
