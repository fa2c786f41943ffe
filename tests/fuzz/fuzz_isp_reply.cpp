// Boot loader answers: arbitrary bytes through the ISP reply parser (every reply kind, with and without an
// expected echo), and through the port-level reader, the line reader, the read-back of UU data, the
// numbers after a return code and the part check, with the bytes arriving in chunks of arbitrary size. The
// device reports itself gone once the input is used up, so every call ends.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "firmware/isp_conversation.h"
#include "firmware/isp_reply.h"
#include "firmware/isp_session.h"
#include "firmware/isp_verify.h"
#include "firmware/uu_encode.h"
#include "output/output_log.h"
#include "serial/link.h"
#include "serial/serial_port.h"
#include "tests/support/fuzz_device.h"
#include "tests/support/null_output_window.h"

namespace {

using namespace hlx;

constexpr const char* kEchoes[] = {"",       "Synchronized", "25000", "U 23130",
                                   "P 0 27", "E 0 27",       "A 0",   "G 0 A"};
constexpr firmware::IspReplyKind kKinds[] = {firmware::IspReplyKind::ReturnCode,
                                             firmware::IspReplyKind::OkOrResend,
                                             firmware::IspReplyKind::Synchronisation};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t selector = data[0];
    ++data;
    --size;
    const char* echo = kEchoes[selector % std::size(kEchoes)];
    const firmware::IspReplyKind kind = kKinds[(selector >> 3) % std::size(kKinds)];

    firmware::IspReplyParser parser(echo, kind);
    for (std::size_t i = 0; i < size; ++i) {
        const firmware::IspVerdict verdict = parser.feed(data[i]);
        if (parser.held().size() > firmware::IspReplyParser::kCapacity) __builtin_trap();
        if (verdict != firmware::IspVerdict::Pending) break;
    }

    std::array<std::uint8_t, firmware::kUuMaxBytes> decoded{};
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto n = firmware::decodeUuLine(text.substr(0, 80), decoded); n && *n > firmware::kUuMaxBytes)
        __builtin_trap();

    serial::SerialPort port(std::make_unique<test::FuzzDevice>(data, size));
    port.open("scripted", 2, true);
    serial::Deadline deadline;
    test::NullOutputWindow window;
    output::OutputLog log(window);
    serial::Link link{port, deadline, log, {}};
    std::int32_t word = 0;
    firmware::IspJobState state{.portWasOpen = true};
    firmware::IspConversation isp(link, word, state);
    deadline.arm(std::chrono::milliseconds{1000});
    switch (selector >> 6) {
        case 0:
            while (port.isOpen() && isp.await(echo, kind) != firmware::IspReplyStatus::PortClosed) {
            }
            break;
        case 1: {
            std::string line;
            while (port.isOpen()) isp.readLine(line);
            break;
        }
        case 2: {
            std::array<std::uint8_t, 1000> out{};
            firmware::readBack(isp, 0, out);
            break;
        }
        default:
            // The numbers after a return code ("J", "K", "N") and the part check built on them.
            if (selector & 1) {
                firmware::queryNumbers(isp, "N", 4, (selector & 2) != 0);
            } else if (selector & 2) {
                firmware::checkPart(isp, 0x1000, (selector & 4) != 0);
            } else {
                firmware::readIspReply(link, "", firmware::IspReplyKind::Drain);
            }
            break;
    }
    return 0;
}
