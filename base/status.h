#pragma once
// Status: the project's error value. A failure from outside (a device, a file, the monitor) travels as a
// Status with a code that says what kind of failure it is, so a caller can act on the kind ("no file yet:
// a first start", "too large: say the limit", "in use: name the other program") without reading errno or
// the text, and a message a technician can act on. Exceptions are kept for the unexpected. Cheap to copy
// when ok (no message is held).
//
// The class is [[nodiscard]]: a function that returns a Status cannot be called as if it could not fail.
// A result that is rightly ignored is discarded with (void) and a comment saying why.

#include <iosfwd>
#include <string>
#include <string_view>
#include <utility>

namespace hlx::base {

enum class StatusCode {
    Ok,
    Other,             // a failure of no kind below
    NotFound,          // no such file, folder or device (ENOENT, ENOTDIR, ENXIO, ENODEV)
    AlreadyExists,     // the name is taken (EEXIST)
    NotRegularFile,    // a folder, FIFO or device where a regular file was wanted (EISDIR)
    NotSerialPort,     // something that is not a terminal device where a serial port was wanted (ENOTTY)
    TooLarge,          // above a limit: a file size, a picture, a name (EFBIG, ENAMETOOLONG)
    PermissionDenied,  // no right to it, or a read-only file system (EACCES, EPERM, EROFS)
    NoSpace,           // the disk or the quota is full (ENOSPC, EDQUOT)
    Busy,              // in use by another program (EBUSY, ETXTBSY, a lock held elsewhere)
    Gone,              // a device that went away while in use (hang-up, unplugged adapter)
    TimedOut,          // ETIMEDOUT
    Corrupt,           // data that does not follow its format
    IoError,           // the medium failed (EIO) or a file changed under the reader
};

class [[nodiscard]] Status {
public:
    using Code = StatusCode;

    Status() = default;  // ok
    static Status ok() { return {}; }
    // A failure of kind Other.
    static Status error(std::string message) { return Status(Code::Other, std::move(message)); }
    // A failure of the given kind; Code::Ok is taken as Other (a failure is never ok).
    static Status error(Code code, std::string message) {
        return Status(code == Code::Ok ? Code::Other : code, std::move(message));
    }

    bool isOk() const { return m_code == Code::Ok; }
    explicit operator bool() const { return isOk(); }
    Code code() const { return m_code; }
    bool is(Code code) const { return m_code == code; }
    bool isNotFound() const { return is(Code::NotFound); }
    bool isAlreadyExists() const { return is(Code::AlreadyExists); }
    bool isNotRegularFile() const { return is(Code::NotRegularFile); }
    bool isNotSerialPort() const { return is(Code::NotSerialPort); }
    bool isTooLarge() const { return is(Code::TooLarge); }
    bool isPermissionDenied() const { return is(Code::PermissionDenied); }
    bool isNoSpace() const { return is(Code::NoSpace); }
    bool isBusy() const { return is(Code::Busy); }
    bool isGone() const { return is(Code::Gone); }
    bool isTimedOut() const { return is(Code::TimedOut); }
    bool isCorrupt() const { return is(Code::Corrupt); }
    bool isIoError() const { return is(Code::IoError); }
    const std::string& message() const { return m_message; }

    // The same failure with context in front of its message ("context: message"); ok stays ok.
    [[nodiscard]] Status withContext(std::string_view context) const;

private:
    Status(Code code, std::string message) : m_code(code), m_message(std::move(message)) {}
    Code m_code = Code::Ok;
    std::string m_message;
};

// The kind an errno value stands for (Other for one without a kind of its own; Ok for 0).
StatusCode codeForErrno(int err);
// The operating system's text for err (strerror) with the kind codeForErrno gives, e.g. "No space left on
// device". err must not be 0.
[[nodiscard]] Status systemError(int err);
// "context: reason" with the operating system's text for err, e.g. "/dev/ttyUSB0: Permission denied".
// (What would give access to a serial device is the port's to say: serial/port_access.h.)
[[nodiscard]] Status systemError(std::string_view context, int err);

// "NotFound", "TooLarge", ...: for test output and logs.
std::string_view codeName(StatusCode code);
std::ostream& operator<<(std::ostream& out, StatusCode code);
std::ostream& operator<<(std::ostream& out, const Status& status);

}  // namespace hlx::base
