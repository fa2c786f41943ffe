#include "output/output_log.h"

#include <limits>
#include <string>

#include "output/job_result.h"

namespace hlx::output {

void OutputLog::clear() {
    m_window.setText({});
    if (m_transcript) m_transcript->clear();
    m_end = End::LineStart;
}

// Appends and works out from what was appended how the text now ends. A lone LF ends a line only after a
// CR the log knows of.
void OutputLog::appendAndNote(std::string_view s) {
    if (s.empty()) return;
    m_window.append(s);
    if (m_transcript) m_transcript->append(s);
    if (s.ends_with("\r\n"))
        m_end = End::LineStart;
    else if (s == "\n")
        m_end = m_end == End::Cr ? End::LineStart : (m_end == End::Unknown ? End::Unknown : End::InLine);
    else if (s.back() == '\r')
        m_end = End::Cr;
    else
        m_end = End::InLine;
}

void OutputLog::appendText(std::string_view s) {
    appendAndNote(s);
}

void OutputLog::appendLine(std::string_view s) {
    std::string line(s);
    line += "\r\n";
    appendAndNote(line);
}

void OutputLog::addLine(std::string_view s) {
    if (m_end == End::Unknown) m_end = m_window.atLineStart() ? End::LineStart : End::InLine;
    std::string line;
    if (m_end == End::LineStart) {
        line.assign(s);
        line += "\r\n";
    } else {
        line = "\r\n";
        line += s;
    }
    appendAndNote(line);
}

void OutputLog::report(std::int32_t word) {
    for (const std::string& line : reportLines(word)) appendLine(line);
    refresh();
}

// The window clamps the start to the text's length, so the length need not be asked for.
void OutputLog::caretToEnd() {
    m_window.setSelection(std::numeric_limits<int>::max(), 0);
}

void OutputLog::refresh() {
    m_window.refresh();
}

}  // namespace hlx::output
