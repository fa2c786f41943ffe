#pragma once
// What a technician needs to know when a serial device refuses to open for lack of permission: who owns
// the device, its group and mode, whether the user is in that group (now, or only from the next login),
// and what would give access. The hint says only what is true of this device: a group is named only when
// its members may read and write the device, and "log in again" only when the user has joined that group
// since this session began.
//
// The device is the one the path names, links followed: a link outside /dev (a stable name of the
// technician's own) gets the hint of the device it points to.
//
// Threads: plain functions; deviceAccess reads the user and group databases (thread-safe calls).

#include <string>

namespace hlx::serial {

struct DeviceAccess {
    bool characterDevice = false;  // false: not a device (nothing below is about a device)
    std::string owner;             // user name (or number when it has none)
    std::string group;             // group name (or number)
    bool groupIsRoot = false;      // the group is root's own (gid 0): joining it is no answer
    unsigned mode = 0;             // the permission bits, e.g. 0660
    bool userIsOwner = false;
    bool sessionInGroup = false;  // this process has the group (it counts for the open)
    bool userInGroup = false;     // the user is a member in the group database (counts from the next login)
};

// The facts of the device the path names (stat, links followed); characterDevice false when it is not
// one or cannot be looked at.
DeviceAccess deviceAccess(const std::string& path);

// The text in parentheses after "Permission denied", e.g.
//   "crw-rw---- root:dialout; the user is not in the group 'dialout': sudo usermod -aG dialout $USER,
//    then log in again"
// Empty when the path is no character device.
std::string permissionHint(const DeviceAccess& access);

// "crw-rw----" for a character device of that mode.
std::string modeText(unsigned mode);

}  // namespace hlx::serial
