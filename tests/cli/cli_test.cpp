#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace {

struct Outcome {
    int exitCode;
    std::string out;  // stdout and stderr
};

Outcome hlx(const std::string& arguments) {
    const std::string command = std::string(HLX_CLI_PATH) + " " + arguments + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    Outcome run{-1, {}};
    std::array<char, 4096> buffer;
    while (std::size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) run.out.append(buffer.data(), n);
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(Cli, HelpVersionAndUnknownCommands) {
    Outcome help = hlx("--help");
    EXPECT_EQ(0, help.exitCode);
    EXPECT_NE(std::string::npos, help.out.find("hlx flash rtq FILE --port TEXT"));
    EXPECT_EQ(0, hlx("--version").exitCode);
    EXPECT_EQ(2, hlx("frobnicate").exitCode);
    EXPECT_EQ(2, hlx("flash rtq x.hex").exitCode) << "a flash needs --port";
    EXPECT_EQ(0, hlx("ports").exitCode);
}

TEST(Cli, CheckHexPrintsTheCheckAndSaysSoInItsExitCode) {
    hlx::test::TempDir dir;
    const std::string good = dir.file("good.hex");
    const std::string bad = dir.file("bad.hex");
    hlx::test::writeFile(good, ":0400000001020304F2\r\n:00000001FF\r\n");
    hlx::test::writeFile(bad, ":04000000010203G4F2\r\n:00000001FF\r\n");
    Outcome ok = hlx("check-hex " + good);
    EXPECT_EQ(0, ok.exitCode);
    EXPECT_EQ("Prüfe Hex File\nAnzahl Fehler: 0\n", ok.out);
    Outcome failed = hlx("check-hex " + bad);
    EXPECT_EQ(1, failed.exitCode);
    EXPECT_NE(std::string::npos, failed.out.find("Fehlercode: 4"));
    EXPECT_EQ(2, hlx("check-hex " + dir.file("missing.hex")).exitCode);
}

TEST(Cli, HexInfoFlagsWhatTheCheckLetsPass) {
    hlx::test::TempDir dir;
    const std::string clean = dir.file("clean.hex");
    const std::string wrongSum = dir.file("sum.hex");
    hlx::test::writeFile(clean, ":0400000001020304F2\r\n:00000001FF\r\n");
    hlx::test::writeFile(wrongSum, ":0400000001020304F3\r\n:00000001FF\r\n");
    Outcome ok = hlx("hex-info " + clean);
    EXPECT_EQ(0, ok.exitCode) << ok.out;
    EXPECT_NE(std::string::npos, ok.out.find("SHA-256"));
    Outcome suspicious = hlx("hex-info " + wrongSum);
    EXPECT_EQ(1, suspicious.exitCode);
    EXPECT_NE(std::string::npos, suspicious.out.find("line 1")) << suspicious.out;
}

// The preview opens a window: without a display it says so instead of failing inside Qt.
TEST(OsdPreviewCommand, SaysWhyItCannotOpenAWindow) {
    std::vector<std::pair<std::string, std::string>> saved;
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        if (const char* value = std::getenv(name)) saved.emplace_back(name, value);
        ::unsetenv(name);
    }
    const Outcome run = hlx("osd-preview");
    for (const auto& [name, value] : saved) ::setenv(name.c_str(), value.c_str(), 1);
#if HLX_CLI_HAS_PREVIEW
    EXPECT_EQ(1, run.exitCode);
    EXPECT_NE(std::string::npos, run.out.find("no display")) << run.out;
#else
    EXPECT_EQ(2, run.exitCode);
    EXPECT_NE(std::string::npos, run.out.find("not available")) << run.out;
#endif
    EXPECT_EQ(2, hlx("osd-preview page2").exitCode) << "it takes no arguments";
}

}  // namespace
