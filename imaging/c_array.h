#pragma once
// The C source form of a VXC stream, for building a picture into the monitor firmware:
//
//   const unsigned char vxc_stream[]={0x13,0x00,0x00,0x00,
//   0x80,0x56,0x58,0x50,0x31,0x04,0x00,0x03,0x00,0x00,0x00,0x55,0x82,0x1f,0x00,0x02,
//   0x00,0xf8,0x00,0x00};
//   (empty line)
//
// The first line declares the array and holds the stream's length N as four bytes, least significant
// first; then come the N stream bytes, 16 to a line; the closing item 0x00 and the brace follow the last
// stream byte on its line (for N = 0, the declaration line itself); one empty line ends the text. Hex digits
// are lower case, two per byte, no spaces. The array holds N + 5 items and is always named vxc_stream.
// Lines end as text files do on the platform (LF here, CR LF on Windows).

#include <cstdint>
#include <span>
#include <string>

#include "base/file_system.h"
#include "base/status.h"

namespace hlx::imaging {

std::string cArrayText(std::span<const std::uint8_t> stream);

// Writes cArrayText(stream) to the file named by the user-interface path (narrowed, see
// imaging/narrow_path.h), replacing it atomically: on failure an existing file is left as it was and no
// partial file remains. The message names the path and the reason.
base::Status writeCArray(std::string_view path, std::span<const std::uint8_t> stream,
                         base::FileSystem& files = base::systemFileSystem());

}  // namespace hlx::imaging
