#include "firmware/isp_reply.h"

#include "base/text_codec.h"

namespace hlx::firmware {
namespace {

bool isLineEnd(std::uint8_t b) {
    return b == '\r' || b == '\n';
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

IspReplyParser::IspReplyParser(std::string_view echo, IspReplyKind kind)
    : m_echo(echo), m_kind(kind), m_state(echo.empty() ? State::Answer : State::Echo) {}

IspVerdict IspReplyParser::feed(std::uint8_t byte) {
    switch (m_state) {
        case State::Echo:
            if (m_echoPos == 0 && isLineEnd(byte)) return IspVerdict::Pending;
            if (m_echoPos < m_echo.size() && byte == static_cast<std::uint8_t>(m_echo[m_echoPos])) {
                ++m_echoPos;
                return IspVerdict::Pending;
            }
            if (m_echoPos == m_echo.size() && isLineEnd(byte)) {
                m_state = byte == '\r' ? State::EchoCr : State::Answer;
                return IspVerdict::Pending;
            }
            // Not the echo: what was taken for its start belongs to the answer.
            m_state = State::Answer;
            for (std::size_t i = 0; i < m_echoPos; ++i) answerByte(static_cast<std::uint8_t>(m_echo[i]));
            return answerByte(byte);
        case State::EchoCr:
            m_state = State::Answer;
            if (byte == '\n') return IspVerdict::Pending;
            return answerByte(byte);
        case State::Answer:
            return answerByte(byte);
    }
    return IspVerdict::Pending;
}

IspVerdict IspReplyParser::answerByte(std::uint8_t byte) {
    if (m_count == 0 && isLineEnd(byte)) return IspVerdict::Pending;
    if (m_count == m_held.size()) return IspVerdict::Pending;  // full: dropped, the deadline ends the wait
    m_held[m_count++] = byte;
    return test();
}

IspVerdict IspReplyParser::test() const {
    const std::string_view answer = held();
    switch (m_kind) {
        case IspReplyKind::ReturnCode:
            if (answer.size() >= 3) return answer[0] == '0' ? IspVerdict::Success : IspVerdict::Failure;
            break;
        case IspReplyKind::OkOrResend:
            if (answer.size() >= 4 && startsWith(answer, "OK")) return IspVerdict::Success;
            if (answer.size() >= 8 && startsWith(answer, "RESEND")) return IspVerdict::Failure;
            break;
        case IspReplyKind::Synchronisation:
            if (answer.size() >= 14 && startsWith(answer, "Synchr")) return IspVerdict::Success;
            break;
        case IspReplyKind::Drain:
            break;
    }
    return IspVerdict::Pending;
}

bool readIspByte(serial::Link& link, std::uint8_t& byte) {
    for (;;) {
        serial::FlowState& flow = link.flow;
        if (!flow.early.empty()) {
            byte = static_cast<std::uint8_t>(flow.early.front());
            flow.early.erase(0, 1);
            if (flow.scanned > 0) --flow.scanned;  // its XON or XOFF, if any, has been taken into account
            if (byte == serial::kXon || byte == serial::kXoff) continue;
            return true;
        }
        if (link.port.read({&byte, 1}) != 1) return false;
        if (byte == serial::kXoff) {
            flow.held = true;
        } else if (byte == serial::kXon) {
            flow.held = false;
        } else {
            return true;
        }
    }
}

IspReplyStatus readIspReply(serial::Link& link, std::string_view echo, IspReplyKind kind,
                            std::string* answer) {
    if (kind == IspReplyKind::Drain) {
        // One pass: up to the first read that finds nothing, bounded, so a talkative target cannot hold the
        // job's end.
        std::string shown;
        if (link.port.isOpen() || !link.flow.early.empty()) serial::readNow(link, shown);
        if (!shown.empty() && !link.stop.stop_requested()) {
            link.log.appendText(base::windows1252ToUtf8(shown));
            link.log.refresh();
        }
        return IspReplyStatus::Success;
    }

    IspReplyParser parser(echo, kind);
    for (;;) {
        if (link.stop.stop_requested()) return IspReplyStatus::Stopped;
        if (!link.port.isOpen() && link.flow.early.empty()) return IspReplyStatus::PortClosed;
        if (link.replyDeadline.expired()) return IspReplyStatus::TimedOut;
        std::uint8_t byte = 0;
        if (readIspByte(link, byte)) {
            const IspVerdict verdict = parser.feed(byte);
            if (verdict == IspVerdict::Pending) continue;
            if (answer) answer->assign(parser.held());
            return verdict == IspVerdict::Success ? IspReplyStatus::Success : IspReplyStatus::Failure;
        }
        // A read on a port that has just gone closes it; the next pass says so instead of sleeping.
        if (link.port.isOpen()) link.port.waitReadable(link.replyDeadline.remaining());
    }
}

}  // namespace hlx::firmware
