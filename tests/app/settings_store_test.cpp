#include "app/settings_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "app/registry_file.h"
#include "tests/support/faulty_file_system.h"
#include "tests/support/temp_dir.h"

namespace hlx::app {
namespace {

using namespace std::string_literals;

// Sets or removes an environment variable for the life of the object, then puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) m_old = old;
        if (value != nullptr) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~ScopedEnv() {
        if (m_old) {
            ::setenv(m_name, m_old->c_str(), 1);
        } else {
            ::unsetenv(m_name);
        }
    }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

auto fields(const SettingsValues& v) {
    return std::tie(v.firmwareFile, v.firmwareFileRealterm, v.firmwareFileBootLoader, v.comNumber,
                    v.comSetting, v.sendFiles);
}

// The window as it comes up before anything is loaded.
SettingsValues designTime() {
    SettingsValues v;
    v.comNumber = "1";
    v.comSetting = -1;
    return v;
}

SettingsValues sample() {
    SettingsValues v;
    v.firmwareFile = "/home/tech/fw/rtq.hex";
    v.firmwareFileRealterm = "/home/tech/fw/realterm.hex";
    v.firmwareFileBootLoader = "/home/tech/fw/boot.hex";
    v.comNumber = "3";
    v.comSetting = 3;  // "9600,8,E,1"
    v.sendFiles = {"/s/1.txt", "/s/2.vxc", "/s/3.txt", "", "/s/5.txt", "/s/6.bin"};
    return v;
}

std::set<std::string> entriesOf(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

class SettingsStoreTest : public ::testing::Test {
protected:
    test::TempDir dir;
    std::string path = dir.file("RTQ1.0.reg");
    SettingsStore store{path};

    void save(const SettingsValues& values) { ASSERT_TRUE(store.save(values).isOk()); }
    SettingsValues loadOver(SettingsValues values) {
        store.load(values);
        return values;
    }
};

TEST(SettingPathTest, BasePathFollowedByTheName) {
    const struct {
        SettingKind kind;
        int number;
        const char* expected;
    } cases[] = {
        {SettingKind::RegistryAccessCheck, 0, "\\QUENDAL\\RTQ1.0\\REGISTRYACCESSCHECK"},
        {SettingKind::FirmwareFile, 0, "\\QUENDAL\\RTQ1.0\\FWFILE"},
        {SettingKind::FirmwareFileRealterm, 0, "\\QUENDAL\\RTQ1.0\\FWFILE_RT"},
        {SettingKind::FirmwareFileBootLoader, 0, "\\QUENDAL\\RTQ1.0\\FWFILE_BL"},
        {SettingKind::ComNumber, 0, "\\QUENDAL\\RTQ1.0\\COMNO"},
        {SettingKind::ComSetting, 0, "\\QUENDAL\\RTQ1.0\\COMSETTING"},
        {SettingKind::SendFile, 1, "\\QUENDAL\\RTQ1.0\\SENDFILES1"},
        {SettingKind::SendFile, 6, "\\QUENDAL\\RTQ1.0\\SENDFILES6"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(c.expected, settingPath(c.kind, c.number));
    }
}

TEST_F(SettingsStoreTest, SaveWritesTheProbeThenEverySettingInLoadOrder) {
    save(sample());
    EXPECT_EQ(
        "Windows Registry Editor Version 5.00\n\n"
        "[HKEY_CURRENT_USER\\QUENDAL\\RTQ1.0\\REGISTRYACCESSCHECK]\n"
        "\"\\\\QUENDAL\\\\RTQ1.0\\\\REGISTRYACCESSCHECK\"=dword:00000001\n\n"
        "[HKEY_CURRENT_USER\\QUENDAL\\RTQ1.0\\FWFILE]\n"
        "\"\\\\QUENDAL\\\\RTQ1.0\\\\FWFILE\"=\"/home/tech/fw/rtq.hex\"\n\n"
        "[HKEY_CURRENT_USER\\QUENDAL\\RTQ1.0\\FWFILE_RT]\n"
        "\"\\\\QUENDAL\\\\RTQ1.0\\\\FWFILE_RT\"=\"/home/tech/fw/realterm.hex\"\n\n"
        "[HKEY_CURRENT_USER\\QUENDAL\\RTQ1.0\\FWFILE_BL]\n"
        "\"\\\\QUENDAL\\\\RTQ1.0\\\\FWFILE_BL\"=\"/home/tech/fw/boot.hex\"\n\n"
        "[HKEY_CURRENT_USER\\QUENDAL\\RTQ1.0\\COMNO]\n"
        "\"\\\\QUENDAL\\\\RTQ1.0\\\\COMNO\"=\"3\"\n\n"
        "[HKEY_CURRENT_USER\\QUENDAL\\RTQ1.0\\COMSETTING]\n"
        "\"\\\\QUENDAL\\\\RTQ1.0\\\\COMSETTING\"=dword:00000003\n\n"
        "[HKEY_CURRENT_USER\\QUENDAL\\RTQ1.0\\SENDFILES1]\n"
        "\"\\\\QUENDAL\\\\RTQ1.0\\\\SENDFILES1\"=\"/s/1.txt\"\n\n"
        "[HKEY_CURRENT_USER\\QUENDAL\\RTQ1.0\\SENDFILES2]\n"
        "\"\\\\QUENDAL\\\\RTQ1.0\\\\SENDFILES2\"=\"/s/2.vxc\"\n\n"
        "[HKEY_CURRENT_USER\\QUENDAL\\RTQ1.0\\SENDFILES3]\n"
        "\"\\\\QUENDAL\\\\RTQ1.0\\\\SENDFILES3\"=\"/s/3.txt\"\n\n"
        "[HKEY_CURRENT_USER\\QUENDAL\\RTQ1.0\\SENDFILES4]\n"
        "\"\\\\QUENDAL\\\\RTQ1.0\\\\SENDFILES4\"=\"\"\n\n"
        "[HKEY_CURRENT_USER\\QUENDAL\\RTQ1.0\\SENDFILES5]\n"
        "\"\\\\QUENDAL\\\\RTQ1.0\\\\SENDFILES5\"=\"/s/5.txt\"\n\n"
        "[HKEY_CURRENT_USER\\QUENDAL\\RTQ1.0\\SENDFILES6]\n"
        "\"\\\\QUENDAL\\\\RTQ1.0\\\\SENDFILES6\"=\"/s/6.bin\"\n\n",
        test::readFile(path));
}

TEST_F(SettingsStoreTest, SavedValuesLoadBackUnchanged) {
    SettingsValues noEntry = sample();
    noEntry.comSetting = -1;
    SettingsValues awkward = sample();
    awkward.firmwareFile = "C:\\Users\\J\xC3\xB6rg\\\"fw\".hex";
    awkward.firmwareFileRealterm = "\\\\server\\share\\";
    awkward.comNumber = "/dev/ttyUSB0";
    awkward.sendFiles[0] = "/home/tech/K\xC3\xA4se \xE2\x82\xAC.txt";
    awkward.sendFiles[5] = "trailing backslash\\";
    SettingsValues allEmpty;
    allEmpty.comSetting = 0;
    const struct {
        const char* name;
        SettingsValues values;
    } cases[] = {
        {"Sample", sample()}, {"NoEntrySelected", noEntry}, {"Awkward", awkward}, {"AllEmpty", allEmpty}};

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        save(c.values);
        SettingsValues before;
        before.firmwareFile = before.firmwareFileRealterm = before.firmwareFileBootLoader = "untouched";
        before.comNumber = "untouched";
        before.comSetting = 77;
        before.sendFiles.fill("untouched");
        EXPECT_EQ(fields(c.values), fields(loadOver(before)));
    }
}

TEST_F(SettingsStoreTest, NoSelectedEntryIsStoredAsAllBitsSet) {
    SettingsValues values = sample();
    values.comSetting = -1;
    save(values);
    EXPECT_NE(std::string::npos,
              test::readFile(path).find("\"\\\\QUENDAL\\\\RTQ1.0\\\\COMSETTING\"=dword:ffffffff\n"));
}

TEST_F(SettingsStoreTest, FirstStartLeavesTheDesignTimeValues) {
    EXPECT_EQ(fields(designTime()), fields(loadOver(designTime())));
    std::filesystem::create_directory(path);  // something that is not a readable file
    EXPECT_EQ(fields(designTime()), fields(loadOver(designTime())));
}

// Removing one key from a saved file leaves only that control at its design-time value.
TEST_F(SettingsStoreTest, MissingKeyLeavesOnlyItsControlUnchanged) {
    using Keep = std::function<void(SettingsValues&, const SettingsValues&)>;
    const struct {
        SettingKind kind;
        int number;
        Keep keep;
    } cases[] = {
        {SettingKind::FirmwareFile, 0, [](auto& e, const auto& d) { e.firmwareFile = d.firmwareFile; }},
        {SettingKind::FirmwareFileRealterm, 0,
         [](auto& e, const auto& d) { e.firmwareFileRealterm = d.firmwareFileRealterm; }},
        {SettingKind::FirmwareFileBootLoader, 0,
         [](auto& e, const auto& d) { e.firmwareFileBootLoader = d.firmwareFileBootLoader; }},
        {SettingKind::ComNumber, 0, [](auto& e, const auto& d) { e.comNumber = d.comNumber; }},
        {SettingKind::ComSetting, 0, [](auto& e, const auto& d) { e.comSetting = d.comSetting; }},
        {SettingKind::SendFile, 1, [](auto& e, const auto& d) { e.sendFiles[0] = d.sendFiles[0]; }},
        {SettingKind::SendFile, 4, [](auto& e, const auto& d) { e.sendFiles[3] = d.sendFiles[3]; }},
        {SettingKind::SendFile, 6, [](auto& e, const auto& d) { e.sendFiles[5] = d.sendFiles[5]; }},
    };
    SettingsValues start = designTime();
    start.sendFiles[3] = "design-time 4";  // so that a stored "" is told apart from "unchanged"
    for (const auto& c : cases) {
        const std::string key = settingPath(c.kind, c.number);
        SCOPED_TRACE(key);
        save(sample());
        std::string text = test::readFile(path);
        const std::size_t begin = text.find("[HKEY_CURRENT_USER" + key + "]\n");
        ASSERT_NE(std::string::npos, begin);
        text.erase(begin, text.find("\n\n", begin) + 2 - begin);
        test::writeFile(path, text);

        SettingsValues expected = sample();
        c.keep(expected, start);
        EXPECT_EQ(fields(expected), fields(loadOver(start)));
    }
}

TEST_F(SettingsStoreTest, KeyWithoutUsableValue) {
    test::writeFile(path,
                    "Windows Registry Editor Version 5.00\n\n"
                    "[HKEY_CURRENT_USER\\QUENDAL\\RTQ1.0\\FWFILE]\n\n"
                    "[HKEY_CURRENT_USER\\QUENDAL\\RTQ1.0\\FWFILE_RT]\n"
                    "\"\\\\QUENDAL\\\\RTQ1.0\\\\FWFILE_RT\"=dword:00000001\n\n"
                    "[HKEY_CURRENT_USER\\QUENDAL\\RTQ1.0\\COMNO]\n\"other name\"=\"7\"\n\n"
                    "[HKEY_CURRENT_USER\\QUENDAL\\RTQ1.0\\COMSETTING]\n"
                    "\"\\\\QUENDAL\\\\RTQ1.0\\\\COMSETTING\"=\"3\"\n\n"
                    "[HKEY_CURRENT_USER\\QUENDAL\\RTQ1.0\\SENDFILES2]\n");
    SettingsValues start = sample();
    start.comSetting = 2;
    SettingsValues expected = start;
    expected.firmwareFile = "";          // key without value: empty text
    expected.firmwareFileRealterm = "";  // a value of another type counts as missing
    expected.comNumber = "";
    expected.sendFiles[1] = "";  // comSetting stays 2: the key holds no 32-bit value
    EXPECT_EQ(fields(expected), fields(loadOver(start)));
}

TEST_F(SettingsStoreTest, DamagedFileLoadsWhatItCan) {
    const std::string comNoLine = "[HKEY_CURRENT_USER\\QUENDAL\\RTQ1.0\\COMNO]";
    const std::string comSettingValue = "=dword:00000003";
    const std::string sendFile3Value = "\"\\\\QUENDAL\\\\RTQ1.0\\\\SENDFILES3\"=\"/s/3";
    using Damage = std::function<std::string(std::string)>;
    using Expect = std::function<void(SettingsValues&)>;
    const struct {
        const char* name;
        Damage damage;
        Expect expect;  // applied to the saved values: what differs after loading
    } cases[] = {
        {"Truncated",
         [&](std::string t) { return t.substr(0, t.find(sendFile3Value) + sendFile3Value.size()); },
         [](SettingsValues& e) {
             e.sendFiles[2] = "";  // its key is there, its value cut off
             for (int i = 3; i < 6; ++i) e.sendFiles[i] = designTime().sendFiles[i];
         }},
        {"MissingHeader", [](std::string t) { return t.erase(0, t.find('\n')); }, [](SettingsValues&) {}},
        {"BinaryGarbageBetweenKeys",
         [&](std::string t) { return t.insert(t.find(comNoLine), "\x00\xFF\xFE[\x01\n\"\x80\n"s); },
         [](SettingsValues&) {}},
        {"KeyLineWithoutClosingBracket",
         [&](std::string t) { return t.erase(t.find(comNoLine) + comNoLine.size() - 1, 1); },
         [](SettingsValues& e) { e.comNumber = designTime().comNumber; }},
        {"DwordWithSevenDigits", [&](std::string t) { return t.erase(t.find(comSettingValue) + 7, 1); },
         [](SettingsValues& e) { e.comSetting = designTime().comSetting; }},
        {"OnlyGarbage",
         [](std::string) {
             return "\x7F"
                    "ELF\x02\x01\x01\x00\x00\x00\x00["s;
         },
         [](SettingsValues& e) { e = designTime(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        save(sample());
        test::writeFile(path, c.damage(test::readFile(path)));
        SettingsValues expected = sample();
        c.expect(expected);
        EXPECT_EQ(fields(expected), fields(loadOver(designTime())));
    }
}

TEST_F(SettingsStoreTest, SaveKeepsWhatIsNotOursAndLeavesNoTemporaryFile) {
    test::writeFile(
        path,
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\QUENDAL\\RTQ1.0\\COMNO]\r\n"
        "\"\\\\QUENDAL\\\\RTQ1.0\\\\COMNO\"=\"9\"\r\n\"note\"=\"kept\"\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Other]\r\n\"x\"=dword:00000010\r\n\"bin\"=hex:01,02\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n\"y\"=\"z\"\r\n");
    save(sample());
    const std::string text = test::readFile(path);
    const RegistryFile file = RegistryFile::parse(text);
    EXPECT_EQ("3", file.readString("\\QUENDAL\\RTQ1.0\\COMNO", "\\QUENDAL\\RTQ1.0\\COMNO"));
    EXPECT_EQ("kept", file.readString("\\QUENDAL\\RTQ1.0\\COMNO", "note"));
    EXPECT_EQ(16u, file.readDword("\\Software\\Other", "x"));
    EXPECT_NE(std::string::npos, text.find("\"bin\"=hex:01,02\n"));
    EXPECT_NE(std::string::npos, text.find("[HKEY_LOCAL_MACHINE\\Software\\Other]\n\"y\"=\"z\"\n"));
    EXPECT_EQ(
        0u, text.find("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\QUENDAL\\RTQ1.0\\COMNO]"));

    save(sample());  // a second save with the same values changes nothing
    EXPECT_EQ(text, test::readFile(path));
    EXPECT_EQ(std::set<std::string>{"RTQ1.0.reg"}, entriesOf(dir.path()));
}

TEST_F(SettingsStoreTest, SettingsFileBehindALinkStaysALink) {
    const std::string real = dir.file("real.reg");
    test::writeFile(real, "[HKEY_CURRENT_USER\\Software\\Other]\n\"x\"=\"y\"\n");
    ASSERT_EQ(0, ::symlink(real.c_str(), path.c_str()));
    save(sample());
    EXPECT_TRUE(std::filesystem::is_symlink(path));
    EXPECT_EQ(fields(sample()), fields(loadOver(designTime())));
    EXPECT_EQ("y", RegistryFile::parse(test::readFile(real)).readString("\\Software\\Other", "x"));
}

TEST_F(SettingsStoreTest, ProbeFailureWritesNothing) {
    const std::string plain = dir.file("plain");
    test::writeFile(plain, "a regular file");
    std::filesystem::create_directory(dir.file("blocked.reg"));
    test::writeFile(dir.file("blocked.reg/inside"), "x");
    const struct {
        const char* name;
        std::string path;
    } cases[] = {
        {"FolderBelowARegularFile", plain + "/config/QUENDAL/RTQ1.0.reg"},
        {"FileNameTakenByAFolder", dir.file("blocked.reg")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SettingsStore blocked(c.path);
        const base::Status status = blocked.save(sample());
        EXPECT_FALSE(status.isOk());
        EXPECT_NE(std::string::npos, status.message().find(dir.path())) << status.message();
        EXPECT_EQ((std::set<std::string>{"blocked.reg", "plain"}), entriesOf(dir.path()));
        EXPECT_EQ(std::set<std::string>{"inside"}, entriesOf(dir.file("blocked.reg")));
        EXPECT_EQ("a regular file", test::readFile(plain));
    }
}

// Every way the save can fail on the disk, as root too: the old settings file stays as it was and nothing
// else is left in the folder; the message says which step failed, the Status its kind.
TEST_F(SettingsStoreTest, ASaveThatFailsOnTheDiskLeavesTheOldFile) {
    save(sample());
    const std::string old = test::readFile(path);
    SettingsValues changed = sample();
    changed.comNumber = "7";
    const std::string folder = dir.path();
    const struct {
        const char* name;
        std::function<void(test::FaultyFileSystem&)> breakIt;
        base::StatusCode code;
        std::string message;
    } cases[] = {
        {"ReadOnlyFolder", [&](test::FaultyFileSystem& f) { f.makeReadOnly(folder); },
         base::StatusCode::PermissionDenied,
         "Cannot write in the settings folder " + folder + ": Permission denied"},
        {"DiskFull", [](test::FaultyFileSystem& f) { f.failWritesAfter(10, ENOSPC); },
         base::StatusCode::NoSpace, "Cannot write the settings file " + path + ": No space left on device"},
        {"FsyncFails", [](test::FaultyFileSystem& f) { f.fail(test::FileStep::Sync, EIO); },
         base::StatusCode::IoError, "Cannot write the settings file " + path + ": Input/output error"},
        {"RenameAcrossFileSystems", [](test::FaultyFileSystem& f) { f.fail(test::FileStep::Rename, EXDEV); },
         base::StatusCode::Other, "Cannot write the settings file " + path + ": Invalid cross-device link"},
        {"OldFileUnreadable", [](test::FaultyFileSystem& f) { f.failReadsAfter(0, EIO); },
         base::StatusCode::IoError,
         "Cannot read the settings file, so it is left as it is: " + path + ": Input/output error"},
        {"FolderCannotBeMade",
         [](test::FaultyFileSystem& f) { f.fail(test::FileStep::CreateFolder, ENOSPC); },
         base::StatusCode::NoSpace,
         "Cannot create the settings folder " + folder + ": No space left on device"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::FaultyFileSystem files;
        c.breakIt(files);
        const base::Status status = SettingsStore(path, files).save(changed);
        EXPECT_EQ(c.code, status.code()) << status;
        EXPECT_EQ(c.message, status.message());
        EXPECT_EQ(old, test::readFile(path));
        EXPECT_EQ(std::set<std::string>{"RTQ1.0.reg"}, entriesOf(dir.path()));
    }
}

TEST(SettingsStoreDefaultPathTest, ConfigHomeThenHome) {
    const struct {
        const char* name;
        const char* configHome;  // nullptr: not set
        const char* expected;
    } cases[] = {
        {"ConfigHome", "/cfg", "/cfg/QUENDAL/RTQ1.0.reg"},
        {"Unset", nullptr, "/home/tech/.config/QUENDAL/RTQ1.0.reg"},
        {"Empty", "", "/home/tech/.config/QUENDAL/RTQ1.0.reg"},
        {"RelativeIsIgnored", "cfg", "/home/tech/.config/QUENDAL/RTQ1.0.reg"},
    };
    const ScopedEnv home("HOME", "/home/tech");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ScopedEnv configHome("XDG_CONFIG_HOME", c.configHome);
        EXPECT_EQ(c.expected, SettingsStore::defaultPath());
    }
}

TEST(SettingsStoreDefaultPathTest, SaveCreatesTheFoldersAndLoadReadsThem) {
    test::TempDir dir;
    const std::string configHome = dir.file("config home/nested");
    const ScopedEnv env("XDG_CONFIG_HOME", configHome.c_str());
    SettingsStore store(SettingsStore::defaultPath());
    EXPECT_EQ(configHome + "/QUENDAL/RTQ1.0.reg", store.path());
    ASSERT_TRUE(store.save(sample()).isOk());

    struct stat st {};
    ASSERT_EQ(0, ::stat((configHome + "/QUENDAL").c_str(), &st));
    EXPECT_EQ(0700u, st.st_mode & 0777u);
    SettingsValues loaded = designTime();
    SettingsStore(SettingsStore::defaultPath()).load(loaded);
    EXPECT_EQ(fields(sample()), fields(loaded));
}

}  // namespace
}  // namespace hlx::app
