#include "base/text_file.h"

#include <cerrno>

#include "base/atomic_file.h"
#include "base/file_reader.h"
#include "base/text_codec.h"

namespace hlx::base {

namespace {

constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LEMark = "\xFF\xFE";
constexpr std::string_view kUtf16BEMark = "\xFE\xFF";

// Every CR LF, lone CR and lone LF becomes CR LF. Works on UTF-8, where CR and LF never occur inside a
// multi-byte sequence.
std::string normaliseLineBreaks(std::string_view s) {
    std::string out;
    out.reserve(s.size() + s.size() / 16);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < s.size() && s[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

// An odd trailing byte is a character cut in half and becomes U+FFFD.
std::string utf16BytesToUtf8(std::string_view bytes, bool bigEndian) {
    std::u16string units;
    units.reserve(bytes.size() / 2 + 1);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        units.push_back(static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first));
    }
    if (bytes.size() % 2 != 0) units.push_back(u'\uFFFD');
    return utf16ToUtf8(units);
}

std::string utf16Bytes(std::string_view utf8, bool bigEndian) {
    const std::u16string units = utf8ToUtf16(utf8);
    std::string out;
    out.reserve(2 + units.size() * 2);
    out += bigEndian ? kUtf16BEMark : kUtf16LEMark;
    for (const char16_t unit : units) {
        const char high = static_cast<char>(unit >> 8);
        const char low = static_cast<char>(unit & 0xFF);
        out += bigEndian ? high : low;
        out += bigEndian ? low : high;
    }
    return out;
}

}  // namespace

DecodedText decodeText(std::string_view fileBytes) {
    DecodedText result;
    std::string text;
    if (fileBytes.starts_with(kUtf8Mark)) {
        result.encoding = TextEncoding::Utf8Bom;
        text = toValidUtf8(fileBytes.substr(kUtf8Mark.size()));
    } else if (fileBytes.starts_with(kUtf16LEMark)) {
        result.encoding = TextEncoding::Utf16LE;
        text = utf16BytesToUtf8(fileBytes.substr(kUtf16LEMark.size()), false);
    } else if (fileBytes.starts_with(kUtf16BEMark)) {
        result.encoding = TextEncoding::Utf16BE;
        text = utf16BytesToUtf8(fileBytes.substr(kUtf16BEMark.size()), true);
    } else if (isValidUtf8(fileBytes)) {
        result.encoding = TextEncoding::Utf8;
        text.assign(fileBytes);
    } else {
        result.encoding = TextEncoding::Windows1252;
        text = windows1252ToUtf8(fileBytes);
    }
    result.text = normaliseLineBreaks(text);
    return result;
}

std::string encodeText(std::string_view utf8, TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Utf8:
            return std::string(utf8);
        case TextEncoding::Utf8Bom:
            return std::string(kUtf8Mark) + std::string(utf8);
        case TextEncoding::Utf16LE:
            return utf16Bytes(utf8, false);
        case TextEncoding::Utf16BE:
            return utf16Bytes(utf8, true);
        case TextEncoding::Windows1252:
            break;
    }
    return utf8ToWindows1252(utf8);
}

Status readTextFile(const std::string& path, DecodedText& out, std::size_t limit) {
    std::string bytes;
    const FileRead r = readRegularFile(path, bytes, limit);
    if (r.failure == ReadFailure::TooLarge)
        return Status::error(path + ": too large for the terminal window (" + std::to_string(r.fileSize) +
                             " bytes, at most " + std::to_string(limit) + ")");
    if (!r.status) return r.status;
    out = decodeText(bytes);
    return Status::ok();
}

Status writeTextFile(const std::string& path, std::string_view utf8, TextEncoding encoding) {
    if (const int err = replaceFileAtomically(path, encodeText(utf8, encoding), 0666); err != 0)
        return systemError(path, err);
    return Status::ok();
}

}  // namespace hlx::base
