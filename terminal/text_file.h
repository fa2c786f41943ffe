#pragma once
// Terminal text files: reading with byte-order-mark detection and writing back in the encoding found.
// Without a mark, bytes that are valid UTF-8 are read (and written back) as UTF-8 without a mark; anything
// else is Windows-1252. Every line break of the file (CR, LF or CR LF) becomes CR LF when read; the text is
// written unchanged.

#include <string>
#include <string_view>

#include "terminal/status.h"

namespace hlx::text {

enum class TextEncoding { Windows1252, Utf8, Utf8Bom, Utf16LE, Utf16BE };

struct DecodedText {
    std::string text;  // UTF-8 with CR LF line breaks
    TextEncoding encoding = TextEncoding::Windows1252;
};

DecodedText decodeText(std::string_view fileBytes);
std::string encodeText(std::string_view utf8, TextEncoding encoding);

Status readTextFile(const std::string& path, DecodedText& out);
// Replaces an existing file; on failure the old file is left as it was.
Status writeTextFile(const std::string& path, std::string_view utf8, TextEncoding encoding);

}  // namespace hlx::text
