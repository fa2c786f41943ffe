// The Linux port watcher: a path whose device comes and goes (a symbolic link to a pseudo-terminal, made
// and taken away, as the simulator's --link does on a restart), and the wait for it, which ends when the
// device is there or when it is stopped.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>

#include "base/stop_signals.h"
#include "serial/port_watcher.h"
#include "tests/support/pty.h"
#include "tests/support/temp_dir.h"

namespace hlx::serial {
namespace {

using namespace std::chrono_literals;

// Longer than any test may take: a wait that ends does so for its reason, not for the time.
constexpr std::chrono::milliseconds kForever = 10min;

TEST(PortWatcher, SeesADeviceComeAndGoBehindALink) {
    test::PseudoTerminal pty;
    test::TempDir dir;
    const std::string link = dir.file("monitor");
    const std::unique_ptr<PortWatcher> watcher = makeSystemPortWatcher();
    watcher->watch(link);
    EXPECT_FALSE(watcher->present());
    base::Notice stop;
    EXPECT_EQ(WatchResult::TimedOut, waitUntilPresent(*watcher, stop, 0ms));

    std::future<WatchResult> waiting =
        std::async(std::launch::async, [&] { return waitUntilPresent(*watcher, stop, kForever); });
    std::filesystem::create_symlink(pty.slavePath(), link);
    EXPECT_EQ(WatchResult::Present, waiting.get());
    EXPECT_TRUE(watcher->present());

    std::filesystem::remove(link);
    EXPECT_FALSE(watcher->present());
    // A link to something that is no device is no port either.
    std::filesystem::create_symlink(dir.path(), link);
    EXPECT_FALSE(watcher->present());
}

TEST(PortWatcher, AWaitForAnAbsentDeviceEndsWhenStopped) {
    test::TempDir dir;
    const std::unique_ptr<PortWatcher> watcher = makeSystemPortWatcher();
    watcher->watch(dir.file("no-such-port"));
    base::Notice stop;
    std::future<WatchResult> waiting =
        std::async(std::launch::async, [&] { return waitUntilPresent(*watcher, stop, kForever); });
    stop.notify();
    EXPECT_EQ(WatchResult::Stopped, waiting.get());
    EXPECT_EQ(WatchResult::Stopped, waitUntilPresent(*watcher, stop, kForever)) << "a stop already set";
}

}  // namespace
}  // namespace hlx::serial
