#pragma once
// AnsweringDevice: a SerialDevice that keeps every write whole (so a test sees how the bytes were cut into
// writes) and answers each write at once through the test's function; a read returns at most one line. With answers that arrive at once a
// job never has to wait; a wait with nothing to read sleeps the time-out, as a real port would. A write can
// be made short on purpose.
// Used by the job on its thread and by the test after the job: guarded by a mutex.

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serial/serial_device.h"

namespace hlx::test {

class AnsweringDevice : public serial::SerialDevice {
  public:
    // Gets one write, returns what the device sends back.
    using Answer = std::function<std::string(std::string_view written)>;

    explicit AnsweringDevice(Answer answer) : m_answer(std::move(answer)) {}

    base::Status open(const std::string& path) override {
        std::lock_guard lock(m_mutex);
        m_open = true;
        m_path = path;
        return {};
    }
    base::Status configure(const serial::LineSettings&) override { return {}; }
    void close() override {
        std::lock_guard lock(m_mutex);
        m_open = false;
    }
    bool isOpen() const override {
        std::lock_guard lock(m_mutex);
        return m_open;
    }
    serial::IoResult read(std::span<std::uint8_t> buffer) override {
        std::lock_guard lock(m_mutex);
        // One line per read at most, as lines arrive one after another on a real line.
        const std::size_t lineEnd = m_pending.find('\n');
        const std::size_t available = lineEnd == std::string::npos ? m_pending.size() : lineEnd + 1;
        const std::size_t n = std::min(buffer.size(), available);
        std::copy_n(m_pending.begin(), n, buffer.begin());
        m_pending.erase(0, n);
        return {n, false};
    }
    serial::IoResult write(std::span<const std::uint8_t> bytes, std::chrono::milliseconds) override {
        std::string written(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        std::lock_guard lock(m_mutex);
        if (static_cast<int>(m_writes.size()) == m_shortWrite && !written.empty()) written.pop_back();
        m_writes.push_back(written);
        m_pending += m_answer(written);
        return {written.size(), false};
    }
    serial::WaitResult waitReadable(std::chrono::milliseconds timeout) override {
        {
            std::lock_guard lock(m_mutex);
            if (!m_pending.empty()) return serial::WaitResult::Readable;
        }
        std::this_thread::sleep_for(timeout);
        return serial::WaitResult::TimedOut;
    }
    void wake() override {}
    std::string path() const override {
        std::lock_guard lock(m_mutex);
        return m_path;
    }

    // The write with this index (from 0) takes all bytes but the last, as a port whose time limit ran out.
    void shortenWrite(int index) {
        std::lock_guard lock(m_mutex);
        m_shortWrite = index;
    }
    std::vector<std::string> writes() const {
        std::lock_guard lock(m_mutex);
        return m_writes;
    }

  private:
    mutable std::mutex m_mutex;
    Answer m_answer;
    bool m_open = false;
    std::string m_path;
    std::string m_pending;
    std::vector<std::string> m_writes;
    int m_shortWrite = -1;
};

}  // namespace hlx::test
