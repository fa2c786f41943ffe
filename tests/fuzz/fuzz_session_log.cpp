// The session log's line splitter: whatever the monitor sends, in pieces of any size, between lines sent
// and notes of any text, onto a disk that takes any number of bytes per write and may run full. The log
// must hold exactly the lines a plain model of the format gives (every byte that is no line end or
// dropped control character comes out, in order, once, in a line of its own), each line whole, in valid
// UTF-8, with times that never go back; after a full disk a whole-line prefix of them and nothing more.
//
// Input: a flags byte (timestamps; the most a write takes, 1 to 64 bytes or all; a disk that can run full),
// the disk's size in 16-byte units when it can run full, then steps: a byte whose value picks the call
// (received, sent, note) and the length of its text, followed by that text.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/file_system.h"
#include "base/text_codec.h"
#include "output/session_log.h"

namespace {

using namespace hlx;

// A file in memory: takes at most `perWrite` bytes a call, and nothing beyond `capacity` (a full disk).
class MemoryFile : public base::WritableFile {
public:
    MemoryFile(std::string& bytes, std::size_t perWrite, std::size_t capacity)
        : m_bytes(bytes), m_perWrite(perWrite), m_capacity(capacity) {}
    base::Status setPermissions(std::uint32_t) override { return {}; }
    base::Status write(std::string_view bytes, std::size_t& written) override {
        written = 0;
        if (m_closed) std::abort();  // written after its close
        const std::size_t room = m_capacity - m_bytes.size();
        if (room == 0) return base::Status::error(base::StatusCode::NoSpace, "No space left on device");
        written = std::min({bytes.size(), m_perWrite, room});
        m_bytes.append(bytes.substr(0, written));
        return {};
    }
    base::Status sync() override { return {}; }
    base::Status close() override {
        if (m_closed) std::abort();  // closed twice
        m_closed = true;
        return {};
    }
    base::Status size(std::int64_t& size) override {
        size = static_cast<std::int64_t>(m_bytes.size());
        return {};
    }
    base::Status truncate(std::int64_t size) override {
        if (size < 0 || static_cast<std::size_t>(size) > m_bytes.size()) std::abort();
        m_bytes.resize(static_cast<std::size_t>(size));
        return {};
    }

private:
    std::string& m_bytes;
    std::size_t m_perWrite;
    std::size_t m_capacity;
    bool m_closed = false;
};

// A file system of that one file; anything else is refused.
class MemoryFileSystem : public base::FileSystem {
public:
    MemoryFileSystem(std::size_t perWrite, std::size_t capacity)
        : m_perWrite(perWrite), m_capacity(capacity) {}
    const std::string& bytes() const { return m_bytes; }

    base::Status openForAppend(const std::string&, std::uint32_t,
                               std::unique_ptr<base::WritableFile>& file) override {
        file = std::make_unique<MemoryFile>(m_bytes, m_perWrite, m_capacity);
        return {};
    }
    base::Status openForReading(const std::string&, std::unique_ptr<base::ReadableFile>&) override {
        return no();
    }
    base::Status createNew(const std::string&, std::uint32_t, std::unique_ptr<base::WritableFile>&) override {
        return no();
    }
    base::Status info(const std::string&, base::FileInfo&) override { return no(); }
    base::Status entryInfo(const std::string&, base::FileInfo&) override { return no(); }
    std::string resolveLink(const std::string& path) override { return path; }
    base::Status rename(const std::string&, const std::string&) override { return no(); }
    base::Status remove(const std::string&) override { return no(); }
    base::Status syncFolder(const std::string&) override { return no(); }
    base::Status listFolder(const std::string&, std::vector<std::string>&) override { return no(); }
    base::Status createFolder(const std::string&, std::uint32_t) override { return no(); }

private:
    static base::Status no() { return base::Status::error("not in this file system"); }
    std::string m_bytes;
    std::size_t m_perWrite;
    std::size_t m_capacity;
};

// The format, plainly: the lines the log must hold, without their times.
class Model {
public:
    void received(std::string_view bytes) {
        for (const char c : bytes) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte == '\n' || byte == 0x03) {
                lines.push_back("< " + base::windows1252ToUtf8(m_partial));
                m_partial.clear();
            } else if (byte >= 0x20 || byte == '\t') {
                m_partial += c;
            }
        }
    }
    void line(char mark, std::string_view text) {
        endPartial();
        std::string clean;
        for (const char c : base::toValidUtf8(text))
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') clean += c;
        lines.push_back(std::string(1, mark) + " " + clean);
    }
    void endPartial() {
        if (!m_partial.empty()) lines.push_back("< " + base::windows1252ToUtf8(m_partial));
        m_partial.clear();
    }

    std::vector<std::string> lines;

private:
    std::string m_partial;
};

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// "2026-12-11T09:15:02.347 " at the start of line; the time without the space.
bool takeTime(std::string_view& line, std::string& time) {
    constexpr std::string_view kPattern = "dddd-dd-ddTdd:dd:dd.ddd ";
    if (line.size() < kPattern.size()) return false;
    for (std::size_t i = 0; i < kPattern.size(); ++i)
        if (kPattern[i] == 'd' ? !isDigit(line[i]) : line[i] != kPattern[i]) return false;
    time = std::string(line.substr(0, kPattern.size() - 1));
    line.remove_prefix(kPattern.size());
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const bool timestamps = (data[0] & 1) != 0;
    const int perWriteCode = (data[0] >> 1) & 7;  // 0: all at once, else 1 to 64 bytes a write
    const std::size_t perWrite = perWriteCode == 0 ? SIZE_MAX : std::size_t{1} << (perWriteCode - 1);
    const bool canRunFull = (data[0] & 0x10) != 0;
    const std::size_t capacity = canRunFull ? std::size_t{data[1]} * 16 : SIZE_MAX;
    std::string_view steps(reinterpret_cast<const char*>(data + 2), size - 2);

    MemoryFileSystem files(perWrite, capacity);
    // A clock a millisecond on at every look, from a fixed winter's day.
    auto now = std::chrono::system_clock::time_point{} + std::chrono::seconds{1796980502};
    const output::WallClock clock = [&now] {
        now += std::chrono::milliseconds{1};
        return now;
    };
    Model model;
    bool failed = false;  // the disk ran full
    {
        std::unique_ptr<output::SessionLog> log;
        const base::Status opened = output::SessionLog::open("session.log", timestamps, log, files, clock);
        if (opened.isOk() != (log != nullptr)) std::abort();
        failed = !opened.isOk();
        if (opened) {
            model.line('*', "log started");
            while (!steps.empty()) {
                const auto step = static_cast<unsigned char>(steps.front());
                steps.remove_prefix(1);
                const std::string_view text = steps.substr(0, std::min<std::size_t>(step / 3, steps.size()));
                steps.remove_prefix(text.size());
                switch (step % 3) {
                    case 0:
                        log->received(text);
                        model.received(text);
                        break;
                    case 1:
                        log->sent(text);
                        model.line('>', text);
                        break;
                    default:
                        log->note(text);
                        model.line('*', text);
                        break;
                }
            }
            const base::Status closed = log->close();
            model.line('*', "log ended");
            if (closed.isOk() != log->status().isOk()) std::abort();
            failed = !closed.isOk();
        }
    }

    // The file: whole lines only, valid UTF-8, each with its time where asked, times never going back.
    const std::string& file = files.bytes();
    if (!file.empty() && file.back() != '\n') std::abort();  // a line cut off by the full disk was kept
    if (!base::isValidUtf8(file)) std::abort();
    std::vector<std::string> lines;
    std::string lastTime;
    for (std::size_t at = 0; at < file.size();) {
        const std::size_t end = file.find('\n', at);
        std::string_view line(file.data() + at, end - at);
        at = end + 1;
        if (timestamps) {
            std::string time;
            if (!takeTime(line, time)) std::abort();
            if (time < lastTime) std::abort();
            lastTime = time;
        }
        lines.emplace_back(line);
    }
    // Exactly the model's lines, or (the disk ran full) the first of them.
    if (lines.size() > model.lines.size()) std::abort();
    if ((!canRunFull || !failed) && lines.size() != model.lines.size()) std::abort();
    if (failed && !canRunFull) std::abort();
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i] != model.lines[i]) std::abort();
    // Disk bounded by the input: each byte is at most three in UTF-8, and each line (it takes an input byte,
    // a line end or a step, apart from the notes of start and end, whose words come on top) adds its time,
    // mark, space and end.
    if (lines.size() > size + 2 || file.size() > 3 * size + 28 * lines.size() + 32) std::abort();
    return 0;
}
