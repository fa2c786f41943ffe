// The Windows serial backend, the port names and the port list.
//
// The device tests that need a port with a monitor behind it read its COM number from HLX_TEST_COM_PORT
// and skip without it: the Wine test run (tests/wine) maps a COM port to the simulated monitor's
// pseudo-terminal and sets it; on a Windows machine a monitor or a loop through com0com will do.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "serial/port_name.h"
#include "serial/win32_port_info.h"
#include "serial/win32_serial_device.h"

namespace hlx::serial {
namespace {

using namespace std::chrono_literals;

TEST(Win32PortName, NumbersAndComNamesSelectTheComDevice) {
    const struct {
        const char* typed;
        const char* device;
    } cases[] = {
        {"12", "\\\\.\\COM12"},    {" 7x", "\\\\.\\COM7"},           {"com3", "\\\\.\\COM3"},
        {"COM21", "\\\\.\\COM21"}, {"\\\\.\\CNCA0", "\\\\.\\CNCA0"}, {"  ", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(c.device, portDevicePath(c.typed)) << "typed: " << c.typed;
}

TEST(Win32PortInfo, WhatWindowsKnowsBecomesAPortLine) {
    const struct {
        const char* name;
        WindowsPort port;
        std::optional<PortInfo> expected;
    } cases[] = {
        {"FtdiAdapter",
         {"COM5", "USB Serial Port (COM5)", "FTDI", "FTDIBUS", {"FTDIBUS\\COMPORT&VID_0403&PID_6001"}},
         PortInfo{"COM5", "", "FTDIBUS", "0403", "6001", "USB Serial Port (COM5)", "", 5, true}},
        {"CdcAcmInterfaceLowerCase",
         {"com12", "", "Microsoft", "usbser", {"USB\\vid_2341&pid_0043&mi_00", "USB\\VID_2341&PID_0043"}},
         PortInfo{"COM12", "", "usbser", "2341", "0043", "Microsoft", "", 12, true}},
        {"OnBoardPortWithoutUsbIds",
         {"COM1", "Communications Port (COM1)", "(Standard port types)", "Serial", {"ACPI\\PNP0501"}},
         PortInfo{"COM1", "", "Serial", "", "", "Communications Port (COM1)", "", 1, true}},
        {"PrinterPortIsNoSerialPort", {"LPT1", "Printer Port (LPT1)", "", "Parport", {}}, std::nullopt},
        {"ComZeroIsNoPort", {"COM0", "", "", "", {}}, std::nullopt},
        {"NoPortName", {"", "Something", "", "", {}}, std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(c.expected, portFromWindows(c.port)) << c.name;
}

TEST(Win32PortInfo, RegistryPortsJoinTheSetupPortsInNumberOrder) {
    const std::vector<PortInfo> ports = mergePorts(
        {{"COM10", "USB Serial Port (COM10)", "", "FTDIBUS", {}}, {"COM3", "Port three", "", "", {}}},
        {"COM3", "COM21", "COM2", "LPT1"});
    ASSERT_EQ(4u, ports.size());
    EXPECT_EQ("COM2", ports[0].device);
    EXPECT_EQ("COM3", ports[1].device);
    EXPECT_EQ("Port three", ports[1].description) << "the setup entry wins over the registry's";
    EXPECT_EQ("COM10", ports[2].device);
    EXPECT_EQ("21", ports[3].fieldText());
}

TEST(Win32PortList, ListsComPortsOnly) {
    for (const PortInfo& port : listSerialPorts()) {
        EXPECT_GT(port.comNumber, 0);
        EXPECT_EQ("COM" + std::to_string(port.comNumber), port.device);
    }
}

TEST(Win32SerialDevice, PortsThatCannotBeUsedSayWhy) {
    Win32SerialDevice device;
    EXPECT_EQ("\\\\.\\COM249: no such port", device.open("\\\\.\\COM249").message());
    EXPECT_EQ("NUL: not a serial port", device.open("NUL").message());
    EXPECT_EQ("no serial port named", device.open("").message());
    EXPECT_FALSE(device.isOpen());
    EXPECT_FALSE(device.configure(comSettings(0)));
}

TEST(Win32SerialDevice, ClosedDeviceWaitsOnItsWakeUpAlone) {
    Win32SerialDevice device;
    EXPECT_EQ(WaitResult::TimedOut, device.waitReadable(20ms));
    std::thread waker([&] {
        std::this_thread::sleep_for(50ms);
        device.wake();
    });
    EXPECT_EQ(WaitResult::Woken, device.waitReadable(60s));
    waker.join();
}

class Win32PortTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* number = std::getenv("HLX_TEST_COM_PORT");
        if (number == nullptr || *number == '\0')
            GTEST_SKIP() << "HLX_TEST_COM_PORT names no COM port with a monitor";
        path = comPortDevice(std::atoi(number));
        const base::Status opened = device.open(path);
        ASSERT_TRUE(opened) << opened.message();
    }

    // Reads what arrives until text ends with tail or the time is up.
    std::string readUntil(std::string_view tail, std::chrono::milliseconds limit = 5s) {
        std::string text;
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!text.ends_with(tail) && std::chrono::steady_clock::now() < deadline) {
            std::uint8_t buffer[64];
            const IoResult r = device.read(buffer);
            EXPECT_FALSE(r.gone);
            text.append(reinterpret_cast<const char*>(buffer), r.count);
            if (r.count == 0 && device.waitReadable(200ms) == WaitResult::Gone) break;
        }
        return text;
    }

    bool send(std::string_view line) {
        const IoResult r =
            device.write({reinterpret_cast<const std::uint8_t*>(line.data()), line.size()}, 100ms);
        return !r.gone && r.count == line.size();
    }

    std::string path;
    Win32SerialDevice device;
};

// Every settings entry is taken, and a line goes out and its answer comes back whole: the byte that ends
// a wait is handed out by the next read, not lost.
TEST_F(Win32PortTest, TakesEveryEntryAndTalks) {
    for (int entry = -1; entry < 5; ++entry) {
        const base::Status configured = device.configure(comSettings(entry));
        EXPECT_TRUE(configured) << "entry " << entry << ": " << configured.message();
    }
    ASSERT_TRUE(device.configure(comSettings(0)));
    EXPECT_EQ(WaitResult::TimedOut, device.waitReadable(50ms)) << "the monitor says nothing unasked";
    ASSERT_TRUE(send("VERSION?\r\n"));
    EXPECT_EQ(WaitResult::Readable, device.waitWritten(5s));
    ASSERT_EQ(WaitResult::Readable, device.waitReadable(10s));
    EXPECT_EQ("OK\r\n", readUntil("\r\n"));
    EXPECT_EQ(WaitResult::TimedOut, device.waitReadable(50ms));
}

TEST_F(Win32PortTest, AWaitEndsWhenAnotherThreadWakesIt) {
    std::thread waker([&] {
        std::this_thread::sleep_for(100ms);
        device.wake();
    });
    EXPECT_EQ(WaitResult::Woken, device.waitReadable(60s));
    waker.join();
    // The cancelled read took nothing away: the next exchange is whole.
    ASSERT_TRUE(send("PING\r\n"));
    EXPECT_EQ("OK\r\n", readUntil("\r\n"));
}

TEST_F(Win32PortTest, ASecondOpenIsRefusedAsInUseUntilTheFirstCloses) {
    Win32SerialDevice other;
    EXPECT_EQ(path + ": in use by another program", other.open(path).message());
    device.close();
    EXPECT_TRUE(other.open(path)) << "the port is free again";
}

}  // namespace
}  // namespace hlx::serial
