// The Windows port watcher: a quiet poll of the system's COM names (see port_watcher.h). A COM port that
// comes and goes (a USB adapter) appears and disappears in the DOS device names, which QueryDosDevice
// reads without opening the port.

#include <windows.h>

#include <string>
#include <vector>

#include "serial/port_watcher.h"

namespace hlx::serial {
namespace {

constexpr std::chrono::milliseconds kQuietPoll{500};

// "\\.\COM5" -> "COM5"; another name as it is.
std::wstring dosName(const std::string& path) {
    std::string name = path;
    if (name.rfind("\\\\.\\", 0) == 0) name = name.substr(4);
    const int size = MultiByteToWideChar(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    if (size > 0)
        MultiByteToWideChar(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), wide.data(), size);
    return wide;
}

class Win32PortWatcher final : public PortWatcher {
public:
    void watch(const std::string& path) override { m_name = dosName(path); }
    bool present() override {
        if (m_name.empty()) return false;
        std::vector<wchar_t> target(1024);
        return QueryDosDeviceW(m_name.c_str(), target.data(), static_cast<DWORD>(target.size())) != 0;
    }
    int notifyFd() const override { return -1; }
    void takeNotices() override {}
    std::chrono::milliseconds quietPoll() const override { return kQuietPoll; }

private:
    std::wstring m_name;
};

}  // namespace

std::unique_ptr<PortWatcher> makeSystemPortWatcher() {
    return std::make_unique<Win32PortWatcher>();
}

}  // namespace hlx::serial
