#pragma once
// What the technician types into the COM-Nr field, turned into a device.
// - readComNumber: the number at the start of the 8-bit text, as the C library's "%d" scan reads it
//   (leading white space, an optional sign, digits up to the first non-digit); 0 when there is none.
// - portDevicePath: a text that starts with a number n selects the n-th serial port, comPortDevice(n);
//   "COMn" (any case) means the same; any other text is taken as a device path (/dev/ttyUSB0,
//   /dev/serial/by-id/..., a pseudo-terminal; on Windows a device name such as \\.\CNCA0). An empty or
//   blank text names no device.
// - comPortDevice: the device of COM port n on the system the program runs on: /dev/ttyS(n-1) on Linux
//   (the usual mapping), "\\.\COMn" on Windows. Defined beside each system's serial backend.

#include <optional>
#include <string>
#include <string_view>

namespace hlx::serial {

std::optional<int> scanComNumber(std::string_view text8bit);
int readComNumber(std::string_view text8bit);
std::string portDevicePath(std::string_view text8bit);
std::string comPortDevice(int number);
// What a COM-Nr text may be on this system, for help texts: "a number n for COMn (/dev/ttyS(n-1)) or a
// device path such as ..." on Linux, the COM names on Windows.
std::string_view portTextHelp();

}  // namespace hlx::serial
