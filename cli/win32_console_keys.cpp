#include "cli/win32_console_keys.h"

#include <algorithm>

namespace hlx::cli {
namespace {

std::string utf8(const std::wstring& text) {
    if (text.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string out(static_cast<std::size_t>(std::max(size, 0)), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr,
                            nullptr);
    return out;
}

}  // namespace

std::string ConsoleKeys::translate(const INPUT_RECORD* records, DWORD count) {
    std::wstring text;
    for (DWORD i = 0; i < count; ++i) {
        if (records[i].EventType != KEY_EVENT) continue;
        const KEY_EVENT_RECORD& key = records[i].Event.KeyEvent;
        if (!key.bKeyDown) continue;
        const std::wstring typed = keyText(key);
        for (WORD n = std::max<WORD>(key.wRepeatCount, 1); n > 0; --n) text += typed;
    }
    return utf8(text);
}

std::wstring ConsoleKeys::keyText(const KEY_EVENT_RECORD& key) {
    const wchar_t c = key.uChar.UnicodeChar;
    const DWORD state = key.dwControlKeyState;
    const bool ctrl = (state & (LEFT_CTRL_PRESSED | RIGHT_CTRL_PRESSED)) != 0;
    const bool alt = (state & (LEFT_ALT_PRESSED | RIGHT_ALT_PRESSED)) != 0;
    if (c == 0x1D || (ctrl && !alt && (key.wVirtualKeyCode == VK_OEM_6 || c == L']'))) return L"\x1D";
    if (c == 0x03 || (ctrl && !alt && key.wVirtualKeyCode == 'C')) return L"\x03";
    if (key.wVirtualKeyCode == VK_RETURN) return L"\r";
    if (key.wVirtualKeyCode == VK_BACK) return L"\x08";
    if (c == 0 || c == 0x1B) return {};
    if (c >= 0xD800 && c <= 0xDBFF) {
        m_highSurrogate = c;
        return {};
    }
    if (c >= 0xDC00 && c <= 0xDFFF) {
        const wchar_t high = m_highSurrogate;
        m_highSurrogate = 0;
        if (high == 0) return {};  // a second half without its first
        return std::wstring{high, c};
    }
    m_highSurrogate = 0;
    return std::wstring(1, c);
}

}  // namespace hlx::cli
