#pragma once
// OutputLog: the operations of jobs and of the serial reader on the output window, and the result
// report. A thin layer over OutputWindow: each operation leaves the window showing what setting its whole
// text to the old text plus the new part would show, but appends only the new part, so a long log costs
// no more per line than a short one.
//
// The log keeps what it knows about the end of the text it wrote itself (whether it ends a line), so
// addLine does not ask the window once per line: it asks once, when the log knows nothing yet, and
// after clear() not at all. Changes that others make to the window meanwhile (the technician typing while
// a job writes) are not seen, so each writer keeps its own log: the GUI thread one, each job and each
// picture conversion a fresh one.
//
// With a transcript, the log also keeps there what it wrote since it was made or last cleared: a job's
// record takes its lines from it, since the window may be gone (closed) when a stopped job is recorded.
//
// Threads: one thread per OutputLog; the window behind it may be shared (see OutputWindow).

#include <cstdint>
#include <string>
#include <string_view>

#include "output/output_window.h"

namespace hlx::output {

class OutputLog {
public:
    explicit OutputLog(OutputWindow& window, std::string* transcript = nullptr)
        : m_window(window), m_transcript(transcript) {}

    void clear();                         // text := empty
    void appendText(std::string_view s);  // text := text + s
    void appendLine(std::string_view s);  // text := text + s + CR LF
    void addLine(std::string_view s);     // s on a new last line (see OutputWindow::atLineStart)
    void report(std::int32_t word);       // one appendLine per line of reportLines(word), then refresh
    void caretToEnd();                    // selection start := length, selection length := 0
    void refresh();

    OutputWindow& window() { return m_window; }

private:
    // How the text ends, as far as this log knows.
    enum class End { Unknown, LineStart, Cr, InLine };
    void appendAndNote(std::string_view s);

    OutputWindow& m_window;
    std::string* m_transcript;
    End m_end = End::Unknown;
};

}  // namespace hlx::output
