#include "imaging/c_array.h"

#include "imaging/narrow_path.h"

namespace hlx::imaging {
namespace {

#ifdef _WIN32
constexpr std::string_view kLineEnd = "\r\n";
#else
constexpr std::string_view kLineEnd = "\n";
#endif

void appendItem(std::string& text, std::uint8_t byte) {
    static constexpr char kDigits[] = "0123456789abcdef";
    const char item[5] = {'0', 'x', kDigits[byte >> 4], kDigits[byte & 0x0F], ','};
    text.append(item, sizeof item);
}

}  // namespace

std::string cArrayText(std::span<const std::uint8_t> stream) {
    const auto n = static_cast<std::uint32_t>(stream.size());
    std::string text;
    text.reserve(64 + stream.size() * 5 + (stream.size() / 16 + 3) * kLineEnd.size());
    text += "const unsigned char vxc_stream[]={";
    for (int shift = 0; shift < 32; shift += 8) appendItem(text, static_cast<std::uint8_t>(n >> shift));
    for (std::size_t i = 0; i < stream.size(); ++i) {
        if (i % 16 == 0) text += kLineEnd;
        appendItem(text, stream[i]);
    }
    text += "0x00};";
    text += kLineEnd;
    text += kLineEnd;
    return text;
}

base::Status writeCArray(std::string_view path, std::span<const std::uint8_t> stream,
                         base::FileSystem& files) {
    return writeNarrowedFile(path, cArrayText(stream), files);
}

}  // namespace hlx::imaging
