#include "imaging/vxc_decoder.h"

#include <algorithm>
#include <string>

#include <fmt/format.h>

#include "imaging/vxc_stream.h"

namespace hlx::imaging {
namespace {

// Walks the stream record by record; paints onto the target when there is one, else only counts.
class Decoder {
public:
    Decoder(std::span<const std::uint8_t> stream, Bitmap* target, int maxWidth, int maxRows)
        : m_in(stream), m_target(target), m_maxWidth(maxWidth), m_maxRows(maxRows) {}

    VxcDecodeResult run() {
        while (m_pos < m_in.size() && m_result.status) step();
        return m_result;
    }

private:
    unsigned word(std::size_t at) const { return m_in[at] | m_in[at + 1] << 8; }
    std::size_t left() const { return m_in.size() - m_pos; }

    void damaged(std::size_t at, const std::string& why) {
        m_result.status =
            base::Status::error("VXC-Daten beschädigt bei Byte " + std::to_string(at) + ": " + why);
    }

    void truncated(std::uint8_t code, std::size_t need) {
        damaged(m_pos, fmt::format("Datensatz 0x{:02X} abgeschnitten ({} Bytes nötig, {} vorhanden)", code,
                                   need, left()));
    }

    // Whether rows more rows fit below the rows painted so far.
    bool rowsFit(int rows) {
        if (m_y + rows <= m_maxRows) return true;
        damaged(m_pos, "mehr Zeilen als das Bild hat (" + std::to_string(m_maxRows) + ")");
        return false;
    }

    void paint(int x, int y, Rgb colour) {
        if (m_target) m_target->setPixel(x, y, colour);
    }

    void paintRow(int y, Rgb colour) {
        if (!m_target) return;
        for (int x = 0; x < m_width; ++x) m_target->setPixel(x, y, colour);
    }

    void step() {
        const std::uint8_t code = m_in[m_pos];
        if (m_width == 0 && code != VXC_HEADER)
            return damaged(m_pos, fmt::format("kein Kopfsatz am Anfang (Code 0x{:02X})", code));
        switch (code) {
            case VXC_HEADER:
                return header();
            case VXC_ROW_RAW:
                return rawRow();
            case VXC_ROW_RUN8:
                return runRow(code, 1);
            case VXC_ROW_RUN16:
                return runRow(code, 2);
            case VXC_REPEAT_1:
                return repeat(1);
            case VXC_REPEAT_2:
                return repeat(2);
            default:
                return damaged(m_pos, fmt::format("unbekannter Code 0x{:02X}", code));
        }
    }

    void header() {
        if (m_width != 0) return damaged(m_pos, "zweiter Kopfsatz");
        if (left() < kVxcHeaderSize) return truncated(VXC_HEADER, kVxcHeaderSize);
        const int width = static_cast<int>(word(m_pos + 5));
        if (width == 0) return damaged(m_pos, "Bildbreite 0");
        if (width > m_maxWidth)
            return damaged(m_pos, "Bildbreite " + std::to_string(width) + " größer als das Ziel (" +
                                      std::to_string(m_maxWidth) + ")");
        m_width = width;
        m_result.width = width;
        m_pos += kVxcHeaderSize;
    }

    void rawRow() {
        const std::size_t size = 1 + 2 * static_cast<std::size_t>(m_width);
        if (left() < size) return truncated(VXC_ROW_RAW, size);
        if (!rowsFit(1)) return;
        for (int x = 0; x < m_width; ++x) {
            m_colour = static_cast<VxcPixel>(word(m_pos + 1 + 2 * static_cast<std::size_t>(x)));
            paint(x, m_y, unpackVxcPixel(m_colour));
        }
        m_pos += size;
        finishRows(1);
    }

    // countBytes: 1 for VXC_ROW_RUN8, 2 for VXC_ROW_RUN16.
    void runRow(std::uint8_t code, std::size_t countBytes) {
        const std::size_t entry = 2 + countBytes;
        // First pass: the entries must cover the width exactly and lie inside the stream.
        std::size_t end = m_pos + 1;
        for (long x = 0; x < m_width;) {
            if (m_in.size() - end < entry) return truncated(code, end + entry - m_pos);
            const long count = countBytes == 1 ? m_in[end + 2] : static_cast<long>(word(end + 2));
            x += count + 1;
            if (x > m_width)
                return damaged(end, "Lauf endet bei Pixel " + std::to_string(x) + " hinter dem Zeilenende (" +
                                        std::to_string(m_width) + ")");
            end += entry;
        }
        if (!rowsFit(1)) return;
        int x = 0;
        for (std::size_t at = m_pos + 1; at < end; at += entry) {
            m_colour = static_cast<VxcPixel>(word(at));
            const int count = countBytes == 1 ? m_in[at + 2] : static_cast<int>(word(at + 2));
            const Rgb colour = unpackVxcPixel(m_colour);
            if (m_target)
                for (int i = 0; i <= count; ++i) paint(x + i, m_y, colour);
            x += count + 1;
        }
        m_pos = end;
        finishRows(1);
    }

    void repeat(int rows) {
        if (!rowsFit(rows)) return;
        const Rgb colour = unpackVxcPixel(m_colour);
        for (int i = 0; i < rows; ++i) paintRow(m_y + i, colour);
        m_pos += 1;
        finishRows(rows);
    }

    void finishRows(int rows) {
        m_y += rows;
        m_result.rows = m_y;
    }

    std::span<const std::uint8_t> m_in;
    Bitmap* m_target;
    int m_maxWidth;
    int m_maxRows;
    std::size_t m_pos = 0;
    int m_width = 0;
    int m_y = 0;
    VxcPixel m_colour = 0;
    VxcDecodeResult m_result;
};

}  // namespace

VxcDecodeResult decodeStream(std::span<const std::uint8_t> stream, Bitmap& target) {
    return Decoder(stream, &target, target.width(), target.height()).run();
}

VxcDecodeResult measureStream(std::span<const std::uint8_t> stream, int maxRows) {
    return Decoder(stream, nullptr, kMaxFieldValue, maxRows).run();
}

base::Status readVxcHeader(std::span<const std::uint8_t> stream, VxcHeader& header) {
    if (stream.empty()) return base::Status::error("keine VXC-Daten (Länge 0)");
    if (stream.size() < kVxcHeaderSize || stream[0] != VXC_HEADER ||
        !std::equal(std::begin(kVxcMagic), std::end(kVxcMagic), stream.begin() + 1,
                    [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }))
        return base::Status::error("keine VXC-Daten (Kopfsatz 0x80 \"VXP1\" fehlt)");
    const int width = stream[5] | stream[6] << 8;
    const int height = stream[7] | stream[8] << 8;
    if (width == 0 || height == 0)
        return base::Status::error("VXC-Kopfsatz mit leerem Bild (" + std::to_string(width) + " x " +
                                   std::to_string(height) + ")");
    header = {width, height};
    return base::Status::ok();
}

}  // namespace hlx::imaging
