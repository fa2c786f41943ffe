#pragma once
// Win32SerialDevice: SerialDevice over a Windows COM port ("\\.\COM5").
//
// - open: CreateFile for reading and writing, no sharing, overlapped I/O, so a wait can be ended from
//   another thread (the counterpart of the eventfd of the POSIX backend). Windows' serial drivers admit
//   one handle at a time; a named kernel object per port ("Local\hlx-serial-COM5") holds the port against
//   a second open by this program also where a driver would admit more (Wine's emulation does). DTR and
//   RTS are dropped right after opening, so a target wired for automatic boot-loader entry is not reset.
//   Reasons a port cannot be used: "no such port" (not found), "in use by another program" (access
//   denied, the driver's answer for a port held elsewhere, or our own lock), "not a serial port" (a
//   device that is not a COM port), else Windows' own text.
// - configure: the device control block from the settings entry, starting from what the driver reports:
//   baud rate, 8 data bits, parity (even or none), one stop bit, no parity check on receive, no XON/XOFF
//   in the driver (the link handles XON/XOFF itself) with 0x11 and 0x13 as the XON and XOFF characters,
//   DTR and RTS control disabled, no NUL discarding, no DSR sensitivity, no CTS or DSR output flow
//   control; then the character-received event is added to the event mask.
//   Under Wine a COM port may be a Linux pseudo-terminal, which keeps no parity bit and refuses a second
//   identical request: there a port that took everything but the parity counts as configured, as the
//   POSIX backend counts a pseudo-terminal. On Windows itself a refused request fails.
// - time-outs: reads wait for the bytes asked for (all read time-outs 0), writes give up after 100 ms.
//   read asks only for what the driver holds (ClearCommError), so it returns at once; waitReadable asks
//   for one byte and sleeps on the read's event and the wake-up event together, and cancels the read
//   (CancelIoEx) when the time is up or wake() was called. A byte that arrives with the cancellation is
//   kept and handed out by the next read. waitWritten sleeps for the time the bytes still in the driver's
//   output queue need on the wire.
// - A read, write or status call that fails (an unplugged USB adapter) reports Gone.
//
// Threads: as SerialDevice: one thread at a time, except wake().

#include <cstdint>

#include "serial/serial_device.h"

namespace hlx::serial {

class Win32SerialDevice : public SerialDevice {
public:
    Win32SerialDevice();
    ~Win32SerialDevice() override;
    Win32SerialDevice(const Win32SerialDevice&) = delete;
    Win32SerialDevice& operator=(const Win32SerialDevice&) = delete;

    base::Status open(const std::string& path) override;
    base::Status configure(const LineSettings& settings) override;
    void close() override;
    bool isOpen() const override { return m_port != nullptr; }

    IoResult read(std::span<std::uint8_t> buffer) override;
    IoResult write(std::span<const std::uint8_t> bytes, std::chrono::milliseconds limit) override;
    WaitResult waitReadable(std::chrono::milliseconds timeout) override;
    WaitResult waitWritten(std::chrono::milliseconds timeout) override;
    void wake() override;
    std::string path() const override { return m_path; }

private:
    // HANDLEs, kept as void* so this header needs no <windows.h>.
    void* m_port = nullptr;
    void* m_lock = nullptr;          // the named object that marks the port as ours
    void* m_readEvent = nullptr;     // manual-reset, for the overlapped reads
    void* m_writeEvent = nullptr;    // manual-reset, for the overlapped writes
    void* m_wakeEvent = nullptr;     // auto-reset, set by wake()
    unsigned long m_eventError = 0;  // GetLastError of a failed CreateEvent
    int m_baud = 9600;
    bool m_haveLookahead = false;  // a byte taken by a wait's one-byte read, not yet handed out
    std::uint8_t m_lookahead = 0;
    std::string m_path;
};

}  // namespace hlx::serial
