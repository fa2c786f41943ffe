#pragma once
// The user's folders after the XDG base directory rules: a variable such as XDG_CONFIG_HOME or
// XDG_STATE_HOME counts only when it holds an absolute path (an empty or relative one is ignored); else
// the usual folder below the home folder ($HOME, or the user's entry in the password database).
// On Windows the home folder is %USERPROFILE%, and without the variable the folder is %LOCALAPPDATA%.
//
// Threads: reads the environment; any thread, as long as nobody changes the environment meanwhile.

#include <string>

#include "base/file_system.h"
#include "base/status.h"

namespace hlx::base {

// $HOME, or the password database's home folder of the user, or "." when neither is known.
std::string homeFolder();

// The folder a base-directory variable names, or home + "/" + fallback ("XDG_STATE_HOME", ".local/state").
std::string userFolder(const char* variable, const char* fallbackBelowHome);

// The folder of the running program's own file (/usr/bin for /usr/bin/hlx, C:\Program Files\HLX Service
// Tool for the installed hlx.exe), so a program finds what its installation put beside it; empty when
// the system does not say.
std::string programFolder();

// Creates the folder and its missing parents, new ones private to the user (0700). The failure is the
// reason of the step that failed alone (ENOTDIR when the path names something that is not a folder).
Status makeFolders(const std::string& folder, FileSystem& files = systemFileSystem());

}  // namespace hlx::base
