#pragma once
// The 8-bit file names of the picture writers. The monitor's build tools take file names of one byte per
// character (Windows-1252), so an output path is narrowed to such a name the same way on every system: every
// character below 0x20 and the double quote are dropped, every other character keeps its low 8 bits (Latin-1
// characters keep their Windows-1252 codes: u with diaeresis stays 0xFC; a character beyond 0xFF is cut to
// its low byte). The name holds at most 499 characters (a 500-byte name buffer with its zero); a longer
// name is refused whole rather than cut, since a cut name would put the file somewhere else.
//
// On this platform file names are UTF-8, so the narrowed name reaches the file system as the UTF-8 form
// of its Windows-1252 characters: a path of Latin-1 characters (the usual case) opens the very file it
// names, and what narrowing changed (a tab, a quote, a character beyond 0xFF) is changed the same way as
// on Windows.

#include <optional>
#include <string>
#include <string_view>

#include "base/file_system.h"
#include "base/status.h"

namespace hlx::imaging {

inline constexpr std::size_t kMaxNarrowNameLength = 499;

// The path's UTF-16 characters up to the first zero, narrowed as above; nothing when more than 499 remain.
std::optional<std::string> narrowPath(std::u16string_view path);

// A path as the user interface holds it (UTF-8), narrowed and handed back as the UTF-8 name to open.
std::optional<std::string> narrowFileName(std::string_view uiPath);

// Replaces the file named by the user-interface path (narrowed) with bytes, atomically: on failure an
// existing file is left as it was and no partial file remains. The German message names the path and the
// reason; its kind is the file system's (NoSpace, PermissionDenied, ...), TooLarge for a name beyond 499
// characters.
base::Status writeNarrowedFile(std::string_view uiPath, std::string_view bytes,
                               base::FileSystem& files = base::systemFileSystem());

}  // namespace hlx::imaging
