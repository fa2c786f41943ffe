#include "serial/link.h"

#include <algorithm>
#include <array>

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

bool shownInReply(std::uint8_t b) {
    return b == 0x0D || b == 0x0A || (b >= 0x20 && b != 0xFF);
}

// Sleeps on the port until something is readable or the deadline has passed. Returns false when the
// caller should stop waiting altogether (stop requested).
bool waitOnPort(Link& link, const Deadline& deadline) {
    if (link.stop.stop_requested()) return false;
    const Milliseconds left = deadline.remaining();
    if (left.count() > 0) link.port.waitReadable(left);
    return !link.stop.stop_requested();
}

// Notes XON and XOFF in bytes as they come off the port, whoever reads them.
void noteFlow(Link& link, std::string_view bytes) {
    for (const char c : bytes) {
        const auto b = static_cast<std::uint8_t>(c);
        if (b == kXoff) {
            link.flow.held = true;
        } else if (b == kXon) {
            link.flow.held = false;
            link.replyDeadline.arm(kLineRearm);
        }
    }
}

// XON and XOFF in bytes that a reader has not handled yet.
void scanForFlow(Link& link) {
    FlowState& flow = link.flow;
    noteFlow(link, std::string_view(flow.early).substr(flow.scanned));
    flow.scanned = flow.early.size();
}

// Reads what has arrived (never waits) and keeps it for the next reader.
void readAhead(Link& link) {
    std::array<std::uint8_t, kReadChunk> chunk;
    const std::size_t n = link.port.read(chunk);
    link.flow.early.append(reinterpret_cast<const char*>(chunk.data()), n);
    scanForFlow(link);
}

// Hands the bytes read ahead to a reader, once.
std::string takeEarly(Link& link) {
    std::string early = std::move(link.flow.early);
    link.flow.early.clear();
    link.flow.scanned = 0;
    return early;
}

// Before a write: what was written before has left the driver, and the monitor does not hold the flow.
// False when the flow stays held until the reply deadline (or the port goes, or the job is stopped).
bool readyToWrite(Link& link) {
    link.port.waitWritten(std::max(link.replyDeadline.remaining(), kWriteLimit));
    readAhead(link);
    while (link.flow.held) {
        if (!link.port.isOpen() || link.replyDeadline.expired()) return false;
        if (!waitOnPort(link, link.replyDeadline)) return false;
        readAhead(link);
    }
    return link.port.isOpen();
}

// One chunk through the reply rules. Returns nothing; updates the reader's state.
struct ReplyReader {
    Link& link;
    std::string reply;  // raw bytes and ASCII names
    bool xoff;
    bool error = false;
    int lines = 0;

    void handle(const std::uint8_t* data, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint8_t b = data[i];
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
    }
};

}  // namespace

std::optional<std::string_view> replyCodeName(std::uint8_t byte) {
    for (const NamedCode& code : kReplyCodes)
        if (code.byte == byte) return code.name;
    return std::nullopt;
}

bool isErrorByte(std::uint8_t byte) {
    return byte == 0x0E || (byte >= 0xF0 && byte <= 0xFE);
}

bool readReply(Link& link, ReplyMode mode, int maxLines, int& linesSeen) {
    std::array<std::uint8_t, kReadChunk> chunk;
    if (mode == ReplyMode::Drain) {
        if (!link.port.isOpen()) return true;
        takeEarly(link);  // already looked at for XON/XOFF
        for (;;) {
            const std::size_t n = link.port.read(chunk);
            if (n == 0) break;
            for (std::size_t i = 0; i < n; ++i) {
                if (chunk[i] == kXoff) link.flow.held = true;
                if (chunk[i] == kXon) link.flow.held = false;
            }
        }
        return true;
    }

    if (mode == ReplyMode::FlowWait && !link.replyDeadline.clock().sleepFor(kFlowPause, link.stop))
        return true;

    ReplyReader reader{link, {}, link.flow.held};
    while (link.port.isOpen() && reader.lines < maxLines && !reader.error && !link.stop.stop_requested() &&
           !link.replyDeadline.expired()) {
        if (!link.flow.early.empty()) {
            const std::string early = takeEarly(link);
            reader.handle(reinterpret_cast<const std::uint8_t*>(early.data()), early.size());
        }
        const std::size_t n = link.port.read(chunk);
        reader.handle(chunk.data(), n);
        if (mode == ReplyMode::FlowWait) {
            if (!reader.xoff) {
                ++reader.lines;
            } else if (n == 0 && !reader.error) {
                if (!waitOnPort(link, link.replyDeadline)) break;
            }
        } else if (n == 0 && reader.lines < maxLines && !reader.error) {
            if (!waitOnPort(link, link.replyDeadline)) break;
        }
    }
    link.flow.held = reader.xoff;
    // A port that is gone (or was never open) delivers no reply: the caller's time-out check reports it.
    if (!link.port.isOpen() && reader.lines < maxLines && !reader.error) link.replyDeadline.expireNow();
    if (!reader.reply.empty() && !link.stop.stop_requested()) {
        link.log.appendText(base::windows1252ToUtf8(reader.reply));
        link.log.refresh();
    }
    linesSeen = reader.lines;
    return !reader.error;
}

bool sendLine(Link& link, std::string_view textUtf8) {
    if (!link.port.isOpen() || !readyToWrite(link)) return false;
    std::string bytes = base::to8Bit(textUtf8);
    bytes += "\r\n";
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    return link.port.write({data, bytes.size()}) == bytes.size();
}

bool writeBytes(Link& link, std::span<const std::uint8_t> bytes) {
    if (!link.port.isOpen() || !readyToWrite(link)) return false;
    return link.port.write(bytes) == bytes.size();
}

bool readAvailable(Link& link, std::string& text, std::optional<Milliseconds> cap) {
    text.clear();
    if (!link.port.isOpen()) return false;
    const base::Clock& clock = link.replyDeadline.clock();
    std::array<std::uint8_t, kReadChunk> chunk;
    std::string raw = takeEarly(link);
    if (!raw.empty()) link.replyDeadline.arm(kTerminalQuiet);
    const auto capEnd = cap ? clock.now() + *cap : TimePoint::max();
    for (;;) {
        if (link.stop.stop_requested()) break;
        const std::size_t n = link.port.read(chunk);
        if (n > 0) {
            raw.append(reinterpret_cast<const char*>(chunk.data()), n);
            link.replyDeadline.arm(kTerminalQuiet);
            if (clock.now() >= capEnd) break;
            continue;
        }
        if (link.replyDeadline.expired() || !link.port.isOpen()) break;
        Deadline wait = link.replyDeadline;
        if (cap && capEnd < wait.at())
            wait.armAt(clock.now(), std::chrono::ceil<Milliseconds>(capEnd - clock.now()));
        if (!waitOnPort(link, wait)) break;
        if (clock.now() >= capEnd) break;
    }
    text = base::windows1252ToUtf8(raw);
    return !raw.empty();
}

std::size_t readNow(Link& link, std::string& raw) {
    auto keepText = [&raw](std::string_view bytes) {
        for (const char c : bytes)
            if (c != static_cast<char>(kXon) && c != static_cast<char>(kXoff)) raw += c;
    };
    const std::string early = takeEarly(link);  // its XON and XOFF are noted already
    keepText(early);
    std::size_t got = early.size();
    std::array<std::uint8_t, kReadChunk> chunk;
    while (link.port.isOpen()) {
        const std::size_t n = link.port.read(chunk);
        if (n == 0) break;
        const std::string_view bytes(reinterpret_cast<const char*>(chunk.data()), n);
        noteFlow(link, bytes);
        keepText(bytes);
        got += n;
        if (got >= kReadNowLimit) break;
    }
    return got;
}

SendOutcome sendLineNow(Link& link, std::string_view textUtf8) {
    if (!link.port.isOpen()) return SendOutcome::NotOpen;
    readAhead(link);  // an XOFF or XON that has arrived counts before the line goes
    if (link.flow.held) return SendOutcome::FlowHeld;
    std::string bytes = base::to8Bit(textUtf8);
    bytes += "\r\n";
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    return link.port.write({data, bytes.size()}) == bytes.size() ? SendOutcome::Sent
                                                                 : SendOutcome::NotWritten;
}

}  // namespace hlx::serial
