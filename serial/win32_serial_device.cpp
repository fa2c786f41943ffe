#include "serial/win32_serial_device.h"

#include <windows.h>

#include <algorithm>
#include <cctype>

#include "base/win32_system.h"
#include "serial/port_name.h"
#include "serial/system_serial_device.h"

namespace hlx::serial {
namespace {

using SteadyClock = std::chrono::steady_clock;

// A read of bytes the driver already holds completes at once on Windows; Wine completes it through its
// server a moment later. Past this it is cancelled, so read() never waits for new bytes.
constexpr DWORD kQueuedReadLimitMs = 100;

HANDLE handle(void* h) {
    return static_cast<HANDLE>(h);
}

DWORD milliseconds(SteadyClock::duration d) {
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(d).count();
    return static_cast<DWORD>(std::clamp<long long>(ms, 0, 0x7FFFFFFF));
}

bool runsOnWine() {
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// "COM5" from "\\.\COM5": the name the port's lock object carries.
std::wstring lockName(const std::string& path) {
    std::string name =
        path.substr(path.find_last_of("\\/") == std::string::npos ? 0 : path.find_last_of("\\/") + 1);
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return L"Local\\hlx-serial-" + base::widen(name);
}

std::string settingsText(const LineSettings& s) {
    return std::to_string(s.baud) + " baud " + std::to_string(s.dataBits) +
           (s.parity == Parity::Even ? "E" : "N") + std::to_string(s.stopBits);
}

DCB makeDcb(const DCB& current, const LineSettings& settings) {
    DCB dcb = current;
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = static_cast<DWORD>(settings.baud);
    dcb.ByteSize = static_cast<BYTE>(settings.dataBits);
    dcb.Parity = settings.parity == Parity::Even ? EVENPARITY : NOPARITY;
    dcb.StopBits = settings.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;  // the parity bit is sent; received parity is ignored
    dcb.fOutX = FALSE;    // XON/XOFF are the link's business, not the driver's
    dcb.fInX = FALSE;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fNull = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fAbortOnError = FALSE;
    return dcb;
}

// The fields configure sets that a port reports back faithfully; parity aside when asked.
bool sameLineState(const DCB& now, const DCB& asked, bool ignoreParity) {
    return now.BaudRate == asked.BaudRate && now.ByteSize == asked.ByteSize &&
           now.StopBits == asked.StopBits && (ignoreParity || now.Parity == asked.Parity) &&
           now.fOutX == asked.fOutX && now.fInX == asked.fInX && now.fOutxCtsFlow == asked.fOutxCtsFlow &&
           now.fOutxDsrFlow == asked.fOutxDsrFlow;
}

// What the driver holds in its queues; false when the port no longer answers.
bool queues(HANDLE port, COMSTAT& status) {
    DWORD errors = 0;
    return ::ClearCommError(port, &errors, &status) != 0;
}

// Ends an overlapped operation that may still be pending: cancels it unless it has completed, then
// collects its result. Returns false with the error when it failed for another reason than the cancel.
bool finish(HANDLE port, OVERLAPPED& op, bool cancel, DWORD& count, DWORD& error) {
    if (cancel) ::CancelIoEx(port, &op);
    count = 0;
    if (::GetOverlappedResult(port, &op, &count, TRUE)) return true;
    error = ::GetLastError();
    return error == ERROR_OPERATION_ABORTED || error == ERROR_SEM_TIMEOUT;
}

}  // namespace

std::unique_ptr<SerialDevice> makeSystemSerialDevice() {
    return std::make_unique<Win32SerialDevice>();
}

std::string comPortDevice(int number) {
    return "\\\\.\\COM" + std::to_string(number);
}

std::string_view portTextHelp() {
    return "a number n or COMn for the COM port n (hlx ports lists them), or a device name such as "
           "\\\\.\\CNCA0";
}

Win32SerialDevice::Win32SerialDevice() {
    m_readEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_writeEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_wakeEvent = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (m_readEvent == nullptr || m_writeEvent == nullptr || m_wakeEvent == nullptr)
        m_eventError = ::GetLastError();
}

Win32SerialDevice::~Win32SerialDevice() {
    close();
    for (void* event : {m_readEvent, m_writeEvent, m_wakeEvent})
        if (event != nullptr) ::CloseHandle(handle(event));
}

base::Status Win32SerialDevice::open(const std::string& path) {
    close();
    if (path.empty()) return base::Status::error("no serial port named");
    // Without its events no wait on the port could be ended early: refuse rather than hang.
    if (m_eventError != 0) return base::windowsError("events for waiting on the port", m_eventError);

    HANDLE lock = ::CreateEventW(nullptr, TRUE, FALSE, lockName(path).c_str());
    if (lock == nullptr) return base::windowsError(path, ::GetLastError());
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        ::CloseHandle(lock);
        return base::Status::error(path + ": in use by another program");
    }
    HANDLE port = ::CreateFileW(base::widen(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        const DWORD err = ::GetLastError();
        ::CloseHandle(lock);
        switch (err) {
            case ERROR_FILE_NOT_FOUND:
            case ERROR_PATH_NOT_FOUND:
                return base::Status::error(path + ": no such port");
            case ERROR_ACCESS_DENIED:
            case ERROR_SHARING_VIOLATION:
            case ERROR_BUSY:
                return base::Status::error(path + ": in use by another program");
            default:
                return base::windowsError(path, err);
        }
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (::GetFileType(port) != FILE_TYPE_CHAR || !::GetCommState(port, &dcb)) {
        ::CloseHandle(port);
        ::CloseHandle(lock);
        return base::Status::error(path + ": not a serial port");
    }
    // Reads wait for what they ask for (only ever what is queued, or one byte in a wait); a write gives up
    // after 100 ms.
    COMMTIMEOUTS timeouts{};
    timeouts.WriteTotalTimeoutConstant = 100;
    if (!::SetCommTimeouts(port, &timeouts)) {
        const DWORD err = ::GetLastError();
        ::CloseHandle(port);
        ::CloseHandle(lock);
        return base::windowsError(path, err);
    }
    // Line control off: DTR and RTS low. Emulated ports may have no modem lines; errors are ignored.
    (void)::EscapeCommFunction(port, CLRDTR);
    (void)::EscapeCommFunction(port, CLRRTS);
    m_port = port;
    m_lock = lock;
    m_path = path;
    m_haveLookahead = false;
    return base::Status::ok();
}

base::Status Win32SerialDevice::configure(const LineSettings& settings) {
    if (m_port == nullptr) return base::Status::error("the serial port is not open");
    DCB current{};
    current.DCBlength = sizeof current;
    if (!::GetCommState(handle(m_port), &current)) return base::windowsError(m_path, ::GetLastError());
    DCB asked = makeDcb(current, settings);
    m_baud = settings.baud;
    const bool applied = ::SetCommState(handle(m_port), &asked) != 0;
    const DWORD err = ::GetLastError();
    if (!applied) {
        DCB now{};
        now.DCBlength = sizeof now;
        const bool tolerated = runsOnWine() && ::GetCommState(handle(m_port), &now) &&
                               sameLineState(now, asked, /*ignoreParity=*/true);
        if (!tolerated) {
            if (err == ERROR_INVALID_PARAMETER || err == ERROR_NOT_SUPPORTED)
                return base::Status::error(m_path + ": the port did not take " + settingsText(settings));
            return base::windowsError(m_path, err);
        }
    }
    DWORD mask = 0;
    if (::GetCommMask(handle(m_port), &mask)) (void)::SetCommMask(handle(m_port), mask | EV_RXCHAR);
    return base::Status::ok();
}

void Win32SerialDevice::close() {
    if (m_port == nullptr) return;
    ::CancelIoEx(handle(m_port), nullptr);
    ::CloseHandle(handle(m_port));
    ::CloseHandle(handle(m_lock));
    m_port = nullptr;
    m_lock = nullptr;
    m_path.clear();
    m_haveLookahead = false;
}

IoResult Win32SerialDevice::read(std::span<std::uint8_t> buffer) {
    if (m_port == nullptr) return {0, true};
    std::size_t got = 0;
    if (m_haveLookahead && !buffer.empty()) {
        buffer[got++] = m_lookahead;
        m_haveLookahead = false;
    }
    COMSTAT status{};
    if (!queues(handle(m_port), status)) return {got, true};
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(status.cbInQue, buffer.size() - got));
    if (want == 0) return {got, false};
    OVERLAPPED op{};
    op.hEvent = handle(m_readEvent);
    ::ResetEvent(op.hEvent);
    DWORD count = 0;
    DWORD error = 0;
    bool ok = ::ReadFile(handle(m_port), buffer.data() + got, want, &count, &op) != 0;
    if (!ok) {
        error = ::GetLastError();
        if (error == ERROR_IO_PENDING) {
            const bool done = ::WaitForSingleObject(op.hEvent, kQueuedReadLimitMs) == WAIT_OBJECT_0;
            ok = finish(handle(m_port), op, !done, count, error);
        }
    }
    if (!ok) return {got, true};
    return {got + count, false};
}

IoResult Win32SerialDevice::write(std::span<const std::uint8_t> bytes, std::chrono::milliseconds limit) {
    if (m_port == nullptr) return {0, true};
    const auto deadline = SteadyClock::now() + limit;
    std::size_t done = 0;
    while (done < bytes.size()) {
        OVERLAPPED op{};
        op.hEvent = handle(m_writeEvent);
        ::ResetEvent(op.hEvent);
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        DWORD count = 0;
        DWORD error = 0;
        bool ok = ::WriteFile(handle(m_port), bytes.data() + done, chunk, &count, &op) != 0;
        if (!ok) {
            error = ::GetLastError();
            if (error == ERROR_IO_PENDING) {
                const bool finished =
                    ::WaitForSingleObject(op.hEvent, milliseconds(deadline - SteadyClock::now())) ==
                    WAIT_OBJECT_0;
                ok = finish(handle(m_port), op, !finished, count, error);
            }
        }
        if (!ok) return {done, true};
        done += count;
        if (count == 0) break;  // the driver's 100 ms passed, or ours: nothing more goes out
    }
    return {done, false};
}

WaitResult Win32SerialDevice::waitReadable(std::chrono::milliseconds timeout) {
    const auto deadline = SteadyClock::now() + timeout;
    if (m_port == nullptr) {
        return ::WaitForSingleObject(handle(m_wakeEvent), milliseconds(timeout)) == WAIT_OBJECT_0
                   ? WaitResult::Woken
                   : WaitResult::TimedOut;
    }
    for (;;) {
        if (m_haveLookahead) return WaitResult::Readable;
        COMSTAT status{};
        if (!queues(handle(m_port), status)) return WaitResult::Gone;
        if (status.cbInQue > 0) return WaitResult::Readable;

        // One byte, read into the lookahead: the read completes when the first byte arrives.
        OVERLAPPED op{};
        op.hEvent = handle(m_readEvent);
        ::ResetEvent(op.hEvent);
        DWORD count = 0;
        DWORD error = 0;
        WaitResult result = WaitResult::TimedOut;
        bool ok = ::ReadFile(handle(m_port), &m_lookahead, 1, &count, &op) != 0;
        if (ok && count == 0) {
            // A driver that ends a read at once without a byte (it should not, with these time-outs):
            // sleep a little rather than ask again at once.
            const DWORD pause = std::min<DWORD>(10, milliseconds(deadline - SteadyClock::now()));
            if (::WaitForSingleObject(handle(m_wakeEvent), pause) == WAIT_OBJECT_0) return WaitResult::Woken;
        }
        if (!ok) {
            error = ::GetLastError();
            if (error != ERROR_IO_PENDING) return WaitResult::Gone;
            const HANDLE events[2] = {op.hEvent, handle(m_wakeEvent)};
            const DWORD woke =
                ::WaitForMultipleObjects(2, events, FALSE, milliseconds(deadline - SteadyClock::now()));
            if (woke == WAIT_OBJECT_0 + 1) result = WaitResult::Woken;
            ok = finish(handle(m_port), op, woke != WAIT_OBJECT_0, count, error);
            if (!ok) return WaitResult::Gone;
        }
        if (count == 1) {
            m_haveLookahead = true;
            if (result != WaitResult::Woken) result = WaitResult::Readable;
        }
        if (result != WaitResult::TimedOut || SteadyClock::now() >= deadline) return result;
        // A read that ended without a byte before the time was up: wait again for the rest.
    }
}

WaitResult Win32SerialDevice::waitWritten(std::chrono::milliseconds timeout) {
    const auto deadline = SteadyClock::now() + timeout;
    for (;;) {
        if (m_port == nullptr) return WaitResult::Gone;
        COMSTAT status{};
        if (!queues(handle(m_port), status)) return WaitResult::Gone;
        if (status.cbOutQue == 0) return WaitResult::Readable;
        const auto left = deadline - SteadyClock::now();
        if (left <= SteadyClock::duration::zero()) return WaitResult::TimedOut;
        // As long as the queued bytes need on the wire (ten bits a byte), at least a millisecond, the
        // resolution of the wait.
        const auto need = std::chrono::microseconds(static_cast<long long>(status.cbOutQue) * 10 * 1'000'000 /
                                                    std::max(m_baud, 1));
        const DWORD sleep = std::max<DWORD>(1, milliseconds(std::min<SteadyClock::duration>(need, left)));
        if (::WaitForSingleObject(handle(m_wakeEvent), sleep) == WAIT_OBJECT_0) return WaitResult::Woken;
    }
}

void Win32SerialDevice::wake() {
    ::SetEvent(handle(m_wakeEvent));
}

}  // namespace hlx::serial
