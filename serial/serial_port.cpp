#include "serial/serial_port.h"

namespace hlx::serial {
namespace {}  // namespace

// Marks a control operation (open, configure, close) as under way from before it waits for the mutex
// until it has finished, and wakes a job that sleeps in a wait so the mutex comes free at once.
class SerialPort::ControlGuard {
public:
    explicit ControlGuard(SerialPort& port) : m_port(port) {
        {
            std::lock_guard state(m_port.m_stateMutex);
            ++m_port.m_controlPending;
        }
        m_port.m_device->wake();
        m_lock = std::unique_lock(m_port.m_mutex);
    }
    ~ControlGuard() {
        {
            std::lock_guard state(m_port.m_stateMutex);
            --m_port.m_controlPending;
        }
        m_lock.unlock();
        m_port.m_controlDone.notify_all();
        m_port.m_controlSettled.notify_all();
    }
    ControlGuard(const ControlGuard&) = delete;
    ControlGuard& operator=(const ControlGuard&) = delete;

private:
    SerialPort& m_port;
    std::unique_lock<std::mutex> m_lock;
};

SerialPort::SerialPort(std::unique_ptr<SerialDevice> device) : m_device(std::move(device)) {}

bool SerialPort::isOpen() const {
    std::unique_lock lock(m_stateMutex);
    m_controlSettled.wait(lock, [this] { return m_controlPending.load() == 0; });
    return m_open.load();
}

template <class F>
void SerialPort::updateState(F change) {
    std::lock_guard lock(m_stateMutex);
    change(m_state);
}

bool SerialPort::open(const std::string& devicePath, int entry, bool closeFirst) {
    ControlGuard guard(*this);
    if (closeFirst) closeLocked();
    m_open = false;
    updateState([&](PortState& s) {
        s = PortState{};
        s.device = devicePath;
    });
    if (base::Status s = m_device->open(devicePath); !s) {
        updateState([&](PortState& st) { st.status = s; });
        return false;
    }
    const LineSettings settings = comSettings(entry);
    const base::Status configured = m_device->configure(settings);  // its result is not used here
    updateState([&](PortState& s) {
        s.settings = settings;
        s.configured = configured.isOk();
        s.status = configured;
        s.open = true;
    });
    m_open = true;
    return true;
}

bool SerialPort::configure(int entry) {
    return configureLine(comSettings(entry));
}

bool SerialPort::configureLine(const LineSettings& settings) {
    ControlGuard guard(*this);
    if (!m_device->isOpen()) {
        updateState([](PortState& s) {
            if (s.status) s.status = base::Status::error("the serial port is not open");
        });
        return false;
    }
    const base::Status status = m_device->configure(settings);
    updateState([&](PortState& s) {
        s.status = status;
        if (!status) return;
        s.settings = settings;
        s.configured = true;
    });
    return status.isOk();
}

void SerialPort::close() {
    ControlGuard guard(*this);
    closeLocked();
}

void SerialPort::closeLocked() {
    if (m_device->isOpen()) m_device->close();
    m_open = false;
    updateState([](PortState& s) { s.open = false; });
}

void SerialPort::markGoneLocked() {
    const std::string device = m_device->path();
    closeLocked();
    updateState([&](PortState& s) {
        s.status = base::Status::error(base::StatusCode::Gone, device + ": the device has gone (unplugged?)");
    });
}

std::size_t SerialPort::read(std::span<std::uint8_t> buffer) {
    std::unique_lock lock(m_mutex);
    m_controlDone.wait(lock, [this] { return m_controlPending.load() == 0; });
    if (!m_open) return 0;
    IoResult r = m_device->read(buffer);
    if (r.gone) markGoneLocked();
    return r.count;
}

std::size_t SerialPort::write(std::span<const std::uint8_t> bytes) {
    std::unique_lock lock(m_mutex);
    m_controlDone.wait(lock, [this] { return m_controlPending.load() == 0; });
    if (!m_open) return 0;
    IoResult r = m_device->write(bytes, kWriteLimit);
    if (r.gone) markGoneLocked();
    return r.count;
}

WaitResult SerialPort::waitReadable(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    m_controlDone.wait(lock, [this] { return m_controlPending.load() == 0; });
    // On a closed port the device waits on its wake-up alone.
    const WaitResult r = m_device->waitReadable(timeout);
    if (r == WaitResult::Gone && m_open) markGoneLocked();
    return r;
}

WaitResult SerialPort::waitWritten(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    m_controlDone.wait(lock, [this] { return m_controlPending.load() == 0; });
    if (!m_open) return WaitResult::Gone;
    const WaitResult r = m_device->waitWritten(timeout);
    if (r == WaitResult::Gone) markGoneLocked();
    return r;
}

void SerialPort::wake() {
    m_device->wake();
}

int SerialPort::pollHandle() {
    std::lock_guard lock(m_mutex);
    return m_open ? m_device->pollHandle() : -1;
}

PortState SerialPort::state() const {
    std::lock_guard lock(m_stateMutex);
    return m_state;
}

}  // namespace hlx::serial
