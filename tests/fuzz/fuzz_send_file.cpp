// Fuzz target for send files and the window's text: whatever bytes a send file holds, the chunks the file
// sender cuts it into follow on without gap or overlap and cover the file exactly; a text chunk holds
// whole lines, stays below 250 bytes unless it is one overlong line, and waits for one reply per line; a
// binary chunk holds 1 to 250 bytes and waits for one reply. The same bytes as a window text split into
// one line per LF (plus a last line without one), none of which holds an LF.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "terminal/file_sender.h"
#include "terminal/terminal_sender.h"

namespace {

using namespace hlx::terminal;

void checkChunks(std::string_view file) {
    const bool text = isTextFile(file);
    const auto size = static_cast<std::int32_t>(file.size());
    for (std::int32_t position = 0; position < size;) {
        const Chunk chunk = nextChunk(file, position, text);
        if (chunk.length <= 0 || position + chunk.length > size) std::abort();
        const std::string_view bytes =
            file.substr(static_cast<std::size_t>(position), static_cast<std::size_t>(chunk.length));
        if (text) {
            int lines = 0;
            for (char c : bytes) lines += c == '\n';
            const bool endsInLf = bytes.back() == '\n';
            if (!endsInLf && position + chunk.length != size) std::abort();  // whole lines only
            if (!endsInLf) ++lines;
            if (chunk.replies != lines) std::abort();
            if (chunk.length >= kChunkLimit && lines != 1) std::abort();
        } else if (chunk.length > kChunkLimit || chunk.replies != 1) {
            std::abort();
        }
        position += chunk.length;
    }
}

void checkLines(std::string_view text) {
    std::size_t expected = 0;
    for (char c : text) expected += c == '\n';
    if (!text.empty() && text.back() != '\n') ++expected;
    const auto lines = terminalLines(text);
    if (lines.size() != expected) std::abort();
    for (const auto& line : lines)
        if (line.find('\n') != std::string::npos) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    checkChunks(bytes);
    checkLines(bytes);
    return 0;
}
