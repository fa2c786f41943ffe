// The permission hint says what is true of the device: its owner, group and mode, whether the user is in
// that group (now or from the next login), and what would give access.
#include "serial/port_access.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "tests/support/pty.h"
#include "tests/support/temp_dir.h"

namespace hlx::serial {
namespace {

struct HintCase {
    const char* name;
    DeviceAccess access;
    std::string hint;
};

void PrintTo(const HintCase& c, std::ostream* os) {
    *os << c.name;
}

DeviceAccess device(std::string group, unsigned mode) {
    DeviceAccess a;
    a.characterDevice = true;
    a.owner = "root";
    a.groupIsRoot = group == "root";
    a.group = std::move(group);
    a.mode = mode;
    return a;
}

DeviceAccess with(DeviceAccess a, bool session, bool listed, bool owner = false) {
    a.sessionInGroup = session;
    a.userInGroup = listed;
    a.userIsOwner = owner;
    return a;
}

const std::string kNoGroup =
    ", so joining a group does not help: a udev rule must give the device a group (e.g. GROUP=\"dialout\", "
    "MODE=\"0660\"), or the job must run as root";

const HintCase kHintCases[] = {
    {"NotInTheDevicesGroup", device("dialout", 0660),
     "crw-rw---- root:dialout; the user is not in the group 'dialout': sudo usermod -aG dialout $USER, then "
     "log in again"},
    {"AnotherGroupIsNamedAsItIs", device("uucp", 0660),
     "crw-rw---- root:uucp; the user is not in the group 'uucp': sudo usermod -aG uucp $USER, then log in "
     "again"},
    {"AddedToTheGroupSinceThisSessionBegan", with(device("dialout", 0660), false, true),
     "crw-rw---- root:dialout; the user was added to the group 'dialout' after this session began: log in "
     "again (or run 'newgrp dialout')"},
    {"InTheGroupAlready", with(device("dialout", 0660), true, true),
     "crw-rw---- root:dialout; the user is in the group 'dialout' and may open it: another rule of the "
     "system refuses it"},
    {"RootOnly", device("root", 0600), "crw------- root:root; no group may read and write it" + kNoGroup},
    {"GroupMayOnlyRead", device("dialout", 0640),
     "crw-r----- root:dialout; no group may read and write it" + kNoGroup},
    {"RootsGroup", device("root", 0660),
     "crw-rw---- root:root; only root's group may read and write it" + kNoGroup},
    {"OwnerWithoutRights", with(device("dialout", 0060), false, false, true),
     "c---rw---- root:dialout; the user owns it but may not read and write it: chmod u+rw the device"},
    {"NotADevice", DeviceAccess{}, ""},
};

class PermissionHintTest : public ::testing::TestWithParam<HintCase> {};

TEST_P(PermissionHintTest, SaysWhatIsTrueOfTheDevice) {
    EXPECT_EQ(GetParam().hint, permissionHint(GetParam().access));
}

INSTANTIATE_TEST_SUITE_P(Devices, PermissionHintTest, ::testing::ValuesIn(kHintCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The facts come from the device the path names, also through a link outside /dev.
TEST(DeviceAccessTest, ReadsTheDeviceBehindALink) {
    test::PseudoTerminal pty;
    test::TempDir dir;
    const std::string link = dir.file("monitor");
    ASSERT_EQ(0, ::symlink(pty.slavePath().c_str(), link.c_str()));
    ASSERT_EQ(0, ::chmod(pty.slavePath().c_str(), 0620));
    const DeviceAccess access = deviceAccess(link);
    EXPECT_TRUE(access.characterDevice);
    EXPECT_EQ(0620u, access.mode);
    struct stat st {};
    ASSERT_EQ(0, ::stat(pty.slavePath().c_str(), &st));
    EXPECT_EQ(st.st_uid == ::geteuid(), access.userIsOwner);
    EXPECT_FALSE(access.group.empty());
    EXPECT_FALSE(deviceAccess(dir.path()).characterDevice) << "a folder is no device";
    EXPECT_FALSE(deviceAccess(dir.file("missing")).characterDevice);
}

TEST(DeviceAccessTest, ModeTextIsTheListingsOne) {
    EXPECT_EQ("crw-rw----", modeText(0660));
    EXPECT_EQ("crwxr-x--x", modeText(0751));
}

}  // namespace
}  // namespace hlx::serial
