#pragma once
// The few facts about the operating system that otherwise portable code needs: which process this is and
// whether another one has ended (the atomic writer's stale temporaries carry their process's id), and how
// paths are spelt (Windows takes both '\' and '/' between names, and a path starts with a drive or a
// server's share). Implemented beside the system's FileSystem (posix_file_system.cpp,
// win32_file_system.cpp).
//
// Threads: no state; any thread.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace hlx::base {

std::uint32_t currentProcessId();
// Whether the process with this id has ended; false when it runs or its state cannot be told (a process of
// another user that this one may not look at), so nothing of a living process is taken for stale.
bool processHasEnded(std::uint32_t pid);

// '/' on both systems; '\' too on Windows.
bool isPathSeparator(char c);
// How much of path is its root, which no folder is made for: "/" (1) on Linux; on Windows "C:\" (3), "C:"
// (2), "\" (1) or "\\server\share\" (through the share's separator); 0 for a relative path.
std::size_t rootLength(std::string_view path);

}  // namespace hlx::base
