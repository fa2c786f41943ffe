#pragma once
// SessionLog: the record of a terminal session with the monitor, one line per line on the wire, appended to
// a file of the technician's choice and written out line by line as the session goes, so a session that
// ends abruptly (a crash, a pulled cable, a closed laptop) keeps everything up to its last whole line.
// `hlx terminal --log` and the window's terminal write the same format.
//
// Format (UTF-8, lines end in LF):
//
//   [TIME ]MARK TEXT
//
//   TIME  with timestamps only: the local time of the line's first byte, ISO 8601 with milliseconds,
//         "2026-12-11T09:15:02.347", followed by one space
//   MARK  "<" a line the monitor sent, ">" a line sent to the monitor, "*" a note of the tool itself (the
//         port went away, came back, the log started or ended), each followed by one space
//
// The monitor's bytes are Windows-1252 text; a line ends at LF or ETX, a CR is dropped, so are the other
// control characters except TAB (XON and XOFF are flow control, not text). A line the monitor has not
// finished yet is written when its end arrives, when a line is sent or a note written (it then stands on
// its own, as the technician saw it), or when the log is closed.
//
// Text sent and notes become one line each as well: invalid UTF-8 becomes U+FFFD, line breaks and other
// control characters but TAB are dropped. A log appended to a file that ends in a fragment (a session
// cut off by a power loss) starts on a line of its own.
//
// Failures: the first write that fails (a full disk, a removed USB stick) ends the log: status() says why
// and nothing more is written; the part of its line the disk did take is cut off again (where the file
// system can), so the log holds whole lines only. The file goes through the file-system seam, so tests
// can break it.
//
// Threads: one thread at a time (the GUI thread, or hlx terminal's main thread).

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "base/file_system.h"
#include "base/status.h"

namespace hlx::output {

using WallClock = std::function<std::chrono::system_clock::time_point()>;

// The local time as "2026-12-11T09:15:02.347".
std::string isoLocalTime(std::chrono::system_clock::time_point time);

class SessionLog {
public:
    // Opens path for appending (created when missing; anything but a regular file is refused) and writes
    // the note that the log starts. A failure leaves log empty and names the file and the reason.
    static base::Status open(const std::string& path, bool timestamps, std::unique_ptr<SessionLog>& log,
                             base::FileSystem& files = base::systemFileSystem(), WallClock clock = {});
    ~SessionLog();
    SessionLog(const SessionLog&) = delete;
    SessionLog& operator=(const SessionLog&) = delete;

    // Bytes the monitor sent, as they came (Windows-1252).
    void received(std::string_view bytes);
    // A line sent to the monitor, without its CR LF (UTF-8, as typed).
    void sent(std::string_view line);
    // A note of the tool (UTF-8).
    void note(std::string_view text);
    // Writes an unfinished line and the note that the log ends, and closes the file. Called at most once;
    // the destructor does it when it was not called.
    base::Status close();

    const std::string& path() const { return m_path; }
    bool timestamps() const { return m_timestamps; }
    // Ok, or the first failure (with the file's name); nothing is written after one.
    const base::Status& status() const { return m_status; }

private:
    SessionLog(std::string path, bool timestamps, std::unique_ptr<base::WritableFile> file, WallClock clock);
    void writeLine(char mark, std::string_view utf8, std::chrono::system_clock::time_point time);
    void endPartial();
    // Takes the last `written` bytes (a line the disk took only part of) out of the file again.
    void cutBack(std::size_t written);

    std::string m_path;
    bool m_timestamps;
    std::unique_ptr<base::WritableFile> m_file;
    WallClock m_clock;
    base::Status m_status;
    std::string m_partial;  // the monitor's line so far (Windows-1252)
    std::chrono::system_clock::time_point m_partialStart{};
    bool m_closed = false;
    bool m_lineBreakFirst = false;  // the file ended in a fragment: the first line starts after a break
};

}  // namespace hlx::output
