#pragma once
// SerialPort: the one serial port of the program, over a SerialDevice.
//
// open(device, entry, closeFirst) closes the port first when asked (a job or a COM event that opens the
// port anew), opens the device exclusively and applies the settings entry; configure(entry) applies an
// entry again to the open port. Every read and write first tests the open flag, so on a closed port they
// do nothing.
//
// Threads: the GUI thread re-opens the port on a COM event while a job thread may be reading or waiting
// on it. One mutex keeps each read, write, wait, open and close whole; a re-open first wakes a waiting
// job, so it never waits out the job's time-out, and the job's next read finds the re-opened port.
// isOpen() never reports the moment inside a re-open between its close and its open: while an open,
// configure or close is under way it waits for it to end (as long as an open takes; it never waits for a
// job's read, write or wait), so a job's reader cannot take a re-open for a port that went away.
// state() takes no part in any of it: it reads a copy kept under a lock of its own, which is never held
// across a device call, so the status bar never waits.
// A device that reports an error or hang-up (an unplugged USB adapter) is closed and the port counts as
// lost until the next open; operations then behave as on a closed port.

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "serial/com_settings.h"
#include "serial/serial_device.h"

namespace hlx::serial {

// What the status bar shows: the device actually opened, the line settings in force, the last failure.
struct PortState {
    bool open = false;
    std::string device;  // as opened (or as tried, when the open failed)
    LineSettings settings{kFallbackSettings};
    bool configured = false;
    // The last failure with the operating system's reason, ok when none. Gone from the moment the device
    // went away after it was opened (hang-up, I/O error, unplugged) until the next open.
    base::Status status;
    bool lost() const { return status.isGone(); }
};

class SerialPort {
public:
    explicit SerialPort(std::unique_ptr<SerialDevice> device);

    bool open(const std::string& devicePath, int entry, bool closeFirst);
    bool configure(int entry);
    // Applies line settings that no entry has (the boot loader's faster rates); as configure otherwise.
    bool configureLine(const LineSettings& settings);
    void close();
    // Whether the port is open, once a re-open under way has ended.
    bool isOpen() const;

    // Never waits. Returns the bytes read; 0 when nothing is there or the port is not open.
    std::size_t read(std::span<std::uint8_t> buffer);
    // Gives up after 100 ms; returns the bytes written (0 when the port is not open).
    std::size_t write(std::span<const std::uint8_t> bytes);
    // Sleeps until something can be read, the time-out passes, or wake() is called. On a closed port it
    // sleeps until the time-out or wake(), so callers' deadlines keep their meaning without spinning.
    WaitResult waitReadable(std::chrono::milliseconds timeout);
    // Sleeps until what was written has left the driver (see SerialDevice::waitWritten).
    WaitResult waitWritten(std::chrono::milliseconds timeout);
    // Ends a current wait early; callable from any thread (a stop request, a re-open).
    void wake();

    PortState state() const;
    // The open device's descriptor for poll() (SerialDevice::pollHandle), -1 when closed. Only for a
    // caller that is the port's one user (no job waits on it meanwhile).
    int pollHandle();

private:
    class ControlGuard;
    void closeLocked();
    void markGoneLocked();
    template <class F>
    void updateState(F change);

    std::unique_ptr<SerialDevice> m_device;
    std::mutex m_mutex;  // the device: each operation whole
    std::condition_variable m_controlDone;
    // Open, configure and close calls under way (waiting for the mutex or running); waits step aside for
    // them. Changed under both m_mutex and m_stateMutex, so either lock sees it settle.
    std::atomic<int> m_controlPending{0};
    std::atomic<bool> m_open{false};
    mutable std::mutex m_stateMutex;  // m_state and the settling of m_controlPending
    mutable std::condition_variable m_controlSettled;
    PortState m_state;
};

inline constexpr std::chrono::milliseconds kWriteLimit{100};

}  // namespace hlx::serial
