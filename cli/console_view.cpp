#include "cli/console_view.h"

#include <algorithm>

#include "base/console.h"
#include "base/text_codec.h"

namespace hlx::cli {

std::string ConsoleWindow::text() const {
    std::lock_guard lock(m_mutex);
    return m_text;
}

void ConsoleWindow::setText(std::string_view text) {
    std::lock_guard lock(m_mutex);
    m_text.assign(text);
    m_length = static_cast<int>(base::utf8ToUtf16(text).size());
    m_selection = std::min(m_selection, m_length);
}

void ConsoleWindow::append(std::string_view text) {
    std::lock_guard lock(m_mutex);
    m_text.append(text);
    m_length += static_cast<int>(base::utf8ToUtf16(text).size());
    print(text);
}

bool ConsoleWindow::atLineStart() const {
    std::lock_guard lock(m_mutex);
    return m_text.empty() || (m_text.size() >= 2 && m_text.compare(m_text.size() - 2, 2, "\r\n") == 0);
}

int ConsoleWindow::length() const {
    std::lock_guard lock(m_mutex);
    return m_length;
}

int ConsoleWindow::selectionStart() const {
    std::lock_guard lock(m_mutex);
    return m_selection;
}

void ConsoleWindow::setSelection(int start, int) {
    std::lock_guard lock(m_mutex);
    m_selection = std::clamp(start, 0, m_length);
}

void ConsoleWindow::insert(int, std::string_view text) {
    append(text);
}

std::string ConsoleWindow::lineAt(int) const {
    std::lock_guard lock(m_mutex);
    const std::size_t end =
        m_text.size() >= 2 && m_text.ends_with("\r\n") ? m_text.size() - 2 : m_text.size();
    const std::size_t begin = m_text.rfind("\r\n", end == 0 ? 0 : end - 1);
    return m_text.substr(begin == std::string::npos ? 0 : begin + 2,
                         end - (begin == std::string::npos ? 0 : begin + 2));
}

void ConsoleWindow::refresh() {
    std::fflush(m_out);
}

void ConsoleWindow::print(std::string_view text) {
    // CR LF and lone CR print as a line break; the terminal would otherwise overwrite the line.
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += text[i];
        }
    }
    if (m_bar) m_bar->beforeText();
    base::writeText(m_out, out);
    if (m_bar && !out.empty()) m_bar->afterText(out.back() == '\n');
}

ConsoleJobView::ConsoleJobView(bool showBar) : m_showBar(showBar) {}

void ConsoleJobView::setProgressRange(int minimum, int maximum) {
    std::lock_guard lock(m_mutex);
    m_minimum = minimum;
    m_maximum = std::max(maximum, minimum + 1);
}

void ConsoleJobView::setProgress(int position) {
    std::lock_guard lock(m_mutex);
    m_position = position;
    if (m_showBar && !m_lineOpen) drawLocked();
}

void ConsoleJobView::drawLocked() {
    if (!m_position) return;
    const int width = 40;
    const int position = *m_position;
    const int filled = std::clamp((position - m_minimum) * width / (m_maximum - m_minimum), 0, width);
    // The range need not be 0..100 (the terminal sender counts lines).
    const int percent = std::clamp((position - m_minimum) * 100 / (m_maximum - m_minimum), 0, 100);
    base::printText(stderr, "\r[%s%s] %3d%%", std::string(static_cast<std::size_t>(filled), '#').c_str(),
                    std::string(static_cast<std::size_t>(width - filled), ' ').c_str(), percent);
    m_drawn = true;
}

void ConsoleJobView::beforeText() {
    std::lock_guard lock(m_mutex);
    if (!m_drawn) return;
    base::clearLine(stderr);
    m_drawn = false;
}

void ConsoleJobView::afterText(bool atLineStart) {
    std::lock_guard lock(m_mutex);
    m_lineOpen = !atLineStart;
    if (m_showBar && !m_lineOpen) drawLocked();
}

void ConsoleJobView::finish() {
    std::lock_guard lock(m_mutex);
    if (m_drawn) base::writeText(stderr, "\n");
    m_drawn = false;
}

}  // namespace hlx::cli
