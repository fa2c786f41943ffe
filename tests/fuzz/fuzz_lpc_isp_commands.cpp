// The simulated boot loader's command handler: arbitrary bytes from a host, in either echo form, against
// the part's memory. Whatever arrives, it answers without crashing, every answer stays within what one
// command can produce (a read group is 20 lines of 45 bytes), and it keeps no more than it was given.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>

#include "tools/lpc_isp_commands.h"
#include "tools/lpc_isp_memory.h"

namespace {

using namespace hlx::tools;

constexpr std::size_t kLargestAnswer = 2000;

class CountingWire : public IspWire {
public:
    void send(std::string bytes, SimClock::time_point) override {
        if (bytes.size() > kLargestAnswer) __builtin_trap();
    }
    void rateMeasured() override {}
    void rateChanged(int baud, int stopBits) override {
        if (baud < 9600 || baud > 230400 || (stopBits != 1 && stopBits != 2)) __builtin_trap();
    }
    void rateForgotten() override {}
    void hangUp() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    LpcIspConfig config;
    config.echo = (data[0] & 1) ? IspEcho::Character : IspEcho::Line;
    config.readZero = (data[0] & 2) ? ' ' : '`';
    static const LpcIspMemory pristine(config.oldFirmware);  // built once, copied for every input
    LpcIspMemory memory = pristine;
    CountingWire wire;
    LpcIspCommands commands(config, memory, wire);
    const auto now = SimClock::now();
    for (std::size_t i = 1; i < size; ++i) commands.handleByte(data[i], now);
    if (commands.received().size() != size - 1 || commands.lines().size() > size) __builtin_trap();
    if (memory.flash().size() != kSimFlashSize) __builtin_trap();
    return 0;
}
