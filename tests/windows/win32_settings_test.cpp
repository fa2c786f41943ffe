// The settings in the real registry: the same keys, value names and types as the .reg file the Linux store
// keeps, so that regedit's export of one imports into the other (checked with the system's reg.exe).
// Each test works below a key of its own in HKEY_CURRENT_USER\Software, removed at its end.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "app/registry_file.h"
#include "app/settings_store.h"
#include "app/win32_registry.h"
#include "base/text_codec.h"
#include "base/win32_system.h"
#include "tests/support/temp_dir.h"

namespace hlx::app {
namespace {

std::string rawString(HKEY key, const std::wstring& name, DWORD& type) {
    wchar_t buffer[512] = {};
    DWORD size = sizeof buffer - sizeof(wchar_t);
    if (::RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
        ERROR_SUCCESS)
        return "<missing>";
    return base::narrow(buffer);
}

// UTF-16LE with byte-order mark (regedit's encoding) to UTF-8 and back.
std::string fromRegedit(const std::string& bytes) {
    if (bytes.size() < 2 || bytes.compare(0, 2, "\xFF\xFE") != 0) return bytes;
    std::u16string text((bytes.size() - 2) / 2, u'\0');
    std::memcpy(text.data(), bytes.data() + 2, text.size() * 2);
    return base::utf16ToUtf8(text);
}
std::string toRegedit(const std::string& utf8) {
    const std::u16string text = base::utf8ToUtf16(utf8);
    std::string bytes = "\xFF\xFE";
    bytes.append(reinterpret_cast<const char*>(text.data()), text.size() * 2);
    return bytes;
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
}

class Win32SettingsTest : public ::testing::Test {
protected:
    Win32SettingsTest() {
        static int counter = 0;
        below =
            "Software\\hlx-test-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++counter);
        root = "HKEY_CURRENT_USER\\" + below;
    }
    ~Win32SettingsTest() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, base::widen(below).c_str()); }

    static SettingsValues sample() {
        SettingsValues v;
        v.firmwareFile = "C:\\Users\\J\xC3\xB6rg\\fw\\rtq.hex";  // beyond ASCII, as real user names are
        v.firmwareFileRealterm = "C:\\fw\\realterm.hex";
        v.firmwareFileBootLoader = "\\\\server\\share\\boot.hex";
        v.comNumber = "3";
        v.comSetting = -1;
        v.sendFiles = {"C:\\s\\1.txt", "C:\\s\\2.vxc", "", "C:\\s\\4 \"quoted\".txt",
                       "C:\\s\\5.txt", "C:\\s\\6.bin"};
        return v;
    }
    static SettingsValues designTime() {
        SettingsValues v;
        v.comNumber = "1";
        v.comSetting = 0;
        return v;
    }
    static bool same(const SettingsValues& a, const SettingsValues& b) {
        return a.firmwareFile == b.firmwareFile && a.firmwareFileRealterm == b.firmwareFileRealterm &&
               a.firmwareFileBootLoader == b.firmwareFileBootLoader && a.comNumber == b.comNumber &&
               a.comSetting == b.comSetting && a.sendFiles == b.sendFiles;
    }

    // Runs the system's reg.exe; true when it says it succeeded.
    static bool reg(const std::string& arguments) {
        return std::system(("reg " + arguments + " >NUL 2>&1").c_str()) == 0;
    }

    std::string below;
    std::string root;
    test::TempDir dir;
};

TEST_F(Win32SettingsTest, SavedSettingsLoadBackUnchanged) {
    SettingsStore store(root);
    ASSERT_TRUE(store.save(sample()));
    SettingsValues loaded = designTime();
    store.load(loaded);
    EXPECT_TRUE(same(sample(), loaded));
}

TEST_F(Win32SettingsTest, KeysValueNamesAndTypesAreThoseOfTheRegistryLayout) {
    ASSERT_TRUE(SettingsStore(root).save(sample()));
    const struct {
        SettingKind kind;
        int number;
        DWORD type;
    } cases[] = {
        {SettingKind::RegistryAccessCheck, 0, REG_DWORD},
        {SettingKind::FirmwareFile, 0, REG_SZ},
        {SettingKind::ComNumber, 0, REG_SZ},
        {SettingKind::ComSetting, 0, REG_DWORD},
        {SettingKind::SendFile, 6, REG_SZ},
    };
    for (const auto& c : cases) {
        const std::string path = settingPath(c.kind, c.number);  // "\QUENDAL\RTQ1.0\COMNO"
        SCOPED_TRACE(path);
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS,
                  ::RegOpenKeyExW(HKEY_CURRENT_USER, base::widen(below + path).c_str(), 0, KEY_READ, &key));
        DWORD type = REG_NONE;
        const std::string text = rawString(key, base::widen(path), type);  // the value's name is the path
        EXPECT_EQ(c.type, type);
        if (c.kind == SettingKind::ComNumber) {
            EXPECT_EQ("3", text);
        }
        ::RegCloseKey(key);
    }
    Win32Registry hive(root);
    EXPECT_EQ(1u, hive.readDword(settingPath(SettingKind::RegistryAccessCheck),
                                 settingPath(SettingKind::RegistryAccessCheck)));
    EXPECT_EQ(0xFFFFFFFFu,
              hive.readDword(settingPath(SettingKind::ComSetting), settingPath(SettingKind::ComSetting)));
}

TEST_F(Win32SettingsTest, ValueOfAnotherTypeReadsAsNothing) {
    Win32Registry hive(root);
    hive.writeDword("\\A", "number", 7);
    hive.writeString("\\A", "text", "7");
    EXPECT_EQ(std::nullopt, hive.readString("\\A", "number"));
    EXPECT_EQ(std::nullopt, hive.readDword("\\A", "text"));
    EXPECT_EQ(std::nullopt, hive.readString("\\B", "text"));
    EXPECT_TRUE(hive.keyExists("\\a"));
    EXPECT_FALSE(hive.keyExists("\\B"));
}

// A write that fails (here: a key name longer than the registry takes) stops every later write, so a
// failed write probe leaves the rest unwritten.
TEST_F(Win32SettingsTest, AFailedWriteStopsTheWritesAfterIt) {
    Win32Registry hive(root);
    const std::string tooLong = "\\" + std::string(300, 'k');
    hive.writeDword(tooLong, "probe", 1);
    EXPECT_FALSE(hive.failure());
    EXPECT_NE(std::string::npos, hive.failure().message().find(below)) << hive.failure().message();
    hive.writeString("\\Later", "v", "x");
    EXPECT_FALSE(hive.keyExists("\\Later"));
}

TEST_F(Win32SettingsTest, OnlyTheCurrentUsersHiveIsUsed) {
    SettingsStore store("HKEY_LOCAL_MACHINE\\Software\\hlx");
    EXPECT_FALSE(store.save(sample()));
    SettingsValues values = designTime();
    store.load(values);
    EXPECT_TRUE(same(designTime(), values));
}

// regedit's export of the registry store is what the Linux store reads, and the Linux store's file is
// what the registry imports: below the hive, the two hold the same keys, names, types and texts.
TEST_F(Win32SettingsTest, RegExportReadsIntoTheFileStoreAndItsFileImportsBack) {
    ASSERT_TRUE(SettingsStore(root).save(sample()));
    const std::string exported = dir.file("export.reg");
    ASSERT_TRUE(reg("export \"" + root + "\" \"" + exported + "\" /y"));
    std::string text = fromRegedit(test::readFile(exported));
    replaceAll(text, "[" + root, "[HKEY_CURRENT_USER");
    SettingsValues fromFile = designTime();
    loadSettings(RegistryFile::parse(text), fromFile);
    EXPECT_TRUE(same(sample(), fromFile));

    // The other way: the Linux store's file, its keys moved below this test's key, imported by reg.exe.
    RegistryFile file;
    saveSettings(file, sample());
    const std::string bytes = file.serialise();
    ASSERT_EQ("\xFF\xFE", bytes.substr(0, 2)) << "text beyond ASCII is written as regedit writes it";
    text = fromRegedit(bytes);
    replaceAll(text, "[HKEY_CURRENT_USER", "[" + root);
    test::writeFile(dir.file("import.reg"), toRegedit(text));
    ::RegDeleteTreeW(HKEY_CURRENT_USER, base::widen(below).c_str());
    ASSERT_TRUE(reg("import \"" + dir.file("import.reg") + "\""));
    SettingsValues imported = designTime();
    SettingsStore(root).load(imported);
    EXPECT_TRUE(same(sample(), imported));
}

}  // namespace
}  // namespace hlx::app
