#pragma once
// RecordingTextPainter: a chart TextPainter that draws no pixels and keeps every text it is asked to draw,
// with position and font, so a test compares the whole transcript of a chart's texts in one assertion.
// Every character is kCharWidth pixels wide, so centred labels land at known places.
//
// Header only: the chart suites link hlx::charts, the other suites need not. One thread.

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "charts/rgb_image.h"
#include "charts/text_painter.h"

namespace hlx::test {

class RecordingTextPainter : public charts::TextPainter {
public:
    static constexpr int kCharWidth = 5;

    struct Text {
        int x = 0;
        int y = 0;
        int points = 0;
        charts::Rgb colour;
        std::string text;

        friend bool operator==(const Text&, const Text&) = default;
        friend std::ostream& operator<<(std::ostream& out, const Text& t) {
            return out << '"' << t.text << "\" at (" << t.x << ", " << t.y << ") " << t.points << " pt rgb("
                       << int{t.colour.r} << ", " << int{t.colour.g} << ", " << int{t.colour.b} << ")";
        }
    };

    int textWidth(const charts::Font&, std::string_view text) override {
        return kCharWidth * static_cast<int>(text.size());
    }
    void drawText(charts::RgbImage&, int x, int y, const charts::Font& font, std::string_view text) override {
        m_texts.push_back(Text{x, y, font.points, font.colour, std::string(text)});
    }

    const std::vector<Text>& texts() const { return m_texts; }
    std::vector<std::string> strings() const {
        std::vector<std::string> out;
        for (const Text& t : m_texts) out.push_back(t.text);
        return out;
    }
    void clear() { m_texts.clear(); }

private:
    std::vector<Text> m_texts;
};

}  // namespace hlx::test
