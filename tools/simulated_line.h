#pragma once
// SimulatedLine: the pseudo-terminal a simulated device answers on. The tool opens slavePath like a serial
// port; the simulator reads and writes the master side (non-blocking). The slave side is kept open here,
// raw, so the master never sees a hang-up while the tool closes and re-opens the port, and the line
// settings the tool applies can be read from it. wakeFd is an eventfd that ends the simulator's poll.
//
// openSimulatedLine throws std::runtime_error naming the owner and the failing step; closeSimulatedLine
// closes what is open. Threads: opened and closed by the simulator's owner.

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

}  // namespace hlx::tools
