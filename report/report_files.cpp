#include "report/report_files.h"

#include "base/atomic_file.h"
#include "base/user_folders.h"
#include "report/report_json.h"

namespace hlx::report {

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

    // One write of the whole line, so records of two programs appending at once do not interleave.
    const std::string line = toJson(run, JsonLayout::OneLine) + "\n";
    std::size_t written = 0;
    if (base::Status s = file->write(line, written); !s) return s.withContext(path);
    if (written != line.size())
        return base::Status::error(base::StatusCode::NoSpace, path + ": only " + std::to_string(written) +
                                                                  " of " + std::to_string(line.size()) +
                                                                  " bytes of the record were written");
    return file->close().withContext(path);
}

}  // namespace hlx::report
