#pragma once
// hlx hex-info FILE: the pre-flight analysis of an Intel HEX file (layout, everything suspicious, SHA-256 of
// the memory image) on stdout. Exit 1 when anything is suspicious, 2 when the file cannot be read.

namespace hlx::cli {

class CommandLine;
void addHexInfoCommand(CommandLine& commands);

}  // namespace hlx::cli
