#include "output/text_window.h"

#include <algorithm>

#include "base/text_codec.h"

namespace hlx::output {
namespace {

int utf16Length(std::string_view utf8) {
    return static_cast<int>(base::utf8ToUtf16(utf8).size());
}

}  // namespace

std::string TextWindow::text() const {
    std::lock_guard lock(m_mutex);
    return m_text;
}

void TextWindow::setText(std::string_view text) {
    std::lock_guard lock(m_mutex);
    m_text.assign(text);
    m_length = utf16Length(text);
    m_selection = std::min(m_selection, m_length);
}

void TextWindow::append(std::string_view text) {
    std::lock_guard lock(m_mutex);
    m_text.append(text);
    m_length += utf16Length(text);
    if (m_onAppend && !text.empty()) m_onAppend(text);
}

bool TextWindow::atLineStart() const {
    std::lock_guard lock(m_mutex);
    return m_text.empty() || m_text.ends_with("\r\n");
}

int TextWindow::length() const {
    std::lock_guard lock(m_mutex);
    return m_length;
}

int TextWindow::selectionStart() const {
    std::lock_guard lock(m_mutex);
    return m_selection;
}

void TextWindow::setSelection(int start, int) {
    std::lock_guard lock(m_mutex);
    m_selection = std::clamp(start, 0, m_length);
}

void TextWindow::insert(int position, std::string_view text) {
    std::lock_guard lock(m_mutex);
    std::u16string all = base::utf8ToUtf16(m_text);
    const std::u16string piece = base::utf8ToUtf16(text);
    all.insert(static_cast<std::size_t>(std::clamp(position, 0, static_cast<int>(all.size()))), piece);
    m_text = base::utf16ToUtf8(all);
    m_length = static_cast<int>(all.size());
    if (m_onAppend && !text.empty()) m_onAppend(text);
}

std::string TextWindow::lineAt(int position) const {
    std::lock_guard lock(m_mutex);
    const std::u16string all = base::utf8ToUtf16(m_text);
    const std::size_t at = static_cast<std::size_t>(std::clamp(position, 0, static_cast<int>(all.size())));
    // The last line end that ends at or before the position; a position between CR and LF belongs to the
    // line they end.
    const std::size_t previous = at < 2 ? std::u16string::npos : all.rfind(u"\r\n", at - 2);
    const std::size_t begin = previous == std::u16string::npos ? 0 : previous + 2;
    std::size_t end = all.find(u"\r\n", begin);
    if (end == std::u16string::npos) end = all.size();
    return base::utf16ToUtf8(all.substr(begin, end - begin));
}

}  // namespace hlx::output
