#include "serial/serial_port.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "serial/posix_serial_device.h"
#include "tests/support/pty.h"
#include "tests/support/temp_dir.h"

namespace hlx::serial {
namespace {

speed_t slaveSpeed(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    termios t{};
    ::tcgetattr(fd, &t);
    ::close(fd);
    return cfgetospeed(&t);
}

class SerialPortTest : public ::testing::Test {
protected:
    test::PseudoTerminal pty;
    PosixSerialDevice* device = new PosixSerialDevice;
    SerialPort port{std::unique_ptr<SerialDevice>(device)};
};

TEST_F(SerialPortTest, OpensAPathAndAppliesTheEntryBaudRate) {
    ASSERT_TRUE(port.open(pty.slavePath(), 0, true));
    EXPECT_TRUE(port.isOpen());
    EXPECT_EQ(B115200, slaveSpeed(pty.slavePath()));
    ASSERT_TRUE(port.open(pty.slavePath(), -1, true));
    EXPECT_EQ(B460800, slaveSpeed(pty.slavePath()));
    EXPECT_EQ(pty.slavePath(), port.state().device);
}

TEST_F(SerialPortTest, EveryEntryConfiguresOnAPseudoTerminalWithItsParityRequested) {
    ASSERT_TRUE(port.open(pty.slavePath(), 0, true));
    for (int entry = -1; entry <= 5; ++entry) {
        SCOPED_TRACE(entry);
        EXPECT_TRUE(port.configure(entry));
        EXPECT_TRUE(port.configure(entry)) << "a second identical request must succeed too";
        const termios& t = device->lastRequested();
        EXPECT_EQ(entry == 2 ? 0u : static_cast<tcflag_t>(PARENB), t.c_cflag & PARENB);
        EXPECT_EQ(0u, t.c_cflag & PARODD);
        EXPECT_EQ(static_cast<tcflag_t>(CS8), t.c_cflag & CSIZE);
        EXPECT_EQ(0u, t.c_cflag & (CSTOPB | CRTSCTS | HUPCL));
        EXPECT_EQ(0u, t.c_iflag & (IXON | IXOFF | INPCK));
        EXPECT_EQ(0u, t.c_lflag & ICANON);
        EXPECT_EQ(comSettings(entry), port.state().settings);
    }
}

TEST(ComSettingsTable, EntriesAndFallback) {
    EXPECT_EQ((LineSettings{115200, 8, Parity::Even, 1}), comSettings(0));
    EXPECT_EQ((LineSettings{460800, 8, Parity::Even, 1}), comSettings(1));
    EXPECT_EQ((LineSettings{115200, 8, Parity::None, 1}), comSettings(2));
    EXPECT_EQ((LineSettings{9600, 8, Parity::Even, 1}), comSettings(3));
    EXPECT_EQ((LineSettings{57600, 8, Parity::Even, 1}), comSettings(4));
    EXPECT_EQ(kFallbackSettings, comSettings(-1));
    EXPECT_EQ(kFallbackSettings, comSettings(5));
}

// Opens the device in a child process with the same backend; returns the kind of failure (Ok: opened).
base::StatusCode openInAnotherProcess(const std::string& path) {
    const pid_t child = ::fork();
    if (child == 0) {
        SerialPort other(std::make_unique<PosixSerialDevice>());
        (void)other.open(path, 0, true);  // the state tells how it went
        ::_exit(static_cast<int>(other.state().status.code()));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? static_cast<base::StatusCode>(WEXITSTATUS(status)) : base::StatusCode::Other;
}

TEST_F(SerialPortTest, HeldExclusivelyAndReopenedByItsOwner) {
    ASSERT_TRUE(port.open(pty.slavePath(), 0, true));
    EXPECT_EQ(base::StatusCode::Busy, openInAnotherProcess(pty.slavePath()));
    EXPECT_TRUE(port.open(pty.slavePath(), 1, true)) << "the close-first re-open must succeed";
    port.close();
    EXPECT_EQ(base::StatusCode::Ok, openInAnotherProcess(pty.slavePath()));
}

TEST_F(SerialPortTest, MissingDeviceFailsWithTheReason) {
    EXPECT_FALSE(port.open("/dev/does-not-exist-hlx", 0, true));
    EXPECT_FALSE(port.isOpen());
    EXPECT_FALSE(port.configure(0));
    EXPECT_TRUE(port.state().status.isNotFound()) << port.state().status;
    EXPECT_NE(std::string::npos, port.state().status.message().find("No such file or directory"));
    std::uint8_t buffer[4];
    EXPECT_EQ(0u, port.read(buffer));
    EXPECT_EQ(0u, port.write(buffer));
}

TEST_F(SerialPortTest, WhatIsNoSerialPortIsRefusedAsSuch) {
    test::TempDir dir;
    test::writeFile(dir.file("notes.txt"), "text");
    struct Case {
        const char* name;
        std::string path;
        base::StatusCode code;
    };
    const Case cases[] = {
        {"RegularFile", dir.file("notes.txt"), base::StatusCode::NotSerialPort},
        {"NullDevice", "/dev/null", base::StatusCode::NotSerialPort},
        {"NoNameAtAll", "", base::StatusCode::NotFound},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(port.open(c.path, 0, true));
        EXPECT_EQ(c.code, port.state().status.code()) << port.state().status;
        EXPECT_FALSE(port.state().lost());
    }
}

TEST_F(SerialPortTest, VanishedDeviceClosesThePort) {
    ASSERT_TRUE(port.open(pty.slavePath(), 0, true));
    pty.hangUp();
    // The hang-up shows on the next wait or read; the port is then closed for good.
    port.waitReadable(std::chrono::milliseconds{200});
    std::uint8_t buffer[4];
    port.read(buffer);
    EXPECT_FALSE(port.isOpen());
    EXPECT_TRUE(port.state().lost());
    EXPECT_NE(std::string::npos, port.state().status.message().find("gone"));
    EXPECT_FALSE(port.configure(0));
    EXPECT_TRUE(port.state().lost()) << "a configure on the lost port keeps the reason";
}

}  // namespace
}  // namespace hlx::serial
