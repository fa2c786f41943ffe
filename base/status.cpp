#include "base/status.h"

#include <cerrno>
#include <cstring>

namespace hlx::base {

Status systemError(std::string_view context, int err) {
    std::string message(context);
    message += ": ";
    message += std::strerror(err);
    if ((err == EACCES || err == EPERM) && context.rfind("/dev/", 0) == 0)
        message +=
            " (the user must be in the group 'dialout': sudo usermod -aG dialout $USER, then log in again)";
    return Status::error(std::move(message));
}

}  // namespace hlx::base
