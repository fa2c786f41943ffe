#pragma once
// The ".vxc" file: a VXC stream as the file sender transmits it to the monitor.
//
//   offset  size  content
//   0       4     N, the stream's length, little-endian
//   4       N     the stream bytes, unchanged
//
// Nothing follows the stream, so the file is N + 4 bytes long.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/file_system.h"
#include "base/status.h"

namespace hlx::imaging {

std::vector<std::uint8_t> vxcFileBytes(std::span<const std::uint8_t> stream);

// Writes vxcFileBytes(stream) to the file named by the user-interface path (narrowed, see
// imaging/narrow_path.h), replacing it atomically: on failure an existing file is left as it was and no
// partial file remains. The message names the path and the reason.
base::Status writeVxcFile(std::string_view path, std::span<const std::uint8_t> stream,
                          base::FileSystem& files = base::systemFileSystem());

// The stream inside a ".vxc" file's bytes. The length prefix must match the bytes that follow it exactly
// and lie within the 10,000,000-byte stream limit; a file that does not is Corrupt, and the message says
// what does not fit.
base::Status parseVxcFile(std::span<const std::uint8_t> fileBytes, std::vector<std::uint8_t>& stream);

// Reads a ".vxc" file from disk (a regular file of at most 4 + 10,000,000 bytes) and parses it.
base::Status readVxcFile(const std::string& path, std::vector<std::uint8_t>& stream,
                         base::FileSystem& files = base::systemFileSystem());

}  // namespace hlx::imaging
