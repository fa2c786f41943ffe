#include "preview/label_style.h"

#include <optional>

#include "base/text_codec.h"

namespace hlx::preview {
namespace {

struct StyleRow {
    LabelStyle style;
    std::optional<int> top;
    std::optional<int> left;
    std::optional<int> width;
    int fontHeight;
    std::optional<Alignment> alignment;
    std::optional<bool> autoSize;
};

const StyleRow kStyles[] = {
    {LabelStyle::Name, 0, {}, {}, -16, {}, {}},
    {LabelStyle::BigValue, 50, 0, 160, -32, Alignment::Centre, false},
    {LabelStyle::BigMore, 140, 120, {}, -12, Alignment::Right, {}},
    {LabelStyle::SmallValue, 28, 0, 70, -12, Alignment::Centre, false},
    {LabelStyle::SmallMore, 55, 45, {}, -10, Alignment::Right, {}},
};

std::string_view upToControl(std::string_view text) {
    std::size_t n = 0;
    while (n < text.size() && static_cast<unsigned char>(text[n]) >= 32) ++n;
    return text.substr(0, n);
}

}  // namespace

char upperCase1252(char c) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 'a' && u <= 'z') return static_cast<char>(u - 0x20);
    if (u >= 0xE0 && u <= 0xFE && u != 0xF7) return static_cast<char>(u - 0x20);
    switch (u) {
        case 0x9A:
            return static_cast<char>(0x8A);  // s caron
        case 0x9C:
            return static_cast<char>(0x8C);  // oe
        case 0x9E:
            return static_cast<char>(0x8E);  // z caron
        case 0xFF:
            return static_cast<char>(0x9F);  // y diaeresis
        default:
            return c;
    }
}

std::string labelText(std::string_view text1252) {
    std::string shown(upToControl(text1252));
    for (char& c : shown) c = upperCase1252(c);
    return base::windows1252ToUtf8(shown);
}

std::string firstLanguage(std::string_view text1252) {
    return base::windows1252ToUtf8(text1252.substr(0, text1252.find('\t')));
}

void setLabel(LabelState& label, std::string_view text1252, LabelStyle style) {
    label.text = labelText(text1252);
    for (const StyleRow& row : kStyles) {
        if (row.style != style) continue;
        if (row.top) label.top = *row.top;
        if (row.left) label.left = *row.left;
        if (row.width) label.width = *row.width;
        label.fontHeight = row.fontHeight;
        if (row.alignment) label.alignment = *row.alignment;
        if (row.autoSize) label.autoSize = *row.autoSize;
    }
}

}  // namespace hlx::preview
