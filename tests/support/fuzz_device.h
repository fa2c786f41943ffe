#pragma once
// FuzzDevice: a serial device that plays a fuzzer's input as what the monitor sends, in chunks whose sizes
// the input itself picks (the first byte of what is left says how large the next chunk is), and reports
// itself gone once the input is used up, so every reader ends. Writes always succeed. Header-only and
// without GoogleTest, for the fuzz targets.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "serial/serial_device.h"

namespace hlx::test {

class FuzzDevice : public serial::SerialDevice {
public:
    FuzzDevice(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    base::Status open(const std::string&) override {
        m_open = true;
        return base::Status::ok();
    }
    base::Status configure(const serial::LineSettings&) override { return base::Status::ok(); }
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    serial::IoResult read(std::span<std::uint8_t> buffer) override {
        if (m_pos >= m_size) return {0, true};
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
    std::string path() const override { return "fuzz"; }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_pos = 0;
    bool m_open = false;
};

}  // namespace hlx::test
