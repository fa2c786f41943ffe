#pragma once
// What the Windows parts of every folder share: text between the program's 8-bit strings (UTF-8) and the
// system's UTF-16, and Windows error codes as the project's Status and as errno values.
//
// - widen/narrow: UTF-8 <-> UTF-16. Invalid UTF-8 becomes U+FFFD, as the system converts it; file names
//   and registry texts are handed to the system's wide functions, so no ANSI code page is involved.
// - windowsError: "context: reason" with the system's own text for the error code (FormatMessage), e.g.
//   "\\.\COM7: The system cannot find the file specified.", so a technician reads what Windows says.
// - errnoOf: the errno value closest to a Windows error code, for interfaces that report errno numbers
//   (the file reader, the atomic file writer); EIO for anything without a closer one.
//
// Windows only. Threads: no shared state.

#include <string>
#include <string_view>

#include "base/status.h"

namespace hlx::base {

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);

// err is a Windows error code (GetLastError, a registry or bcrypt result mapped to one).
std::string windowsErrorText(unsigned long err);
Status windowsError(std::string_view context, unsigned long err);
// The reason alone, with the kind of failure the closest errno gives (as systemError does on POSIX).
Status windowsStatus(unsigned long err);
int errnoOf(unsigned long err);

}  // namespace hlx::base
