#include "output/session_log.h"

#include <cstdint>
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

// A line sent or a note as one line of the log: valid UTF-8, without line breaks or other control
// characters (a TAB stays), as the monitor's lines are.
std::string oneLine(std::string_view text) {
    std::string line = base::toValidUtf8(text);
    std::erase_if(line, [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\t'; });
    return line;
}

// Whether the file ends in a line without its end (a session before that stopped part way, or another
// program's text): the next line then starts on a line of its own.
bool endsInFragment(base::WritableFile& file) {
    std::int64_t size = 0;
    if (!file.size(size).isOk() || size == 0) return false;
    std::uint8_t last = 0;
    std::size_t got = 0;
    return file.readAt(size - 1, {&last, 1}, got).isOk() && got == 1 && last != '\n';
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
    const bool fragment = endsInFragment(*file);
    log.reset(
        new SessionLog(path, timestamps, std::move(file), clock ? std::move(clock) : WallClock(systemNow)));
    log->m_lineBreakFirst = fragment;
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
    if (m_lineBreakFirst) line.insert(line.begin(), '\n');
    m_lineBreakFirst = false;
    // One write per line, so the file never holds half a line while the disk takes the rest.
    std::string_view rest = line;
    while (!rest.empty()) {
        std::size_t written = 0;
        base::Status s = m_file->write(rest, written);
        if (s && written == 0)
            s = base::Status::error(base::StatusCode::NoSpace, m_path + ": the line was not written");
        if (!s) {
            m_status = s.withContext(m_path);
            cutBack(line.size() - rest.size());
            return;
        }
        rest.remove_prefix(written);
    }
}

void SessionLog::cutBack(std::size_t written) {
    // The part of the line that did go in is taken out again, so the log ends in a whole line.
    std::int64_t size = 0;
    if (written > 0 && m_file->size(size).isOk() && size >= static_cast<std::int64_t>(written))
        (void)m_file->truncate(size - static_cast<std::int64_t>(written));
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
    writeLine(kToMonitor, oneLine(line), m_clock());
}

void SessionLog::note(std::string_view text) {
    endPartial();
    writeLine(kNote, oneLine(text), m_clock());
}

base::Status SessionLog::close() {
    if (m_closed) return m_status;
    note("log ended");
    m_closed = true;
    if (base::Status s = m_file->close(); !s && m_status) m_status = s.withContext(m_path);
    return m_status;
}

}  // namespace hlx::output
