#pragma once
// makeSystemSerialDevice: the serial device backend of the system the program was built for
// (PosixSerialDevice on Linux, Win32SerialDevice on Windows), so that nothing above serial/ names one.

#include <memory>

#include "serial/serial_device.h"

namespace hlx::serial {

std::unique_ptr<SerialDevice> makeSystemSerialDevice();

}  // namespace hlx::serial
