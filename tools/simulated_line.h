#pragma once
// SimulatedLine: the pseudo-terminal a simulated device answers on. The tool opens slavePath like a serial
// port; the simulator reads and writes the master side (non-blocking). The slave side is kept open here,
// raw, so the master never sees a hang-up while the tool closes and re-opens the port, and the line
// settings the tool applies can be read from it. wakeFd is an eventfd that ends the simulator's poll.
//
// A device that leaves the bus (a USB serial adapter unplugged, a monitor restarting with its USB service
// port) closes its pseudo-terminal and later opens a new one: closePseudoTerminal and openPseudoTerminal do
// that and keep wakeFd. The new pseudo-terminal has a path of its own; a symbolic link (publishLink) gives
// the tool one stable path, as /dev/serial/by-id does for a real adapter.
//
// openSimulatedLine and openPseudoTerminal throw std::runtime_error naming the owner and the failing step;
// closeSimulatedLine closes what is open. Threads: used by the simulator's owner or its thread, one at a
// time.

#include <cstddef>
#include <string>
#include <string_view>

namespace hlx::tools {

struct SimulatedLine {
    int master = -1;
    int slaveKeep = -1;
    int wakeFd = -1;
    std::string slavePath;
};

SimulatedLine openSimulatedLine(std::string_view owner);
void closeSimulatedLine(SimulatedLine& line);

// Closes the pseudo-terminal alone: a tool that holds the slave open sees a hang-up, and what it has not
// read yet is lost.
void closePseudoTerminal(SimulatedLine& line);
// Opens a new pseudo-terminal into a line whose pseudo-terminal is closed.
void openPseudoTerminal(SimulatedLine& line, std::string_view owner);

// Bytes written to the master side that the tool has not read yet.
std::size_t unreadByTool(const SimulatedLine& line);

// The rate set on the line (0 when it is none of the usual rates) and the bits a byte takes on the wire
// (start bit, data bits, parity bit, stop bits).
struct LineRate {
    int baud = 0;
    int bitsPerByte = 10;
};
LineRate lineRate(const SimulatedLine& line);

// Makes linkPath a symbolic link to target, replacing an earlier link there in one step. Throws
// std::runtime_error when something other than a symbolic link is in the way or the link cannot be made.
void publishLink(const std::string& linkPath, const std::string& target);
// Removes linkPath if it is still a symbolic link to target.
void removeLink(const std::string& linkPath, const std::string& target);

}  // namespace hlx::tools
