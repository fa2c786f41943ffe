// What the hlx binary needs from the system: no Qt Widgets, neither itself nor through a library it
// loads, so that hlx runs on a production line's machines without a desktop. readelf lists the libraries
// the binary names itself, ldd every library the loader would load for it. The window program, which
// does link Qt Widgets, shows that the check sees such a dependency where there is one.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace {

using hlx::test::runCommand;

std::string quoted(const std::string& path) {
    return "'" + path + "'";
}

// The libraries of the binary's dynamic section: "0x... (NEEDED)  Shared library: [libc.so.6]".
std::vector<std::string> neededLibraries(const std::string& binary) {
    const hlx::test::CommandOutcome run = runCommand("LC_ALL=C readelf -d " + quoted(binary));
    EXPECT_EQ(0, run.exitCode) << run.out;
    std::vector<std::string> names;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t open = line.find("Shared library: [");
        const std::size_t close = line.rfind(']');
        if (open != std::string::npos && close != std::string::npos && close > open + 17)
            names.push_back(line.substr(open + 17, close - open - 17));
    }
    return names;
}

// Every library the loader would load for the binary: the first word of each line of ldd's list.
std::vector<std::string> loadedLibraries(const std::string& binary) {
    const hlx::test::CommandOutcome run = runCommand("LC_ALL=C ldd " + quoted(binary));
    EXPECT_EQ(0, run.exitCode) << run.out;
    std::vector<std::string> names;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        if (std::string name; words >> name) names.push_back(name);
    }
    return names;
}

bool namesWidgets(const std::vector<std::string>& libraries) {
    for (const std::string& name : libraries)
        if (name.find("Widgets") != std::string::npos) return true;
    return false;
}

std::string listed(const std::vector<std::string>& libraries) {
    std::string text;
    for (const std::string& name : libraries) text += "\n  " + name;
    return text;
}

TEST(CliBinary, NeedsNoQtWidgets) {
    const std::vector<std::string> needed = neededLibraries(HLX_CLI_PATH);
    ASSERT_FALSE(needed.empty()) << "readelf found no libraries at all, not even the C library";
    EXPECT_FALSE(namesWidgets(needed)) << "hlx links Qt Widgets:" << listed(needed);

    const std::vector<std::string> loaded = loadedLibraries(HLX_CLI_PATH);
    ASSERT_GE(loaded.size(), needed.size()) << listed(loaded);
    EXPECT_FALSE(namesWidgets(loaded)) << "hlx loads Qt Widgets through a library:" << listed(loaded);
}

#ifdef HLX_SERVICE_TOOL_PATH
TEST(CliBinary, TheCheckSeesQtWidgetsInTheWindowProgram) {
    EXPECT_TRUE(namesWidgets(neededLibraries(HLX_SERVICE_TOOL_PATH)));
    EXPECT_TRUE(namesWidgets(loadedLibraries(HLX_SERVICE_TOOL_PATH)));
}
#endif

}  // namespace
