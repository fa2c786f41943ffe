#pragma once
// MenuData: the part of the OSD menu that changes: the store of the monitor's setting values
// (SettingValues) and the buffers of the stored texts (MenuTexts). The preview window owns one and edits
// only its setting values; nothing here is saved, read from a file or sent to the monitor.
//
// initMenuData puts the defaults in: values 0 .. 555 from SettingDefaults (values 556 .. 573 have no
// default and keep what they hold, 0 in a new MenuData), and every text buffer the language part of its
// default text, except the buffers of rows 14, 15, 18, 32, 33 and 34, which keep their content.
//
// Language: bits 12 .. 15 of value 53 choose the part of a four-language text (0 German, 1 English,
// 2 French, 3 Spanish); with bit 15 of value 379 set every text is taken from its start. A text with
// fewer tabs than the index asks for is taken from its start too.
//
// Threads: a MenuData is used by one thread (the GUI thread of the window that owns it).

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "preview/menu_tables.h"

namespace hlx::preview {

using SettingValues = std::array<std::int16_t, kSettingValueCount>;
using MenuTextBuffer = std::array<char, kMenuTextBufferSize>;

inline constexpr std::size_t kLanguageValue = 53;        // language index in bits 12 .. 15
inline constexpr std::size_t kFirstLanguageValue = 379;  // bit 15: always the first language part

struct MenuData {
    SettingValues settingValues{};
    std::array<MenuTextBuffer, kMenuTextCount> textBuffers{};

    // The current text of a MenuTexts row (zero-terminated Windows-1252); rows outside 0 .. 71 (the end
    // row among them) have no buffer and give the empty text.
    const char* textBuffer(std::size_t row) const;
};

void initMenuData(MenuData& data);

// The start of the language part of text that the current language chooses (see above). With a buffer
// (non-empty span) the part is also copied into it: up to maxLength characters, stopping at a tab or
// the end of the text, then a terminating zero. The copy never writes beyond the span, also when
// maxLength asks for more than it holds. text must not be null.
const char* pickLanguage(const MenuData& data, std::span<char> buffer, const char* text,
                         std::size_t maxLength);

}  // namespace hlx::preview
