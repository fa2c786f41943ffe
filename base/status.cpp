#include "base/status.h"

#include <cerrno>
#include <cstring>
#include <ostream>

namespace hlx::base {

Status Status::withContext(std::string_view context) const {
    if (isOk()) return *this;
    std::string message(context);
    message += ": ";
    message += m_message;
    return Status(m_code, std::move(message));
}

StatusCode codeForErrno(int err) {
    switch (err) {
        case 0:
            return StatusCode::Ok;
        case ENOENT:
        case ENOTDIR:
        case ENXIO:
        case ENODEV:
            return StatusCode::NotFound;
        case EEXIST:
            return StatusCode::AlreadyExists;
        case EISDIR:
            return StatusCode::NotRegularFile;
        case ENOTTY:
            return StatusCode::NotSerialPort;
        case EFBIG:
        case ENAMETOOLONG:
            return StatusCode::TooLarge;
        case EACCES:
        case EPERM:
        case EROFS:
            return StatusCode::PermissionDenied;
        case ENOSPC:
#ifdef EDQUOT
        case EDQUOT:
#endif
            return StatusCode::NoSpace;
        case EBUSY:
        case ETXTBSY:
            return StatusCode::Busy;
        case ETIMEDOUT:
            return StatusCode::TimedOut;
        case EIO:
            return StatusCode::IoError;
        default:
            return StatusCode::Other;
    }
}

Status systemError(int err) {
    return Status::error(codeForErrno(err), std::strerror(err));
}

Status systemError(std::string_view context, int err) {
    return systemError(err).withContext(context);
}

std::string_view codeName(StatusCode code) {
    switch (code) {
        case StatusCode::Ok:
            return "Ok";
        case StatusCode::Other:
            return "Other";
        case StatusCode::NotFound:
            return "NotFound";
        case StatusCode::AlreadyExists:
            return "AlreadyExists";
        case StatusCode::NotRegularFile:
            return "NotRegularFile";
        case StatusCode::NotSerialPort:
            return "NotSerialPort";
        case StatusCode::TooLarge:
            return "TooLarge";
        case StatusCode::PermissionDenied:
            return "PermissionDenied";
        case StatusCode::NoSpace:
            return "NoSpace";
        case StatusCode::Busy:
            return "Busy";
        case StatusCode::Gone:
            return "Gone";
        case StatusCode::TimedOut:
            return "TimedOut";
        case StatusCode::Corrupt:
            return "Corrupt";
        case StatusCode::IoError:
            return "IoError";
    }
    return "Unknown";
}

std::ostream& operator<<(std::ostream& out, StatusCode code) {
    return out << codeName(code);
}

std::ostream& operator<<(std::ostream& out, const Status& status) {
    if (status.isOk()) return out << "Ok";
    return out << codeName(status.code()) << " (" << status.message() << ")";
}

}  // namespace hlx::base
