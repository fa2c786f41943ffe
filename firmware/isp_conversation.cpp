#include "firmware/isp_conversation.h"

#include "firmware/download_common.h"
#include "firmware/uu_encode.h"
#include "output/job_result.h"

namespace hlx::firmware {

namespace result = output::result;

IspConversation::IspConversation(serial::Link& link, std::int32_t& word, IspJobState& state)
    : m_link(link), m_word(word), m_state(state) {}

serial::Milliseconds IspConversation::wireTime(std::int64_t bytes) const {
    const std::int64_t baud = m_state.baud > 0 ? m_state.baud : 115200;
    return serial::Milliseconds((bytes * 10 * 1000 + baud - 1) / baud);
}

void IspConversation::armForAnswer(serial::Milliseconds own, std::int64_t answerBytes) {
    arm(own + wireTime(m_state.unanswered + answerBytes));
}

bool IspConversation::writeFailed() {
    m_word |= serial::writeFailure(m_link);
    return false;
}

bool IspConversation::sendLine(std::string_view text) {
    m_state.unanswered += static_cast<std::int64_t>(text.size()) + 2;
    return serial::sendLine(m_link, text) || writeFailed();
}

void IspConversation::sendUnchecked(std::string_view text) {
    m_state.unanswered += static_cast<std::int64_t>(text.size()) + 2;
    serial::sendLine(m_link, text);
}

bool IspConversation::sendByte(std::uint8_t byte) {
    ++m_state.unanswered;
    return serial::writeBytes(m_link, {&byte, 1}) || writeFailed();
}

bool IspConversation::sendUuLine(std::span<const std::uint8_t> area, std::size_t count,
                                 std::int32_t& checksum) {
    const UuLine line = encodeUuLine(area, count);
    checksum += uuChecksum(area.first(std::min(count, area.size())));
    m_state.unanswered += static_cast<std::int64_t>(line.bytes().size());
    if (!serial::writeBytes(m_link, line.bytes())) return writeFailed();
    ++m_state.dataLinesSent;
    m_state.dataBytesSent += static_cast<std::int64_t>(line.bytes().size());
    return true;
}

IspReplyStatus IspConversation::await(std::string_view echo, IspReplyKind kind) {
    std::string answer;
    const IspReplyStatus status = awaitAnswer(echo, kind, answer);
    if (status == IspReplyStatus::Failure) m_word |= result::kErrorByte;
    return status;
}

IspReplyStatus IspConversation::awaitAnswer(std::string_view echo, IspReplyKind kind, std::string& answer) {
    const IspReplyStatus status = readIspReply(m_link, echo, kind, &answer);
    // An answer has come: what was written before it has crossed the wire.
    if (status == IspReplyStatus::Success || status == IspReplyStatus::Failure) m_state.unanswered = 0;
    switch (status) {
        case IspReplyStatus::Failure:
            break;
        case IspReplyStatus::TimedOut:
            m_word |= result::kTimeout;
            break;
        case IspReplyStatus::PortClosed:
            if (m_state.portWasOpen) m_word |= result::kTimeout;
            break;
        case IspReplyStatus::Success:
        case IspReplyStatus::Stopped:
            break;
    }
    return status;
}

bool IspConversation::readLine(std::string& line) {
    constexpr std::size_t kLongest = 128;
    line.clear();
    bool overlong = false;
    for (;;) {
        if (stopped()) return false;
        if (!m_link.port.isOpen() && m_link.flow.early.empty()) {
            if (m_state.portWasOpen) m_word |= result::kTimeout;
            return false;
        }
        if (m_link.replyDeadline.expired()) {
            m_word |= result::kTimeout;
            return false;
        }
        std::uint8_t byte = 0;
        if (readIspByte(m_link, byte)) {
            if (byte == '\r' || byte == '\n') {
                if (line.empty() && !overlong) continue;
                if (overlong) m_word |= result::kErrorByte;
                m_state.unanswered = 0;
                return !overlong;
            }
            if (line.size() < kLongest)
                line += static_cast<char>(byte);
            else
                overlong = true;
            continue;
        }
        if (m_link.port.isOpen()) m_link.port.waitReadable(m_link.replyDeadline.remaining());
    }
}

}  // namespace hlx::firmware
