#include "imaging/vxc_encoder.h"

#include <algorithm>
#include <string>

namespace hlx::imaging {
namespace {

constexpr std::uint8_t lowByte(unsigned v) {
    return static_cast<std::uint8_t>(v & 0xFF);
}
constexpr std::uint8_t highByte(unsigned v) {
    return static_cast<std::uint8_t>((v >> 8) & 0xFF);
}

base::Status streamTooLarge(int y, int height) {
    return base::Status::error("Fehler: Bild zu groß: die VXC-Daten überschreiten " +
                               std::to_string(kMaxStreamBytes) + " Bytes (bei Zeile " +
                               std::to_string(y + 1) + " von " + std::to_string(height) +
                               "), keine Datei erzeugt");
}

}  // namespace

base::Status checkVxcPictureSize(int width, int height) {
    if (width < 1 || height < 1)
        return base::Status::error("Fehler: Bild ist leer (" + std::to_string(width) + " x " +
                                   std::to_string(height) + " Pixel), keine Datei erzeugt");
    if (width > kMaxRowPixels)
        return base::Status::error("Fehler: Bild zu breit: " + std::to_string(width) + " Pixel, höchstens " +
                                   std::to_string(kMaxRowPixels) + " Pixel je Zeile, keine Datei erzeugt");
    if (height > kMaxFieldValue)
        return base::Status::error("Fehler: Bild zu hoch: " + std::to_string(height) + " Zeilen, höchstens " +
                                   std::to_string(kMaxFieldValue) + " Zeilen, keine Datei erzeugt");
    return base::Status::ok();
}

VxcEncoder::VxcEncoder() {
    m_rowColours.reserve(kMaxRowPixels);
    m_rowPixels.reserve(kMaxRowPixels);
    m_shortRuns.reserve(kMaxRowPixels);
    m_longRuns.reserve(kMaxRowPixels);
}

base::Status VxcEncoder::encode(const Bitmap& picture, const RowStarted& rowStarted) {
    m_streamBuffer.clear();
    const int width = picture.width();
    const int height = picture.height();
    if (base::Status s = checkVxcPictureSize(width, height); !s) return s;
    m_streamBuffer.reserve(std::min(maxVxcStreamSize(width, height), kMaxStreamBytes));
    m_rowColours.resize(static_cast<std::size_t>(width));

    const std::uint8_t header[kVxcHeaderSize] = {VXC_HEADER,
                                                 static_cast<std::uint8_t>(kVxcMagic[0]),
                                                 static_cast<std::uint8_t>(kVxcMagic[1]),
                                                 static_cast<std::uint8_t>(kVxcMagic[2]),
                                                 static_cast<std::uint8_t>(kVxcMagic[3]),
                                                 lowByte(width),
                                                 highByte(width),
                                                 lowByte(height),
                                                 highByte(height),
                                                 0x00,
                                                 0x00};
    m_streamBuffer.assign(std::begin(header), std::end(header));

    VxcPixel previousRowColour = 0;
    bool repeatPending = false;
    for (int y = 0; y < height; ++y) {
        if (rowStarted) rowStarted(y);
        collectRow(picture, y);
        const RowForm form = chooseForm(previousRowColour);
        bool fits = true;
        if (form == RowForm::Repeat) {
            if (repeatPending) {
                if (std::uint8_t* out = grow(1))
                    *out = VXC_REPEAT_2;
                else
                    fits = false;
            }
            repeatPending = !repeatPending;
        } else {
            if (repeatPending) {
                if (std::uint8_t* out = grow(1))
                    *out = VXC_REPEAT_1;
                else
                    fits = false;
                repeatPending = false;
            }
            fits = fits && emitRow(form);
        }
        if (!fits) {
            m_streamBuffer.clear();
            return streamTooLarge(y, height);
        }
        previousRowColour = m_rowPixels.back();
    }
    if (repeatPending) {
        if (std::uint8_t* out = grow(1)) {
            *out = VXC_REPEAT_1;
        } else {
            m_streamBuffer.clear();
            return streamTooLarge(height - 1, height);
        }
    }
    return base::Status::ok();
}

void VxcEncoder::collectRow(const Bitmap& picture, int y) {
    picture.readRow(y, m_rowColours);
    m_rowPixels.clear();
    m_shortRuns.clear();
    m_longRuns.clear();
    unsigned shortCount = 0;
    unsigned longCount = 0;
    VxcPixel previous = 0;
    for (std::size_t x = 0; x < m_rowColours.size(); ++x) {
        const VxcPixel w = packVxcPixel(m_rowColours[x]);
        m_rowPixels.push_back(w);
        if (x > 0) {
            if (w != previous || shortCount == 255) {
                m_shortRuns.push_back({previous, static_cast<std::uint16_t>(shortCount)});
                shortCount = 0;
            } else {
                ++shortCount;
            }
            if (w != previous || longCount == 65'535) {
                m_longRuns.push_back({previous, static_cast<std::uint16_t>(longCount)});
                longCount = 0;
            } else {
                ++longCount;
            }
        }
        previous = w;
    }
    m_shortRuns.push_back({previous, static_cast<std::uint16_t>(shortCount)});
    m_longRuns.push_back({previous, static_cast<std::uint16_t>(longCount)});
}

VxcEncoder::RowForm VxcEncoder::chooseForm(VxcPixel previousRowColour) const {
    const std::size_t m = m_rowPixels.size();
    const std::size_t l = m_shortRuns.size();
    const std::size_t k = m_longRuns.size();
    if (k == 1 && m_rowPixels.back() == previousRowColour) return RowForm::Repeat;
    if (2 * m <= 3 * l && 2 * m <= 4 * k) return RowForm::Raw;
    if (3 * l <= 4 * k) return RowForm::Run8;
    return RowForm::Run16;
}

bool VxcEncoder::emitRow(RowForm form) {
    switch (form) {
        case RowForm::Raw: {
            std::uint8_t* out = grow(1 + 2 * m_rowPixels.size());
            if (!out) return false;
            *out++ = VXC_ROW_RAW;
            for (VxcPixel w : m_rowPixels) {
                *out++ = lowByte(w);
                *out++ = highByte(w);
            }
            return true;
        }
        case RowForm::Run8: {
            std::uint8_t* out = grow(1 + 3 * m_shortRuns.size());
            if (!out) return false;
            *out++ = VXC_ROW_RUN8;
            for (const Run& run : m_shortRuns) {
                *out++ = lowByte(run.word);
                *out++ = highByte(run.word);
                *out++ = lowByte(run.count);
            }
            return true;
        }
        case RowForm::Run16: {
            std::uint8_t* out = grow(1 + 4 * m_longRuns.size());
            if (!out) return false;
            *out++ = VXC_ROW_RUN16;
            for (const Run& run : m_longRuns) {
                *out++ = lowByte(run.word);
                *out++ = highByte(run.word);
                *out++ = lowByte(run.count);
                *out++ = highByte(run.count);
            }
            return true;
        }
        case RowForm::Repeat:
            break;
    }
    return false;
}

std::uint8_t* VxcEncoder::grow(std::size_t n) {
    const std::size_t size = m_streamBuffer.size();
    if (n > kMaxStreamBytes - size) return nullptr;
    m_streamBuffer.resize(size + n);
    return m_streamBuffer.data() + size;
}

}  // namespace hlx::imaging
