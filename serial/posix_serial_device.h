#pragma once
// PosixSerialDevice: SerialDevice over a POSIX terminal device (a serial port, a USB adapter or a
// pseudo-terminal).
//
// - open: O_RDWR | O_NOCTTY | O_NONBLOCK, then TIOCEXCL and an exclusive flock, so neither another
//   program nor a second instance of this one can open the port while we hold it (flock also holds
//   against root, which TIOCEXCL does not). DTR and RTS are dropped right after opening and HUPCL is
//   cleared, so a target wired for automatic boot-loader entry is not reset by opening the port.
//   Failures name the device and the reason: the system's text ("No such file or directory",
//   "Permission denied" with the device's owner, group and mode and what would give access, see
//   serial/port_access.h), "not a serial port" for anything that is not a
//   terminal, "in use by another program" when another program holds it (EBUSY or the flock).
// - configure: raw 8-bit termios with the entry's baud rate and parity, one stop bit, no flow control in
//   the driver, no parity check on receive.
//   Pseudo-terminals ignore parity (the kernel drops PARENB) and then reject a second identical request
//   with EINVAL; a pseudo-terminal that accepted everything but the parity counts as configured. A real
//   port that rejects the settings fails.
// - waits sleep in poll() on the port and an eventfd; wake() writes the eventfd. waitWritten sleeps for the
//   time the bytes still in the driver's output queue (TIOCOUTQ) need on the wire at the configured rate.
// - A wake-up eventfd that cannot be created makes every open fail with the reason, rather than leaving
//   waits that nothing can end.
// - close drops what is still queued for output (so it never waits for the tty to drain) and clears
//   TIOCEXCL first: the flag stays on the tty while a peer holds it open, and would make
//   our own re-open fail for a user who is not root.

#include <termios.h>

#include "serial/serial_device.h"

namespace hlx::serial {

class PosixSerialDevice : public SerialDevice {
public:
    PosixSerialDevice();
    ~PosixSerialDevice() override;
    PosixSerialDevice(const PosixSerialDevice&) = delete;
    PosixSerialDevice& operator=(const PosixSerialDevice&) = delete;

    base::Status open(const std::string& path) override;
    base::Status configure(const LineSettings& settings) override;
    void close() override;
    bool isOpen() const override { return m_fd >= 0; }

    IoResult read(std::span<std::uint8_t> buffer) override;
    IoResult write(std::span<const std::uint8_t> bytes, std::chrono::milliseconds limit) override;
    WaitResult waitReadable(std::chrono::milliseconds timeout) override;
    WaitResult waitWritten(std::chrono::milliseconds timeout) override;
    void wake() override;
    int pollHandle() const override { return m_fd; }
    std::string path() const override { return m_path; }

    // The termios that configure requests for these settings, starting from the device's current one.
    // Exposed because a pseudo-terminal does not keep the parity bit, so tests check the request here.
    static termios makeTermios(const termios& current, const LineSettings& settings);
    const termios& lastRequested() const { return m_lastRequested; }

private:
    int m_fd = -1;
    int m_wakeFd = -1;
    int m_wakeError = 0;  // errno of a failed eventfd
    int m_baud = 9600;
    bool m_isPty = false;
    std::string m_path;
    termios m_lastRequested{};
};

}  // namespace hlx::serial
