#include "output/session_log.h"

#include <cstdio>
#include <ctime>

#include "base/text_codec.h"

namespace hlx::output {
namespace {

constexpr char kFromMonitor = '<';
constexpr char kToMonitor = '>';
constexpr char kNote = '*';

std::chrono::system_clock::time_point systemNow() {
    return std::chrono::system_clock::now();
}

}  // namespace

std::string isoLocalTime(std::chrono::system_clock::time_point time) {
    const auto sinceEpoch = time.time_since_epoch();
    auto seconds = std::chrono::floor<std::chrono::seconds>(sinceEpoch);
    const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch - seconds).count();
    const std::time_t t = static_cast<std::time_t>(seconds.count());
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &t);
#else
    localtime_r(&t, &local);
#endif
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(millis));
    return text;
}

base::Status SessionLog::open(const std::string& path, bool timestamps, std::unique_ptr<SessionLog>& log,
                              base::FileSystem& files, WallClock clock) {
    log.reset();
    std::unique_ptr<base::WritableFile> file;
    if (base::Status s = files.openForAppend(path, 0644, file); !s) return s.withContext(path);
    log.reset(
        new SessionLog(path, timestamps, std::move(file), clock ? std::move(clock) : WallClock(systemNow)));
    log->note("log started");
    if (!log->status()) {
        base::Status failed = log->status();
        log.reset();
        return failed;
    }
    return {};
}

SessionLog::SessionLog(std::string path, bool timestamps, std::unique_ptr<base::WritableFile> file,
                       WallClock clock)
    : m_path(std::move(path)), m_timestamps(timestamps), m_file(std::move(file)), m_clock(std::move(clock)) {}

SessionLog::~SessionLog() {
    if (!m_closed) (void)close();
}

void SessionLog::writeLine(char mark, std::string_view utf8, std::chrono::system_clock::time_point time) {
    if (!m_status || m_closed) return;
    std::string line;
    if (m_timestamps) line = isoLocalTime(time) + ' ';
    line += mark;
    line += ' ';
    line += utf8;
    line += '\n';
    // One write per line, so the file never holds half a line while the disk takes the rest.
    std::string_view rest = line;
    while (!rest.empty()) {
        std::size_t written = 0;
        if (base::Status s = m_file->write(rest, written); !s) {
            m_status = s.withContext(m_path);
            return;
        }
        if (written == 0) {
            m_status = base::Status::error(base::StatusCode::NoSpace, m_path + ": the line was not written");
            return;
        }
        rest.remove_prefix(written);
    }
}

void SessionLog::endPartial() {
    if (m_partial.empty()) return;
    writeLine(kFromMonitor, base::windows1252ToUtf8(m_partial), m_partialStart);
    m_partial.clear();
}

void SessionLog::received(std::string_view bytes) {
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == '\n' || byte == 0x03) {
            // An empty line the monitor sent is a line too; the start of it is now.
            if (m_partial.empty()) m_partialStart = m_clock();
            writeLine(kFromMonitor, base::windows1252ToUtf8(m_partial), m_partialStart);
            m_partial.clear();
            continue;
        }
        if (byte < 0x20 && byte != '\t') continue;
        if (m_partial.empty()) m_partialStart = m_clock();
        m_partial += c;
    }
}

void SessionLog::sent(std::string_view line) {
    endPartial();
    writeLine(kToMonitor, line, m_clock());
}

void SessionLog::note(std::string_view text) {
    endPartial();
    writeLine(kNote, text, m_clock());
}

base::Status SessionLog::close() {
    if (m_closed) return m_status;
    note("log ended");
    m_closed = true;
    if (base::Status s = m_file->close(); !s && m_status) m_status = s.withContext(m_path);
    return m_status;
}

}  // namespace hlx::output
