#include "preview/menu_data.h"

#include <algorithm>

namespace hlx::preview {
namespace {

// Rows whose buffers initMenuData leaves alone: the model texts, the first access code and three codes.
constexpr std::size_t kKeptRows[] = {14, 15, 18, 32, 33, 34};

bool isKept(std::size_t row) {
    for (std::size_t kept : kKeptRows)
        if (kept == row) return true;
    return false;
}

int languageIndex(const MenuData& data) {
    return static_cast<std::uint16_t>(data.settingValues[kLanguageValue]) >> 12;
}

bool firstLanguageOnly(const MenuData& data) {
    return (static_cast<std::uint16_t>(data.settingValues[kFirstLanguageValue]) & 0x8000u) != 0;
}

}  // namespace

const char* MenuData::textBuffer(std::size_t row) const {
    if (row >= kMenuTextCount) return "";
    return textBuffers[row].data();
}

void initMenuData(MenuData& data) {
    for (std::size_t index = 0; index < kSettingDefaultCount; ++index)
        data.settingValues[index] = kSettingDefaults[index].value;
    for (std::size_t row = 0; kMenuTexts[row].hasBuffer; ++row) {
        if (isKept(row)) continue;
        pickLanguage(data, data.textBuffers[row], kMenuTexts[row].defaultText, kMenuTexts[row].maxLength);
    }
}

const char* pickLanguage(const MenuData& data, std::span<char> buffer, const char* text,
                         std::size_t maxLength) {
    const char* start = text;
    if (!firstLanguageOnly(data)) {
        const int wanted = languageIndex(data);
        int tabs = 0;
        const char* p = text;
        while (tabs < wanted && *p != '\0') {
            if (*p == '\t') ++tabs;
            ++p;
        }
        // Only a text with all the tabs asked for has that language part.
        if (tabs == wanted) start = p;
    }
    if (!buffer.empty()) {
        const std::size_t limit = std::min(maxLength, buffer.size() - 1);
        std::size_t n = 0;
        while (n < limit && start[n] != '\0' && start[n] != '\t') {
            buffer[n] = start[n];
            ++n;
        }
        buffer[n] = '\0';
    }
    return start;
}

}  // namespace hlx::preview
