#pragma once
// ConsoleKeys: a Windows console's key events as the bytes a terminal sends for them, so that the
// terminal's session reads keys alike on every system (cli/terminal_console.h):
// - text as UTF-8 (a character outside the basic plane comes as two events, a surrogate pair, and is
//   written once both have come), a key's repeat count as that many characters;
// - Enter as CR, Backspace as 0x08, Ctrl-C as 0x03 (the console's Ctrl-C processing is off);
// - Ctrl-] as 0x1D: the character 0x1D, or the "]" key (VK_OEM_6, or the character "]") with Ctrl and
//   without Alt. AltGr is Ctrl and Alt together, so AltGr+9 on a German keyboard types "]".
// - nothing for a key without a character (arrows, function keys, Shift alone), for Escape, and for a
//   key's release or any other event (mouse, focus, window size).
//
// Windows only. Threads: one object per reading thread.

#include <windows.h>

#include <string>

namespace hlx::cli {

class ConsoleKeys {
public:
    std::string translate(const INPUT_RECORD* records, DWORD count);

private:
    std::wstring keyText(const KEY_EVENT_RECORD& key);

    wchar_t m_highSurrogate = 0;  // the first half of a surrogate pair, waiting for the second
};

}  // namespace hlx::cli
