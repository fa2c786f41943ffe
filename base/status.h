#pragma once
// Status: the project's error value. A failure from outside (a device, a file, the monitor) travels as a
// Status with a message a technician can act on; exceptions are kept for the unexpected. Cheap to copy
// when ok (no message is held).

#include <string>
#include <string_view>
#include <utility>

namespace hlx::base {

class Status {
public:
    Status() = default;  // ok
    static Status ok() { return {}; }
    static Status error(std::string message) { return Status(std::move(message)); }

    bool isOk() const { return !m_failed; }
    explicit operator bool() const { return isOk(); }
    const std::string& message() const { return m_message; }

private:
    explicit Status(std::string message) : m_failed(true), m_message(std::move(message)) {}
    bool m_failed = false;
    std::string m_message;
};

// "context: reason" with the operating system's text for err (strerror), e.g.
// "/dev/ttyUSB0: Permission denied". Adds the dialout hint for EACCES on a device.
Status systemError(std::string_view context, int err);

}  // namespace hlx::base
