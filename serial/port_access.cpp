#include "serial/port_access.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace hlx::serial {
namespace {

constexpr unsigned kReadWrite = 06;  // of one class: owner (<< 6), group (<< 3), others

bool classMayOpen(unsigned mode, int shift) {
    return ((mode >> shift) & kReadWrite) == kReadWrite;
}

std::string userName(uid_t uid) {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found) return found->pw_name;
    return std::to_string(uid);
}

std::string groupName(gid_t gid) {
    std::vector<char> buffer(65536);
    group entry{};
    group* found = nullptr;
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found) return found->gr_name;
    return std::to_string(gid);
}

// The groups this process has: its effective group and the supplementary ones.
bool sessionHasGroup(gid_t gid) {
    if (::getegid() == gid) return true;
    const int count = ::getgroups(0, nullptr);
    if (count <= 0) return false;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    const int got = ::getgroups(count, groups.data());
    return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

// Whether the group database lists the user in the group (as it will be at the next login).
bool userListedInGroup(uid_t uid, gid_t gid) {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* user = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &user) != 0 || !user) return false;
    if (user->pw_gid == gid) return true;
    int count = 64;
    std::vector<gid_t> groups(static_cast<std::size_t>(count));
    if (::getgrouplist(user->pw_name, user->pw_gid, groups.data(), &count) < 0) {
        groups.resize(static_cast<std::size_t>(count));
        if (::getgrouplist(user->pw_name, user->pw_gid, groups.data(), &count) < 0) return false;
    }
    return std::find(groups.begin(), groups.begin() + count, gid) != groups.begin() + count;
}

}  // namespace

DeviceAccess deviceAccess(const std::string& path) {
    DeviceAccess access;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return access;
    access.characterDevice = true;
    access.owner = userName(st.st_uid);
    access.group = groupName(st.st_gid);
    access.groupIsRoot = st.st_gid == 0;
    access.mode = st.st_mode & 07777;
    access.userIsOwner = st.st_uid == ::geteuid();
    access.sessionInGroup = sessionHasGroup(st.st_gid);
    access.userInGroup = access.sessionInGroup || userListedInGroup(::geteuid(), st.st_gid);
    return access;
}

std::string modeText(unsigned mode) {
    std::string text = "c";
    for (int shift : {6, 3, 0}) {
        text += (mode >> shift) & 04 ? 'r' : '-';
        text += (mode >> shift) & 02 ? 'w' : '-';
        text += (mode >> shift) & 01 ? 'x' : '-';
    }
    return text;
}

std::string permissionHint(const DeviceAccess& a) {
    if (!a.characterDevice) return {};
    std::string hint = modeText(a.mode) + " " + a.owner + ":" + a.group + "; ";
    const std::string quoted = "'" + a.group + "'";
    // The kernel checks one class: the owner's bits for the owner, the group's for its members, else
    // the others'.
    if (a.userIsOwner) {
        if (classMayOpen(a.mode, 6))
            return hint + "the user owns it and may open it: another rule of the system refuses it";
        return hint + "the user owns it but may not read and write it: chmod u+rw the device";
    }
    if (classMayOpen(a.mode, 0) && !a.sessionInGroup)
        return hint + "everyone may open it: another rule of the system refuses it";
    if (!classMayOpen(a.mode, 3) || a.groupIsRoot) {
        hint += a.groupIsRoot && classMayOpen(a.mode, 3) ? "only root's group may read and write it"
                                                         : "no group may read and write it";
        return hint +
               ", so joining a group does not help: a udev rule must give the device a group "
               "(e.g. GROUP=\"dialout\", MODE=\"0660\"), or the job must run as root";
    }
    if (a.sessionInGroup)
        return hint + "the user is in the group " + quoted +
               " and may open it: another rule of the system refuses it";
    if (a.userInGroup)
        return hint + "the user was added to the group " + quoted +
               " after this session began: log in again (or run 'newgrp " + a.group + "')";
    return hint + "the user is not in the group " + quoted + ": sudo usermod -aG " + a.group +
           " $USER, then log in again";
}

}  // namespace hlx::serial
