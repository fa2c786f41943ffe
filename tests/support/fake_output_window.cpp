#include "tests/support/fake_output_window.h"

#include <algorithm>

#include "base/text_codec.h"

namespace hlx::test {

FakeOutputWindow::FakeOutputWindow(std::string initial) : m_text(base::utf8ToUtf16(initial)) {}

std::string FakeOutputWindow::text() const {
    std::lock_guard lock(m_mutex);
    return base::utf16ToUtf8(m_text);
}

void FakeOutputWindow::setText(std::string_view t) {
    std::lock_guard lock(m_mutex);
    m_text = base::utf8ToUtf16(t);
    m_selStart = std::min<int>(m_selStart, static_cast<int>(m_text.size()));
    m_selLength = 0;
}

void FakeOutputWindow::append(std::string_view t) {
    std::lock_guard lock(m_mutex);
    m_text += base::utf8ToUtf16(t);
}

bool FakeOutputWindow::atLineStart() const {
    std::lock_guard lock(m_mutex);
    return m_text.empty() || (m_text.size() >= 2 && m_text.compare(m_text.size() - 2, 2, u"\r\n") == 0);
}

int FakeOutputWindow::length() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_text.size());
}

int FakeOutputWindow::selectionStart() const {
    std::lock_guard lock(m_mutex);
    return m_selStart;
}

int FakeOutputWindow::selectionLength() const {
    std::lock_guard lock(m_mutex);
    return m_selLength;
}

void FakeOutputWindow::setSelection(int start, int length) {
    std::lock_guard lock(m_mutex);
    const int size = static_cast<int>(m_text.size());
    m_selStart = std::clamp(start, 0, size);
    m_selLength = std::clamp(length, 0, size - m_selStart);
}

void FakeOutputWindow::insert(int position, std::string_view t) {
    std::lock_guard lock(m_mutex);
    const int size = static_cast<int>(m_text.size());
    m_text.insert(static_cast<std::size_t>(std::clamp(position, 0, size)), base::utf8ToUtf16(t));
}

std::string FakeOutputWindow::lineAt(int position) const {
    std::lock_guard lock(m_mutex);
    const std::size_t pos =
        static_cast<std::size_t>(std::clamp(position, 0, static_cast<int>(m_text.size())));
    // A line begins after the CR LF before pos and ends at the next CR LF.
    std::size_t begin = 0;
    if (pos >= 2) {
        const std::size_t found = m_text.rfind(u"\r\n", pos - 2);
        if (found != std::u16string::npos) begin = found + 2;
    }
    std::size_t end = m_text.find(u"\r\n", begin);
    if (end == std::u16string::npos) end = m_text.size();
    return base::utf16ToUtf8(m_text.substr(begin, end - begin));
}

void FakeOutputWindow::refresh() {
    std::lock_guard lock(m_mutex);
    ++m_refreshes;
}

int FakeOutputWindow::refreshCount() const {
    std::lock_guard lock(m_mutex);
    return m_refreshes;
}

}  // namespace hlx::test
