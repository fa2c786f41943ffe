// Monitor replies: arbitrary bytes, in chunks of arbitrary size, through the reply reader and the
// terminal reader. The device reports itself gone once the input is used up, so every call ends.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "base/text_codec.h"
#include "output/output_log.h"
#include "serial/link.h"
#include "serial/serial_port.h"
#include "tests/support/fuzz_device.h"
#include "tests/support/null_output_window.h"

namespace {

using namespace hlx;

// Keeps what is appended (up to 1 MiB) and insists that it is valid text.
class CheckingWindow : public test::NullOutputWindow {
public:
    void append(std::string_view t) override {
        if (!base::isValidUtf8(t)) __builtin_trap();  // the window must only ever get valid text
        if (m_text.size() < 1 << 20) m_text.append(t);
    }

private:
    std::string m_text;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    for (int mode = 0; mode < 2; ++mode) {
        serial::SerialPort port(std::make_unique<test::FuzzDevice>(data, size));
        port.open("scripted", 0, true);
        serial::Deadline deadline;
        CheckingWindow window;
        output::OutputLog log(window);
        serial::Link link{port, deadline, log, {}};
        deadline.arm(std::chrono::milliseconds{1000});
        if (mode == 0) {
            int lines = 0;
            while (port.isOpen()) serial::readReply(link, serial::ReplyMode::Lines, 3, lines);
        } else {
            std::string received;
            serial::readAvailable(link, received);
            if (!base::isValidUtf8(received)) __builtin_trap();
        }
    }
    return 0;
}
