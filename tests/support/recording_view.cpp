#include "tests/support/recording_view.h"

namespace hlx::test {

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            if (start < text.size()) lines.push_back(text.substr(start));
            return lines;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
}

std::vector<std::string> RecordingView::lines() const {
    return splitLines(text());
}

std::vector<std::string> RecordingView::transcript() const {
    std::lock_guard lock(m_recordMutex);
    return m_transcript;
}

std::vector<int> RecordingView::progress() const {
    std::lock_guard lock(m_recordMutex);
    return m_progress;
}

void RecordingView::record(std::string entry) {
    std::lock_guard lock(m_recordMutex);
    m_transcript.push_back(std::move(entry));
}

void RecordingView::setText(std::string_view text) {
    FakeOutputWindow::setText(text);
    if (text.empty()) record("clear");
}

void RecordingView::setSelection(int start, int length) {
    FakeOutputWindow::setSelection(start, length);
    if (start >= FakeOutputWindow::length() && length == 0) record("caret end");
}

void RecordingView::setProgressRange(int minimum, int maximum) {
    record("progress " + std::to_string(minimum) + ".." + std::to_string(maximum));
}

void RecordingView::setProgress(int position) {
    {
        std::lock_guard lock(m_recordMutex);
        m_progress.push_back(position);
    }
    record("progress " + std::to_string(position));
}

void RecordingView::setIdlePollEnabled(bool enabled) {
    record(enabled ? "poll on" : "poll off");
}

}  // namespace hlx::test
