#pragma once
// hlx check-hex FILE: the window's syntax check of an Intel HEX file, with its lines on stdout. Exit 1 when
// it counts errors (or the file is too large for the program's buffer), 2 when the file cannot be read.

namespace hlx::cli {

class CommandLine;
void addCheckHexCommand(CommandLine& commands);

}  // namespace hlx::cli
