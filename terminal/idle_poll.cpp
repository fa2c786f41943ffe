#include "terminal/idle_poll.h"

#include <algorithm>

#include "base/text_codec.h"

namespace hlx::terminal {

bool IdlePoll::tick(serial::Link& link, output::OutputWindow& window) {
    const base::TimePoint now = m_clock.now();
    const bool wasEmpty = m_raw.empty();
    const std::size_t before = m_raw.size();
    if (serial::readNow(link, m_raw) > 0) {
        if (m_listener && m_raw.size() > before) m_listener(std::string_view(m_raw).substr(before));
        if (wasEmpty) m_first = now;
        m_last = now;
    }
    if (m_raw.empty()) return false;
    if (now - m_last < kQuietTime && now - m_first < kBurstCap) return false;
    const std::string text = base::windows1252ToUtf8(m_raw);
    m_raw.clear();
    showReceived(window, text);
    return true;
}

std::optional<serial::Milliseconds> IdlePoll::dueIn() const {
    if (m_raw.empty()) return std::nullopt;
    const base::TimePoint due = std::min(m_last + kQuietTime, m_first + kBurstCap);
    const auto left = std::chrono::ceil<serial::Milliseconds>(due - m_clock.now());
    return std::max(left, serial::Milliseconds{0});
}

void showReceived(output::OutputWindow& window, const std::string& utf8) {
    if (utf8.empty()) return;
    const int caret = window.selectionStart();
    const int n = static_cast<int>(base::utf8ToUtf16(utf8).size());
    window.insert(std::max(caret - 1, 0), " " + utf8);
    window.setSelection(caret + n + 2, 0);
}

}  // namespace hlx::terminal
