// Fuzz target for terminal text files: decoding arbitrary file bytes must never fail, must give valid UTF-8
// with CR LF line breaks only, and writing the text back in the encoding found must load again as the same
// text in the same encoding. That holds for every input: whatever the first decode replaced (bad UTF-8,
// lone surrogates, an odd UTF-16 byte) is already U+FFFD, which every encoding but Windows-1252 stores,
// and a Windows-1252 text only holds characters of that code page.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "base/text_codec.h"
#include "base/text_file.h"

namespace {

bool onlyCrLfBreaks(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')) return false;
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace hlx;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const base::DecodedText first = base::decodeText(bytes);
    if (!base::isValidUtf8(first.text) || !onlyCrLfBreaks(first.text)) std::abort();

    const std::string saved = base::encodeText(first.text, first.encoding);
    const base::DecodedText second = base::decodeText(saved);
    if (second.text != first.text || second.encoding != first.encoding) std::abort();
    return 0;
}
