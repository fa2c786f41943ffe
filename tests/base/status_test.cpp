#include "base/status.h"

#include <cerrno>
#include <cstring>
#include <sstream>

#include <gtest/gtest.h>

namespace hlx::base {
namespace {

TEST(StatusTest, OkCarriesNoKindAndNoMessage) {
    const Status ok;
    EXPECT_TRUE(ok.isOk());
    EXPECT_TRUE(static_cast<bool>(ok));
    EXPECT_EQ(StatusCode::Ok, ok.code());
    EXPECT_EQ("", ok.message());
    EXPECT_TRUE(ok.withContext("/tmp/x").isOk()) << "context does not turn ok into a failure";
    EXPECT_EQ("", ok.withContext("/tmp/x").message());
}

TEST(StatusTest, AFailureIsNeverOk) {
    EXPECT_EQ(StatusCode::Other, Status::error("plain").code());
    EXPECT_EQ(StatusCode::Other, Status::error(StatusCode::Ok, "said ok by mistake").code());
    EXPECT_FALSE(Status::error(StatusCode::Ok, "said ok by mistake"));
}

TEST(StatusTest, ContextGoesInFrontAndTheKindStays) {
    const Status corrupt = Status::error(StatusCode::Corrupt, "length 9, but 4 bytes follow");
    const Status named = corrupt.withContext("/home/t/logo.vxc");
    EXPECT_TRUE(named.isCorrupt());
    EXPECT_EQ("/home/t/logo.vxc: length 9, but 4 bytes follow", named.message());
}

// Each kind a caller acts on, from the errno values the system reports for it.
TEST(StatusTest, SystemErrorsSayTheirKind) {
    struct Case {
        int err;
        StatusCode code;
    };
    const Case cases[] = {
        {ENOENT, StatusCode::NotFound},
        {ENOTDIR, StatusCode::NotFound},
        {ENXIO, StatusCode::NotFound},
        {ENODEV, StatusCode::NotFound},
        {EEXIST, StatusCode::AlreadyExists},
        {EISDIR, StatusCode::NotRegularFile},
        {ENOTTY, StatusCode::NotSerialPort},
        {EFBIG, StatusCode::TooLarge},
        {ENAMETOOLONG, StatusCode::TooLarge},
        {EACCES, StatusCode::PermissionDenied},
        {EPERM, StatusCode::PermissionDenied},
        {EROFS, StatusCode::PermissionDenied},
        {ENOSPC, StatusCode::NoSpace},
        {EDQUOT, StatusCode::NoSpace},
        {EBUSY, StatusCode::Busy},
        {ETXTBSY, StatusCode::Busy},
        {ETIMEDOUT, StatusCode::TimedOut},
        {EIO, StatusCode::IoError},
        {EXDEV, StatusCode::Other},
        {EINVAL, StatusCode::Other},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.err);
        const Status s = systemError("/tmp/f", c.err);
        EXPECT_EQ(c.code, s.code());
        EXPECT_TRUE(s.is(c.code));
        EXPECT_EQ(std::string("/tmp/f: ") + std::strerror(c.err), s.message());
        EXPECT_EQ(c.code, systemError(c.err).code());
        EXPECT_EQ(std::strerror(c.err), systemError(c.err).message());
    }
}

// A path alone does not say what would give access (a group that can open the device, a report file
// on a device): the text is the system's, and the serial port adds the facts of its device.
TEST(StatusTest, PermissionIsTheSystemsTextWithoutAGuessedHint) {
    const Status device = systemError("/dev/ttyUSB0", EACCES);
    EXPECT_TRUE(device.isPermissionDenied());
    EXPECT_EQ("/dev/ttyUSB0: Permission denied", device.message());
    EXPECT_EQ("/home/t/a.hex: Permission denied", systemError("/home/t/a.hex", EACCES).message());
}

TEST(StatusTest, PrintsItsKindForTestOutput) {
    std::ostringstream out;
    out << Status::error(StatusCode::NoSpace, "disk full") << " / " << Status::ok();
    EXPECT_EQ("NoSpace (disk full) / Ok", out.str());
}

}  // namespace
}  // namespace hlx::base
