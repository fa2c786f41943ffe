// The manual pages against the programs they describe: every command of hlx has its entry naming all its
// arguments and options, the OPTIONS sections list exactly the options the programs take (so a new
// option cannot go undocumented and a removed one cannot linger), and man renders every page without a
// warning.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/packaging/program_help.h"
#include "tests/support/child_process.h"

namespace {

using hlx::test::HelpCommand;

std::string manPath(const std::string& page) {
    return std::string(HLX_MAN_DIR) + "/" + page + ".1";
}

// A manual page's source with the roff escapes that matter here undone: fonts dropped, "\-" as "-".
class ManPage {
public:
    explicit ManPage(const std::string& page) {
        std::ifstream file(manPath(page));
        EXPECT_TRUE(file) << "cannot read " << manPath(page);
        static const std::regex fonts(R"(\\f[BIRP])");
        static const std::regex quiet(R"(\\[&%])");
        std::string section;
        for (std::string line; std::getline(file, line);) {
            line = std::regex_replace(line, fonts, "");
            line = std::regex_replace(line, quiet, "");
            for (std::size_t at; (at = line.find("\\-")) != std::string::npos;) line.replace(at, 2, "-");
            if (line.starts_with(".SH ")) section = line.substr(4);
            m_sections[section].push_back(line);
        }
    }

    // The lines that head the entries (.TP) of a section.
    std::vector<std::string> entryHeads(const std::string& section) const {
        std::vector<std::string> heads;
        const auto found = m_sections.find(section);
        if (found == m_sections.end()) return heads;
        const std::vector<std::string>& lines = found->second;
        for (std::size_t i = 0; i + 1 < lines.size(); ++i)
            if (lines[i] == ".TP") heads.push_back(lines[i + 1]);
        return heads;
    }

private:
    std::map<std::string, std::vector<std::string>> m_sections;
};

// The words of an entry's head, without the macro and the brackets and quotes around them.
std::set<std::string> words(const std::string& head) {
    std::set<std::string> found;
    std::string word;
    for (char c : head.substr(head.find(' ') + 1) + " ") {
        if (c == ' ' || c == '[' || c == ']' || c == '"' || c == '|' || c == ',') {
            if (!word.empty()) found.insert(word);
            word.clear();
        } else {
            word += c;
        }
    }
    return found;
}

// The options an OPTIONS section documents: the words of its entry heads that begin with "-".
std::set<std::string> documentedOptions(const ManPage& page) {
    std::set<std::string> options;
    for (const std::string& head : page.entryHeads("OPTIONS"))
        for (const std::string& word : words(head))
            if (word.starts_with("-")) options.insert(word);
    return options;
}

// The command an entry of COMMANDS describes: the lower-case words it starts with ("flash rtq").
std::string commandOf(const std::string& head) {
    static const std::regex command(R"(^\.B ([a-z][a-z0-9-]*(?: [a-z][a-z0-9-]*)*))");
    std::smatch match;
    return std::regex_search(head, match, command) ? match[1].str() : std::string();
}

// The names in `first` that `second` lacks, comma-separated.
std::string missing(const std::set<std::string>& first, const std::set<std::string>& second) {
    std::string names;
    for (const std::string& name : first)
        if (!second.contains(name)) names += (names.empty() ? "" : ", ") + name;
    return names;
}

void expectSameNames(const std::set<std::string>& program, const std::set<std::string>& page,
                     const std::string& pageName) {
    EXPECT_EQ("", missing(program, page))
        << "the program has these, " << pageName << " does not document them";
    EXPECT_EQ("", missing(page, program)) << pageName << " documents these, the program does not have them";
}

bool isCommonOption(const std::string& option) {
    return option == "-h" || option == "--help" || option == "--version";
}

TEST(HlxManPage, HasAnEntryForEveryCommandNamingItsArgumentsAndOptions) {
    const std::vector<HelpCommand> commands = hlx::test::hlxCommands(HLX_CLI_PATH);
    ASSERT_FALSE(commands.empty());
    const ManPage page("hlx");
    std::map<std::string, std::set<std::string>> entries;  // command -> words of its entry's head
    for (const std::string& head : page.entryHeads("COMMANDS")) entries[commandOf(head)] = words(head);

    std::set<std::string> helpCommands;
    for (const HelpCommand& command : commands) {
        helpCommands.insert(command.path);
        const auto entry = entries.find(command.path);
        if (entry == entries.end()) continue;  // reported below, with all the others
        for (const std::string& positional : command.positionals)
            EXPECT_TRUE(entry->second.contains(positional))
                << command.path << ": " << positional << " is not named";
        for (const std::string& option : command.options) {
            if (isCommonOption(option)) continue;
            EXPECT_TRUE(entry->second.contains(option)) << command.path << ": " << option << " is not named";
        }
    }
    std::set<std::string> documented;
    for (const auto& [command, head] : entries) documented.insert(command);
    expectSameNames(helpCommands, documented, "COMMANDS of hlx.1");
}

TEST(HlxManPage, DocumentsExactlyTheOptionsHlxTakes) {
    std::set<std::string> taken;
    for (const HelpCommand& command : hlx::test::hlxCommands(HLX_CLI_PATH))
        taken.insert(command.options.begin(), command.options.end());
    expectSameNames(taken, documentedOptions(ManPage("hlx")), "OPTIONS of hlx.1");
}

TEST(VirtualMonitorManPage, DocumentsExactlyTheOptionsItsHelpLists) {
    std::set<std::string> listed =
        hlx::test::longOptions(hlx::test::runProgram(HLX_VIRTUAL_MONITOR_PATH, {"--help"}));
    ASSERT_TRUE(listed.contains("--lpc-isp"));
    // --help itself is taken but not listed; -h is its short form.
    listed.insert({"-h", "--help"});
    expectSameNames(listed, documentedOptions(ManPage("hlx-virtual-monitor")),
                    "OPTIONS of hlx-virtual-monitor.1");
}

#ifdef HLX_SERVICE_TOOL_PATH
// The window program's help is free text; it needs no display to answer.
TEST(ServiceToolManPage, DocumentsExactlyTheOptionsItsHelpLists) {
    std::set<std::string> listed =
        hlx::test::longOptions(hlx::test::runProgram(HLX_SERVICE_TOOL_PATH, {"--help"}));
    ASSERT_TRUE(listed.contains("--osd-preview"));
    listed.insert("-h");  // the short form of --help
    expectSameNames(listed, documentedOptions(ManPage("hlx-service-tool")), "OPTIONS of hlx-service-tool.1");
}
#endif

class ManPageRendering : public ::testing::TestWithParam<const char*> {};

TEST_P(ManPageRendering, ShowsWithoutWarnings) {
    const std::string page = manPath(GetParam());
    const hlx::test::CommandOutcome warnings = hlx::test::runCommand(
        "(MANWIDTH=80 man --warnings -l " + hlx::test::shellQuote(page) + " 2>&1 >/dev/null)");
    EXPECT_EQ(0, warnings.exitCode);
    EXPECT_EQ("", warnings.out);
    const hlx::test::CommandOutcome shown =
        hlx::test::runCommand("MANWIDTH=80 man -l " + hlx::test::shellQuote(page));
    EXPECT_NE(std::string::npos, shown.out.find("\nNAME\n")) << shown.out;
}

INSTANTIATE_TEST_SUITE_P(Pages, ManPageRendering,
                         ::testing::Values("hlx", "hlx-service-tool", "hlx-virtual-monitor"),
                         [](const auto& info) {
                             std::string name;
                             bool upper = true;
                             for (const char* c = info.param; *c; ++c) {
                                 if (*c == '-') {
                                     upper = true;
                                     continue;
                                 }
                                 name += upper ? static_cast<char>(std::toupper(*c)) : *c;
                                 upper = false;
                             }
                             return name;
                         });

}  // namespace
