#pragma once
// hlx ports: the serial ports present, each with the text to type into COM-Nr (or give as --port), its
// driver, USB ids and stable by-id name, and a hint when this user may not open it.

namespace hlx::cli {

class CommandLine;
void addPortsCommand(CommandLine& commands);

}  // namespace hlx::cli
