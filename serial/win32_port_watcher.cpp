// The Windows port watcher: a quiet poll of the port's presence (see port_watcher.h).
//
// A COM port that comes and goes (a USB adapter, a monitor's USB service port) appears and disappears in
// the DOS device names, which QueryDosDevice reads without touching the port. Where the name is missing
// there, the port is asked once more by opening it: a port named only where it is opened (Wine's COM links,
// made while the program runs, never reach its DOS names) is there when the open finds it, also when
// another program holds it (access denied: the later open says so). An open that finds the port closes it
// again at once; on Windows itself the DOS names answer first, so the port is not opened twice.

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/stop_signals.h"
#include "serial/port_watcher.h"

namespace hlx::serial {
namespace {

constexpr std::chrono::milliseconds kQuietPoll{500};

std::wstring wide(const std::string& text) {
    const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(std::max(size, 0)), L'\0');
    if (size > 0)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

// "\\.\COM5" -> "COM5"; another name as it is.
std::string dosName(const std::string& path) {
    return path.rfind("\\\\.\\", 0) == 0 ? path.substr(4) : path;
}

// "COM5" -> "\\.\COM5": COM10 and above open only through the device namespace.
std::string devicePath(const std::string& path) {
    return path.rfind("\\\\.\\", 0) == 0 ? path : "\\\\.\\" + path;
}

class Win32PortWatcher final : public PortWatcher {
public:
    void watch(const std::string& path) override {
        m_name = path.empty() ? std::wstring() : wide(dosName(path));
        m_device = path.empty() ? std::wstring() : wide(devicePath(path));
    }

    bool present() override {
        if (m_name.empty()) return false;
        std::vector<wchar_t> target(1024);
        if (QueryDosDeviceW(m_name.c_str(), target.data(), static_cast<DWORD>(target.size())) != 0)
            return true;
        const HANDLE port = CreateFileW(m_device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        OPEN_EXISTING, 0, nullptr);
        if (port != INVALID_HANDLE_VALUE) {
            CloseHandle(port);
            return true;
        }
        switch (GetLastError()) {
            case ERROR_FILE_NOT_FOUND:
            case ERROR_PATH_NOT_FOUND:
            case ERROR_INVALID_NAME:
            case ERROR_BAD_PATHNAME:
                return false;
            default:
                return true;  // there, but busy or refusing: the open that follows names why
        }
    }

    int notifyFd() const override { return -1; }
    void takeNotices() override {}
    std::chrono::milliseconds quietPoll() const override { return kQuietPoll; }

private:
    std::wstring m_name;
    std::wstring m_device;
};

}  // namespace

std::unique_ptr<PortWatcher> makeSystemPortWatcher() {
    return std::make_unique<Win32PortWatcher>();
}

WatchResult waitUntilPresent(PortWatcher& watcher, const base::Notice& stop,
                             std::chrono::milliseconds timeout) {
    using Clock = std::chrono::steady_clock;
    const HANDLE stopEvent = reinterpret_cast<HANDLE>(stop.native());
    const Clock::time_point end = Clock::now() + timeout;
    for (;;) {
        if (WaitForSingleObject(stopEvent, 0) == WAIT_OBJECT_0) return WatchResult::Stopped;
        watcher.takeNotices();
        if (watcher.present()) return WatchResult::Present;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0) return WatchResult::TimedOut;
        const auto sleep = std::min(left, watcher.quietPoll());
        if (WaitForSingleObject(stopEvent, static_cast<DWORD>(sleep.count())) == WAIT_OBJECT_0)
            return WatchResult::Stopped;
    }
}

}  // namespace hlx::serial
