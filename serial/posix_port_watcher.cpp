// The Linux port watcher: udev's tty events and inotify on the path's folder, joined by an epoll
// descriptor into one (see port_watcher.h).

#include <libudev.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <string>

#include "base/stop_signals.h"
#include "serial/port_watcher.h"

namespace hlx::serial {
namespace {

// Neither notice comes for everything (a device node made without udev, a file system without inotify),
// so the watcher also looks now and then; a stat a second costs nothing.
constexpr std::chrono::milliseconds kQuietPoll{1000};

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

bool isFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

class LinuxPortWatcher final : public PortWatcher {
public:
    LinuxPortWatcher() {
        m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
        m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_epoll >= 0 && m_inotify >= 0) add(m_inotify);
        m_udev = udev_new();
        if (m_udev != nullptr) m_monitor = udev_monitor_new_from_netlink(m_udev, "udev");
        if (m_monitor != nullptr &&
            udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "tty", nullptr) >= 0 &&
            udev_monitor_enable_receiving(m_monitor) >= 0) {
            // libudev's socket is non-blocking already; the epoll descriptor only reports it readable.
            if (m_epoll >= 0) add(udev_monitor_get_fd(m_monitor));
        } else if (m_monitor != nullptr) {
            udev_monitor_unref(m_monitor);
            m_monitor = nullptr;
        }
    }
    ~LinuxPortWatcher() override {
        if (m_monitor != nullptr) udev_monitor_unref(m_monitor);
        if (m_udev != nullptr) udev_unref(m_udev);
        if (m_inotify >= 0) ::close(m_inotify);
        if (m_epoll >= 0) ::close(m_epoll);
    }
    LinuxPortWatcher(const LinuxPortWatcher&) = delete;
    LinuxPortWatcher& operator=(const LinuxPortWatcher&) = delete;

    void watch(const std::string& path) override {
        m_path = path;
        rewatchFolder();
    }

    bool present() override {
        struct stat st {};
        return !m_path.empty() && ::stat(m_path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
    }

    int notifyFd() const override { return m_epoll; }

    void takeNotices() override {
        if (m_monitor != nullptr) {
            while (udev_device* device = udev_monitor_receive_device(m_monitor)) udev_device_unref(device);
        }
        if (m_inotify >= 0) {
            alignas(inotify_event) std::array<char, 4096> events;
            while (::read(m_inotify, events.data(), events.size()) > 0) {
            }
        }
        // A folder that has come (or gone) since changes which folder is the nearest one to watch.
        rewatchFolder();
    }

    std::chrono::milliseconds quietPoll() const override { return kQuietPoll; }

private:
    void add(int fd) {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = fd;
        (void)::epoll_ctl(m_epoll, EPOLL_CTL_ADD, fd, &event);
    }

    void rewatchFolder() {
        if (m_inotify < 0 || m_path.empty()) return;
        std::string folder = folderOf(m_path);
        while (!isFolder(folder) && folder != "/" && folder != ".") folder = folderOf(folder);
        if (folder == m_folder && m_watch >= 0) return;
        if (m_watch >= 0) (void)::inotify_rm_watch(m_inotify, m_watch);
        m_watch = ::inotify_add_watch(
            m_inotify, folder.c_str(),
            IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF);
        m_folder = m_watch >= 0 ? folder : std::string();
    }

    int m_epoll = -1;
    int m_inotify = -1;
    int m_watch = -1;
    udev* m_udev = nullptr;
    udev_monitor* m_monitor = nullptr;
    std::string m_path;
    std::string m_folder;
};

}  // namespace

std::unique_ptr<PortWatcher> makeSystemPortWatcher() {
    return std::make_unique<LinuxPortWatcher>();
}

WatchResult waitUntilPresent(PortWatcher& watcher, const base::Notice& stop,
                             std::chrono::milliseconds timeout) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + timeout;
    const auto stopped = [&stop](int wait) {
        pollfd p{static_cast<int>(stop.native()), POLLIN, 0};
        return ::poll(&p, 1, wait) > 0 && (p.revents & POLLIN);
    };
    for (;;) {
        if (stopped(0)) return WatchResult::Stopped;
        watcher.takeNotices();
        if (watcher.present()) return WatchResult::Present;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now());
        if (left.count() <= 0) return WatchResult::TimedOut;
        const auto sleep = std::min(left, watcher.quietPoll());
        pollfd fds[2] = {{static_cast<int>(stop.native()), POLLIN, 0}, {watcher.notifyFd(), POLLIN, 0}};
        if (::poll(fds, 2, static_cast<int>(sleep.count())) > 0 && (fds[0].revents & POLLIN))
            return WatchResult::Stopped;
    }
}

}  // namespace hlx::serial
