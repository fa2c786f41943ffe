#pragma once
// The ISP reply reader: waits for the LPC boot loader's answer to one command and says how it went.
//
// What is awaited (IspReplyKind), tested on the answer bytes held after the echo:
//   kind              satisfied when                                   result
//   ReturnCode        3 or more bytes                                  the first byte "0": success, else
//   failure OkOrResend        4 or more bytes beginning "OK",                  "OK": success
//                     or 8 or more beginning "RESEND"                  "RESEND": failure
//   Synchronisation   14 or more bytes beginning "Synchr"              success
//   Drain             nothing is awaited: what has arrived is shown in the output window
//
// While echo is on, the boot loader sends each command back before it answers, in one of two forms:
//   line form        "U 23130\r\n" "0\r\n"        the line after its end
//   character form   "U 23130\r" "0\r\n" "\n"     each character as it arrives; the command runs at its
//                                                 CR, so its LF comes back after the answer
// So the echo is skipped by matching it, never by counting bytes: the expected text, then CR or LF, and an
// LF that follows a CR at once. Line ends before the echo or before the answer (the late LF of the
// character form) are skipped. The first byte that does not continue the expected echo ends the echo
// test: the loader did not echo, and everything from there on is answer. An answer is never taken for
// echo, because no answer begins with the first character of an echo text (commands begin with a letter
// or the crystal frequency, answers with a digit, "OK", "RESEND" or "Synchronized").
//
// At most 128 answer bytes are held; further bytes are dropped, and the deadline ends the wait. The boot
// loader sends no XON or XOFF; should one arrive, it holds or releases the link's writes as for the
// monitor and is no part of the answer.
//
// Threads: as serial::Link, one caller at a time.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "serial/link.h"

namespace hlx::firmware {

enum class IspReplyKind { Drain = 0, ReturnCode = 1, OkOrResend = 2, Synchronisation = 3 };

enum class IspVerdict { Pending, Success, Failure };

// The reader's logic without the port: fed one byte at a time.
class IspReplyParser {
public:
    static constexpr std::size_t kCapacity = 128;

    // kind must not be Drain. An empty echo: the answer comes at once.
    IspReplyParser(std::string_view echo, IspReplyKind kind);

    IspVerdict feed(std::uint8_t byte);
    // The answer bytes held so far (echo and skipped line ends not included).
    std::string_view held() const { return {reinterpret_cast<const char*>(m_held.data()), m_count}; }

private:
    enum class State { Echo, EchoCr, Answer };

    IspVerdict answerByte(std::uint8_t byte);
    IspVerdict test() const;

    std::string m_echo;
    IspReplyKind m_kind;
    State m_state;
    std::size_t m_echoPos = 0;
    std::array<std::uint8_t, kCapacity> m_held{};
    std::size_t m_count = 0;
};

enum class IspReplyStatus {
    Success,
    Failure,     // a return code other than 0, or "RESEND"
    TimedOut,    // the reply deadline passed first
    PortClosed,  // the port is not open, or went away while waiting
    Stopped,     // the link's stop token was triggered
};

// Takes one received byte without waiting: bytes a sender has read ahead (link.flow.early) first, then the
// port. XON and XOFF are flow control: they update the link's flow state and are not handed on. False
// when nothing (else) has arrived.
bool readIspByte(serial::Link& link, std::uint8_t& byte);

// Waits until the reply is complete or the link's reply deadline passes (the caller arms it), reading one
// byte per read so that nothing after the answer is taken from the port; sleeps on the port in between.
// Drain reads what has already been received (up to the first read that finds nothing, at most
// serial::kReadNowLimit bytes), shows it with appendText and refresh, and returns Success (also on a port
// that is not open). With answer, the answer bytes held when the reply was complete are stored there (a
// return code other than 0 can then be named).
IspReplyStatus readIspReply(serial::Link& link, std::string_view echo, IspReplyKind kind,
                            std::string* answer = nullptr);

}  // namespace hlx::firmware
