// The Windows port watcher: a COM port that is not there is absent, a wait for it sleeps until it is
// stopped, and a COM port that comes and goes is seen doing so.
//
// The coming and going needs someone outside the Windows program to make the port and take it away: the
// Wine test run (tests/wine) maps a COM port to a pseudo-terminal by a link in the prefix's dosdevices
// folder and takes the link away again. It names the port in HLX_TEST_WATCH_PORT and plays its part by
// lines: this test writes "absent" on stdout when it has seen the port missing and waits for it, the run
// then makes the link; the test writes "present" once its wait has ended, and the run removes the link
// and answers "removed" on stdin. Without HLX_TEST_WATCH_PORT that test skips.

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>

#include "base/stop_signals.h"
#include "serial/port_watcher.h"
#include "serial/win32_serial_device.h"

namespace hlx::serial {
namespace {

using namespace std::chrono_literals;

// Longer than any test may take: a wait that ends does so for its reason, not for the time.
constexpr std::chrono::milliseconds kForever = 10min;

TEST(Win32PortWatcher, APortThatIsNotThereIsAbsent) {
    const std::unique_ptr<PortWatcher> watcher = makeSystemPortWatcher();
    EXPECT_FALSE(watcher->present()) << "nothing watched yet";
    for (const char* path : {"\\\\.\\COM249", "COM248"}) {
        watcher->watch(path);
        EXPECT_FALSE(watcher->present()) << path;
    }
    EXPECT_EQ(-1, watcher->notifyFd());
    EXPECT_EQ(500ms, watcher->quietPoll());
    base::Notice stop;
    EXPECT_EQ(WatchResult::TimedOut, waitUntilPresent(*watcher, stop, 0ms));
}

TEST(Win32PortWatcher, AWaitForAnAbsentPortEndsWhenStopped) {
    const std::unique_ptr<PortWatcher> watcher = makeSystemPortWatcher();
    watcher->watch("\\\\.\\COM247");
    base::Notice stop;
    std::future<WatchResult> waiting =
        std::async(std::launch::async, [&] { return waitUntilPresent(*watcher, stop, kForever); });
    stop.notify();
    EXPECT_EQ(WatchResult::Stopped, waiting.get());
    // A stop that is already set ends the wait before it looks.
    EXPECT_EQ(WatchResult::Stopped, waitUntilPresent(*watcher, stop, kForever));
}

void say(const char* line) {
    std::printf("%s\n", line);
    std::fflush(stdout);
}

std::string readLine() {
    std::string line;
    char c = 0;
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &c, 1, &got, nullptr) && got == 1 && c != '\n')
        if (c != '\r') line += c;
    return line;
}

TEST(Win32PortWatcher, SeesAComPortComeAndGo) {
    const char* number = std::getenv("HLX_TEST_WATCH_PORT");
    if (number == nullptr) GTEST_SKIP() << "HLX_TEST_WATCH_PORT names no COM port that comes and goes";
    const std::string path = std::string("\\\\.\\COM") + number;
    const std::unique_ptr<PortWatcher> watcher = makeSystemPortWatcher();
    watcher->watch(path);
    ASSERT_FALSE(watcher->present()) << path << " is there before it was made";

    say("absent");
    base::Notice stop;
    ASSERT_EQ(WatchResult::Present, waitUntilPresent(*watcher, stop, kForever));
    EXPECT_TRUE(watcher->present());
    {
        // Held by a program (this one), the port is still there: the open that follows says it is busy.
        Win32SerialDevice device;
        ASSERT_TRUE(device.open(path)) << path;
        EXPECT_TRUE(watcher->present());
    }
    say("present");
    ASSERT_EQ("removed", readLine());
    EXPECT_FALSE(watcher->present()) << path << " is still there after it was taken away";
}

}  // namespace
}  // namespace hlx::serial
