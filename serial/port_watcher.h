#pragma once
// PortWatcher: tells when the device behind a port's path comes and goes, so an idle terminal (the window,
// `hlx terminal`) can open the same device again by itself once it is back: a USB serial adapter plugged
// in again, a monitor whose USB service port left the bus while it restarted. A job never reconnects.
//
// "The same device" is the same path: /dev/ttyUSB0 is whatever adapter gets that name; a
// /dev/serial/by-id/... path names one adapter (maker, product and serial number), so it comes back only
// with that adapter; a symbolic link (the simulator's --link) is followed to what it points to now.
//
// Use: watch(path), then sleep in poll() on notifyFd() (when it is not -1) with quietPoll() as the
// time-out; after a wake-up or the time-out call takeNotices() and then ask present(). The watcher never
// wakes anyone by itself; it has no thread.
//
// Linux: a udev monitor on the tty subsystem (a device added or removed) and inotify on the path's folder
// (a name created, removed, renamed or changed there: /dev/serial/by-id links, a symbolic link made by
// hand or by the simulator, whose pseudo-terminals are no udev devices; the nearest existing folder above
// when the folder itself is gone, as /dev/serial/by-id is when the last adapter leaves), joined into one
// descriptor. A slow quiet poll covers what neither reports. Windows: no descriptor; a quiet poll of the
// port's presence (the system's DOS device names, else an open that finds the port, busy or not).
//
// waitUntilPresent does the whole wait for a caller that waits for nothing else but a stop: it sleeps in
// the system (on the notices and the stop notice, at most quietPoll() between two looks) until the device
// is there, the stop notice is set, or the time-out has passed.
//
// Threads: one thread at a time.

#include <chrono>
#include <memory>
#include <string>

namespace hlx::base {
class Notice;
}

namespace hlx::serial {

class PortWatcher {
public:
    virtual ~PortWatcher() = default;

    // Watches path from now on (in place of the path watched before).
    virtual void watch(const std::string& path) = 0;
    // Whether a device is behind the path now (a symbolic link followed).
    virtual bool present() = 0;
    // A descriptor that becomes readable when the device may have come or gone; -1 when there is none.
    virtual int notifyFd() const = 0;
    // Takes the notices that made notifyFd() readable (so the next poll sleeps again).
    virtual void takeNotices() = 0;
    // The longest sleep before present() should be asked again without a notice.
    virtual std::chrono::milliseconds quietPoll() const = 0;
};

// The watcher of the system the program was built for.
std::unique_ptr<PortWatcher> makeSystemPortWatcher();

enum class WatchResult { Present, Stopped, TimedOut };

// Sleeps until the watched device is present, stop is notified (it is left set) or timeout has passed;
// a stop already set ends it before the first look.
WatchResult waitUntilPresent(PortWatcher& watcher, const base::Notice& stop,
                             std::chrono::milliseconds timeout);

}  // namespace hlx::serial
