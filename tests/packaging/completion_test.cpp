// The bash completion for hlx, run in bash with bash-completion loaded as an interactive shell has it:
// commands and options as hlx's own help lists them, the kind of file each command reads, the COM
// settings entries, and for --port the ports that `hlx ports` lists.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/packaging/program_help.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace {

using Words = std::set<std::string>;

constexpr const char* kBashCompletion = "/usr/share/bash-completion/bash_completion";

// The candidates the completion offers for the command line typed so far (ending in a space: a new word),
// in a folder holding a.hex, B.HEX, notes.txt, logo.bmp, logo.vxc and the folder charts.
Words complete(const std::string& typed) {
    hlx::test::TempDir folder;
    hlx::test::TempDir scriptFolder;
    for (const char* name : {"a.hex", "B.HEX", "notes.txt", "logo.bmp", "logo.vxc"})
        hlx::test::writeFile(folder.file(name), "x");
    std::filesystem::create_directory(folder.file("charts"));
    const std::string script = scriptFolder.file("complete.sh");
    hlx::test::writeFile(
        script, "source " + hlx::test::shellQuote(kBashCompletion) + "\n" + "source " +
                    hlx::test::shellQuote(HLX_COMPLETION) + "\n" + "PATH=" +
                    hlx::test::shellQuote(std::filesystem::path(HLX_CLI_PATH).parent_path().string()) +
                    ":$PATH\n" + "cd " + hlx::test::shellQuote(folder.path()) + "\n" +
                    "COMP_LINE=" + hlx::test::shellQuote(typed) + "\n" +
                    "COMP_POINT=${#COMP_LINE}\n"
                    "read -ra COMP_WORDS <<<\"$COMP_LINE\"\n"
                    "[[ $COMP_LINE == *' ' ]] && COMP_WORDS+=('')\n"
                    "COMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n"
                    "_hlx\n"
                    "printf '%s\\n' \"${COMPREPLY[@]}\"\n");
    const hlx::test::CommandOutcome run = hlx::test::runCommand("bash " + hlx::test::shellQuote(script));
    EXPECT_EQ(0, run.exitCode) << run.out;
    Words offered;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) offered.insert(line);
    return offered;
}

// The entries of one section of `hlx PATH... --help`.
Words helpEntries(const std::vector<std::string>& path, const std::string& section) {
    std::vector<std::string> arguments = path;
    arguments.push_back("--help");
    auto sections = hlx::test::helpSections(hlx::test::runProgram(HLX_CLI_PATH, arguments));
    return Words(sections[section].begin(), sections[section].end());
}

// What `hlx ports` says to type for each port: the device lines and the COM-Nr and by-id values.
Words listedPorts() {
    Words ports;
    std::istringstream lines(hlx::test::runProgram(HLX_CLI_PATH, {"ports"}));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string first;
        std::string second;
        fields >> first >> second;
        if (line.starts_with("/dev/")) ports.insert(first);
        if (first == "COM-Nr:" || first == "by-id:") ports.insert(second);
    }
    return ports;
}

struct CompletionCase {
    const char* name;
    const char* typed;
    std::function<Words()> expected;
};

Words fixed(Words words) {
    return words;
}

Words startingWith(const Words& words, const std::string& prefix) {
    Words found;
    for (const std::string& word : words)
        if (word.starts_with(prefix)) found.insert(word);
    return found;
}

const CompletionCase kCompletionCases[] = {
    {"Commands", "hlx ", [] { return helpEntries({}, "Subcommands:"); }},
    {"CommandsByPrefix", "hlx send-",
     [] {
         return fixed({"send-file", "send-terminal"});
     }},
    {"CommandsOfAGroup", "hlx flash ", [] { return helpEntries({"flash"}, "Subcommands:"); }},
    {"OptionsOfACommand", "hlx flash isp --",
     [] {
         return startingWith(helpEntries({"flash", "isp"}, "Options:"), "--");
     }},
    {"OptionsAfterTheFile", "hlx send-file a.hex --p",
     [] {
         return fixed({"--port", "--print-result"});
     }},
    {"HexFilesForADownload", "hlx flash rtq ",
     [] {
         return fixed({"a.hex", "B.HEX", "charts"});
     }},
    {"HexFilesForTheCheck", "hlx check-hex ",
     [] {
         return fixed({"a.hex", "B.HEX", "charts"});
     }},
    {"HexFileAfterThePort", "hlx flash isp --port 1 ",
     [] {
         return fixed({"a.hex", "B.HEX", "charts"});
     }},
    {"NothingAfterTheHexFile", "hlx hex-info a.hex ", [] { return fixed({}); }},
    {"BitmapsToConvert", "hlx convert-bmp ",
     [] {
         return fixed({"logo.bmp", "charts"});
     }},
    {"VxcFileToDecode", "hlx decode-vxc ",
     [] {
         return fixed({"logo.vxc", "charts"});
     }},
    {"BitmapToDecodeInto", "hlx decode-vxc logo.vxc ",
     [] {
         return fixed({"logo.bmp", "charts"});
     }},
    {"FoldersForCharts", "hlx render-charts ", [] { return fixed({"charts"}); }},
    {"AnyFileToSend", "hlx send-terminal ",
     [] {
         return fixed({"a.hex", "B.HEX", "notes.txt", "logo.bmp", "logo.vxc", "charts"});
     }},
    {"SettingsEntries", "hlx flash rtq a.hex --settings ",
     [] {
         return fixed({"0", "1", "2", "3", "4"});
     }},
    {"PortsThatHlxPortsLists", "hlx flash rtq a.hex --port ", listedPorts},
    {"PortsAfterAnEqualsSign", "hlx send-file notes.txt --port=", listedPorts},
    {"NoArgumentsForPorts", "hlx ports ", [] { return fixed({}); }},
};

class HlxCompletion : public ::testing::TestWithParam<CompletionCase> {};

TEST_P(HlxCompletion, OffersWhatFits) {
    ASSERT_TRUE(std::filesystem::exists(kBashCompletion)) << "bash-completion is not installed (make deps)";
    EXPECT_EQ(GetParam().expected(), complete(GetParam().typed)) << "typed: \"" << GetParam().typed << "\"";
}

INSTANTIATE_TEST_SUITE_P(Typed, HlxCompletion, ::testing::ValuesIn(kCompletionCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
