#include "cli/console_view.h"

#include <algorithm>
#include <cstdio>

#include "cli/console_output.h"

namespace hlx::cli {

std::string consoleText(std::string_view text) {
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
    return out;
}

ConsoleWindow::ConsoleWindow()
    : output::TextWindow([](std::string_view piece) {
          const std::string out = consoleText(piece);
          std::fwrite(out.data(), 1, out.size(), stdout);
          std::fflush(stdout);
      }) {}

ConsoleWindow::ConsoleWindow(ConsoleJobView& view)
    : output::TextWindow([&view](std::string_view piece) { view.text(piece); }) {}

ConsoleJobView::ConsoleJobView(bool showBar, ConsoleOutput* console)
    : m_showBar(showBar), m_console(console) {}

void ConsoleJobView::out(std::string_view text) {
    if (m_console) {
        m_console->out(text);
        return;
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void ConsoleJobView::err(std::string_view text) {
    if (m_console) {
        m_console->err(text);
        return;
    }
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
}

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
    char bar[96];
    std::snprintf(bar, sizeof bar, "\r[%s%s] %3d%%",
                  std::string(static_cast<std::size_t>(filled), '#').c_str(),
                  std::string(static_cast<std::size_t>(width - filled), ' ').c_str(), percent);
    err(bar);
    m_drawn = true;
}

void ConsoleJobView::text(std::string_view piece) {
    const std::string printed = consoleText(piece);
    if (printed.empty()) return;
    std::lock_guard lock(m_mutex);
    if (m_drawn) {
        err("\r\033[K");  // back to the line start and clear it
        m_drawn = false;
    }
    out(printed);
    m_lineOpen = printed.back() != '\n';
    if (m_showBar && !m_lineOpen) drawLocked();
}

void ConsoleJobView::finish() {
    std::lock_guard lock(m_mutex);
    if (m_drawn) err("\n");
    m_drawn = false;
}

}  // namespace hlx::cli
