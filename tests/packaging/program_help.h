#pragma once
// What the programs say about themselves in --help, read the way a reader of the manual pages or the
// shell completion would read it, so the tests can hold both to the programs.
//
// - hlxCommands walks `hlx --help` and the help of every group and command it lists (CLI11's layout:
//   section headings such as "Options:" at the start of a line, entries two spaces in, descriptions
//   wrapped further in) and returns each command that runs something (a group only leads to commands)
//   with its positionals and options ("-h" and "--help" as two entries).
// - longOptions collects every "--word" of a text, for programs whose help is free text.
// - shellQuote and runProgram run a program of the build with arguments through the shell.
//
// Threads: plain functions; a failure to run a program is reported to GoogleTest.

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace hlx::test {

inline std::string shellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// The program's standard output and standard error together; a failed test when it exits other than 0.
inline std::string runProgram(const std::string& program, const std::vector<std::string>& arguments) {
    std::string line = shellQuote(program);
    for (const std::string& a : arguments) line += " " + shellQuote(a);
    const CommandOutcome run = runCommand(line);
    EXPECT_EQ(0, run.exitCode) << line << "\n" << run.out;
    return run.out;
}

// The entries of each section of a CLI11 help text, by heading ("Options:" -> {"-h", "--help", ...}).
inline std::map<std::string, std::vector<std::string>> helpSections(const std::string& help) {
    std::map<std::string, std::vector<std::string>> sections;
    std::vector<std::string>* current = nullptr;
    std::istringstream lines(help);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty()) continue;
        if (line[0] != ' ') {
            current = line.back() == ':' ? &sections[line] : nullptr;
            continue;
        }
        if (current == nullptr || line.size() < 3 || line[2] == ' ') continue;  // a wrapped description
        std::string entry = line.substr(2, line.find(' ', 2) - 2);
        std::istringstream names(entry);
        for (std::string name; std::getline(names, name, ',');) current->push_back(name);
    }
    return sections;
}

struct HelpCommand {
    std::string path;  // "flash rtq"
    std::vector<std::string> positionals;
    std::set<std::string> options;
};

inline void collectCommands(const std::string& hlx, const std::vector<std::string>& path,
                            std::vector<HelpCommand>& commands) {
    std::vector<std::string> arguments = path;
    arguments.push_back("--help");
    auto sections = helpSections(runProgram(hlx, arguments));
    const std::vector<std::string>& subcommands = sections["Subcommands:"];
    if (!path.empty() && subcommands.empty()) {
        HelpCommand command;
        for (const std::string& word : path) command.path += (command.path.empty() ? "" : " ") + word;
        command.positionals = sections["Positionals:"];
        command.options.insert(sections["Options:"].begin(), sections["Options:"].end());
        commands.push_back(std::move(command));
    }
    for (const std::string& name : subcommands) {
        std::vector<std::string> deeper = path;
        deeper.push_back(name);
        collectCommands(hlx, deeper, commands);
    }
}

inline std::vector<HelpCommand> hlxCommands(const std::string& hlx) {
    std::vector<HelpCommand> commands;
    collectCommands(hlx, {}, commands);
    return commands;
}

inline std::set<std::string> longOptions(const std::string& text) {
    static const std::regex option(R"((^|[^\w-])(--[a-z][a-z0-9-]*))");
    std::set<std::string> found;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option); it != std::sregex_iterator(); ++it)
        found.insert((*it)[2].str());
    return found;
}

}  // namespace hlx::test
