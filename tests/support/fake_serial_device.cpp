#include "tests/support/fake_serial_device.h"

#include <algorithm>
#include <cstring>

namespace hlx::test {

void FakeSerialDevice::replyAfter(std::chrono::nanoseconds delay, std::string_view bytes) {
    m_arrivals.emplace(m_clock.now() + std::chrono::duration_cast<base::TimePoint::duration>(delay),
                       std::string(bytes));
}

void FakeSerialDevice::replyAfter(std::chrono::nanoseconds delay, std::initializer_list<std::uint8_t> bytes) {
    replyAfter(delay, std::string_view(std::string(bytes.begin(), bytes.end())));
}

void FakeSerialDevice::hangUpAfter(std::chrono::nanoseconds delay) {
    m_hangUp = m_clock.now() + std::chrono::duration_cast<base::TimePoint::duration>(delay);
}

base::Status FakeSerialDevice::open(const std::string& path) {
    if (!m_refuse.empty()) return base::Status::error(path + ": " + m_refuse);
    if (goneNow()) return base::Status::error(path + ": No such file or directory");
    m_open = true;
    m_path = path;
    ++m_opens;
    return base::Status::ok();
}

base::Status FakeSerialDevice::configure(const serial::LineSettings& settings) {
    if (!m_open) return base::Status::error("the serial port is not open");
    m_settings = settings;
    return base::Status::ok();
}

bool FakeSerialDevice::readableNow() const {
    return !m_pending.empty() || (!m_arrivals.empty() && m_arrivals.begin()->first <= m_clock.now());
}

serial::IoResult FakeSerialDevice::read(std::span<std::uint8_t> buffer) {
    if (!m_open || goneNow()) return {0, true};
    while (!m_arrivals.empty() && m_arrivals.begin()->first <= m_clock.now()) {
        m_pending += m_arrivals.begin()->second;
        m_arrivals.erase(m_arrivals.begin());
    }
    const std::size_t n = std::min(buffer.size(), m_pending.size());
    std::memcpy(buffer.data(), m_pending.data(), n);
    m_pending.erase(0, n);
    return {n, false};
}

serial::IoResult FakeSerialDevice::write(std::span<const std::uint8_t> bytes, std::chrono::milliseconds) {
    if (!m_open || goneNow()) return {0, true};
    const int n = static_cast<int>(m_writes.size()) + 1;
    std::size_t count = bytes.size();
    bool gone = false;
    if (auto f = m_failedWrites.find(n); f != m_failedWrites.end()) {
        count = std::min(count, f->second.count);
        gone = f->second.gone;
        if (gone) hangUpNow();
    }
    const std::string moved(reinterpret_cast<const char*>(bytes.data()), count);
    m_writes.push_back(moved);
    m_written += moved;
    if (!gone && count == bytes.size() && m_responder) m_responder(*this, bytes);
    return {count, gone};
}

serial::WaitResult FakeSerialDevice::waitReadable(std::chrono::milliseconds timeout) {
    if (m_woken.exchange(false)) return serial::WaitResult::Woken;
    if (m_open && goneNow()) return serial::WaitResult::Gone;
    if (m_open && readableNow()) return serial::WaitResult::Readable;
    const base::TimePoint end = m_clock.now() + timeout;
    std::optional<base::TimePoint> next;
    if (m_open && !m_arrivals.empty()) next = m_arrivals.begin()->first;
    if (m_open && m_hangUp && (!next || *m_hangUp < *next)) next = m_hangUp;
    if (next && *next <= end) {
        m_clock.advanceTo(*next);
        return goneNow() ? serial::WaitResult::Gone : serial::WaitResult::Readable;
    }
    m_clock.advanceTo(end);
    return serial::WaitResult::TimedOut;
}

serial::WaitResult FakeSerialDevice::waitWritten(std::chrono::milliseconds) {
    if (m_open && goneNow()) return serial::WaitResult::Gone;
    return serial::WaitResult::Readable;
}

}  // namespace hlx::test
