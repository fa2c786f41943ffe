#pragma once
// SerialDevice: the seam to the operating system's serial port. The POSIX backend implements it with
// termios; tests wrap or fake it to break things on purpose. SerialPort owns one and serialises access.
//
// Contract, matching what the link operations rely on:
// - read never waits: it returns what has arrived (possibly nothing).
// - write gives up after the limit and reports how much was written.
// - waitReadable and waitWritten sleep in the OS until data arrives (or has left), the time-out passes or
//   wake() is called.
// - A device that disappears (an unplugged USB adapter) reports Gone; it does not spin.
// Not thread-safe, except wake(), which may be called from any thread at any time.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "base/status.h"
#include "serial/com_settings.h"

namespace hlx::serial {

struct IoResult {
    std::size_t count = 0;  // bytes moved
    bool gone = false;      // the device reported an error or hang-up; it should be closed
};

enum class WaitResult { Readable, TimedOut, Woken, Gone };

class SerialDevice {
public:
    virtual ~SerialDevice() = default;

    // Opens the device exclusively: a second open of the same device, by this or another process, fails.
    virtual base::Status open(const std::string& path) = 0;
    // Applies the line settings: raw 8-bit, no flow control in the driver, no parity check on receive.
    virtual base::Status configure(const LineSettings& settings) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    virtual IoResult read(std::span<std::uint8_t> buffer) = 0;
    virtual IoResult write(std::span<const std::uint8_t> bytes, std::chrono::milliseconds limit) = 0;
    virtual WaitResult waitReadable(std::chrono::milliseconds timeout) = 0;
    // Sleeps until everything written has left the driver's output queue (or the time-out passes, or
    // wake() is called). Returns Readable when the queue is empty. A device that cannot tell counts as
    // empty. Lets a sender keep no more than one line in the driver, so the monitor's XOFF takes effect
    // within a line.
    virtual WaitResult waitWritten(std::chrono::milliseconds timeout) = 0;
    virtual void wake() = 0;

    // A descriptor that poll() reports readable when something has arrived or the device has gone, for a
    // caller that waits on other things at the same time (hlx terminal); -1 when the device is closed or
    // the system has no such descriptor.
    virtual int pollHandle() const { return -1; }

    // What the device is (for the status bar): path opened, or empty.
    virtual std::string path() const = 0;
};

}  // namespace hlx::serial
