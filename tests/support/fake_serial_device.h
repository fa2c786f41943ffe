#pragma once
// FakeSerialDevice: a serial device that plays a scripted monitor on a FakeClock.
//
//   device.replyAfter(20ms, "OK\r\n");            bytes that arrive 20 ms from now
//   device.onWrite([&](auto& d, auto bytes) {     answer each write (a record, a line)
//       d.replyAfter(5ms, "OK\n");
//   });
//   device.hangUpAfter(1s);                       the device vanishes (an unplugged adapter)
//   device.failWrite(3, 0);                       the 3rd write moves only 0 bytes
//
// read() returns what has arrived by the clock's now; waitReadable() moves the clock on to the next
// arrival (or hang-up) within the time-out, or by the whole time-out, so nothing sleeps. Everything
// written is kept (written(), writes()). A device that has hung up reports gone on read, write and wait,
// as the POSIX backend does.
//
// Threads: meant for one thread (the test runs the job on its own thread); wake() may come from anywhere.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "serial/serial_device.h"
#include "tests/support/fake_clock.h"

namespace hlx::test {

class FakeSerialDevice : public serial::SerialDevice {
public:
    using Responder = std::function<void(FakeSerialDevice&, std::span<const std::uint8_t>)>;

    explicit FakeSerialDevice(const FakeClock& clock) : m_clock(clock) {}

    // Script
    void replyAfter(std::chrono::nanoseconds delay, std::string_view bytes);
    void replyAfter(std::chrono::nanoseconds delay, std::initializer_list<std::uint8_t> bytes);
    void onWrite(Responder responder) { m_responder = std::move(responder); }
    void hangUpAfter(std::chrono::nanoseconds delay);
    void hangUpNow() { hangUpAfter(std::chrono::nanoseconds{0}); }
    // The n-th write (counting from 1) moves only count bytes; gone: the device vanishes with it.
    void failWrite(int n, std::size_t count, bool gone = false) { m_failedWrites[n] = {count, gone}; }
    // open() fails with this reason.
    void refuseOpen(std::string reason) { m_refuse = std::move(reason); }

    // What the code under test did
    std::string written() const { return m_written; }
    const std::vector<std::string>& writes() const { return m_writes; }
    int openCount() const { return m_opens; }
    std::optional<serial::LineSettings> settings() const { return m_settings; }

    // SerialDevice
    base::Status open(const std::string& path) override;
    base::Status configure(const serial::LineSettings& settings) override;
    void close() override { m_open = false; }
    bool isOpen() const override { return m_open; }
    serial::IoResult read(std::span<std::uint8_t> buffer) override;
    serial::IoResult write(std::span<const std::uint8_t> bytes, std::chrono::milliseconds limit) override;
    serial::WaitResult waitReadable(std::chrono::milliseconds timeout) override;
    serial::WaitResult waitWritten(std::chrono::milliseconds) override;
    void wake() override { m_woken = true; }
    std::string path() const override { return m_path; }

private:
    bool goneNow() const { return m_hangUp && m_clock.now() >= *m_hangUp; }
    bool readableNow() const;

    const FakeClock& m_clock;
    std::multimap<base::TimePoint, std::string> m_arrivals;
    std::string m_pending;  // arrived, not yet read
    Responder m_responder;
    std::optional<base::TimePoint> m_hangUp;
    struct Failure {
        std::size_t count;
        bool gone;
    };
    std::map<int, Failure> m_failedWrites;
    std::string m_refuse;
    std::string m_written;
    std::vector<std::string> m_writes;
    std::optional<serial::LineSettings> m_settings;
    std::string m_path;
    int m_opens = 0;
    bool m_open = false;
    std::atomic<bool> m_woken{false};
};

}  // namespace hlx::test
