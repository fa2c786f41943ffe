#include "cli/command_line.h"

#include <cstdio>
#include <exception>
#include <sstream>
#include <stdexcept>

#include "base/console.h"
#include "base/version.h"
#include "serial/port_name.h"

namespace hlx::cli {
namespace {

constexpr const char* kName = "hlx";
constexpr const char* kDescription =
    "hlx - command-line companion of the HLX service tool: the window's jobs and checks from a shell";

std::string versionText() {
    return std::string(kName) + " " + base::kVersion;
}

}  // namespace

CommandLine::CommandLine() : m_app(kDescription, kName) {
    // A path is a path: "/data/fw.hex" is no Windows-style option, on Windows neither (CLI11 would take
    // it for one there). Set before any command is added, as each command copies it from its parent.
    m_app.allow_windows_style_options(false);
    giveCommonFlags(m_app);
    // One command per run; none at all is reported after the parse (see run), so that a misspelt command
    // is named as an unexpected argument rather than reported as a missing one.
    m_app.require_subcommand(0, 1);
}

void CommandLine::giveCommonFlags(CLI::App& app) {
    // --help is inherited by every command CLI11 creates; --version is not, so each gets it here.
    app.set_version_flag("--version", versionText());
}

void CommandLine::addGroup(const std::string& name, std::string description) {
    m_groups.emplace(name, Group{std::move(description), nullptr});
}

CLI::App& CommandLine::add(std::string_view path, std::string description, CommandAction action) {
    CLI::App* parent = &m_app;
    std::string_view name = path;
    if (const std::size_t space = path.rfind(' '); space != std::string_view::npos) {
        const auto group = m_groups.find(path.substr(0, space));
        if (group == m_groups.end())
            throw std::logic_error("hlx command '" + std::string(path) +
                                   "' names a group that was not added");
        // Made with its first command, so the help lists it where that command would stand.
        if (group->second.app == nullptr) {
            group->second.app = m_app.add_subcommand(group->first, group->second.description);
            giveCommonFlags(*group->second.app);
        }
        parent = group->second.app;
        name = path.substr(space + 1);
    }
    CLI::App* command = parent->add_subcommand(std::string(name), std::move(description));
    giveCommonFlags(*command);
    m_actions.emplace(command, std::move(action));
    return *command;
}

int CommandLine::run(int argc, const char* const* argv) {
    std::map<const CLI::App*, CommandAction>::iterator action;
    try {
        m_app.parse(argc, argv);
        const CLI::App* chosen = &m_app;
        while (!chosen->get_subcommands().empty()) chosen = chosen->get_subcommands().front();
        action = m_actions.find(chosen);
        // "hlx" or "hlx flash" alone: a command (of the group) is missing.
        if (action == m_actions.end()) throw CLI::RequiredError::Subcommand(1);
    } catch (const CLI::ParseError& e) {
        // --help and --version end the parse the same way, with exit code 0. CLI11's text goes through
        // the console seam like every other line of hlx.
        std::ostringstream out;
        std::ostringstream err;
        const int code = m_app.exit(e, out, err);
        base::writeText(stdout, out.str());
        base::writeText(stderr, err.str());
        return code == 0 ? kExitOk : kExitUsage;
    }
    try {
        return action->second();
    } catch (const std::exception& e) {
        return reportUnusable(e.what());
    }
}

int reportUnusable(std::string_view message) {
    base::printText(stderr, "%s: %.*s\n", kName, static_cast<int>(message.size()), message.data());
    return kExitUsage;
}

std::string portOptionHelp() {
    return "as typed into COM-Nr: " + std::string(serial::portTextHelp());
}

CLI::Option* addPortOption(CLI::App& command, std::string& port) {
    return command.add_option("--port", port, portOptionHelp())->required()->type_name("TEXT");
}

CLI::Option* addSettingsOption(CLI::App& command, int& settings) {
    return command
        .add_option("--settings", settings,
                    "COM settings entry: 0 115200,8,E,1  1 460800,8,E,1  2 115200,8,N,1  3 9600,8,E,1  "
                    "4 57600,8,E,1")
        ->check(CLI::Range(0, 4))
        ->type_name("N")
        ->capture_default_str();
}

}  // namespace hlx::cli
