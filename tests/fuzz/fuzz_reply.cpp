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
#include "tests/support/null_output_window.h"

namespace {

using namespace hlx;

class ScriptedDevice : public serial::SerialDevice {
public:
    ScriptedDevice(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    base::Status open(const std::string&) override {
        m_open = true;
        return base::Status::ok();
    }
    base::Status configure(const serial::LineSettings&) override { return base::Status::ok(); }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    serial::IoResult read(std::span<std::uint8_t> buffer) override {
        if (m_pos >= m_size) return {0, true};
        // The first byte of what is left says how large this chunk is.
        const std::size_t chunk =
            std::min<std::size_t>({buffer.size(), m_size - m_pos, std::size_t{m_data[m_pos]} % 64 + 1});
        std::memcpy(buffer.data(), m_data + m_pos, chunk);
        m_pos += chunk;
        return {chunk, false};
    }
    serial::IoResult write(std::span<const std::uint8_t> bytes, std::chrono::milliseconds) override {
        return {bytes.size(), false};
    }
    serial::WaitResult waitReadable(std::chrono::milliseconds) override {
        return m_pos < m_size ? serial::WaitResult::Readable : serial::WaitResult::Gone;
    }
    serial::WaitResult waitWritten(std::chrono::milliseconds) override {
        return serial::WaitResult::Readable;
    }
    void wake() override {}
    std::string path() const override { return "scripted"; }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
    bool m_open = false;
};

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
        serial::SerialPort port(std::make_unique<ScriptedDevice>(data, size));
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
