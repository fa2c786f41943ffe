#include "serial/link.h"

#include <array>
#include <condition_variable>
#include <mutex>

#include "base/text_codec.h"

namespace hlx::serial {
namespace {

struct NamedCode {
    std::uint8_t byte;
    std::string_view name;
};

constexpr std::array<NamedCode, 9> kReplyCodes{{
    {0x0E, "ERR_NACK"},
    {0xFE, "ERR_COLLISION"},
    {0xFD, "ERR_TIMEOUT"},
    {0xFC, "ERR_UNKNOWN"},
    {0xFB, "ERR_WRONGLINEFORMAT"},
    {0xFA, "ERR_WRONGCRC"},
    {0xF9, "ERR_FLASHWRITE"},
    {0xF8, "ERR_FRAMING"},
    {0xF7, "ERR_TOMANYBYTES"},
}};

bool shownInReply(std::uint8_t b) { return b == 0x0D || b == 0x0A || (b >= 0x20 && b != 0xFF); }

// Sleeps on the port until something is readable or the deadline has passed. Returns false when the
// caller should stop waiting altogether (stop requested).
bool waitOnPort(Link& link, const Deadline& deadline) {
    if (link.stop.stop_requested()) return false;
    const Milliseconds left = deadline.remaining();
    if (left.count() > 0) link.port.waitReadable(left);
    return !link.stop.stop_requested();
}

}  // namespace

std::optional<std::string_view> replyCodeName(std::uint8_t byte) {
    for (const NamedCode& code : kReplyCodes)
        if (code.byte == byte) return code.name;
    return std::nullopt;
}

bool isErrorByte(std::uint8_t byte) { return byte == 0x0E || (byte >= 0xF0 && byte <= 0xFE); }

bool sleepFor(Milliseconds duration, const std::stop_token& stop) {
    std::mutex mutex;
    std::condition_variable_any cv;
    std::unique_lock lock(mutex);
    return !cv.wait_for(lock, stop, duration, [] { return false; });
}

bool readReply(Link& link, ReplyMode mode, int maxLines, int& linesSeen) {
    std::array<std::uint8_t, kReadChunk> chunk;
    if (mode == ReplyMode::Drain) {
        if (!link.port.isOpen()) return true;
        while (link.port.isOpen() && link.port.read(chunk) > 0) {
        }
        return true;
    }

    if (mode == ReplyMode::FlowWait && !sleepFor(kFlowPause, link.stop)) return true;

    std::string reply;  // raw bytes and ASCII names
    bool xoff = false;
    bool error = false;
    int lines = 0;
    while (link.port.isOpen() && lines < maxLines && !error && !link.stop.stop_requested() &&
           !link.replyDeadline.expired()) {
        const std::size_t n = link.port.read(chunk);
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint8_t b = chunk[i];
            if (shownInReply(b)) reply += static_cast<char>(b);
            if (b == kXoff) {
                xoff = true;
            } else if (b == kXon) {
                xoff = false;
                link.replyDeadline.arm(kLineRearm);
            } else if (isErrorByte(b)) {
                error = true;
            } else if (b == kEtx || b == 0x0A) {
                ++lines;
                link.replyDeadline.arm(kLineRearm);
            }
            if (auto name = replyCodeName(b)) reply += *name;
        }
        if (mode == ReplyMode::FlowWait) {
            if (!xoff) ++lines;
        } else if (n == 0 && lines < maxLines && !error) {
            if (!waitOnPort(link, link.replyDeadline)) break;
        }
        if (mode == ReplyMode::FlowWait && xoff && n == 0 && !error) {
            if (!waitOnPort(link, link.replyDeadline)) break;
        }
    }
    if (!reply.empty() && !link.stop.stop_requested()) {
        link.log.appendText(base::windows1252ToUtf8(reply));
        link.log.refresh();
    }
    linesSeen = lines;
    return !error;
}

bool sendLine(Link& link, std::string_view textUtf8) {
    if (!link.port.isOpen()) return false;
    std::string bytes = base::to8Bit(textUtf8);
    bytes += "\r\n";
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    return link.port.write({data, bytes.size()}) == bytes.size();
}

bool writeBytes(Link& link, std::span<const std::uint8_t> bytes) {
    if (!link.port.isOpen()) return false;
    return link.port.write(bytes) == bytes.size();
}

bool readAvailable(Link& link, std::string& text, std::optional<Milliseconds> cap) {
    text.clear();
    if (!link.port.isOpen()) return false;
    std::array<std::uint8_t, kReadChunk> chunk;
    std::string raw;
    const auto capEnd = cap ? Clock::now() + *cap : Clock::time_point::max();
    for (;;) {
        if (link.stop.stop_requested()) break;
        const std::size_t n = link.port.read(chunk);
        if (n > 0) {
            raw.append(reinterpret_cast<const char*>(chunk.data()), n);
            link.replyDeadline.arm(kTerminalQuiet);
            if (Clock::now() >= capEnd) break;
            continue;
        }
        if (link.replyDeadline.expired() || !link.port.isOpen()) break;
        Deadline wait = link.replyDeadline;
        if (cap && capEnd < wait.at()) wait.armAt(Clock::now(), std::chrono::ceil<Milliseconds>(capEnd - Clock::now()));
        if (!waitOnPort(link, wait)) break;
        if (Clock::now() >= capEnd) break;
    }
    text = base::windows1252ToUtf8(raw);
    return !raw.empty();
}

}  // namespace hlx::serial
