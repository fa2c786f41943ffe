#include "output/output_log.h"

#include <string>

#include "output/job_result.h"

namespace hlx::output {

void OutputLog::clear() {
    m_window.setText({});
}

void OutputLog::appendText(std::string_view s) {
    if (!s.empty()) m_window.append(s);
}

void OutputLog::appendLine(std::string_view s) {
    std::string line(s);
    line += "\r\n";
    m_window.append(line);
}

void OutputLog::addLine(std::string_view s) {
    std::string line;
    if (m_window.atLineStart()) {
        line.assign(s);
        line += "\r\n";
    } else {
        line = "\r\n";
        line += s;
    }
    m_window.append(line);
}

void OutputLog::report(std::int32_t word) {
    for (const std::string& line : reportLines(word)) appendLine(line);
    refresh();
}

void OutputLog::caretToEnd() {
    m_window.setSelection(m_window.length(), 0);
}

void OutputLog::refresh() {
    m_window.refresh();
}

}  // namespace hlx::output
