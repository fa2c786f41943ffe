#pragma once
// What the two senders record for a write that did not go out whole. On a port that never opened nothing
// is recorded: the reply wait that follows finds no answer and reports the time-out, as it does for every
// line sent there. A write refused while the monitor held the flow with XOFF past the reply deadline is
// 0x20, any other failure (the port took fewer bytes, or went away) 0x10, as for the downloads.

#include <cstdint>

#include "serial/link.h"

namespace hlx::terminal {

inline std::int32_t failedWriteBit(const serial::Link& link) {
    if (!link.port.isOpen() && !link.port.state().lost()) return 0;
    return serial::writeFailure(link);
}

}  // namespace hlx::terminal
