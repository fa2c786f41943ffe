#include "serial/port_name.h"

#include <gtest/gtest.h>

namespace hlx::serial {
namespace {

struct NameCase {
    const char* typed;
    int number;
    const char* device;
};

constexpr NameCase kNameCases[] = {
    {"1", 1, "/dev/ttyS0"},
    {"12", 12, "/dev/ttyS11"},
    {" 7a", 7, "/dev/ttyS6"},
    {"+3", 3, "/dev/ttyS2"},
    {"COM4", 0, "/dev/ttyS3"},
    {"com2", 0, "/dev/ttyS1"},
    {"/dev/ttyUSB0", 0, "/dev/ttyUSB0"},
    {" /dev/pts/7 ", 0, "/dev/pts/7"},
    {"", 0, ""},
    {"0", 0, "COM0"},
    {"-2", -2, "COM-2"},
    {"99999999999", 2147483647, "/dev/ttyS2147483646"},
};

TEST(PortName, NumberAndDeviceFromTypedText) {
    for (const NameCase& c : kNameCases) {
        SCOPED_TRACE(c.typed);
        EXPECT_EQ(c.number, readComNumber(c.typed));
        EXPECT_EQ(c.device, portDevicePath(c.typed));
    }
}

}  // namespace
}  // namespace hlx::serial
