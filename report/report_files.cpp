#include "report/report_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/atomic_file.h"
#include "base/user_folders.h"
#include "report/report_json.h"

namespace hlx::report {

base::Status writeRunReport(const std::string& path, const RunReport& report) {
    if (const int err = base::replaceFileAtomically(path, toJson(report, JsonLayout::Indented), 0644);
        err != 0)
        return base::systemError(path, err);
    return base::Status::ok();
}

ReportFile::ReportFile(std::string path) : m_path(std::move(path)), m_replacement(m_path, 0644) {
    if (const int err = m_replacement.error(); err != 0) m_status = base::systemError(m_path, err);
}

base::Status ReportFile::commit(const RunReport& report) {
    if (!m_status) return m_status;
    if (const int err = m_replacement.commit(toJson(report, JsonLayout::Indented)); err != 0)
        return base::systemError(m_path, err);
    return base::Status::ok();
}

std::string jobLogPath() {
    return base::userFolder("XDG_STATE_HOME", ".local/state") + "/" + kJobLogFolder + "/" + kJobLogName;
}

base::Status appendJobLog(const std::string& path, const RunReport& run) {
    if (const int err = base::makeFolders(base::folderOf(path)); err != 0)
        return base::systemError(base::folderOf(path), err);
    // Non-blocking, so a FIFO put there by mistake is refused below instead of waiting for a reader.
    base::FileDescriptor file(
        ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644));
    if (file.get() < 0) return base::systemError(path, errno);
    struct stat st {};
    if (::fstat(file.get(), &st) != 0) return base::systemError(path, errno);
    if (!S_ISREG(st.st_mode)) return base::Status::error(path + ": not a regular file");

    const std::string line = toJson(run, JsonLayout::OneLine) + "\n";
    ssize_t written = -1;
    do {
        written = ::write(file.get(), line.data(), line.size());
    } while (written < 0 && errno == EINTR);
    if (written < 0) return base::systemError(path, errno);
    if (static_cast<std::size_t>(written) != line.size())
        return base::Status::error(path + ": only " + std::to_string(written) + " of " +
                                   std::to_string(line.size()) + " bytes of the record were written");
    if (const int err = file.close(); err != 0) return base::systemError(path, err);
    return base::Status::ok();
}

}  // namespace hlx::report
