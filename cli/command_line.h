#pragma once
// CommandLine: hlx's commands, parsed by CLI11, so that every command has the same help, the same
// --version and the same error messages. Each command lives in cli/<name>_command.{h,cpp} as one
// function that adds it here (its options and what it runs); cli/main.cpp lists those functions.
//
//   void addPortsCommand(CommandLine& commands) {
//       commands.add("ports", "list the serial ports present", [] { return listPorts(); });
//   }
//
// A command below a group ("flash rtq") names its group in its path; main.cpp adds the groups first.
//
// Exit codes: what the command's action returns, else kExitUsage for a command line CLI11 rejects (its
// message on stderr) and 0 after --help or --version (on stdout).
//
// Threads: one object on the main thread; the actions run there too.

#include <functional>
#include <map>
#include <string>
#include <string_view>

#include <CLI/CLI.hpp>

namespace hlx::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // the job or the check found failures
inline constexpr int kExitUsage = 2;   // the command line or a file it names cannot be used

// A command's work, run after its command line was parsed; returns the exit code.
using CommandAction = std::function<int()>;

class CommandLine {
public:
    CommandLine();
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;

    // A group of commands ("flash"), chosen only together with one of them; listed in the help where its
    // first command is added.
    void addGroup(const std::string& name, std::string description);
    // Adds the command at path ("ports", "flash rtq") and returns it for its options and positionals,
    // which the action reads once the parse succeeded (capture their storage by value, e.g. in a
    // shared_ptr). Throws std::logic_error for a path whose group was not added.
    CLI::App& add(std::string_view path, std::string description, CommandAction action);

    // Parses the arguments and runs the chosen command's action; returns the exit code.
    int run(int argc, const char* const* argv);

private:
    void giveCommonFlags(CLI::App& app);

    struct Group {
        std::string description;
        CLI::App* app;  // made with the group's first command
    };

    CLI::App m_app;
    std::map<std::string, Group, std::less<>> m_groups;
    std::map<const CLI::App*, CommandAction> m_actions;
};

// "hlx: message" on stderr; returns kExitUsage. For a file or port a command cannot use.
int reportUnusable(std::string_view message);

// The options of every command that opens a port, with one help text each: --port (required, as typed
// into COM-Nr) and --settings (the COM settings entry 0 to 4).
CLI::Option* addPortOption(CLI::App& command, std::string& port);
CLI::Option* addSettingsOption(CLI::App& command, int& settings);
// The help of --port: what may be typed.
std::string portOptionHelp();

}  // namespace hlx::cli
