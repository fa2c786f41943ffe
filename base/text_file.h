#pragma once
// Terminal text files: reading with byte-order-mark detection and writing back in the encoding found.
// Without a mark, bytes that are valid UTF-8 are read (and written back) as UTF-8 without a mark; anything
// else is Windows-1252. Every line break of the file (CR, LF or CR LF) becomes CR LF when read; the text is
// written unchanged.

#include <string>
#include <string_view>

#include "base/file_system.h"
#include "base/status.h"

namespace hlx::base {

enum class TextEncoding { Windows1252, Utf8, Utf8Bom, Utf16LE, Utf16BE };

struct DecodedText {
    std::string text;  // UTF-8 with CR LF line breaks
    TextEncoding encoding = TextEncoding::Windows1252;
};

DecodedText decodeText(std::string_view fileBytes);
std::string encodeText(std::string_view utf8, TextEncoding encoding);

// Reads a regular file whole (a FIFO or device is refused, not waited on) of at most limit bytes. On failure
// out is left as it was and the message names the path and the reason ("/home/t/log.txt: No such file or
// directory"). A text of this size still shows at once in the window, even as one long line; a larger file is
// refused with a message that states the limit.
inline constexpr std::size_t kTerminalFileLimit = std::size_t{2} << 20;
[[nodiscard]] Status readTextFile(const std::string& path, DecodedText& out,
                                  std::size_t limit = kTerminalFileLimit,
                                  FileSystem& files = systemFileSystem());
// Replaces an existing file atomically (a new file beside it, flushed to disk, then renamed over it), keeping
// its permissions; a symbolic link is followed. On failure the old file is left as it was, no temporary file
// remains, and the message names the path.
[[nodiscard]] Status writeTextFile(const std::string& path, std::string_view utf8, TextEncoding encoding,
                                   FileSystem& files = systemFileSystem());

}  // namespace hlx::base
