#include "base/text_codec.h"

#include <array>
#include <cstddef>

namespace hlx::base {

namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;
constexpr char32_t kVisibleNul = 0x2400;  // SYMBOL FOR NULL

// Windows-1252 0x80..0x9F. The five bytes the code page leaves undefined map to the C1 control of the same
// value, as Windows' own conversion does, so every byte has a character and the mapping can be reversed.
constexpr std::array<char16_t, 32> kHighControls{
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

constexpr char32_t windows1252Character(unsigned byte) {
    if (byte == 0) return kVisibleNul;
    if (byte >= 0x80 && byte <= 0x9F) return kHighControls[byte - 0x80];
    return byte;  // ASCII and Latin-1 0xA0..0xFF are the code points of the same value
}

// Writes the UTF-8 form of cp (a scalar value) at out; returns the number of bytes written.
constexpr std::size_t encodeUtf8(char32_t cp, char* out) {
    if (cp < 0x80) {
        out[0] = static_cast<char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<char>(0xC0 | (cp >> 6));
        out[1] = static_cast<char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (cp >> 12));
        out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (cp >> 18));
    out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (cp & 0x3F));
    return 4;
}

void appendUtf8(std::string& out, char32_t cp) {
    char buffer[4];
    out.append(buffer, encodeUtf8(cp, buffer));
}

// The UTF-8 form of every byte's Windows-1252 character (at most three bytes each).
struct Utf8Sequence {
    std::array<char, 3> bytes{};
    std::uint8_t length = 0;
};

constexpr std::array<Utf8Sequence, 256> makeWindows1252Table() {
    std::array<Utf8Sequence, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        char buffer[4] = {};
        table[byte].length = static_cast<std::uint8_t>(encodeUtf8(windows1252Character(byte), buffer));
        for (std::size_t i = 0; i < table[byte].length; ++i) table[byte].bytes[i] = buffer[i];
    }
    return table;
}

constexpr std::array<Utf8Sequence, 256> kWindows1252Utf8 = makeWindows1252Table();

// Decodes one strict UTF-8 sequence at the start of s (s non-empty). Returns its length and sets cp, or
// returns 0 when the first byte does not begin a well-formed sequence: a stray continuation byte, a lead byte
// that is never valid (C0, C1, F5..FF), a sequence cut short, an overlong form, a surrogate or a value above
// U+10FFFF.
std::size_t decodeUtf8(std::string_view s, char32_t& cp) {
    const auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned lead = byteAt(0);
    if (lead < 0x80) {
        cp = lead;
        return 1;
    }
    std::size_t length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (s.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned next = byteAt(i);
        if ((next & 0xC0) != 0x80) return 0;
        value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    cp = value;
    return length;
}

// Calls f(cp) for every character of utf8; each byte that does not begin a well-formed sequence gives U+FFFD.
template <typename F>
void forEachCodePoint(std::string_view utf8, F&& f) {
    while (!utf8.empty()) {
        char32_t cp = 0;
        std::size_t length = decodeUtf8(utf8, cp);
        if (length == 0) {
            cp = kReplacementCharacter;
            length = 1;
        }
        f(cp);
        utf8.remove_prefix(length);
    }
}

// The Windows-1252 byte for cp, or -1 when the code page has none.
int windows1252Byte(char32_t cp) {
    if (cp == kVisibleNul) return 0;
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
    for (std::size_t i = 0; i < kHighControls.size(); ++i)
        if (kHighControls[i] == cp) return static_cast<int>(0x80 + i);
    return -1;
}

}  // namespace

std::u16string utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    forEachCodePoint(utf8, [&](char32_t cp) {
        if (cp < 0x10000) {
            out.push_back(static_cast<char16_t>(cp));
        } else {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        }
    });
    return out;
}

std::string utf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        char32_t cp = utf16[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = kReplacementCharacter;  // a surrogate without its partner
        }
        appendUtf8(out, cp);
    }
    return out;
}

bool isValidUtf8(std::string_view bytes) {
    while (!bytes.empty()) {
        char32_t cp = 0;
        const std::size_t length = decodeUtf8(bytes, cp);
        if (length == 0) return false;
        bytes.remove_prefix(length);
    }
    return true;
}

std::string toValidUtf8(std::string_view bytes) {
    if (isValidUtf8(bytes)) return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() + 8);
    forEachCodePoint(bytes, [&](char32_t cp) { appendUtf8(out, cp); });
    return out;
}

std::string windows1252ToUtf8(std::string_view bytes) {
    // Sized for the worst case, written through a pointer and cut to size once: the serial reader calls this
    // for every chunk it receives.
    std::string out(bytes.size() * 3, '\0');
    char* write = out.data();
    for (const char c : bytes) {
        const Utf8Sequence& seq = kWindows1252Utf8[static_cast<unsigned char>(c)];
        write[0] = seq.bytes[0];
        write[1] = seq.bytes[1];
        write[2] = seq.bytes[2];
        write += seq.length;
    }
    out.resize(static_cast<std::size_t>(write - out.data()));
    return out;
}

std::string utf8ToWindows1252(std::string_view utf8, char replacement) {
    std::string out;
    out.reserve(utf8.size());
    forEachCodePoint(utf8, [&](char32_t cp) {
        const int byte = windows1252Byte(cp);
        out.push_back(byte < 0 ? replacement : static_cast<char>(byte));
    });
    return out;
}

std::string to8Bit(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    forEachCodePoint(utf8, [&](char32_t cp) {
        if (cp >= 32) out.push_back(static_cast<char>(cp & 0xFF));
    });
    return out;
}

}  // namespace hlx::base
